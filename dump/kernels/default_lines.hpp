// The line algorithms of the default layout, 16 bytes in two groups of 8,
// written once as templates over `Isa` (kernels/lines.hpp): a plain and a
// coloured line, and runs of whole lines, four at a time where the Isa can.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dump/escapes.hpp"
#include "dump/kernel.hpp"
#include "dump/kernels/line_rules.hpp"
#include "dump/line_tables.hpp"
#include "dump/offset_field.hpp"
#include "dump/output.hpp"

namespace zelk::detail {

namespace {

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
}  // namespace

}  // namespace zelk::detail
