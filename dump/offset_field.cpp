#include "dump/offset_field.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "dump/line_tables.hpp"

// The offset above its low 12 bits right-aligned in five columns, then the
// low 12 bits as three zero-filled digits.
std::size_t offset_field(char* out, std::uint64_t offset) {
    if ((offset >> 32) == 0) {
        const std::uint64_t bytes = short_offset_field_bytes(static_cast<std::uint32_t>(offset));
        std::memcpy(out, &bytes, short_offset_field);
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
