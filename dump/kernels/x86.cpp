// The x86-64 kernels: SSSE3, and AVX-512 (with VBMI and VBMI2) where plain
// lines gain from it. Each instruction set's code is compiled in a target
// region of its own and chosen only where the CPU has that set, so the rest
// of the program stays runnable on any x86-64.
#include "dump/kernel.hpp"

// Compiled on every target; empty where the compiler makes code for a CPU
// other than x86-64.
#ifdef ZELK_X86_KERNELS

#include <immintrin.h>

#include <array>
#include <cstring>

#include "dump/kernels/lines.hpp"
#include "dump/x86_cpu_report.hpp"

namespace zelk::detail {

// One target region per instruction set: every function defined between
// ZELK_TARGET_BEGIN(set) and ZELK_TARGET_END is compiled for that set, and
// nothing outside the regions is compiled for more than the baseline CPU.
#define ZELK_PRAGMA(text) _Pragma(#text)
#ifdef __clang__
#define ZELK_TARGET_BEGIN(set) \
    ZELK_PRAGMA(clang attribute push(__attribute__((target(set))), apply_to = function))
#define ZELK_TARGET_END ZELK_PRAGMA(clang attribute pop)
#else
#define ZELK_TARGET_BEGIN(set) ZELK_PRAGMA(GCC push_options) ZELK_PRAGMA(GCC target(set))
#define ZELK_TARGET_END ZELK_PRAGMA(GCC pop_options)
#endif

namespace {

// Shuffle controls and spaces for one 16-byte store of the hex block at
// `start`: lanes from the digits of bytes 0-7, from those of bytes 8-15, and
// the spaces (a shuffle control with the top bit set gives 0).
struct hex16_store {
    alignas(16) std::array<signed char, 16> from_low{};
    alignas(16) std::array<signed char, 16> from_high{};
    alignas(16) std::array<signed char, 16> spaces{};
};
constexpr std::array<int, 4> hex16_store_at = {0, 16, 32, static_cast<int>(hex16_size) - 16};
constexpr std::array<hex16_store, 4> hex16_stores = [] {
    std::array<hex16_store, 4> t{};
    for (std::size_t s = 0; s < t.size(); ++s) {
        for (int i = 0; i < 16; ++i) {
            const int from = hex16_source(hex16_store_at[s] + i);
            t[s].from_low[i] = static_cast<signed char>(from >= 0 && from < 16 ? from : -128);
            t[s].from_high[i] = static_cast<signed char>(from >= 16 ? from - 16 : -128);
            t[s].spaces[i] = static_cast<signed char>(from < 0 ? ' ' : 0);
        }
    }
    return t;
}();

constexpr bool takes_no_lanes(const std::array<signed char, 16>& from) {
    for (signed char lane : from)
        if (lane >= 0) return false;
    return true;
}
static_assert(takes_no_lanes(hex16_stores[0].from_high) &&
              takes_no_lanes(hex16_stores[2].from_low) && takes_no_lanes(hex16_stores[3].from_low));

ZELK_TARGET_BEGIN("ssse3")

struct ssse3_isa {
    static constexpr isa_groups groups = {
        .ascii16 = true, .colour_columns16 = true, .pieces = true};

