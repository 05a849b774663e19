// The dump format rendered the plain, obvious way: one formatted item at a
// time into a string, straight from the rules of the format. The fast layout
// is checked against it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zelk/zelk.hpp"

// What a test dumps: the layout, the colours (as ZELK_COLORS would set
// them) and the range (as -r would).
struct test_settings {
    std::uint64_t width = 16;
    std::uint64_t group_size = 8;
    bool colour = true;
    std::int64_t range_start = 0;
    std::int64_t range_end = -1;  // one past the last byte, -1 for the end of input
    std::array<std::string_view, 5> colours = zelk::default_colours;
};

// One line of `size` bytes at `offset`.
std::string reference_line(const unsigned char* bytes, std::size_t size, std::uint64_t offset,
                           const test_settings& s);

// The lines of `bytes`, which start at `offset`: cut into 1024-byte chunks
// counted from their start, each chunk into lines, repeats collapsed.
std::string reference_lines(const std::string& bytes, std::uint64_t offset, const test_settings& s);

// The whole dump of `input` as a file: its range, then reference_lines.
std::string reference_dump(const std::string& input, const test_settings& s);
