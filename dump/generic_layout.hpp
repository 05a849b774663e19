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

// `count` whole lines, consecutive from `first`, the first at `offset`,
// one generic_line each: a kernel's routine for any plan.
void generic_lines(output& out, const line_plan& plan, const unsigned char* first,
                   std::size_t count, std::uint64_t offset);

}  // namespace zelk::detail
