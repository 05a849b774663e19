// The layout a dump is asked for, and the chunk that lines are cut from:
// the bottom of the dump engine, which every other part of it reads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zelk/zelk.hpp"

namespace zelk::detail {

// What the lines of a dump look like: the layout options of zelk::options.
struct dump_settings {
    std::uint64_t width = options{}.width;            // bytes per line; 1 to max_width
    std::uint64_t group_size = options{}.group_size;  // bytes per group, 0 for none
    bool colour = options{}.colour;                   // write colour escapes
};

// The layout of dump_settings{}: 16 bytes a line in two groups of 8, which
// the kernels lay out by routines of their own.
inline constexpr std::uint64_t default_width = dump_settings{}.width;
inline constexpr std::uint64_t default_group_size = dump_settings{}.group_size;
static_assert(default_width == 16 && default_group_size == 8);

constexpr bool is_default_layout(const dump_settings& s) {
    return s.width == default_width && s.group_size == default_group_size;
}

// Lines are cut from chunks of this size, counted from the first byte of the
// dump: a line never spans two chunks, whatever size the writes are, so a
// line never holds more than one chunk and the rest of a wider line is blank
// columns.
inline constexpr std::size_t chunk_size = static_cast<std::size_t>(zelk::chunk_size);
static_assert(chunk_size == 1024);

}  // namespace zelk::detail
