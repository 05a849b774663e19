// The stream dumper: positions one input, reads it, collapses repeated lines
// and lays out the rest.
#pragma once

#include <cstdio>

#include "dump/kernel.hpp"
#include "dump/poison.hpp"
#include "dump/settings.hpp"

// Process-wide settings, filled from the command line before the first dump.
extern dump_settings settings;

// Writes the dump of `stream` under `settings`; `name` appears only in fatal
// read messages. Ends the process on a read error. The stream is positioned
// with fseeko and read through its file descriptor, so it must have one (a
// memory stream has none).
void dump_stream(std::FILE* stream, const char* name);

#ifdef ZELK_POISON
// Where set, lays out the whole lines of every dump in place of the chosen
// kernel's routine: a test's routine that reads past its lines shows that the
// read block is poisoned past the bytes read.
extern lines_routine dump_routine_override;
#endif
