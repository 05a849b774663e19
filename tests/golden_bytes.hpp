// The class, default colour and glyph of every byte value, written out from
// the rules of the format rather than taken from the engine's tables, so
// that a test comparing the two catches a boundary or a glyph that drifted.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "dump/byte_class.hpp"

using zelk::detail::byte_class;

// Each class is one run of byte values.
struct class_range {
    unsigned first, last;
    byte_class cls;
    std::string_view colour;  // the class's colour unless ZELK_COLORS changes it
};

inline constexpr class_range class_ranges[] = {
    {0x00, 0x00, byte_class::zero, "38;5;238"},
    {0x01, 0x1f, byte_class::low, "38;5;150"},   // the other controls
    {0x20, 0x7e, byte_class::printable, ""},     // ASCII from the space to '~'
    {0x7f, 0xfe, byte_class::high, "38;5;141"},  // DEL and the high half
    {0xff, 0xff, byte_class::all, "38;5;167"},
};

// The ranges follow each other from 0x00 to 0xff, so every byte value is in one.
static_assert([] {
    unsigned next = 0;
    for (const class_range& r : class_ranges) {
        if (r.first != next || r.last < r.first) return false;
        next = r.last + 1;
    }
    return next == 0x100;
}());

constexpr const class_range& range_of(unsigned char b) {
    for (const class_range& r : class_ranges)
        if (b <= r.last) return r;
    return class_ranges[0];  // not reached: the last range ends at 0xff
}

// The glyphs, 16 bytes a row. Below 0x80 printable ASCII shows as itself;
// above, Windows-1252 in UTF-8, where the five bytes without a character
// (0x81, 0x8d, 0x8f, 0x90, 0x9d), the no-break space (0xa0) and the soft
// hyphen (0xad) show as "." like the controls.
inline constexpr std::string_view glyph_rows[16] = {
    "................",   // 0x00
    "................",   // 0x10
    " !\"#$%&'()*+,-./",  // 0x20
    "0123456789:;<=>?",   // 0x30
    "@ABCDEFGHIJKLMNO",   // 0x40
    "PQRSTUVWXYZ[\\]^_",  // 0x50
    "`abcdefghijklmno",   // 0x60
    "pqrstuvwxyz{|}~.",   // 0x70
    "€.‚ƒ„…†‡ˆ‰Š‹Œ.Ž.",   // 0x80
    ".‘’“”•–—˜™š›œ.žŸ",   // 0x90
    ".¡¢£¤¥¦§¨©ª«¬.®¯",   // 0xa0
    "°±²³´µ¶·¸¹º»¼½¾¿",   // 0xb0
    "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏ",   // 0xc0
    "ÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß",   // 0xd0
    "àáâãäåæçèéêëìíîï",   // 0xe0
    "ðñòóôõö÷øùúûüýþÿ",   // 0xf0
};

// The rows cut into one UTF-8 character per byte value. A row that does not
// hold exactly 16 characters stops the build.
inline constexpr std::array<std::string_view, 256> golden_glyphs = [] {
    std::array<std::string_view, 256> glyphs{};
    for (std::size_t row = 0; row < 16; ++row) {
        const std::string_view text = glyph_rows[row];
        std::size_t at = 0;
        for (std::size_t column = 0; column < 16; ++column) {
            if (at >= text.size()) throw "a glyph row holds fewer than 16 characters";
            std::size_t end = at + 1;
            while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
                ++end;  // continuation bytes of the same character
            glyphs[row * 16 + column] = text.substr(at, end - at);
            at = end;
        }
        if (at != text.size()) throw "a glyph row holds more than 16 characters";
    }
    return glyphs;
}();
