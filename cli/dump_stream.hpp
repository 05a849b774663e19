// The stream dumper: positions one input at the range start, reads it and
// hands its bytes to the dumper, which collapses repeated lines and lays
// out the rest.
#pragma once

#include <cstdio>

#include "cli/range.hpp"
#include "zelk/zelk.hpp"

// Dumps `range` of `stream` through `d`, as a dump of its own whose first
// byte is shown at the range start; `name` appears only in fatal read
// messages. Ends the process on a read error, after what was read before it
// has been dumped and written. The stream is positioned with fseeko and read
// through its file descriptor, so it must have one (a memory stream has
// none). The dump's output stays buffered in `d` (flushed as it goes when
// standard output is a terminal).
void dump_stream(zelk::dumper& d, std::FILE* stream, const char* name, const byte_range& range);

// Writes what `d` holds and ends the process like err(3), with the system's
// text for errno as it was at the call.
[[noreturn]] void dump_fatal(zelk::dumper& d, const char* format, const char* argument);
