// The aarch64 kernel: NEON, which every aarch64 CPU has, so it needs no
// check at run time. It serves the default layout and, a piece of 16 bytes
// at a time, every other layout, plain and coloured. Table lookups
// (vqtbl1q/vqtbl2q) give 0 for an index past the table, which is how the
// lanes of spaces are left empty before the spaces are merged in; compares
// are unsigned throughout.
#include "dump/kernel.hpp"

// Compiled on every target; empty where the compiler makes code for a CPU
// other than aarch64.
#ifdef ZELK_ARM64_KERNELS

#include <arm_neon.h>

#include <array>
#include <cstring>

#include "dump/kernels/lines.hpp"

namespace zelk::detail {

namespace {

// Where each byte of the default line's hex block (hex16_size bytes, laid
// out as 64 by four stores) comes from: an index into the 32 hex digits of its 16
// bytes, or 0xff (past the table: 0) for a space, which `spaces` fills.
struct hex16_lanes {
    alignas(16) std::array<unsigned char, 64> from{};
    alignas(16) std::array<unsigned char, 64> spaces{};
};
constexpr hex16_lanes hex16_lane_tables = [] {
    hex16_lanes t;
    for (int r = 0; r < 64; ++r) {
        const int from = r < static_cast<int>(hex16_size) ? hex16_source(r) : -1;
        t.from[r] = static_cast<unsigned char>(from < 0 ? 0xff : from);
        t.spaces[r] = static_cast<unsigned char>(from < 0 ? ' ' : 0);
    }
    return t;
}();

alignas(16) constexpr std::array<unsigned char, 16> lane_numbers = {0, 1, 2,  3,  4,  5,  6,  7,
                                                                    8, 9, 10, 11, 12, 13, 14, 15};

static_assert(space_lane >= 32, "a space lane must fall past a two-register lookup table");

struct neon_isa {
    static constexpr isa_groups groups = {
        .ascii16 = true, .colour_columns16 = true, .pieces = true};

    static uint8x16_t load(const void* p) { return vld1q_u8(static_cast<const unsigned char*>(p)); }
    static void store(char* p, uint8x16_t v) { vst1q_u8(reinterpret_cast<unsigned char*>(p), v); }

    // The 32 hex digits of 16 bytes, high then low digit of each byte.
    static uint8x16x2_t digits_of(uint8x16_t x) {
        const uint8x16_t digits = load(hex_digits);
        const uint8x16_t high = vqtbl1q_u8(digits, vshrq_n_u8(x, 4));
        const uint8x16_t low = vqtbl1q_u8(digits, vandq_u8(x, vdupq_n_u8(0x0f)));
        return vzipq_u8(high, low);
    }
    static char* hex16(char* p, const unsigned char* b) {
        const uint8x16x2_t digits = digits_of(load(b));
        const hex16_lanes& t = hex16_lane_tables;
        for (int r = 0; r < 4; ++r)
            store(p + 16 * r, vorrq_u8(vqtbl2q_u8(digits, load(t.from.data() + 16 * r)),
                                       load(t.spaces.data() + 16 * r)));
        return p + hex16_size;
    }

    static uint8x16_t printable_mask(uint8x16_t x) {
        return vandq_u8(vcgeq_u8(x, vdupq_n_u8(printable_first)),
                        vcleq_u8(x, vdupq_n_u8(printable_last)));
    }
    static bool all_ascii16(const unsigned char* b) { return vmaxvq_u8(load(b)) < 0x80; }
    static bool all_printable16(const unsigned char* b) {
        return vminvq_u8(printable_mask(load(b))) == 0xff;
    }
    static uint8x16_t ascii_glyphs(uint8x16_t x) {
        return vbslq_u8(printable_mask(x), x, vdupq_n_u8(dot_glyph));
    }
    // The text block of 16 bytes below 0x80, with the group space in the
    // middle.
    static char* ascii_glyphs16(char* q, const unsigned char* b) {
        const uint8x16_t g = ascii_glyphs(load(b));
        static_assert(group16 == 8);
        vst1_u8(reinterpret_cast<unsigned char*>(q), vget_low_u8(g));
        q[group16] = ' ';
        vst1_u8(reinterpret_cast<unsigned char*>(q + group16 + 1), vget_high_u8(g));
        return q + ascii_text16_size;
    }

