// The rules and the room budgets of the line algorithms that kernels share
// (kernels/lines.hpp): what an Isa claims and how the claim is checked, the
// layout facts of the default layout, the class and glyph rules as the
// vector kernels work them out, each tied to the tables at compile time, and
// the output room that each routine reserves for a line.
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
    auto in_place = [](std::uint64_t spaces) {
        return spaces <= blanks_in_place ? static_cast<std::size_t>(spaces) : 0;
    };
    return max_offset_field + k * (escape + hex_column_size) + t.hex_group_spaces +
           in_place(t.middle_spaces) + widest_text_columns(k, escape) + t.text_group_spaces +
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
}  // namespace

}  // namespace zelk::detail
