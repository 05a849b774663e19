#include "dump/byte_class.hpp"

std::array<std::string_view, class_count> class_colours = {
    "38;5;238",  // zero: dark grey
    "38;5;150",  // low: pale green
    "",          // printable: a plain reset, the terminal's own colour
    "38;5;141",  // high: violet
    "38;5;167",  // all: muted red
};

// The Windows-1252 code page for 0x80..0xFF (its best-fit table), as
// UTF-8. Replaced by ".": 0x81, 0x8d, 0x8f, 0x90 and 0x9d, which have no
// character, and 0xa0 (no-break space) and 0xad (soft hyphen), which would
// not be seen. 0xa1..0xff are Latin-1.
constexpr std::array<std::string_view, 128> cp1252_table = {
    "€", ".", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", ".", "Ž", ".",  // 0x80
    ".", "‘", "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", ".", "ž", "Ÿ",  // 0x90
    ".", "¡", "¢", "£", "¤", "¥", "¦", "§", "¨", "©", "ª", "«", "¬", ".", "®", "¯",  // 0xa0
    "°", "±", "²", "³", "´", "µ", "¶", "·", "¸", "¹", "º", "»", "¼", "½", "¾", "¿",  // 0xb0
    "À", "Á", "Â", "Ã", "Ä", "Å", "Æ", "Ç", "È", "É", "Ê", "Ë", "Ì", "Í", "Î", "Ï",  // 0xc0
    "Ð", "Ñ", "Ò", "Ó", "Ô", "Õ", "Ö", "×", "Ø", "Ù", "Ú", "Û", "Ü", "Ý", "Þ", "ß",  // 0xd0
    "à", "á", "â", "ã", "ä", "å", "æ", "ç", "è", "é", "ê", "ë", "ì", "í", "î", "ï",  // 0xe0
    "ð", "ñ", "ò", "ó", "ô", "õ", "ö", "÷", "ø", "ù", "ú", "û", "ü", "ý", "þ", "ÿ",  // 0xf0
};

const std::array<std::string_view, 128> cp1252_glyphs = cp1252_table;

namespace {

// Below 0x80 the program runs in the POSIX locale, where exactly 0x20..0x7e
// are printable.
constexpr std::array<char, 128> ascii_glyphs = [] {
    std::array<char, 128> t{};
    for (int b = 0; b < 128; ++b) t[b] = (b >= 0x20 && b < 0x7f) ? static_cast<char>(b) : '.';
    return t;
}();

}  // namespace

std::string_view glyph_of(unsigned char b) {
    if (b >= 0x80) return cp1252_table[b - 0x80];
    return std::string_view(&ascii_glyphs[b], 1);
}