    // The slot of each byte: the number of class starts at or below it
    // (class_by_count); a true compare is 0xff, so the sum of the four is
    // minus the count.
    static uint8x16_t at_or_above(uint8x16_t x, unsigned char start) {
        return vcgeq_u8(x, vdupq_n_u8(start));
    }
    static uint8x16_t slots_of(uint8x16_t x) {
        const uint8x16_t minus =
            vaddq_u8(vaddq_u8(at_or_above(x, class_starts[0]), at_or_above(x, class_starts[1])),
                     vaddq_u8(at_or_above(x, class_starts[2]), at_or_above(x, class_starts[3])));
        return negated(minus);
    }
    static uint8x16_t negated(uint8x16_t v) {
        return vreinterpretq_u8_s8(vnegq_s8(vreinterpretq_s8_u8(v)));
    }
    // The size of each byte's glyph by the rule of glyph_size_rows and
    // latin1_dots: 1 below 0x80, from a row of 16 lanes up to latin1_first,
    // and 2 from there on but for the Latin-1 dots.
    static uint8x16_t glyph_sizes(uint8x16_t x) {
        const uint8x16_t row = vandq_u8(x, vdupq_n_u8(0xf0));
        const uint8x16_t column = vandq_u8(x, vdupq_n_u8(0x0f));
        const uint8x16_t row_80 = vceqq_u8(row, vdupq_n_u8(cp1252_first));
        const uint8x16_t row_90 = vceqq_u8(row, vdupq_n_u8(cp1252_first + 16));
        const uint8x16_t from_table =
            vorrq_u8(vandq_u8(row_80, vqtbl1q_u8(load(glyph_size_rows[0].data()), column)),
                     vandq_u8(row_90, vqtbl1q_u8(load(glyph_size_rows[1].data()), column)));
        const uint8x16_t latin1 = vbicq_u8(at_or_above(x, latin1_first),
                                           vorrq_u8(vceqq_u8(x, vdupq_n_u8(latin1_dots[0])),
                                                    vceqq_u8(x, vdupq_n_u8(latin1_dots[1]))));
        // 1, plus 1 for Latin-1 (a true compare is 0xff), unless the row has it.
        const uint8x16_t other = vsubq_u8(vdupq_n_u8(1), latin1);
        return vorrq_u8(from_table, vbicq_u8(other, vorrq_u8(row_80, row_90)));
    }
    // For each byte, where its item starts (skipping the escape unless the
    // class changes there) and how far it moves the line on.
    static void colour_columns16(colour_columns& at, const kernel_tables& t, const unsigned char* b,
                                 unsigned hex_before, unsigned text_before) {
        const uint8x16_t x = load(b);
        const uint8x16_t s = slots_of(x);
        // Each byte against the one before it.
        const uint8x16_t hex_change = vmvnq_u8(
            vceqq_u8(s, vextq_u8(vdupq_n_u8(static_cast<std::uint8_t>(hex_before)), s, 15)));
        const uint8x16_t text_change = vmvnq_u8(
            vceqq_u8(s, vextq_u8(vdupq_n_u8(static_cast<std::uint8_t>(text_before)), s, 15)));
        const uint8x16_t sizes = vqtbl1q_u8(load(t.escape_size_lanes.data()), s);
        // Item offsets: byte * item_size + the escape size where it is skipped.
        static_assert(item_size == 16);
        const uint8x16_t hex_skip = vbicq_u8(sizes, hex_change);
        const uint8x16_t text_skip = vbicq_u8(sizes, text_change);
        const uint16x8_t low = vshll_n_u8(vget_low_u8(x), 4);
        const uint16x8_t high = vshll_n_u8(vget_high_u8(x), 4);
        vst1q_u16(at.hex_from, vaddw_u8(low, vget_low_u8(hex_skip)));
        vst1q_u16(at.hex_from + 8, vaddw_u8(high, vget_high_u8(hex_skip)));
        vst1q_u16(at.text_from, vaddw_u8(low, vget_low_u8(text_skip)));
        vst1q_u16(at.text_from + 8, vaddw_u8(high, vget_high_u8(text_skip)));
        vst1q_u8(at.hex_grow, vaddq_u8(vandq_u8(hex_change, sizes), vdupq_n_u8(hex_column_size)));
        vst1q_u8(at.text_grow, vaddq_u8(vandq_u8(text_change, sizes), glyph_sizes(x)));
        // Read back from memory, one lane at a time, rather than extracted
        // from registers: an empty asm that may have changed `at` keeps the
        // compiler from forwarding the stored vectors lane by lane.
        asm("" : "+m"(at));
    }

