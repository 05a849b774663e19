// The generic layout: lays out a line of any width, group size, length,
// colour set-up and offset from the per-byte tables. It takes every layout
// no kernel serves, and lays out the short line at the end of a chunk.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dump/line_plan.hpp"

namespace zelk::detail {

struct output;

// One line of `size` bytes (1 to plan.line_bytes), whole or short.
void generic_line(output& out, const line_plan& plan, const unsigned char* bytes, std::size_t size,
                  std::uint64_t offset);

// What generic_line reserves for a line of `k` bytes: for its offset field
// and hex columns, and for its text columns. Each is the longest they can be
// (the widest field, an escape of the plan's longest at every column where
// coloured, widest_text_columns) and blanks_in_place: the blank columns
// after them are laid out in place, up to that many, by one store of that
// many bytes. The line end is written on its own.
struct generic_rooms {
    std::size_t hex;
    std::size_t text;
};
generic_rooms generic_line_rooms(const line_plan& plan, std::size_t k);

// `count` whole lines, consecutive from `first`, the first at `offset`,
// one generic_line each: a kernel's routine for any plan.
void generic_lines(output& out, const line_plan& plan, const unsigned char* first,
                   std::size_t count, std::uint64_t offset);

}  // namespace zelk::detail
