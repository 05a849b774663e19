// The stream dumper: positions one input, reads it, collapses repeated lines
// and lays out the rest.
#pragma once

#include <cstdint>
#include <cstdio>

struct dump_settings {
    std::uint64_t width = 16;      // bytes per line (-w); 1 to max_width
    std::uint64_t group_size = 8;  // bytes per group, 0 for none (-g)
    bool colour = true;            // write colour and bold escapes (-p turns it off)
    std::int64_t range_start = 0;  // offset of the first byte to dump (-r)
    std::int64_t range_end = -1;   // one past the last byte, -1 for the end of input (-r)
};

// Widest line accepted; a line never holds more than one 1024-byte chunk, the
// rest of a wider line is blank columns.
inline constexpr std::uint64_t max_width = 1048576;

// Process-wide settings, filled from the command line before the first dump.
extern dump_settings settings;

// Writes the dump of `stream` under `settings`; `name` appears only in fatal
// read messages. Ends the process on a read error.
void dump_stream(std::FILE* stream, const char* name);

// Lays out one line of `size` bytes (at most 1024) that starts at `offset`.
void layout_line(const unsigned char* bytes, std::size_t size, std::uint64_t offset,
                 const dump_settings& s);
