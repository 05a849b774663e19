#include "cli/shown_name.hpp"

#include <cstdint>

namespace {

// What may follow the first byte of a well-formed UTF-8 sequence: its length
// and the range of its second byte (the later ones are always 0x80 to 0xBF).
// Narrower second-byte ranges keep out overlong forms (after 0xE0 and 0xF0),
// surrogates (after 0xED) and code points above U+10FFFF (after 0xF4); 0xC0,
// 0xC1 and 0xF5 to 0xFF begin nothing.
struct sequence_start {
    std::uint8_t length;  // 0: the byte begins no multibyte sequence
    std::uint8_t second_low;
    std::uint8_t second_high;
};

constexpr sequence_start start_of(unsigned char lead) {
    if (lead >= 0xc2 && lead <= 0xdf) return {2, 0x80, 0xbf};
    if (lead == 0xe0) return {3, 0xa0, 0xbf};
    if (lead == 0xed) return {3, 0x80, 0x9f};
    if (lead >= 0xe1 && lead <= 0xef) return {3, 0x80, 0xbf};
    if (lead == 0xf0) return {4, 0x90, 0xbf};
    if (lead >= 0xf1 && lead <= 0xf3) return {4, 0x80, 0xbf};
    if (lead == 0xf4) return {4, 0x80, 0x8f};
    return {0, 0, 0};
}

// Length of the well-formed multibyte sequence at the start of the `size`
// bytes at `p`, or 0 when none begins there.
std::size_t sequence_length(const unsigned char* p, std::size_t size) {
    const sequence_start start = start_of(p[0]);
    if (start.length == 0 || size < start.length) return 0;
    if (p[1] < start.second_low || p[1] > start.second_high) return 0;
    for (std::size_t i = 2; i < start.length; ++i)
        if (p[i] < 0x80 || p[i] > 0xbf) return 0;
    return start.length;
}

}  // namespace

std::size_t shown_name(const char* name, std::size_t size, char* out) {
    const auto* in = reinterpret_cast<const unsigned char*>(name);
    std::size_t shown = 0;
    std::size_t i = 0;
    // Written never ahead of read, so that `out` may be `name`.
    while (i < size) {
        const unsigned char byte = in[i];
        if (byte < 0x80) {
            out[shown++] = byte >= 0x20 && byte != 0x7f ? static_cast<char>(byte) : '?';
            ++i;
            continue;
        }
        const std::size_t length = sequence_length(in + i, size - i);
        const bool c1_control = length == 2 && byte == 0xc2 && in[i + 1] <= 0x9f;
        if (length == 0 || c1_control) {
            out[shown++] = '?';
            i += length == 0 ? 1 : length;
            continue;
        }
        for (std::size_t k = 0; k < length; ++k) out[shown++] = static_cast<char>(in[i + k]);
        i += length;
    }
    return shown;
}