    static __m128i load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void store(char* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    // The hex digits of 16 bytes, high then low digit of each byte, by a
    // table lookup per nibble: digits 0-15 (bytes 0-7) and 16-31.
    struct digit_pairs {
        __m128i low, high;
    };
    static digit_pairs digits_of(const unsigned char* b) {
        const __m128i x = load(b);
        const __m128i nibble = _mm_set1_epi8(0x0f);
        const __m128i digits = load(hex_digits);
        const __m128i high_digits =
            _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(x, 4), nibble));
        const __m128i low_digits = _mm_shuffle_epi8(digits, _mm_and_si128(x, nibble));
        return {_mm_unpacklo_epi8(high_digits, low_digits),
                _mm_unpackhi_epi8(high_digits, low_digits)};
    }
    static __m128i shuffled(const hex16_store& s, __m128i low, __m128i high) {
        return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(low, load(s.from_low.data())),
                                         _mm_shuffle_epi8(high, load(s.from_high.data()))),
                            load(s.spaces.data()));
    }
    static __m128i spaced(__m128i digits, const std::array<signed char, 16>& from,
                          const hex16_store& s) {
        return _mm_or_si128(_mm_shuffle_epi8(digits, load(from.data())), load(s.spaces.data()));
    }
    // Both digits of every byte by a table lookup per nibble, then each
    // digit shuffled into its place among the spaces.
    static char* hex16(char* p, const unsigned char* b) {
        const auto [low, high] = digits_of(b);
        // The first store takes digits of bytes 0-7 only, the last two those
        // of bytes 8-15 only.
        store(p, spaced(low, hex16_stores[0].from_low, hex16_stores[0]));
        store(p + hex16_store_at[1], shuffled(hex16_stores[1], low, high));
        store(p + hex16_store_at[2], spaced(high, hex16_stores[2].from_high, hex16_stores[2]));
        store(p + hex16_store_at[3], spaced(high, hex16_stores[3].from_high, hex16_stores[3]));
        return p + hex16_size;
    }
    static __m128i printable_mask(__m128i x) {
        // Signed compares: bytes from 0x80 on are negative, below the first.
        static_assert(printable_last < 0x7f);
        return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(printable_first - 1)),
                             _mm_cmplt_epi8(x, _mm_set1_epi8(printable_last + 1)));
    }
    static bool all_ascii16(const unsigned char* b) { return _mm_movemask_epi8(load(b)) == 0; }
    static bool all_printable16(const unsigned char* b) {
        return _mm_movemask_epi8(printable_mask(load(b))) == 0xffff;
    }
    // The slot of each byte: the number of class starts at or below it
    // (class_by_count), each a compare of x with max(x, start) but the last,
    // 0xff, one of equality; a true compare is -1.
    static __m128i at_or_above(__m128i x, unsigned char start) {
        return _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(static_cast<char>(start))), x);
    }
    static __m128i slots_of(__m128i x) {
        const __m128i minus = _mm_add_epi8(
            _mm_add_epi8(at_or_above(x, class_starts[0]), at_or_above(x, class_starts[1])),
            _mm_add_epi8(at_or_above(x, class_starts[2]),
                         _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(class_starts[3])))));
        return _mm_sub_epi8(_mm_setzero_si128(), minus);
    }
    // The size of each byte's glyph by the rule of glyph_size_rows and
    // latin1_dots: 1 below 0x80, from a row of 16 lanes up to latin1_first,
    // and 2 from there on but for the Latin-1 dots.
    static __m128i glyph_sizes(__m128i x) {
        const __m128i row = _mm_and_si128(x, _mm_set1_epi8(static_cast<char>(0xf0)));
        const __m128i column = _mm_and_si128(x, _mm_set1_epi8(0x0f));
        const __m128i row_80 = _mm_cmpeq_epi8(row, _mm_set1_epi8(static_cast<char>(cp1252_first)));
        const __m128i row_90 =
            _mm_cmpeq_epi8(row, _mm_set1_epi8(static_cast<char>(cp1252_first + 16)));
        const __m128i from_table = _mm_or_si128(
            _mm_and_si128(row_80, _mm_shuffle_epi8(load(glyph_size_rows[0].data()), column)),
            _mm_and_si128(row_90, _mm_shuffle_epi8(load(glyph_size_rows[1].data()), column)));
        const __m128i latin1 = _mm_andnot_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(latin1_dots[0]))),
                         _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(latin1_dots[1])))),
            at_or_above(x, latin1_first));
        // 1, plus 1 for Latin-1 (a mask is -1), unless the table has it.
        const __m128i other = _mm_sub_epi8(_mm_set1_epi8(1), latin1);
        return _mm_or_si128(from_table, _mm_andnot_si128(_mm_or_si128(row_80, row_90), other));
    }
    // For each byte, where its item starts (skipping the escape unless the
    // class changes there) and how far it moves the line on, worked out for
    // all 16 bytes at once.
    static void colour_columns16(colour_columns& at, const kernel_tables& t, const unsigned char* b,
                                 unsigned hex_before, unsigned text_before) {
        const __m128i x = load(b);
        const __m128i s = slots_of(x);
        const __m128i all = _mm_set1_epi8(-1);
        // Each byte against the one before it.
        const __m128i hex_change = _mm_xor_si128(
            _mm_cmpeq_epi8(s, _mm_alignr_epi8(s, _mm_set1_epi8(static_cast<char>(hex_before)), 15)),
            all);
        const __m128i text_change = _mm_xor_si128(
            _mm_cmpeq_epi8(s,
                           _mm_alignr_epi8(s, _mm_set1_epi8(static_cast<char>(text_before)), 15)),
            all);
        const __m128i sizes = _mm_shuffle_epi8(load(t.escape_size_lanes.data()), s);

        // Item offsets: byte * item_size + the escape size where it is skipped.
        static_assert(item_size == 16);
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = _mm_slli_epi16(_mm_unpacklo_epi8(x, zero), 4);
        const __m128i high = _mm_slli_epi16(_mm_unpackhi_epi8(x, zero), 4);
        const __m128i hex_skip = _mm_andnot_si128(hex_change, sizes);
        const __m128i text_skip = _mm_andnot_si128(text_change, sizes);
        auto store = [](void* to, __m128i v) { _mm_store_si128(static_cast<__m128i*>(to), v); };
        store(at.hex_from, _mm_add_epi16(low, _mm_unpacklo_epi8(hex_skip, zero)));
        store(at.hex_from + 8, _mm_add_epi16(high, _mm_unpackhi_epi8(hex_skip, zero)));
        store(at.text_from, _mm_add_epi16(low, _mm_unpacklo_epi8(text_skip, zero)));
        store(at.text_from + 8, _mm_add_epi16(high, _mm_unpackhi_epi8(text_skip, zero)));
        store(at.hex_grow,
              _mm_add_epi8(_mm_and_si128(hex_change, sizes), _mm_set1_epi8(hex_column_size)));
        store(at.text_grow, _mm_add_epi8(_mm_and_si128(text_change, sizes), glyph_sizes(x)));
        // Read back from memory, one lane at a time, rather than extracted
        // from registers: an empty asm that may have changed `at` keeps the
        // compiler from forwarding the stored vectors lane by lane.
        asm("" : "+m"(at));
    }
    // The text block of 16 bytes below 0x80: the byte itself where printable,
    // else '.', with the group space in the middle.
    static char* ascii_glyphs16(char* q, const unsigned char* b) {
        const __m128i g = ascii_glyphs(load(b));
        static_assert(group16 == 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q), g);
        q[group16] = ' ';
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + group16 + 1), _mm_unpackhi_epi64(g, g));
        return q + ascii_text16_size;
    }
    // The hex columns of a piece: both digits of every byte by a table
    // lookup per nibble, then four 16-byte stores, each lane taken from the
    // digits of bytes 0-7 or 8-15 or a space (a lane index with the top bit
    // set gives 0).
    static char* hex_piece(char* p, const unsigned char* b, const piece_layout& piece) {
        const auto [low, high] = digits_of(b);
        for (int r = 0; r < 4; ++r) {
            const __m128i from = load(piece.hex_from.data() + 16 * r);
            // Lanes 0-15 keep their index below 0x80, the rest go above it;
            // a space lane is above it either way.
            static_assert(space_lane >= 0x80 + 16);
            const __m128i from_low = _mm_adds_epu8(from, _mm_set1_epi8(0x70));
            const __m128i from_high = _mm_sub_epi8(from, _mm_set1_epi8(16));
            store(p + 16 * r, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(low, from_low),
                                                        _mm_shuffle_epi8(high, from_high)),
                                           load(piece.hex_spaces.data() + 16 * r)));
        }
        return p + piece.hex_size;
    }
    static __m128i ascii_glyphs(__m128i x) {
        const __m128i printable = printable_mask(x);
        return _mm_or_si128(_mm_and_si128(printable, x),
                            _mm_andnot_si128(printable, _mm_set1_epi8(dot_glyph)));
    }
    // The text columns of a piece of bytes below 0x80.
    static char* ascii_piece(char* p, const unsigned char* b, const piece_layout& piece) {
        const __m128i g = ascii_glyphs(load(b));
        for (int r = 0; r < 2; ++r)
            store(p + 16 * r,
                  _mm_or_si128(_mm_shuffle_epi8(g, load(piece.text_from.data() + 16 * r)),
                               load(piece.text_spaces.data() + 16 * r)));
        return p + piece.text_size;
    }
    static bool all_ascii(const unsigned char* b, std::size_t n) {
        __m128i any = _mm_setzero_si128();
        std::size_t i = 0;
        for (; i + 16 <= n; i += 16) any = _mm_or_si128(any, load(b + i));
        unsigned top = static_cast<unsigned>(_mm_movemask_epi8(any));
        if (i < n)
            top |= static_cast<unsigned>(_mm_movemask_epi8(load(b + i))) & ((1u << (n - i)) - 1);
        return top == 0;
    }
};

