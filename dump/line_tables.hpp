// Per-byte tables shared by the offset field, the generic layout and every
// kernel: hex digits, hex pairs, glyphs in fixed-size entries, and colour
// slots. All computed at compile time.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>

#include "dump/byte_class.hpp"

namespace zelk::detail {

inline constexpr char hex_digits[] = "0123456789abcdef";

// Bytes of a byte's column in the hex block: its pair with the space before.
inline constexpr std::size_t hex_column_size = 3;

// " %02x" of every byte value and a fourth byte ' '. Pairs are stored four
// bytes at a time, each store's last byte overwritten by the next pair, so
// the trailing space is left only where a group or block space follows.
inline constexpr std::array<std::array<char, 4>, 256> hex_pairs = [] {
    std::array<std::array<char, 4>, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = {' ', hex_digits[b >> 4], hex_digits[b & 15], ' '};
    return t;
}();
static_assert(hex_pairs[0].size() == hex_column_size + 1);

// "%02x" of every byte value.
inline constexpr std::array<std::array<char, 2>, 256> hex_digit_pairs = [] {
    std::array<std::array<char, 2>, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = {hex_digits[b >> 4], hex_digits[b & 15]};
    return t;
}();

// glyph_of of every byte value in the first `size` bytes of a four-byte
// entry, so that a glyph is one four-byte store and an advance.
struct glyph_entry {
    std::array<char, 3> bytes;
    unsigned char size;
};
static_assert(sizeof(glyph_entry) == 4);
inline constexpr std::array<glyph_entry, 256> glyphs = [] {
    std::array<glyph_entry, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const std::string_view g = glyph_of(static_cast<unsigned char>(b));
        for (std::size_t i = 0; i < g.size(); ++i) t[b].bytes[i] = g[i];
        t[b].size = static_cast<unsigned char>(g.size());
    }
    return t;
}();

// The longest glyph, in bytes.
inline constexpr std::size_t max_glyph_size = 3;

// The colour slot, class_of as a number, of every byte value.
inline constexpr std::array<unsigned char, 256> slots = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = static_cast<unsigned char>(class_of(static_cast<unsigned char>(b)));
    return t;
}();

inline constexpr unsigned printable_slot = static_cast<unsigned>(byte_class::printable);

// `last` at the start of a line, so that its first byte always gets an escape.
inline constexpr unsigned no_slot = class_count;

// The widest glyph of each class, in bytes, and of the three classes with the
// widest, widest first: a line's text block is longest where its bytes
// alternate between the first two classes, each column then taking an escape.
inline constexpr std::array<std::size_t, class_count> widest_glyph_of_class = [] {
    std::array<std::size_t, class_count> t{};
    for (int b = 0; b < 256; ++b) t[slots[b]] = std::max<std::size_t>(t[slots[b]], glyphs[b].size);
    return t;
}();
inline constexpr std::array<std::size_t, 3> widest_glyphs_of_classes = [] {
    std::array<std::size_t, class_count> t = widest_glyph_of_class;
    std::sort(t.begin(), t.end(), [](std::size_t a, std::size_t b) { return a > b; });
    return std::array<std::size_t, 3>{t[0], t[1], t[2]};
}();
static_assert(widest_glyphs_of_classes[0] == max_glyph_size);

// Bytes of the longest text columns of a line of `k` bytes, group spaces
// not counted, where every escape has `escape` bytes (0: plain). Plain, every
// glyph can be of the widest. Coloured, a column's escape is due where its
// class differs from the byte before it, the first column's where it differs
// from the line's last byte; so every column takes one only where the classes
// of neighbours, the first and last counted as neighbours, all differ. An
// even line alternates the two classes of the widest glyphs. An odd one
// cannot go round that way: either a third class takes one column, or the
// first and last columns share a class and the first escape is not due. A
// line of one byte has no escape in its text block.
constexpr std::size_t widest_text_columns(std::size_t k, std::size_t escape) {
    const auto [first, second, third] = widest_glyphs_of_classes;
    if (escape == 0 || k <= 1) return k * first;
    const std::size_t pairs = k / 2;
    if (k % 2 == 0) return k * escape + pairs * (first + second);
    return std::max(k * escape + pairs * (first + second) + third,
                    (k - 1) * escape + pairs * (first + second) + first);
}

}  // namespace zelk::detail
