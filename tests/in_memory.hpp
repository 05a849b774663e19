// Rendering into memory instead of standard output, for tests of the engine
// without a process.
#pragma once

#include <functional>
#include <string>

#include "dump/dump_stream.hpp"

// Runs `work` with the output path captured; returns what it wrote.
std::string capture_output(const std::function<void()>& work);

// The dump of `input` as a seekable file under `s` (which is restored to
// the defaults afterwards).
std::string dump_in_memory(const std::string& input, const dump_settings& s);
