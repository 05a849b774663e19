// Line layout: cuts a chunk into lines, collapses repeated lines into the
// marker line, and lays each printed line out straight into the output
// buffer: offset field, hex block and text block, with a colour escape
// wherever the byte class changes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dump/byte_class.hpp"
#include "dump/dump_stream.hpp"

// An escape up to this size is copied as one fixed-size block, so that
// splicing it in needs no branch on its length.
inline constexpr std::size_t short_escape_size = 16;

// Size of a precomputed escape-and-byte item of the SIMD routines.
inline constexpr std::size_t item_size = 16;

// Instruction sets the default layout has routines for, in rising order.
enum class simd_level { none, ssse3, avx512 };

// What laying out lines needs from the settings and the class colours, worked
// out once per dump instead of once per line.
struct line_plan {
    std::uint64_t width = 16;
    std::uint64_t group_size = 8;
    bool colour = true;
    // The SIMD routines to use: the best the CPU has; tests lower it to
    // check the others, down to the portable ones, on any machine.
    simd_level simd = simd_level::none;
    // Every escape fits short_escape_size bytes (always so when plain).
    bool short_escapes = true;
    std::size_t longest_escape = 0;  // bytes of the longest "\033[%sm"; 0 when plain
    std::array<std::string_view, class_count> colour_text{};
    // "\033[%sm" of each class and its size; sizes are 0 when plain.
    std::array<std::array<char, short_escape_size>, class_count> escape{};
    std::array<std::size_t, class_count> escape_size{};

    // For the SIMD routines of the default layout, when every escape leaves
    // room for a pair in item_size bytes: per byte value, its escape
    // followed by its hex pair, and by its glyph, padded with spaces (one
    // row more, read past by fixed-size copies); and the escape size of each
    // slot as a shuffle table.
    bool escape_items = false;
    std::array<std::array<char, item_size>, 257> hex_items{};
    std::array<std::array<char, item_size>, 257> glyph_items{};
    std::array<unsigned char, 16> escape_size_lanes{};
};

// Reads `s` and the current class_colours.
line_plan make_line_plan(const dump_settings& s);

// Lays out one line of `size` bytes (1 to 1024, at most the width) that
// starts at `offset`.
void write_line(const line_plan& plan, const unsigned char* bytes, std::size_t size,
                std::uint64_t offset);

// The last printed line of one dump, for the repeat test; it runs on across
// chunks and starts afresh for every input.
struct repeat_state {
    std::array<unsigned char, 1024> previous;
    std::size_t previous_size = 0;
    bool no_previous = true;
    bool marked = false;  // the marker line is out for the current run of repeats
};

// Cuts one chunk of `size` bytes (at most 1024) that starts at `offset` into
// lines and writes them, a run of lines equal to the last printed one as a
// single marker line.
void write_lines(const line_plan& plan, repeat_state& repeats, const unsigned char* chunk,
                 std::size_t size, std::uint64_t offset);
