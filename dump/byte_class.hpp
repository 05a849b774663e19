// Byte classes, their colours and the text-block glyph of every byte value.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "zelk/zelk.hpp"

namespace zelk::detail {

// The five classes partition the 256 byte values; their names are also the
// property keywords of ZELK_COLORS.
enum class byte_class : unsigned char { zero, low, printable, high, all };

inline constexpr std::size_t class_count = 5;

static_assert(default_colours.size() == class_count);

// The first byte shown by the code page below rather than as ASCII.
inline constexpr unsigned char cp1252_first = 0x80;

// The Windows-1252 code page for 0x80..0xFF (its best-fit table), as
// UTF-8. Replaced by ".": 0x81, 0x8d, 0x8f, 0x90 and 0x9d, which have no
// character, and 0xa0 (no-break space) and 0xad (soft hyphen), which would
// not be seen. 0xa1..0xff are Latin-1.
inline constexpr std::array<std::string_view, 128> cp1252_glyphs = {
    "€", ".", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", ".", "Ž", ".",  // 0x80
    ".", "‘", "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", ".", "ž", "Ÿ",  // 0x90
    ".", "¡", "¢", "£", "¤", "¥", "¦", "§", "¨", "©", "ª", "«", "¬", ".", "®", "¯",  // 0xa0
    "°", "±", "²", "³", "´", "µ", "¶", "·", "¸", "¹", "º", "»", "¼", "½", "¾", "¿",  // 0xb0
    "À", "Á", "Â", "Ã", "Ä", "Å", "Æ", "Ç", "È", "É", "Ê", "Ë", "Ì", "Í", "Î", "Ï",  // 0xc0
    "Ð", "Ñ", "Ò", "Ó", "Ô", "Õ", "Ö", "×", "Ø", "Ù", "Ú", "Û", "Ü", "Ý", "Þ", "ß",  // 0xd0
    "à", "á", "â", "ã", "ä", "å", "æ", "ç", "è", "é", "ê", "ë", "ì", "í", "î", "ï",  // 0xe0
    "ð", "ñ", "ò", "ó", "ô", "õ", "ö", "÷", "ø", "ù", "ú", "û", "ü", "ý", "þ", "ÿ",  // 0xf0
};

// The characters the POSIX locale calls printable, which the program never
// leaves: they show as themselves and make the printable class.
inline constexpr unsigned char printable_first = 0x20;
inline constexpr unsigned char printable_last = 0x7e;

// Where each class after zero begins, in class order: a byte's class is the
// number of these at or below it. 0x7f (DEL) begins high, and 0xff is a class
// of its own. Every kernel that works classes out many bytes at a time uses
// these.
inline constexpr std::array<unsigned char, class_count - 1> class_starts = {
    0x01,                // low: control bytes
    printable_first,     // printable
    printable_last + 1,  // high
    0xff,                // all
};

constexpr byte_class class_of(unsigned char b) {
    if (b >= class_starts[3]) return byte_class::all;
    if (b < class_starts[0]) return byte_class::zero;
    if (b < class_starts[1]) return byte_class::low;
    if (b < class_starts[2]) return byte_class::printable;
    return byte_class::high;
}

// What a byte shows as in the text block where it has no character.
inline constexpr char dot_glyph = '.';

// Below 0x80 a byte shows as itself where printable, else as dot_glyph.
inline constexpr std::array<char, 128> ascii_glyphs = [] {
    std::array<char, 128> t{};
    for (int b = 0; b < 128; ++b)
        t[b] = b >= printable_first && b <= printable_last ? static_cast<char>(b) : dot_glyph;
    return t;
}();

constexpr std::string_view glyph_of(unsigned char b) {
    if (b >= cp1252_first) return cp1252_glyphs[b - cp1252_first];
    return std::string_view(&ascii_glyphs[b], 1);
}

}  // namespace zelk::detail
