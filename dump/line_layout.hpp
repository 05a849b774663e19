// Line layout: cuts a chunk into lines, collapses repeated lines into the
// marker line, and has each printed line laid out straight into the output
// buffer (offset field, hex block and text block, with a colour escape
// wherever the byte class changes) by the kernel chosen for the dump, or by
// the generic layout where no kernel serves a line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dump/byte_class.hpp"
#include "dump/kernel.hpp"
#include "dump/settings.hpp"

// What laying out lines needs, worked out once per dump instead of once per
// line.
struct line_plan {
    std::uint64_t width = 16;
    std::uint64_t group_size = 8;
    bool colour = true;
    std::size_t line_bytes = 16;  // bytes of a whole line: the width, at most a chunk
    // The default width and group size, which kernels lay out by their own
    // routines.
    bool default_layout = true;
    std::array<std::string_view, class_count> colour_text{};
    // The kernel that lays out whole lines, or nullptr where the generic
    // layout does.
    const line_kernel* kernel = nullptr;
    lines_routine routine = nullptr;  // its routine for this plan
    kernel_tables tables;
};

// Reads `s` and the current class_colours. The kernel is the best one in the
// table that this CPU runs and that serves the plan; or `kernel` (a row of
// the table, which must run on this CPU) where it serves the plan. Where
// none does, whole lines take the generic layout.
line_plan make_line_plan(const dump_settings& s, const line_kernel* kernel = nullptr);

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
// printed one as a single marker line.
void write_lines(const line_plan& plan, repeat_state& repeats, const unsigned char* chunk,
                 std::size_t size, std::uint64_t offset);

// Lays out one line of `size` bytes (1 to line_bytes) the generic way, for
// any layout, colour set-up and offset.
void write_line_generic(const line_plan& plan, const unsigned char* bytes, std::size_t size,
                        std::uint64_t offset);

// Lays out each line of a run the generic way: a lines_routine for any plan.
void write_lines_generic(const line_plan& plan, const unsigned char* first, std::size_t count,
                         std::uint64_t offset);