// The entry points, flattened so that the shared algorithms and the Isa
// functions are inlined into them (an Isa function cannot be inlined into
// code compiled for less).
[[gnu::flatten]] void ssse3_plain16(output& out, const line_plan& plan, const unsigned char* first,
                                    std::size_t count, std::uint64_t offset) {
    lines16<ssse3_isa, false>(out, plan, first, count, offset);
}
[[gnu::flatten]] void ssse3_colour16(output& out, const line_plan& plan, const unsigned char* first,
                                     std::size_t count, std::uint64_t offset) {
    lines16<ssse3_isa, true>(out, plan, first, count, offset);
}
[[gnu::flatten]] void ssse3_plain(output& out, const line_plan& plan, const unsigned char* first,
                                  std::size_t count, std::uint64_t offset) {
    plain_lines<ssse3_isa>(out, plan, first, count, offset);
}
[[gnu::flatten]] void ssse3_colour(output& out, const line_plan& plan, const unsigned char* first,
                                   std::size_t count, std::uint64_t offset) {
    colour_lines<ssse3_isa>(out, plan, first, count, offset);
}

ZELK_TARGET_END

// The text block by AVX-512 (VBMI2): each byte's glyph bytes looked up in
// 128-byte tables, laid out four lanes per byte, and the lanes past each
// glyph squeezed out by one compress. No glyph holds a 0 byte, so the lanes
// to keep are the ones that are not 0.
#define ZELK_AVX512 "avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2"

