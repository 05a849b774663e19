// Rendering into memory instead of standard output, for tests of the engine
// without a process.
#pragma once

#include <cstdint>
#include <string>

#include "dump/kernel.hpp"
#include "dump/line_plan.hpp"
#include "tests/reference_layout.hpp"

// The plan of `s`'s layout and colours (which must outlive it).
zelk::detail::line_plan make_line_plan(const test_settings& s);

// The options of a dumper for `s`'s layout and colours, first_offset the
// range start.
zelk::options options_of(const test_settings& s);

// The dump of `input` as a seekable file under `s`, as the command line
// reads and dumps it.
std::string dump_in_memory(const std::string& input, const test_settings& s);

// The lines of `bytes`, which start at `offset`, as the dump loop lays them
// out: cut into chunks for write_chunk under `plan`, whole lines laid out by
// `routine`. Each chunk is read from a heap block of its exact size, so that
// a read past its last line fails in a sanitizer build.
std::string lines_in_memory(const std::string& bytes, std::uint64_t offset,
                            const zelk::detail::line_plan& plan,
                            zelk::detail::lines_routine routine);

// A sink that appends to the std::string at `context`.
bool append_to_string(void* context, const char* data, std::size_t size);
