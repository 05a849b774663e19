// The line algorithms of any other layout, written once as templates over
// `Isa` (kernels/lines.hpp): a line is laid out a piece of up to 16 bytes at a
// time, plain or coloured, and coloured lines of up to eight bytes two at a
// time.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dump/escapes.hpp"
#include "dump/kernel.hpp"
#include "dump/kernels/line_rules.hpp"
#include "dump/line_tables.hpp"
#include "dump/offset_field.hpp"
#include "dump/output.hpp"
#include "dump/poison.hpp"

namespace zelk::detail {

namespace {

// The columns of up to 16 bytes from escape items (`items`, with each
// column's start and advance as worked out by Isa::colour_columns16), with a
// space before each column whose bit is set in `spaces`. The space after a
// column is stored whether or not it belongs there (what follows overwrites
// it where it does not), so that each column's place waits on one add.
template <std::size_t N>
inline char* items_spaced_n(char* p, const char* items, const std::uint16_t* from,
                            const unsigned char* grow, std::size_t n, std::uint16_t spaces) {
    *p = ' ';
    p += spaces & 1u;
#pragma GCC unroll 16
    for (std::size_t j = 0; j < (N == count_at_run_time ? n : N); ++j) {
        // Read before the stores, which may alias anything.
        const std::size_t step = grow[j];
        const std::size_t space = (spaces >> (j + 1)) & 1u;
        std::memcpy(p, items + from[j], item_size);
        p[step] = ' ';
        p += step + space;
    }
    return p;
}
inline char* items_spaced(char* p, const char* items, const std::uint16_t* from,
                          const unsigned char* grow, std::size_t n, std::uint16_t spaces) {
    switch (n) {
        case 16:
            return items_spaced_n<16>(p, items, from, grow, n, spaces);
        case 8:
            return items_spaced_n<8>(p, items, from, grow, n, spaces);
        default:
            return items_spaced_n<count_at_run_time>(p, items, from, grow, n, spaces);
    }
}
inline char* hex_items(char* p, const kernel_tables& t, const colour_columns& at, std::size_t n,
                       std::uint16_t spaces) {
    return items_spaced(p, t.hex_items.front().data(), at.hex_from, at.hex_grow, n, spaces);
}
inline char* glyph_items(char* p, const kernel_tables& t, const colour_columns& at, std::size_t n,
                         std::uint16_t spaces) {
    return items_spaced(p, t.glyph_items.front().data(), at.text_from, at.text_grow, n, spaces);
}

// The spaces between the blocks of a line or after its text block: where
// the layout is no wider than a chunk (`Wide` false) a whole line has no
// blank columns, only the separator and the text block's first group space
// between the blocks, and nothing after.
template <bool Wide>
inline char* spaces_between(output& out, char* p, std::uint64_t count, std::size_t room) {
    if constexpr (Wide) {
        return output_blanks(out, p, count, room);
    } else {
        (void)out;
        (void)room;
        std::memcpy(p, "  ", 2);
        return p + count;
    }
}

// Lays out a run of whole lines with `lay(out, plan, first, count, offset)`,
// which reads every piece of a line as 16 bytes, past the line's end where
// its bytes are not a multiple of 16. Lines whose reads would pass the end
// of the run are laid out from a copy padded with zeros, so that no read
// leaves the caller's bytes.
template <class Lay>
inline void in_pieces(output& out, const line_plan& plan, const unsigned char* first,
                      std::size_t count, std::uint64_t offset, Lay lay) {
    const std::size_t line = plan.line_bytes;
    const std::size_t reach = plan.tables.pieces * piece_bytes;  // read from a line's start
    const std::size_t run = count * line;
    const std::size_t safe = run < reach ? 0 : std::min(count, (run - reach) / line + 1);
    if (safe != 0) lay(out, plan, first, safe, offset);
    if (safe == count) return;
    // The reads of the last line pass its end by less than a piece.
    unsigned char copy[chunk_size + piece_bytes];
    const std::size_t rest = run - safe * line;
    std::memcpy(copy, first + safe * line, rest);
    std::memset(copy + rest, 0, piece_bytes);
    // A read past the reach of the last line fails in a sanitizer build.
    const std::size_t readable = rest - line + reach;
    poison(copy + readable, sizeof copy - readable);
    lay(out, plan, copy, count - safe, offset + safe * line);
    unpoison(copy + readable, sizeof copy - readable);
}

// The pieces of a line and the values read per line, copied out of the plan
// into the routine's own storage: the output is written through char
// pointers, which may alias anything reachable, so values read from the plan
// would otherwise be read again after every store. `Pieces` is the count,
// or count_at_run_time.
template <std::size_t Pieces>
struct line_shape {
    std::size_t pieces;
    std::size_t line_bytes;
    std::uint64_t middle_spaces;
    std::uint64_t tail_spaces;
    std::size_t room;
    std::array<piece_layout, Pieces == count_at_run_time ? 1 : Pieces> own;
    const piece_layout* piece;