// The first byte of every byte value's glyph, and the second and third
// bytes of those from 0x80 on, 0 past the glyph's end.
struct glyph_planes {
    alignas(64) std::array<unsigned char, 256> first{};
    alignas(64) std::array<unsigned char, 128> second{};
    alignas(64) std::array<unsigned char, 128> third{};
};
constexpr glyph_planes glyph_plane_tables = [] {
    glyph_planes t;
    for (int b = 0; b < 256; ++b) {
        t.first[b] = static_cast<unsigned char>(glyphs[b].bytes[0]);
        if (b < cp1252_first) continue;
        t.second[b - cp1252_first] = static_cast<unsigned char>(glyphs[b].bytes[1]);
        t.third[b - cp1252_first] = static_cast<unsigned char>(glyphs[b].bytes[2]);
    }
    return t;
}();
constexpr bool glyph_bytes_are_not_zero() {
    for (const glyph_entry& g : glyphs)
        for (std::size_t k = 0; k < g.size; ++k)
            if (g.bytes[k] == 0) return false;
    return true;
}
static_assert(glyph_bytes_are_not_zero());

// Lane 4j + k of the laid-out glyphs comes from lane 16k + j: the planes sit
// in quarters of the lanes, and the fourth lane of each byte from an empty one.
// Then lane 4 * 7 + 3, after the eighth glyph, gets the group space.
struct glyph_lanes {
    alignas(64) std::array<unsigned char, 64> from{};
    alignas(64) std::array<char, 64> group_space{};
};
constexpr glyph_lanes glyph_lane_tables = [] {
    glyph_lanes t;
    for (int j = 0; j < 16; ++j)
        for (int k = 0; k < 4; ++k)
            t.from[4 * j + k] = static_cast<unsigned char>(k < 3 ? 16 * k + j : 63);
    t.group_space[4 * (group16 - 1) + 3] = ' ';
    return t;
}();

// Where the lanes of four default lines (64 bytes) come from: the hex
// block of line k from the high digits (lanes 0-63) and low digits (64-127)
// of the 64 bytes, with spaces between; its glyph bytes from the first and
// second glyph bytes (lanes 0-63 and 64-127), or the third (lanes 0-63).
struct four_line_lanes {
    alignas(64) std::array<std::array<unsigned char, 64>, 4> hex_from{};
    alignas(64) std::array<char, 64> hex_spaces{};
    alignas(64) std::array<std::array<unsigned char, 64>, 4> glyph_from{};
    __mmask64 hex_digits = 0;    // the lanes of the hex block that are digits
    __mmask64 first_second = 0;  // lanes 4j and 4j + 1 of the glyphs
    __mmask64 third = 0;         // lanes 4j + 2
};
constexpr four_line_lanes four_line_tables = [] {
    four_line_lanes t;
    for (int r = 0; r < 64; ++r) {
        const int from = r < static_cast<int>(hex16_size) ? hex16_source(r) : -1;
        if (from < 0)
            t.hex_spaces[r] = ' ';
        else
            t.hex_digits |= __mmask64{1} << r;
        for (int k = 0; k < 4; ++k) {
            t.hex_from[k][r] =
                static_cast<unsigned char>(from < 0 ? 0 : 16 * k + from / 2 + 64 * (from % 2));
            const int j = r / 4;
            t.glyph_from[k][r] = static_cast<unsigned char>(16 * k + j + (r % 4 == 1 ? 64 : 0));
        }
        if (r % 4 < 2) t.first_second |= __mmask64{1} << r;
        if (r % 4 == 2) t.third |= __mmask64{1} << r;
    }
    return t;
}();

