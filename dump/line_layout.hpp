// Line layout: cuts a chunk into lines, collapses repeated lines into the
// marker line, and has each printed line laid out straight into the output
// buffer (offset field, hex block and text block, with a colour escape
// wherever the byte class changes): runs of whole lines by the routine of
// the kernel chosen for the dump, a short line by the generic layout.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "dump/kernel.hpp"
#include "dump/line_plan.hpp"
#include "dump/settings.hpp"

namespace zelk::detail {

// The last printed line of one dump, for the repeat test; it runs on across
// chunks and starts afresh for every input.
struct repeat_state {
    std::array<unsigned char, chunk_size> previous;
    std::size_t previous_size = 0;
    bool no_previous = true;
    bool marked = false;  // the marker line is out for the current run of repeats
};

// Cuts one chunk of `size` bytes (at most chunk_size) that starts at
// `offset` into lines and writes them, a run of lines equal to the last
// printed one as a single marker line; `routine` lays out the runs of whole
// lines.
void write_chunk(output& out, const line_plan& plan, lines_routine routine, repeat_state& repeats,
                 const unsigned char* chunk, std::size_t size, std::uint64_t offset);

}  // namespace zelk::detail
