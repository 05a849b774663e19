// Rendering into memory instead of standard output, for tests of the engine
// without a process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dump/dump_stream.hpp"
#include "dump/line_layout.hpp"

// Runs `work` with the output path captured; returns what it wrote.
std::string capture_output(const std::function<void()>& work);

// The dump of `input` as a seekable file under `s` (which is restored to
// the defaults afterwards).
std::string dump_in_memory(const std::string& input, const dump_settings& s);

// The lines of `bytes`, which start at `offset`, as the dump loop lays them
// out: cut into chunks for write_chunk under `plan`, whole lines laid out by
// `routine`. Each chunk is read from a heap block of its exact size, so that
// a read past its last line fails in a sanitizer build.
std::string lines_in_memory(const std::string& bytes, std::uint64_t offset, const line_plan& plan,
                            lines_routine routine);