// Lane 4j of a piece's laid-out glyphs is for a group space before column
// j, from an empty lane; lanes 4j + 1 + k come from glyph plane k, lane
// 16k + j.
alignas(64) constexpr std::array<unsigned char, 64> piece_glyph_lanes = [] {
    std::array<unsigned char, 64> t{};
    for (int j = 0; j < 16; ++j) {
        t[4 * j] = 63;
        for (int k = 0; k < 3; ++k) t[4 * j + 1 + k] = static_cast<unsigned char>(16 * k + j);
    }
    return t;
}();

ZELK_TARGET_BEGIN(ZELK_AVX512)

struct avx512_isa : ssse3_isa {
    // SSSE3's groups, and the text block, four lines and glyph pieces.
    static constexpr isa_groups groups = {.ascii16 = true,
                                          .glyphs16 = true,
                                          .four_lines16 = true,
                                          .colour_columns16 = true,
                                          .pieces = true,
                                          .glyph_piece = true};

    // Lanes 16k to 16k + 15.
    static constexpr __mmask64 quarter(int k) { return __mmask64{0xffff} << (16 * k); }
    static __m512i table(const void* t) { return _mm512_load_si512(t); }
    // Lanes `to` get entry x & 0x7f of the 128-byte table `t`, the others 0.
    static __m512i lookup(const unsigned char* t, __m512i x, __mmask64 to) {
        return _mm512_maskz_permutex2var_epi8(to, table(t), x, table(t + 64));
    }
    // Glyph byte k of each of 16 bytes in quarter k of the lanes (0 past a
    // glyph's end), the first from its 256-entry table in two halves.
    static __m512i glyph_planes16(const unsigned char* b) {
        const glyph_planes& g = glyph_plane_tables;
        const __m512i x = _mm512_maskz_broadcast_i32x4(0xffff, load(b));
        const __mmask64 top = _mm512_movepi8_mask(x);
        return _mm512_or_si512(_mm512_or_si512(lookup(&g.first[0], x, quarter(0) & ~top),
                                               lookup(&g.first[128], x, quarter(0) & top)),
                               _mm512_or_si512(lookup(g.second.data(), x, quarter(1) & top),
                                               lookup(g.third.data(), x, quarter(2) & top)));
    }
    static char* glyphs16(char* q, const unsigned char* b) {
        const glyph_lanes& l = glyph_lane_tables;
        const __m512i planes = glyph_planes16(b);
        // The masked form: GCC 12 warns about the unmasked one.
        const __m512i laid_out = _mm512_or_si512(
            _mm512_maskz_permutexvar_epi8(~__mmask64{0}, table(l.from.data()), planes),
            table(l.group_space.data()));
        const __mmask64 kept = _mm512_test_epi8_mask(laid_out, laid_out);
        _mm512_storeu_si512(q, _mm512_maskz_compress_epi8(kept, laid_out));
        return q + _mm_popcnt_u64(kept);
    }
    // Four whole lines with short offset fields: the digits and glyph bytes of
    // all 64 bytes are found at once, then each line's blocks are picked
    // from them.
    static char* four_lines16(char* p, offset_fields& fields, const unsigned char* b,
                              std::uint32_t offset) {
        const four_line_lanes& t = four_line_tables;
        const glyph_planes& g = glyph_plane_tables;
        // The masks as constants of the code: loaded from the table, they
        // would cost a load into a mask register each time.
        constexpr __mmask64 hex_digit_lanes = four_line_tables.hex_digits;
        constexpr __mmask64 first_second_lanes = four_line_tables.first_second;
        constexpr __mmask64 third_lanes = four_line_tables.third;
        const __m512i x = _mm512_loadu_si512(b);
        const __m512i nibble = _mm512_set1_epi8(0x0f);
        const __m512i digits = _mm512_maskz_broadcast_i32x4(0xffff, load(hex_digits));
        const __m512i high =
            _mm512_shuffle_epi8(digits, _mm512_and_si512(_mm512_srli_epi16(x, 4), nibble));
        const __m512i low = _mm512_shuffle_epi8(digits, _mm512_and_si512(x, nibble));
        const __mmask64 top = _mm512_movepi8_mask(x);
        const __m512i first =
            _mm512_or_si512(lookup(&g.first[0], x, ~top), lookup(&g.first[128], x, top));
        const __m512i second = lookup(g.second.data(), x, top);
        const __m512i third = lookup(g.third.data(), x, top);
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            fields.write(p, offset + 16 * static_cast<std::uint32_t>(k));
            p[short_offset_field] = ' ';
            _mm512_storeu_si512(p + hex16_at, _mm512_or_si512(_mm512_maskz_permutex2var_epi8(
                                                                  hex_digit_lanes, high,
                                                                  table(t.hex_from[k].data()), low),
                                                              table(t.hex_spaces.data())));
            const __m512i from = table(t.glyph_from[k].data());
            const __m512i laid_out = _mm512_ternarylogic_epi64(
                _mm512_maskz_permutex2var_epi8(first_second_lanes, first, from, second),
                _mm512_maskz_permutexvar_epi8(third_lanes, from, third),
                table(glyph_lane_tables.group_space.data()), 0xfe);
            const __mmask64 kept = _mm512_test_epi8_mask(laid_out, laid_out);
            _mm512_storeu_si512(p + text16_at, _mm512_maskz_compress_epi8(kept, laid_out));
            p += text16_at + _mm_popcnt_u64(kept);
            *p++ = '\n';
        }
        return p;
    }
    // The hex columns of a piece by one permute of its 32 digits.
    static char* hex_piece(char* p, const unsigned char* b, const piece_layout& piece) {
        const auto [low, high] = digits_of(b);
        // Digits 0-31 in lanes 0-31 and again above; a space lane's index
        // (space_lane) has its top bit set and is masked off. (The masked
        // broadcast: GCC 12 warns about the unmasked one.)
        const __m512i all = _mm512_maskz_broadcast_i64x4(0xff, _mm256_set_m128i(high, low));
        static_assert(space_lane >= 0x80);
        const __m512i from = table(piece.hex_from.data());
        _mm512_storeu_si512(
            p, _mm512_or_si512(_mm512_maskz_permutexvar_epi8(~_mm512_movepi8_mask(from), from, all),
                               table(piece.hex_spaces.data())));
        return p + piece.hex_size;
    }
    // The text columns of a piece of any bytes: four lanes a column, a group
    // space's and the glyph's, the empty ones squeezed out by one compress.
    static char* glyph_piece(char* p, const unsigned char* b, const piece_layout& piece) {
        const __m512i planes = glyph_planes16(b);
        const __m512i laid_out = _mm512_mask_mov_epi8(
            _mm512_maskz_permutexvar_epi8(~__mmask64{0}, table(piece_glyph_lanes.data()), planes),
            piece.text_space_lanes, _mm512_set1_epi8(' '));
        const __mmask64 kept = _mm512_test_epi8_mask(laid_out, laid_out) & piece.text_lanes;
        _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(kept, laid_out));
        return p + _mm_popcnt_u64(kept);
    }
};

