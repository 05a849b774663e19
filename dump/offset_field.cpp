#include "dump/offset_field.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "dump/line_tables.hpp"

namespace {

// The eight-column field of an offset below 2^32: four digit pairs from a
// table, the leading zeros among the first four digits (at least four digits
// show) turned into blanks by subtracting 0x10 from each ('0' - ' '). The
// pairs are worked on in registers and stored once: reading back a field
// just stored in pieces would stall. No byte borrows, so the order of the
// bytes in a pair does not matter.
void offset_field8(char* out, std::uint32_t offset) {
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
    std::memcpy(out, pair, short_offset_field);
}

}  // namespace

std::uint64_t short_offset_field_bytes(std::uint32_t offset) {
    char field[short_offset_field];
    offset_field8(field, offset);
    std::uint64_t bytes;
    std::memcpy(&bytes, field, short_offset_field);
    return bytes;
}

// The offset above its low 12 bits right-aligned in five columns, then the
// low 12 bits as three zero-filled digits.
std::size_t offset_field(char* out, std::uint64_t offset) {
    if ((offset >> 32) == 0) {
        offset_field8(out, static_cast<std::uint32_t>(offset));
        return short_offset_field;
    }
    char high[16];
    std::size_t n = 0;
    std::uint64_t rest = offset >> 12;
    do {
        high[n++] = hex_digits[rest & 15];
        rest >>= 4;
    } while (rest != 0);
    std::size_t len = 0;
    for (std::size_t pad = n; pad < 5; ++pad) out[len++] = ' ';
    while (n > 0) out[len++] = high[--n];
    out[len++] = hex_digits[(offset >> 8) & 15];
    out[len++] = hex_digits[(offset >> 4) & 15];
    out[len++] = hex_digits[offset & 15];
    return len;
}
