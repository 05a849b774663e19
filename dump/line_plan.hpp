// The plan of a dump's lines: the settings, and what laying out a line under
// them needs, worked out once per dump instead of once per line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "dump/byte_class.hpp"
#include "dump/settings.hpp"

namespace zelk::detail {

// An escape up to this size is copied as one fixed-size block, so that
// splicing it in needs no branch on its length.
inline constexpr std::size_t short_escape_size = 16;

// Size of a precomputed escape-and-byte item of the coloured kernels.
inline constexpr std::size_t item_size = 16;

// Bytes a kernel takes at a time; a line is cut into pieces of this many
// columns, the last one shorter where the line's bytes are not a multiple.
// Fixed, not a setting: the kernels read a piece as one 16-byte vector and
// work out its colour_columns 16 columns at a time, and a piece_layout has a
// bit per column in 16-bit masks, four lanes per column in 64-bit ones, and
// the 64 lanes of its hex columns (three per column and a group space).
inline constexpr std::size_t piece_bytes = 16;
static_assert(piece_bytes == 16,
              "piece_bytes is fixed: the kernels take a piece as one 16-byte vector, and a "
              "piece_layout's masks and lanes hold 16 columns");
inline constexpr std::size_t max_pieces = (chunk_size + piece_bytes - 1) / piece_bytes;

// Marks a space in the `from` lanes of a piece.
inline constexpr unsigned char space_lane = 0xf0;

// Where the output of one piece of a whole line comes from, for its columns
// in the hex block and, when every byte of the line is below 0x80, in the
// text block. A group space is laid out with the column after it; the text
// block's space before column 0 goes with the block separator.
struct piece_layout {
    // Lanes of the piece's hex columns: a hex digit of the piece (2j the
    // high and 2j + 1 the low digit of its byte j) or space_lane, then ' '
    // in `hex_spaces`.
    alignas(64) std::array<unsigned char, 64> hex_from;
    alignas(64) std::array<char, 64> hex_spaces;
    // Lanes of its text columns: glyph j of the piece or space_lane.
    alignas(32) std::array<unsigned char, 32> text_from;
    alignas(32) std::array<char, 32> text_spaces;
    std::uint16_t hex_space_before;   // bit j: a group space before column j
    std::uint16_t text_space_before;  // the same in the text block
    std::uint8_t bytes;               // columns of the piece that hold bytes
    std::uint8_t hex_size;            // bytes of its hex columns
    std::uint8_t text_size;           // bytes of its text columns, all below 0x80
    // For text columns laid out four lanes a column, a group space's lane
    // before the three of the glyph: the lanes of group spaces, and of the
    // columns that hold bytes.
    std::uint64_t text_space_lanes;
    std::uint64_t text_lanes;
};

// What the kernels and the generic layout need from the settings and the
// class colours, worked out once per dump.
struct kernel_tables {
    // Every escape fits short_escape_size bytes (always so when plain).
    bool short_escapes = true;
    std::size_t longest_escape = 0;  // bytes of the longest escape; 0 when plain
    // The escape of each class and its size; sizes are 0 when plain.
    std::array<std::array<char, short_escape_size>, class_count> escape{};
    std::array<std::size_t, class_count> escape_size{};

    // When coloured and every escape leaves room for a pair or a glyph in
    // item_size bytes: per byte value, its escape followed by its hex pair,
    // and by its glyph, padded with spaces (one row more, read past by
    // fixed-size copies); and the escape size of each slot as a lookup row.
    bool escape_items = false;
    std::array<std::array<char, item_size>, 257> hex_items{};
    std::array<std::array<char, item_size>, 257> glyph_items{};
    alignas(16) std::array<unsigned char, 16> escape_size_lanes{};

    // The pieces of a whole line, and the spaces between its blocks and
    // after its text block (blank columns with their group spaces, the
    // separator, the text block's first group space).
    std::size_t pieces = 0;
    std::array<piece_layout, max_pieces> piece{};
    std::uint64_t middle_spaces = 0;
    std::uint64_t tail_spaces = 0;
    // The group spaces among the columns of a whole line, in the hex block
    // and in the text block: counted once here, since a routine works out
    // its room at every call.
    std::size_t hex_group_spaces = 0;
    std::size_t text_group_spaces = 0;
};

// Splices in the escape of `slot` when it differs from the slot last
// selected: the fixed-size copy is always made (short_escape_size bytes of
// room at p), and kept only when due, so that mixed data costs no
// mispredicted branches. Plain output has escape sizes 0.
inline char* colour_step(char* p, const kernel_tables& t, unsigned slot, unsigned& last) {
    std::memcpy(p, t.escape[slot].data(), short_escape_size);
    p += t.escape_size[slot] & (std::size_t{0} - static_cast<std::size_t>(slot != last));
    last = slot;
    return p;
}

// The spaces after the hex columns of a line of `k` bytes (its blank
// columns with their group spaces, then the separator) and after its text
// columns (the blank columns with their group spaces): a short line, or a
// line wider than a chunk, is padded to the width of the layout.
struct line_gaps {
    std::uint64_t after_hex;
    std::uint64_t after_text;
};
line_gaps gaps_of(const dump_settings& s, std::uint64_t k);

// Where each column's item starts in the plan's hex and glyph items (its
// escape skipped unless the class changes there) and how far it moves the
// line on, for up to 16 columns.
struct colour_columns {
    alignas(16) std::uint16_t hex_from[16];
    alignas(16) std::uint16_t text_from[16];
    alignas(16) unsigned char hex_grow[16];
    alignas(16) unsigned char text_grow[16];
};

struct line_plan {
    dump_settings settings;
    std::size_t line_bytes = default_width;  // bytes of a whole line: the width, at most a chunk
    // The colour texts of the classes, in storage that outlives the plan.
    std::array<std::string_view, class_count> colour_text{};
    kernel_tables tables;
    // The colour columns of the pieces of a line whose piece count is known
    // only at run time, here rather than on the stack: for up to max_pieces
    // pieces (6 KiB) they would be the deepest frame of a dump. A plan is
    // used by one dump, which lays out one line at a time.
    mutable std::array<colour_columns, max_pieces> wide_columns;
};

using class_texts = std::array<std::string_view, class_count>;

// Makes `plan` afresh, in place, the plan of `s` with the class colours
// `colours`, which must outlive it: a plan is some 25 KiB, too much to pass
// through the stack of a program that must run on a small one.
void make_line_plan(line_plan& plan, const dump_settings& s, const class_texts& colours);
// The same as a value, where the stack has room.
line_plan make_line_plan(const dump_settings& s, const class_texts& colours = default_colours);

}  // namespace zelk::detail