// Plain lines of up to 64 bytes, 64 bytes of input at a time: the hex
// digits and glyph bytes of a window of 64 bytes are found once, and the
// pieces of each line in it are picked out of them by permutes whose lane
// indexes are moved on by the piece's place in the window.
// The window is fixed at one 512-bit vector, its lanes masked by a
// __mmask64; such a store passes the end of a line by at most store_overrun.
constexpr std::size_t window_bytes = 64;
static_assert(window_bytes == sizeof(__m512i) && window_bytes <= store_overrun);

// For a piece at the start of the window: lane 4j + 1 + k of its text
// columns takes glyph byte k of column j, from the first and second planes
// (two-table permute, the second above 64) and the third; lane 4j is for a
// group space.
alignas(64) constexpr std::array<unsigned char, 64> window_glyph_lanes = [] {
    std::array<unsigned char, 64> t{};
    for (int j = 0; j < 16; ++j) {
        t[4 * j + 1] = static_cast<unsigned char>(j);
        t[4 * j + 2] = static_cast<unsigned char>(64 + j);
        t[4 * j + 3] = static_cast<unsigned char>(j);
    }
    return t;
}();
// The lanes taken from the first and second planes, and from the third.
constexpr __mmask64 window_lanes_of_byte(int k) {
    __mmask64 m = 0;
    for (int j = 0; j < 16; ++j) m |= __mmask64{1} << (4 * j + 1 + k);
    return m;
}
constexpr __mmask64 window_first_second = window_lanes_of_byte(0) | window_lanes_of_byte(1);
constexpr __mmask64 window_third = window_lanes_of_byte(2);

