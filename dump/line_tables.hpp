// Per-byte tables shared by the offset field, the generic layout and every
// kernel: hex digits, hex pairs, glyphs in fixed-size entries, and colour
// slots. All computed at compile time.
#pragma once

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

}  // namespace zelk::detail
