// The stream dumper: positions one input, reads it, collapses repeated lines
// and lays out the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct dump_settings {
    std::uint64_t width = 16;      // bytes per line (-w); 1 to max_width
    std::uint64_t group_size = 8;  // bytes per group, 0 for none (-g)
    bool colour = true;            // write colour and bold escapes (-p turns it off)
    std::int64_t range_start = 0;  // offset of the first byte to dump (-r)
    std::int64_t range_end = -1;   // one past the last byte, -1 for the end of input (-r)
};

// Lines are cut from chunks of this size, counted from the range start: a
// line never spans two chunks, whatever size the reads are, so a line never
// holds more than one chunk and the rest of a wider line is blank columns.
inline constexpr std::size_t chunk_size = 1024;

// Widest line accepted.
inline constexpr std::uint64_t max_width = 1048576;

// Process-wide settings, filled from the command line before the first dump.
extern dump_settings settings;

// Writes the dump of `stream` under `settings`; `name` appears only in fatal
// read messages. Ends the process on a read error. The stream is positioned
// with fseeko and read through its file descriptor, so it must have one (a
// memory stream has none).
void dump_stream(std::FILE* stream, const char* name);
