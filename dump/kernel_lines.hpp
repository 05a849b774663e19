// The line algorithms that kernels share, written once as templates over
// `Isa`, a struct of static functions that says what one CPU can do 16 bytes
// at a time (kernel.hpp lists them), with the layout facts and the class and
// glyph rules as the kernels compute them, each tied to the tables at
// compile time. Each kernel file instantiates the algorithms in its own
// entry points, marked [[gnu::flatten]], which inlines the templates and the
// Isa functions into them, so that a kernel runs without a call per 16
// bytes. Where a CPU family has instruction sets beyond its baseline
// (x86-64), the Isa and its entry points are defined in that set's target
// region: the SIMD code is compiled for it, and nothing outside the regions
// for more than the baseline CPU.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "dump/escapes.hpp"
#include "dump/kernel.hpp"
#include "dump/line_tables.hpp"
#include "dump/offset_field.hpp"
#include "dump/output.hpp"
#include "dump/poison.hpp"

namespace zelk::detail {

namespace {

// A count that a template takes where it is known at compile time, and this
// where it is known only at run time (as std::span marks an extent).
constexpr std::size_t count_at_run_time = std::dynamic_extent;

// The widest single store a kernel makes (64 bytes, AVX-512) may pass the
// end of what it lays out by up to this much.
constexpr std::size_t store_overrun = 64;

// --- the groups an Isa claims ----------------------------------------------

// checked_groups' two checks of one group, named as its flag and its concept
// (has_<group>) are.
#define ZELK_CHECK_GROUP(group)                                                              \
    if constexpr (claim.group) {                                                             \
        static_assert(has_##group<Isa>,                                                      \
                      #group " is claimed but not found as has_" #group " calls it");        \
    } else {                                                                                 \
        static_assert(!has_##group<Isa>, #group " is found but not claimed in Isa::groups"); \
    }

// An Isa's claim (Isa::groups), checked against the concept of each group
// both ways: a claimed group whose functions the algorithms cannot call is
// an error, and so are the functions of a group left unclaimed, which the
// algorithms would pass by. The algorithms branch on the claim alone, so a
// misnamed function, or one whose types the call does not take, fails the
// build instead of leaving a slower path in use.
template <class Isa>
consteval isa_groups checked_groups() {
    constexpr isa_groups claim = Isa::groups;
    static_assert(default_line_isa<Isa>, "every Isa needs hex16 as default_line_isa calls it");
    ZELK_CHECK_GROUP(ascii16)
    ZELK_CHECK_GROUP(glyphs16)
    ZELK_CHECK_GROUP(four_lines16)
    ZELK_CHECK_GROUP(colour_columns16)
    ZELK_CHECK_GROUP(pieces)
    ZELK_CHECK_GROUP(glyph_piece)
    static_assert(!claim.pieces || claim.colour_columns16, "coloured pieces need colour_columns16");
    static_assert(!claim.glyph_piece || claim.pieces, "glyph_piece is part of laying out pieces");
    return claim;
}
#undef ZELK_CHECK_GROUP
template <class Isa>
inline constexpr isa_groups groups_of = checked_groups<Isa>();

// --- the default layout: 16 bytes in two groups of 8 -----------------------

// The routines for the default layout are written for 16 bytes in two
// groups of 8.
static_assert(default_width == 16 && default_group_size == 8);
constexpr std::size_t group16 = default_group_size;

// The hex block from the first pair's leading space to the text block's
// first group space: pairs 0-7, group space, pairs 8-15, separator, group
// space.
constexpr std::size_t hex16_size = hex_column_size * 16 + 3;

// Where byte r of the hex block comes from: -1 for a space, else the index
// into the 32 hex digits of the line's bytes (2j the high and 2j + 1 the low
// digit of byte j). Each pair has a leading space, and the group space comes
// after pair 7; from byte hex16_size - 2 on are the separator and the text
// block's first group space.
constexpr int hex16_source(int r) {
    constexpr int column = hex_column_size;
    const int group_end = column * static_cast<int>(group16);
    if (r < group_end) return r % column == 0 ? -1 : 2 * (r / column) + r % column - 1;
    if (r == group_end || r >= static_cast<int>(hex16_size) - 2) return -1;
    const int u = r - group_end - 1;
    return u % column == 0 ? -1 : 2 * static_cast<int>(group16) + 2 * (u / column) + u % column - 1;
}

// In a default line with the short offset field, where the hex block and the
// text block begin: after the offset field and the group space before
// column 0.
constexpr std::size_t hex16_at = short_offset_field + 1;
constexpr std::size_t text16_at = hex16_at + hex16_size;

// The text block of a default line of bytes below 0x80: eight glyphs, the
// group space, eight glyphs.
constexpr std::size_t ascii_text16_size = 16 + 1;

// --- the class and glyph rules as the vector kernels work them out ----------

// A byte's class is the number of class starts at or below it: each start is
// a compare of x with max(x, start), and the last, 0xff, one of equality.
constexpr unsigned class_by_count(unsigned char b) {
    unsigned n = 0;
    for (unsigned char start : class_starts) n += b >= start;
    return n;
}
constexpr bool classes_count_out() {
    for (int b = 0; b < 256; ++b)
        if (class_by_count(static_cast<unsigned char>(b)) != slots[b]) return false;
    return class_starts.back() == 0xff;
}
static_assert(classes_count_out(),
              "every byte class must be one range of byte values, from its start in "
              "class_starts up to the next class's start, and 0xff a class of its own");

// The kernels tell the bytes that the code page shows by their top bit.
static_assert(cp1252_first == 0x80);

// Below cp1252_first a glyph is the byte itself between printable_first and
// printable_last, else dot_glyph, one byte either way.
constexpr bool ascii_glyphs_by_range() {
    for (int b = 0; b < cp1252_first; ++b) {
        const bool printable = b >= printable_first && b <= printable_last;
        if (glyphs[b].size != 1 || glyphs[b].bytes[0] != (printable ? b : dot_glyph)) return false;
    }
    return true;
}
static_assert(ascii_glyphs_by_range());

// Glyph sizes from 0x80 on, without a 256-entry table: for 0x80-0x9f from two
// rows of 16 lanes, and from latin1_first on 2 but for latin1_dots, which
// show as dot_glyph.
constexpr unsigned char latin1_first = 0xa0;
constexpr std::array<std::array<unsigned char, 16>, 2> glyph_size_rows = [] {
    std::array<std::array<unsigned char, 16>, 2> t{};
    for (int i = 0; i < 32; ++i) t[i / 16][i % 16] = glyphs[cp1252_first + i].size;
    return t;
}();
static_assert(cp1252_first + 2 * 16 == latin1_first);
constexpr std::array<unsigned char, 2> latin1_dots = [] {
    std::array<unsigned char, 2> t{};
    std::size_t n = 0;
    for (int b = latin1_first; b < 256 && n < t.size(); ++b)
        if (glyphs[b].size == 1) t[n++] = static_cast<unsigned char>(b);
    return t;
}();
// Both dots were found, and every other glyph from latin1_first on is two
// bytes: a third dot would be one.
constexpr bool latin1_sizes_hold() {
    if (latin1_dots[0] < latin1_first || latin1_dots[1] < latin1_first) return false;
    for (int b = latin1_first; b < 256; ++b) {
        const bool dot = b == latin1_dots[0] || b == latin1_dots[1];
        if (glyphs[b].size != (dot ? 1 : 2)) return false;
    }
    return true;
}
static_assert(latin1_sizes_hold(), "the kernels test for exactly two Latin-1 bytes shown as a dot");

// Room a default line needs: its longest content, and the overrun of the
// widest store past it (every kernel's stores of a default line are of 4 to
// 64 bytes, and the one that lays out its last glyphs passes their end).
// The longest content: the widest offset field (offsets from 2^60 on), the
// group space before column 0, the hex block (hex16_size: the pairs, the
// group space, the separator and the text block's first group space), the
// glyphs, all of the widest, with the group space among them, and the line
// end.
constexpr std::size_t text16_max = widest_text_columns(16, 0) + 1;
constexpr std::size_t plain16_room =
    max_offset_field + 1 + hex16_size + text16_max + line_end(false).size() + store_overrun;
// A coloured one: the same with an escape before every column of both
// blocks, each as long as any that the routine takes (short_escape_size: it
// splices escapes in as copies of that size), the text block's glyphs of
// the classes that its bytes then alternate between, and the reset at the
// line end. Its copies of escapes, pairs, glyphs and items pass the end of
// what they lay out.
constexpr std::size_t colour16_room = max_offset_field + 1 + hex16_size + 16 * short_escape_size +
                                      widest_text_columns(16, short_escape_size) + 1 +
                                      line_end(true).size() + store_overrun;

inline char* glyphs8(char* q, const unsigned char* b) {
    for (std::size_t j = 0; j < group16; ++j) {
        std::memcpy(q, &glyphs[b[j]], 4);
        q += glyphs[b[j]].size;
    }
    return q;
}

// What follows the offset field of a plain default line.
template <class Isa>
inline char* line16_plain(char* p, const unsigned char* b) {
    p[0] = ' ';
    p = Isa::hex16(p + 1, b);
    if constexpr (groups_of<Isa>.ascii16) {
        if (Isa::all_ascii16(b)) {
            p = Isa::ascii_glyphs16(p, b);
            *p = '\n';
            return p + 1;
        }
    }
    if constexpr (groups_of<Isa>.glyphs16) {
        p = Isa::glyphs16(p, b);
    } else {
        p = glyphs8(p, b);
        *p++ = ' ';
        p = glyphs8(p, b + group16);
    }
    *p = '\n';
    return p + 1;
}

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

// The 16 columns of a default line from the escape items, with the group
// space before column 8: unrolled, so that the space is a store where it
// belongs and each column's place waits on one add.
inline char* items16(char* p, const char* items, const std::uint16_t* from,
                     const unsigned char* grow) {
#pragma GCC unroll 16
    for (int j = 0; j < 16; ++j) {
        if (j == group16) *p++ = ' ';
        std::memcpy(p, items + from[j], item_size);
        p += grow[j];
    }
    return p;
}

// What follows the offset field of a coloured default line.
template <class Isa>
inline char* line16_colour(char* p, const line_plan& plan, const unsigned char* b) {
    const kernel_tables& t = plan.tables;
    p[0] = ' ';
    p += 1;
    if constexpr (groups_of<Isa>.ascii16) {
        if (Isa::all_printable16(b)) {
            // One class throughout: a single escape, and the text block is
            // the bytes themselves.
            std::memcpy(p, t.escape[printable_slot].data(), short_escape_size);
            p = Isa::hex16(p + t.escape_size[printable_slot], b);
            p = Isa::ascii_glyphs16(p, b);
            return end_coloured_line(p);
        }
    }
    if constexpr (groups_of<Isa>.colour_columns16) {
        if (t.escape_items) {
            colour_columns at;
            Isa::colour_columns16(at, t, b, no_slot, slots[b[15]]);
            p = items16(p, t.hex_items.front().data(), at.hex_from, at.hex_grow);
            p[0] = ' ';
            p[1] = ' ';
            p = items16(p + 2, t.glyph_items.front().data(), at.text_from, at.text_grow);
            return end_coloured_line(p);
        }
    }
    unsigned last = no_slot;
    for (int j = 0; j < 16; ++j) {
        if (j == group16) ++p;  // the group space, left by the previous pair's store
        p = colour_step(p, t, slots[b[j]], last);
        std::memcpy(p, hex_pairs[b[j]].data(), 4);
        p += hex_column_size;
    }
    p[1] = ' ';  // the separator is left by the last pair's store
    p += 2;
    for (int j = 0; j < 16; ++j) {
        if (j == group16) *p++ = ' ';
        p = colour_step(p, t, slots[b[j]], last);
        std::memcpy(p, &glyphs[b[j]], 4);
        p += glyphs[b[j]].size;
    }
    return end_coloured_line(p);
}

// Whole default lines.
template <class Isa, bool colour>
inline void lines16(output& out, const line_plan& plan, const unsigned char* b, std::size_t count,
                    std::uint64_t offset) {
    offset_fields fields;
    std::size_t l = 0;
    if constexpr (!colour && groups_of<Isa>.four_lines16) {
        // While the last byte of the next four lines fits the short field:
        // fits_short_field written out, since through the call GCC 12
        // allocates this hot loop's registers differently.
        while (l + 4 <= count && ((offset + 16 * l + (4 * 16 - 1)) >> short_offset_bits) == 0) {
            const std::size_t n = std::min<std::size_t>((count - l) / 4, 16);
            char* p = output_reserve(out, n * 4 * plain16_room);
            for (std::size_t i = 0;
                 i < n && ((offset + 16 * l + (4 * 16 - 1)) >> short_offset_bits) == 0; ++i, l += 4)
                p = Isa::four_lines16(p, fields, b + 16 * l,
                                      static_cast<std::uint32_t>(offset + 16 * l));
            output_commit(out, p);
        }
    }
    for (; l < count; ++l) {
        char* p = output_reserve(out, colour ? colour16_room : plain16_room);
        p = offset_field(p, fields, offset + 16 * l);
        p = colour ? line16_colour<Isa>(p, plan, b + 16 * l) : line16_plain<Isa>(p, b + 16 * l);
        output_commit(out, p);
    }
}

// --- any other layout, a piece of up to 16 bytes at a time ------------------

// Room a whole line of the plan needs: its longest content laid out within
// a reservation, and the overrun of the widest store past it (every routine
// from pieces stores 16 to 64 bytes at a time, past the end of the piece or
// item it lays out). The longest content: the widest offset field; the hex
// columns, with an escape each where coloured, and their group spaces; the
// spaces between the blocks; the text columns (widest_text_columns) and
// their group spaces; the spaces after them; the line end. Spaces beyond
// blanks_in_place are written out of line by output_blanks, which then
// reserves this room afresh for the rest of the line, so they take none.
inline std::size_t line_room(const line_plan& plan) {
    const kernel_tables& t = plan.tables;
    const std::size_t k = plan.line_bytes;
    const std::size_t escape = t.longest_escape;
    std::size_t hex_groups = 0, text_groups = 0;
    for (std::size_t m = 0; m < t.pieces; ++m) {
        hex_groups += static_cast<std::size_t>(std::popcount(t.piece[m].hex_space_before));
        text_groups += static_cast<std::size_t>(std::popcount(t.piece[m].text_space_before));
    }
    auto in_place = [](std::uint64_t spaces) {
        return spaces <= blanks_in_place ? static_cast<std::size_t>(spaces) : 0;
    };
    return max_offset_field + k * (escape + hex_column_size) + hex_groups +
           in_place(t.middle_spaces) + widest_text_columns(k, escape) + text_groups +
           in_place(t.tail_spaces) + line_end(plan.settings.colour).size() + store_overrun;
}

// Output reserved at a time by the routines that lay out many lines: the
// reserve is made outside their loops over lines, because a call inside a
// loop makes the compiler keep the loop's vectors in memory (a call may
// change every vector register). Each such routine writes the loop over
// batches out itself: one loop shared by all of them, through a template over
// a type with a static function that lays out a batch, measured 10-20 %
// slower with GCC 12 on plain SSSE3 lines of binary data and on coloured
// pairs, though their inner loops compiled to the same instructions.
constexpr std::size_t batch_room = 32 * 1024;

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

// The routine of a kernel built on these algorithms for the plan: the default
// layout's own, else the pieces; coloured lines only where every escape fits
// an item.
template <lines_routine plain16, lines_routine colour16, lines_routine plain_any,
          lines_routine colour_any>
lines_routine routine_for_plan(const line_plan& plan) {
    const bool default_layout = is_default_layout(plan.settings);
    if (!plan.settings.colour) return default_layout ? plain16 : plain_any;
    if (default_layout && plan.tables.short_escapes) return colour16;
    return plan.tables.escape_items ? colour_any : nullptr;
}

}  // namespace

}  // namespace zelk::detail
