// What a dump is asked for, and the chunk that lines are cut from: the
// bottom of the dump engine, which every other part of it reads.
#pragma once

#include <cstddef>
#include <cstdint>

struct dump_settings {
    std::uint64_t width = 16;      // bytes per line (-w); 1 to max_width
    std::uint64_t group_size = 8;  // bytes per group, 0 for none (-g)
    bool colour = true;            // write colour and bold escapes (-p turns it off)
    std::int64_t range_start = 0;  // offset of the first byte to dump (-r)
    std::int64_t range_end = -1;   // one past the last byte, -1 for the end of input (-r)
};

// The layout of dump_settings{}: 16 bytes a line in two groups of 8, which
// the kernels lay out by routines of their own.
inline constexpr std::uint64_t default_width = dump_settings{}.width;
inline constexpr std::uint64_t default_group_size = dump_settings{}.group_size;

constexpr bool is_default_layout(const dump_settings& s) {
    return s.width == default_width && s.group_size == default_group_size;
}

// Lines are cut from chunks of this size, counted from the range start: a
// line never spans two chunks, whatever size the reads are, so a line never
// holds more than one chunk and the rest of a wider line is blank columns.
inline constexpr std::size_t chunk_size = 1024;

// Widest line accepted.
inline constexpr std::uint64_t max_width = 1048576;