    explicit line_shape(const line_plan& plan)
        : pieces(Pieces == count_at_run_time ? plan.tables.pieces : Pieces),
          line_bytes(plan.line_bytes),
          middle_spaces(plan.tables.middle_spaces),
          tail_spaces(plan.tables.tail_spaces),
          room(line_room(plan)),
          piece(plan.tables.piece.data()) {
        if constexpr (Pieces != count_at_run_time) {
            std::copy_n(plan.tables.piece.begin(), Pieces, own.begin());
            piece = own.data();
        }
    }
    line_shape(const line_shape&) = delete;
};

// Whole lines of any layout, laid out from pieces (in_pieces reads them).
template <class Isa, std::size_t Pieces, bool Wide>
inline void plain_pieces_of(output& out, const line_plan& plan, const unsigned char* first,
                            std::size_t count, std::uint64_t offset) {
    const line_shape<Pieces> shape(plan);
    const std::size_t pieces = shape.pieces;
    const piece_layout* const piece = shape.piece;
    offset_fields fields;
    const std::size_t batch = Wide ? 1 : std::max<std::size_t>(1, batch_room / shape.room);
    for (std::size_t l = 0; l < count;) {
        const std::size_t batch_end = std::min(count, l + batch);
        char* p = output_reserve(out, (batch_end - l) * shape.room);
        for (; l < batch_end; ++l) {
            const unsigned char* line = first + l * shape.line_bytes;
            p = offset_field(p, fields, offset + l * shape.line_bytes);
            for (std::size_t m = 0; m < pieces; ++m)
                p = Isa::hex_piece(p, line + m * piece_bytes, piece[m]);
            p = spaces_between<Wide>(out, p, shape.middle_spaces, shape.room);
            if (Isa::all_ascii(line, shape.line_bytes)) {
                for (std::size_t m = 0; m < pieces; ++m)
                    p = Isa::ascii_piece(p, line + m * piece_bytes, piece[m]);
            } else if constexpr (groups_of<Isa>.glyph_piece) {
                for (std::size_t m = 0; m < pieces; ++m)
                    p = Isa::glyph_piece(p, line + m * piece_bytes, piece[m]);
            } else {
                for (std::size_t m = 0; m < pieces; ++m) {
                    const unsigned char* b = line + m * piece_bytes;
                    for (std::size_t j = 0; j < piece[m].bytes; ++j) {
                        *p = ' ';
                        p += (piece[m].text_space_before >> j) & 1;
                        std::memcpy(p, &glyphs[b[j]], 4);
                        p += glyphs[b[j]].size;
                    }
                }
            }
            p = spaces_between<Wide>(out, p, shape.tail_spaces, shape.room);
            *p++ = '\n';
        }
        output_commit(out, p);
    }
}

template <class Isa, std::size_t Pieces, bool Wide>
inline void colour_pieces_of(output& out, const line_plan& plan, const unsigned char* first,
                             std::size_t count, std::uint64_t offset) {
    const kernel_tables& t = plan.tables;
    const line_shape<Pieces> shape(plan);
    const std::size_t pieces = shape.pieces;
    const piece_layout* const piece = shape.piece;
    offset_fields fields;
    colour_columns own[Pieces == count_at_run_time ? 1 : Pieces];
    colour_columns* const at = Pieces == count_at_run_time ? plan.wide_columns.data() : own;
    const std::size_t batch = Wide ? 1 : std::max<std::size_t>(1, batch_room / shape.room);
    for (std::size_t l = 0; l < count;) {
        const std::size_t batch_end = std::min(count, l + batch);
        char* p = output_reserve(out, (batch_end - l) * shape.room);
        for (; l < batch_end; ++l) {
            const unsigned char* line = first + l * shape.line_bytes;
            // Each byte's class against the byte before it; the hex block's
            // first byte against none, the text block's against the line's last.
            unsigned hex_before = no_slot;
            unsigned text_before = slots[line[shape.line_bytes - 1]];
            for (std::size_t m = 0; m < pieces; ++m) {
                Isa::colour_columns16(at[m], t, line + m * piece_bytes, hex_before, text_before);
                hex_before = text_before = slots[line[m * piece_bytes + piece[m].bytes - 1]];
            }
            p = offset_field(p, fields, offset + l * shape.line_bytes);
            for (std::size_t m = 0; m < pieces; ++m)
                p = hex_items(p, t, at[m], piece[m].bytes, piece[m].hex_space_before);
            p = spaces_between<Wide>(out, p, shape.middle_spaces, shape.room);
            for (std::size_t m = 0; m < pieces; ++m)
                p = glyph_items(p, t, at[m], piece[m].bytes, piece[m].text_space_before);
            p = spaces_between<Wide>(out, p, shape.tail_spaces, shape.room);
            p = end_coloured_line(p);
        }
        output_commit(out, p);
    }
}

// Coloured lines of up to eight bytes, two at a time: one colour_columns16
// covers both, and then the second line's first column, which it compared
// with the first line's last byte, is worked out again: its hex item always
// starts with its escape, and its glyph's escape is due where its class
// differs from its own line's last byte.
template <class Isa>
inline void colour_pairs(output& out, const line_plan& plan, const unsigned char* first,
                         std::size_t count, std::uint64_t offset) {
    const kernel_tables& t = plan.tables;
    const line_shape<1> shape(plan);
    const piece_layout& piece = shape.piece[0];
    const std::size_t k = shape.line_bytes;
    const char* const hex_items = t.hex_items.front().data();
    const char* const glyph_items = t.glyph_items.front().data();
    offset_fields fields;
    colour_columns at;
    const std::size_t batch = std::max<std::size_t>(2, batch_room / shape.room) & ~std::size_t{1};
    for (std::size_t l = 0; l < count;) {
        const std::size_t batch_end = std::min(count, l + batch);
        char* p = output_reserve(out, (batch_end - l) * shape.room);
        for (; l < batch_end; l += 2) {
            const unsigned char* line = first + l * k;
            const std::size_t lines = l + 1 < batch_end ? 2 : 1;
            Isa::colour_columns16(at, t, line, no_slot, slots[line[k - 1]]);
            if (lines == 2) {
                const unsigned char b = line[k];
                const unsigned slot = slots[b];
                const std::size_t size = t.escape_size[slot];
                const bool text_change = slot != slots[line[2 * k - 1]];
                at.hex_from[k] = static_cast<std::uint16_t>(b * item_size);
                at.hex_grow[k] = static_cast<unsigned char>(size + hex_column_size);
                at.text_from[k] =
                    static_cast<std::uint16_t>(b * item_size + (text_change ? 0 : size));
                at.text_grow[k] =
                    static_cast<unsigned char>((text_change ? size : 0) + glyphs[b].size);
            }
            for (std::size_t i = 0; i < lines; ++i) {
                const std::size_t c = i * k;
                p = offset_field(p, fields, offset + (l + i) * k);
                p = items_spaced(p, hex_items, at.hex_from + c, at.hex_grow + c, k,
                                 piece.hex_space_before);
                p = spaces_between<false>(out, p, shape.middle_spaces, shape.room);
                p = items_spaced(p, glyph_items, at.text_from + c, at.text_grow + c, k,
                                 piece.text_space_before);
                p = end_coloured_line(p);
            }
        }
        output_commit(out, p);
    }
}

// Whole lines of any layout from pieces, plain or coloured, through the
// instance for the plan's piece count where there is one.
template <class Isa, bool Colour, std::size_t Pieces, bool Wide>
inline void pieces_of(output& out, const line_plan& plan, const unsigned char* first,
                      std::size_t count, std::uint64_t offset) {
    if constexpr (Colour)
        colour_pieces_of<Isa, Pieces, Wide>(out, plan, first, count, offset);
    else
        plain_pieces_of<Isa, Pieces, Wide>(out, plan, first, count, offset);
}
template <class Isa, bool Colour>
inline void pieces(output& out, const line_plan& plan, const unsigned char* first,
                   std::size_t count, std::uint64_t offset) {
    if (plan.settings.width > chunk_size)
        return pieces_of<Isa, Colour, count_at_run_time, true>(out, plan, first, count, offset);
    if constexpr (Colour)
        if (plan.line_bytes <= piece_bytes / 2)
            return colour_pairs<Isa>(out, plan, first, count, offset);
    switch (plan.tables.pieces) {
        case 1:
            return pieces_of<Isa, Colour, 1, false>(out, plan, first, count, offset);
        case 2:
            return pieces_of<Isa, Colour, 2, false>(out, plan, first, count, offset);
        default:
            return pieces_of<Isa, Colour, count_at_run_time, false>(out, plan, first, count,
                                                                    offset);
    }
}

template <class Isa>
inline void plain_lines(output& out, const line_plan& plan, const unsigned char* first,
                        std::size_t count, std::uint64_t offset) {
    static_assert(groups_of<Isa>.pieces, "lines of any layout need the pieces group");
    in_pieces(out, plan, first, count, offset, pieces<Isa, false>);
}
template <class Isa>
inline void colour_lines(output& out, const line_plan& plan, const unsigned char* first,
                         std::size_t count, std::uint64_t offset) {
    static_assert(groups_of<Isa>.pieces, "lines of any layout need the pieces group");
    in_pieces(out, plan, first, count, offset, pieces<Isa, true>);
}
}  // namespace

}  // namespace zelk::detail