template <std::size_t Pieces>
inline void window_lines(output& out, const line_plan& plan, const unsigned char* first,
                         std::size_t count, std::uint64_t offset) {
    using isa = avx512_isa;
    const line_shape<Pieces> shape(plan);
    constexpr std::size_t pieces = Pieces;
    const glyph_planes& g = glyph_plane_tables;
    // Each piece's hex lanes as window indexes: a digit lane 2j + d of the
    // piece becomes j + 64d, for a two-table permute of high and low digits.
    static_assert(Pieces * piece_bytes <= window_bytes);
    __m512i hex_from[Pieces], hex_spaces[Pieces];
    __mmask64 digit_lanes[Pieces], text_space_lanes[Pieces], text_lanes[Pieces];
    std::size_t hex_size[Pieces];
    for (std::size_t m = 0; m < pieces; ++m) {
        const __m512i from = isa::table(shape.piece[m].hex_from.data());
        digit_lanes[m] = ~_mm512_movepi8_mask(from);
        hex_from[m] =
            _mm512_or_si512(_mm512_and_si512(_mm512_srli_epi16(from, 1), _mm512_set1_epi8(0x3f)),
                            _mm512_slli_epi16(_mm512_and_si512(from, _mm512_set1_epi8(1)), 6));
        hex_spaces[m] = isa::table(shape.piece[m].hex_spaces.data());
        hex_size[m] = shape.piece[m].hex_size;
        text_space_lanes[m] = shape.piece[m].text_space_lanes;
        text_lanes[m] = shape.piece[m].text_lanes;
    }
    const __m512i text_from = isa::table(window_glyph_lanes.data());
    const __m512i nibble = _mm512_set1_epi8(0x0f);
    const __m512i digits = _mm512_maskz_broadcast_i32x4(0xffff, isa::load(hex_digits));
    const std::size_t per_window = window_bytes / shape.line_bytes;
    const __m512i line_step = _mm512_set1_epi8(static_cast<char>(shape.line_bytes));
    offset_fields fields;
    // Output is reserved for a batch of windows at a time, outside the loop
    // over windows.
    const std::size_t batch = std::max<std::size_t>(1, batch_room / (per_window * shape.room));
    for (std::size_t l = 0; l < count;) {
        const std::size_t batch_end = std::min(count, l + batch * per_window);
        char* p = output_reserve(out, (batch_end - l) * shape.room);
        for (; l < batch_end;) {
            // The bytes left in the run, at most a window: the load leaves the
            // lanes past them 0 and touches no memory there.
            const std::size_t left = (count - l) * shape.line_bytes;
            const __mmask64 in_run =
                left >= window_bytes ? ~__mmask64{0} : (__mmask64{1} << left) - 1;
            const __m512i x = _mm512_maskz_loadu_epi8(in_run, first + l * shape.line_bytes);
            const __m512i high =
                _mm512_shuffle_epi8(digits, _mm512_and_si512(_mm512_srli_epi16(x, 4), nibble));
            const __m512i low = _mm512_shuffle_epi8(digits, _mm512_and_si512(x, nibble));
            const __mmask64 top = _mm512_movepi8_mask(x);
            const __m512i first_plane = _mm512_or_si512(isa::lookup(&g.first[0], x, ~top),
                                                        isa::lookup(&g.first[128], x, top));
            const __m512i second_plane = isa::lookup(g.second.data(), x, top);
            const __m512i third_plane = isa::lookup(g.third.data(), x, top);
            const std::size_t lines = std::min(batch_end - l, per_window);
            // The lane indexes of each piece, moved on by a line each line.
            __m512i hex_at[Pieces], text_at[Pieces];
            for (std::size_t m = 0; m < pieces; ++m) {
                const __m512i at = _mm512_set1_epi8(static_cast<char>(m * piece_bytes));
                hex_at[m] = _mm512_add_epi8(hex_from[m], at);
                text_at[m] = _mm512_add_epi8(text_from, at);
            }
            for (std::size_t i = 0; i < lines; ++i, ++l) {
                p = offset_field(p, fields, offset + l * shape.line_bytes);
                for (std::size_t m = 0; m < pieces; ++m) {
                    _mm512_storeu_si512(
                        p, _mm512_or_si512(
                               _mm512_maskz_permutex2var_epi8(digit_lanes[m], high, hex_at[m], low),
                               hex_spaces[m]));
                    p += hex_size[m];
                    hex_at[m] = _mm512_add_epi8(hex_at[m], line_step);
                }
                // A line as wide as the layout has no blank columns: between the
                // blocks are the separator and the text block's first group
                // space, and nothing after.
                p = spaces_between<false>(out, p, shape.middle_spaces, shape.room);
                for (std::size_t m = 0; m < pieces; ++m) {
                    const __m512i laid_out = _mm512_mask_mov_epi8(
                        _mm512_or_si512(
                            _mm512_maskz_permutex2var_epi8(window_first_second, first_plane,
                                                           text_at[m], second_plane),
                            _mm512_maskz_permutexvar_epi8(window_third, text_at[m], third_plane)),
                        text_space_lanes[m], _mm512_set1_epi8(' '));
                    const __mmask64 kept =
                        _mm512_test_epi8_mask(laid_out, laid_out) & text_lanes[m];
                    _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(kept, laid_out));
                    p += _mm_popcnt_u64(kept);
                    text_at[m] = _mm512_add_epi8(text_at[m], line_step);
                }
                *p++ = '\n';
            }
        }
        output_commit(out, p);
    }
}

