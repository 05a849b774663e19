// The offset field that begins every dump line, and the marker line that
// stands for a run of repeated lines, indented to the field's width. Their
// format is written here alone: the kernels know only the short field's
// width (short_offset_field), to place what follows it, and which offsets it
// fits (fits_short_field).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "dump/line_tables.hpp"

namespace zelk::detail {

// Columns of the field of every offset that fits them (fits_short_field);
// larger offsets widen it. Fixed, not a setting: the short field is laid out
// and kept as one 64-bit word (short_offset_field_bytes, offset_fields).
inline constexpr std::size_t short_offset_field = 8;
static_assert(short_offset_field == sizeof(std::uint64_t),
              "short_offset_field is fixed: the short field is laid out as one 64-bit word");

// Bits of an offset that the short field shows, four to a hex digit: it fits
// the offsets below 2^32, which are passed in 32 bits (short_offset_field_bytes,
// offset_fields, the kernels' four_lines16).
inline constexpr std::size_t short_offset_bits = 4 * short_offset_field;
static_assert(short_offset_bits == std::numeric_limits<std::uint32_t>::digits);

// Whether the field of `offset` is the short one; from 2^32 on it widens.
inline constexpr bool fits_short_field(std::uint64_t offset) {
    return (offset >> short_offset_bits) == 0;
}

// Longest field: every hex digit of a 64-bit offset.
inline constexpr std::size_t max_offset_field = 2 * sizeof(std::uint64_t);

// "*" right-aligned in the field's columns.
inline constexpr std::string_view marker_line = "       *\n";
static_assert(marker_line.size() == short_offset_field + 1);

// The short field of an offset, its eight bytes as they lie in memory:
// four digit pairs from a table, the leading zeros among the first four
// digits (at least four digits show) turned into blanks by subtracting 0x10
// from each ('0' - ' '). No byte borrows, so the order of the bytes in a
// pair does not matter. Inline, so that the kernels' loops call nothing.
inline std::uint64_t short_offset_field_bytes(std::uint32_t offset) {
    static constexpr std::array<std::array<unsigned char, 4>, 5> blanking = {{
        {0, 0, 0, 0},
        {16, 0, 0, 0},
        {16, 16, 0, 0},
        {16, 16, 16, 0},
        {16, 16, 16, 16},
    }};
    const auto& minus =
        blanking[static_cast<std::size_t>(std::min(std::countl_zero(offset) / 4, 4))];
    std::uint16_t pair[4], blank[2];
    std::memcpy(&pair[0], hex_digit_pairs[offset >> 24].data(), 2);
    std::memcpy(&pair[1], hex_digit_pairs[(offset >> 16) & 255].data(), 2);
    std::memcpy(&pair[2], hex_digit_pairs[(offset >> 8) & 255].data(), 2);
    std::memcpy(&pair[3], hex_digit_pairs[offset & 255].data(), 2);
    std::memcpy(blank, minus.data(), 4);
    pair[0] = static_cast<std::uint16_t>(pair[0] - blank[0]);
    pair[1] = static_cast<std::uint16_t>(pair[1] - blank[1]);
    std::uint64_t bytes;
    std::memcpy(&bytes, pair, short_offset_field);
    return bytes;
}

// Writes the field of any offset at `out` (max_offset_field bytes of room);
// returns its length: the short field where the offset fits it, else the
// offset's own digits, nine or more, with no blank. Inline and without a
// call, like short_offset_field_bytes.
inline std::size_t offset_field(char* out, std::uint64_t offset) {
    if (fits_short_field(offset)) {
        const std::uint64_t bytes = short_offset_field_bytes(static_cast<std::uint32_t>(offset));
        std::memcpy(out, &bytes, short_offset_field);
        return short_offset_field;
    }
    char digits[max_offset_field];
    for (int k = 0; k < 8; ++k)
        std::memcpy(digits + 2 * k, hex_digit_pairs[(offset >> (56 - 8 * k)) & 255].data(), 2);
    const std::size_t n = static_cast<std::size_t>(64 - std::countl_zero(offset) + 3) / 4;
    // Nine to sixteen digits as two overlapping copies of eight.
    std::memcpy(out, digits + max_offset_field - n, 8);
    std::memcpy(out + n - 8, digits + 8, 8);
    return n;
}

// The short fields of consecutive lines: the part above the low 12 bits,
// with its blanks, changes once in 4096 bytes, so it is kept, and each line
// puts in its own last three digits. Writes exactly short_offset_field bytes.
// The kept field is a value, never passed by address: the compiler can then
// keep it in a register across the stores of the lines, which may alias any
// memory it could reach.
struct offset_fields {
    std::uint32_t high = ~std::uint32_t{0};  // offset >> 12 of `field`; none yet
    std::uint64_t field = 0;
    void write(char* out, std::uint32_t offset) {
        if ((offset >> 12) != high) {
            high = offset >> 12;
            field = short_offset_field_bytes(offset);
        }
        std::memcpy(out, &field, short_offset_field);
        std::memcpy(out + short_offset_field - 3, hex_digit_pairs[(offset >> 4) & 255].data(), 2);
        out[short_offset_field - 1] = hex_digits[offset & 15];
    }
};

// The field of any offset, through the cache where it is the short one;
// returns the end of the field.
inline char* offset_field(char* out, offset_fields& fields, std::uint64_t offset) {
    if (fits_short_field(offset)) {
        fields.write(out, static_cast<std::uint32_t>(offset));
        return out + short_offset_field;
    }
    return out + offset_field(out, offset);
}

}  // namespace zelk::detail