    // The hex columns of a piece: each lane a digit from the two-register
    // table of its 32 digits, or a space.
    static char* hex_piece(char* p, const unsigned char* b, const piece_layout& piece) {
        const uint8x16x2_t digits = digits_of(load(b));
        for (int r = 0; r < 4; ++r)
            store(p + 16 * r, vorrq_u8(vqtbl2q_u8(digits, load(piece.hex_from.data() + 16 * r)),
                                       load(piece.hex_spaces.data() + 16 * r)));
        return p + piece.hex_size;
    }
    // The text columns of a piece of bytes below 0x80.
    static char* ascii_piece(char* p, const unsigned char* b, const piece_layout& piece) {
        const uint8x16_t g = ascii_glyphs(load(b));
        for (int r = 0; r < 2; ++r)
            store(p + 16 * r, vorrq_u8(vqtbl1q_u8(g, load(piece.text_from.data() + 16 * r)),
                                       load(piece.text_spaces.data() + 16 * r)));
        return p + piece.text_size;
    }
    static bool all_ascii(const unsigned char* b, std::size_t n) {
        uint8x16_t any = vdupq_n_u8(0);
        std::size_t i = 0;
        for (; i + 16 <= n; i += 16) any = vorrq_u8(any, load(b + i));
        if (i < n) {
            const uint8x16_t kept =
                vcltq_u8(load(lane_numbers.data()), vdupq_n_u8(static_cast<std::uint8_t>(n - i)));
            any = vorrq_u8(any, vandq_u8(load(b + i), kept));
        }
        return vmaxvq_u8(any) < 0x80;
    }
};

// The entry points, flattened so that the shared algorithms and the Isa
// functions are inlined into the loop over the run of lines.
[[gnu::flatten]] void neon_plain16(output& out, const line_plan& plan, const unsigned char* first,
                                   std::size_t count, std::uint64_t offset) {
    lines16<neon_isa, false>(out, plan, first, count, offset);
}
[[gnu::flatten]] void neon_colour16(output& out, const line_plan& plan, const unsigned char* first,
                                    std::size_t count, std::uint64_t offset) {
    lines16<neon_isa, true>(out, plan, first, count, offset);
}
[[gnu::flatten]] void neon_plain(output& out, const line_plan& plan, const unsigned char* first,
                                 std::size_t count, std::uint64_t offset) {
    plain_lines<neon_isa>(out, plan, first, count, offset);
}
[[gnu::flatten]] void neon_colour(output& out, const line_plan& plan, const unsigned char* first,
                                  std::size_t count, std::uint64_t offset) {
    colour_lines<neon_isa>(out, plan, first, count, offset);
}

}  // namespace

// NEON is part of every aarch64: the kernel needs nothing more.
extern const line_kernel neon_kernel = {
    "neon", 0, routine_for_plan<neon_plain16, neon_colour16, neon_plain, neon_colour>};

}  // namespace zelk::detail

#endif