// The entry points, flattened like those of SSSE3.
[[gnu::flatten]] void avx512_plain16(output& out, const line_plan& plan, const unsigned char* first,
                                     std::size_t count, std::uint64_t offset) {
    lines16<avx512_isa, false>(out, plan, first, count, offset);
}
[[gnu::flatten]] void avx512_plain(output& out, const line_plan& plan, const unsigned char* first,
                                   std::size_t count, std::uint64_t offset) {
    plain_lines<avx512_isa>(out, plan, first, count, offset);
}
[[gnu::flatten]] void avx512_plain_window(output& out, const line_plan& plan,
                                          const unsigned char* first, std::size_t count,
                                          std::uint64_t offset) {
    switch (plan.tables.pieces) {
        case 1:
            return window_lines<1>(out, plan, first, count, offset);
        case 2:
            return window_lines<2>(out, plan, first, count, offset);
        case 3:
            return window_lines<3>(out, plan, first, count, offset);
        default:
            return window_lines<4>(out, plan, first, count, offset);
    }
}

ZELK_TARGET_END

// The source that each report comes from, asked by the feature's name there.
#ifdef CPU_FEATURE_ACTIVE
#define ZELK_REPORT(feature, library_name, builtin_name) \
    {feature, CPU_FEATURE_ACTIVE(library_name)},
constexpr cpu_feature_source reports_from = cpu_feature_source::c_library;
#else
#define ZELK_REPORT(feature, library_name, builtin_name) \
    {feature, __builtin_cpu_supports(builtin_name) != 0},
constexpr cpu_feature_source reports_from = cpu_feature_source::builtin;
#endif

}  // namespace

cpu_features usable_cpu_features() {
    const struct {
        cpu_feature feature;
        bool usable;
    } reports[] = {ZELK_X86_CPU_FEATURES(ZELK_REPORT)};
    cpu_features have = 0;
    for (const auto& report : reports)
        if (report.usable) have |= report.feature;
    return have;
}

cpu_feature_source cpu_features_source() {
    return reports_from;
}

namespace {

// Coloured lines gain nothing from AVX-512: they take the SSSE3 routines.
// Plain lines of other layouts that fit a window are laid out a window at a
// time.
lines_routine avx512_routine(const line_plan& plan) {
    if (!plan.settings.colour && !is_default_layout(plan.settings) &&
        plan.line_bytes <= window_bytes)
        return avx512_plain_window;
    return routine_for_plan<avx512_plain16, ssse3_colour16, avx512_plain, ssse3_colour>(plan);
}

}  // namespace

extern const line_kernel ssse3_kernel = {
    "ssse3", feature_ssse3,
    routine_for_plan<ssse3_plain16, ssse3_colour16, ssse3_plain, ssse3_colour>};

// Coloured lines take the SSSE3 kernel's routines, and its own count bits
// with POPCNT: it needs both besides AVX-512.
extern const line_kernel avx512_kernel = {"avx512",
                                          feature_ssse3 | feature_popcnt | feature_avx512f |
                                              feature_avx512bw | feature_avx512vl |
                                              feature_avx512_vbmi | feature_avx512_vbmi2,
                                          avx512_routine};

}  // namespace zelk::detail

#endif
