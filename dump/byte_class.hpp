// Byte classes, their colours and the text-block glyph of every byte value.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

// The five classes partition the 256 byte values; their names are also the
// property keywords of ZELK_COLORS.
enum class byte_class : unsigned char { zero, low, printable, high, all };

inline constexpr std::size_t class_count = 5;

// Parameter text of the SGR escape (between "\033[" and "m") for each class,
// indexed by byte_class. Written only at start-up, before the first dump.
extern std::array<std::string_view, class_count> class_colours;

// Windows-1252 characters of 0x80..0xFF in UTF-8.
extern const std::array<std::string_view, 128> cp1252_glyphs;

constexpr byte_class class_of(unsigned char b) {
    if (b == 0xff) return byte_class::all;
    if (b == 0x00) return byte_class::zero;
    if (b <= 0x1f) return byte_class::low;
    if (b < 0x7f) return byte_class::printable;
    return byte_class::high;
}

inline std::string_view colour_of(unsigned char b) {
    return class_colours[static_cast<std::size_t>(class_of(b))];
}

std::string_view glyph_of(unsigned char b);
