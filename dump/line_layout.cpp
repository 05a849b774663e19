#include "dump/line_layout.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "dump/output.hpp"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define ZELK_SSSE3 1
#endif

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

// " %02x" of every byte value and a fourth byte ' '. Pairs are stored four
// bytes at a time, each store's last byte overwritten by the next pair, so
// the trailing space is left only where a group or block space follows.
constexpr std::array<std::array<char, 4>, 256> hex_pairs = [] {
    std::array<std::array<char, 4>, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = {' ', hex_digits[b >> 4], hex_digits[b & 15], ' '};
    return t;
}();

// "%02x" of every byte value.
constexpr std::array<std::array<char, 2>, 256> hex_digit_pairs = [] {
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
constexpr std::array<glyph_entry, 256> glyphs = [] {
    std::array<glyph_entry, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const std::string_view g = glyph_of(static_cast<unsigned char>(b));
        for (std::size_t i = 0; i < g.size(); ++i) t[b].bytes[i] = g[i];
        t[b].size = static_cast<unsigned char>(g.size());
    }
    return t;
}();

// The colour slot, class_of as a number, of every byte value.
constexpr std::array<unsigned char, 256> slots = [] {
    std::array<unsigned char, 256> t{};
    for (int b = 0; b < 256; ++b)
        t[b] = static_cast<unsigned char>(class_of(static_cast<unsigned char>(b)));
    return t;
}();

constexpr unsigned printable_slot = static_cast<unsigned>(byte_class::printable);

// `last` at the start of a line, so that its first byte always gets an escape.
constexpr unsigned no_slot = class_count;

constexpr std::size_t max_line_bytes = 1024;

// Longest offset field: 16 digits for offsets near 2^64.
constexpr std::size_t max_offset_field = 16;

// The offset field of any offset: the offset above its low 12 bits
// right-aligned in five columns, then the low 12 bits as three zero-filled
// digits. It widens past eight columns from 2^32 on.
std::size_t offset_field_any(std::uint64_t offset, char* out) {
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

// The eight-column field of an offset below 2^32: four digit pairs from a
// table, the leading zeros among the first four digits (at least four digits
// show) turned into blanks by subtracting 0x10 from each ('0' - ' '). The
// pairs are worked on in registers and stored once: reading back a field
// just stored in pieces would stall. No byte borrows, so the order of the
// bytes in a pair does not matter.
inline void offset_field8(char* out, std::uint32_t offset) {
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
    std::memcpy(out, pair, 8);
}

// The offset fields of consecutive lines: the part above the low 12 bits,
// with its blanks, changes once in 4096 bytes, so it is kept, and each line
// puts in its own last three digits.
struct offset_fields {
    std::uint32_t high = ~std::uint32_t{0};  // offset >> 12 of `field`; none yet
    char field[8] = {};
    void write(char* out, std::uint32_t offset) {
        if ((offset >> 12) != high) {
            high = offset >> 12;
            offset_field8(field, offset);
        }
        std::memcpy(out, field, 8);
        std::memcpy(out + 5, hex_digit_pairs[(offset >> 4) & 255].data(), 2);
        out[7] = hex_digits[offset & 15];
    }
};

inline char* offset_field(char* p, std::uint64_t offset) {
    if ((offset >> 32) == 0) {
        offset_field8(p, static_cast<std::uint32_t>(offset));
        return p + 8;
    }
    return p + offset_field_any(offset, p);
}

// Splices in the escape of `slot` when it differs from the slot last
// selected: the fixed-size block is always copied, and kept only when due,
// so that mixed data costs no mispredicted branches. Plain output has escape
// sizes 0.
inline char* colour_step_short(char* p, const line_plan& plan, unsigned slot, unsigned& last) {
    std::memcpy(p, plan.escape[slot].data(), short_escape_size);
    p += plan.escape_size[slot] & (std::size_t{0} - static_cast<std::size_t>(slot != last));
    last = slot;
    return p;
}

// The same for escapes of any length.
inline char* colour_step_long(char* p, const line_plan& plan, unsigned slot, unsigned& last) {
    if (slot == last) return p;
    last = slot;
    if (!plan.colour) return p;
    const std::string_view text = plan.colour_text[slot];
    std::memcpy(p, "\033[", 2);
    std::memcpy(p + 2, text.data(), text.size());
    p[2 + text.size()] = 'm';
    return p + 3 + text.size();
}

void put_spaces(std::uint64_t count) {
    while (count > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, 4096));
        char* p = output_reserve(n);
        std::memset(p, ' ', n);
        output_commit(p + n);
        count -= n;
    }
}

// Number of multiples of `group` in [from, to): the group spaces among blank
// columns.
std::uint64_t group_starts(std::uint64_t from, std::uint64_t to, std::uint64_t group) {
    if (group == 0 || from >= to) return 0;
    auto starts_below = [group](std::uint64_t j) { return j / group + (j % group != 0); };
    return starts_below(to) - starts_below(from);
}

// Calls column(p, j) for the k columns that hold bytes, with a space before
// every group; the space goes before the escape of the byte after it, so it
// takes the colour of the byte before it.
template <class Column>
inline char* grouped_columns(char* p, std::size_t k, std::uint64_t group, Column column) {
    if (group == 0 || group >= k) {
        if (group != 0) *p++ = ' ';
        for (std::size_t j = 0; j < k; ++j) p = column(p, j);
        return p;
    }
    const std::size_t g = static_cast<std::size_t>(group);
    for (std::size_t j = 0; j < k;) {
        *p++ = ' ';
        const std::size_t end = std::min(k, j + g);
        for (; j < end; ++j) p = column(p, j);
    }
    return p;
}

// How the generic path splices in escapes: not at all (plain), as
// fixed-size copies, or as copies of any length.
enum class escapes { none, short_copies, any_length };

template <escapes e>
inline char* colour_step(char* p, const line_plan& plan, unsigned slot, unsigned& last) {
    if constexpr (e == escapes::short_copies) return colour_step_short(p, plan, slot, last);
    if constexpr (e == escapes::any_length) return colour_step_long(p, plan, slot, last);
    return p;
}

template <escapes e>
char* hex_columns(char* p, const line_plan& plan, const unsigned char* bytes, std::size_t k,
                  unsigned& last) {
    return grouped_columns(p, k, plan.group_size, [&](char* q, std::size_t j) {
        const unsigned char b = bytes[j];
        q = colour_step<e>(q, plan, slots[b], last);
        std::memcpy(q, hex_pairs[b].data(), 4);
        return q + 3;
    });
}

template <escapes e>
char* text_columns(char* p, const line_plan& plan, const unsigned char* bytes, std::size_t k,
                   unsigned& last) {
    return grouped_columns(p, k, plan.group_size, [&](char* q, std::size_t j) {
        const unsigned char b = bytes[j];
        q = colour_step<e>(q, plan, slots[b], last);
        std::memcpy(q, &glyphs[b], 4);
        return q + glyphs[b].size;
    });
}

// A line written item by item through output_write: for escapes too long to
// lay out a whole block of a line in one reserved stretch of the buffer.
void write_line_piecewise(const line_plan& plan, const unsigned char* bytes, std::size_t k,
                          std::uint64_t offset) {
    char field[max_offset_field];
    output_write(field, offset_field_any(offset, field));
    const std::uint64_t group = plan.group_size;
    const std::uint64_t blank_groups = group_starts(k, plan.width, group);
    unsigned last = no_slot;
    auto step = [&](unsigned char b) {
        const unsigned slot = slots[b];
        if (slot == last) return;
        last = slot;
        if (!plan.colour) return;
        output_write("\033[", 2);
        output_write(plan.colour_text[slot]);
        output_write("m", 1);
    };
    for (int block = 0; block < 2; ++block) {
        std::uint64_t in_group = 0;
        for (std::size_t j = 0; j < k; ++j) {
            if (group != 0) {
                if (in_group == 0) output_write(" ", 1);
                if (++in_group == group) in_group = 0;
            }
            step(bytes[j]);
            if (block == 0)
                output_write(hex_pairs[bytes[j]].data(), 3);
            else
                output_write(glyph_of(bytes[j]));
        }
        const std::uint64_t blank = plan.width - k;
        put_spaces(block == 0 ? 3 * blank + blank_groups + 1 : blank + blank_groups);
    }
    output_write(plan.colour ? "\033[m\n" : "\n");
}

// Any width, group size and line length, table-driven. Each block is laid out
// in one reserved stretch of the buffer sized for its worst case; the blank
// columns of a wide line are written separately.
[[gnu::noinline]] void write_line_generic(const line_plan& plan, const unsigned char* bytes,
                                          std::size_t k, std::uint64_t offset) {
    const std::uint64_t group = plan.group_size;
    const std::size_t groups =
        group == 0 ? 0 : static_cast<std::size_t>(k / group + (k % group != 0));
    // A group space per group; per byte an escape and a pair or glyph; the
    // overrun of the last fixed-size store; the line end.
    const std::size_t block = groups + k * (plan.longest_escape + 3) + short_escape_size + 8;
    constexpr std::size_t pad_in_place = 64;  // blank columns laid out in place
    if (max_offset_field + block + pad_in_place > output_reserve_limit) {
        write_line_piecewise(plan, bytes, k, offset);
        return;
    }
    const std::uint64_t blank = plan.width - k;
    const std::uint64_t blank_groups = group_starts(k, plan.width, group);
    // Blank columns up to pad_in_place are laid out within the reserve.
    auto pad = [](char* p, std::uint64_t count) {
        if (count <= pad_in_place) {
            std::memset(p, ' ', pad_in_place);
            return p + count;
        }
        output_commit(p);
        put_spaces(count);
        return output_reserve(pad_in_place);
    };
    unsigned last = no_slot;

    char* p = output_reserve(max_offset_field + block + pad_in_place);
    p = offset_field(p, offset);
    const escapes e = !plan.colour         ? escapes::none
                      : plan.short_escapes ? escapes::short_copies
                                           : escapes::any_length;
    p = e == escapes::none           ? hex_columns<escapes::none>(p, plan, bytes, k, last)
        : e == escapes::short_copies ? hex_columns<escapes::short_copies>(p, plan, bytes, k, last)
                                     : hex_columns<escapes::any_length>(p, plan, bytes, k, last);
    p = pad(p, 3 * blank + blank_groups + 1);
    output_commit(p);

    p = output_reserve(block + pad_in_place);
    p = e == escapes::none           ? text_columns<escapes::none>(p, plan, bytes, k, last)
        : e == escapes::short_copies ? text_columns<escapes::short_copies>(p, plan, bytes, k, last)
                                     : text_columns<escapes::any_length>(p, plan, bytes, k, last);
    p = pad(p, blank + blank_groups);
    output_commit(p);
    output_write(plan.colour ? "\033[m\n" : "\n");
}

inline char* glyphs8(char* q, const unsigned char* b) {
    for (int j = 0; j < 8; ++j) {
        std::memcpy(q, &glyphs[b[j]], 4);
        q += glyphs[b[j]].size;
    }
    return q;
}

// The default layout, 16 bytes in two groups of 8, for a full line at an
// offset below 2^32: every position in the line is known but for the glyphs
// and escapes. `Isa` supplies the routines that SIMD can speed up.
//
// Hex block from the first pair's leading space to the text block's first
// group space (51 bytes): pairs 0-7, group space, pairs 8-15, separator,
// group space.
struct scalar_isa {
    static constexpr bool simd_items = false;
    static constexpr bool has_four_lines = false;
    static char* hex16(char* p, const unsigned char* b) {
        for (int j = 0; j < 8; ++j) std::memcpy(p + 3 * j, hex_pairs[b[j]].data(), 4);
        for (int j = 8; j < 16; ++j) std::memcpy(p + 1 + 3 * j, hex_pairs[b[j]].data(), 4);
        p[50] = ' ';
        return p + 51;
    }
    // Shortcuts for lines of ASCII or printable bytes only; none without SIMD.
    static bool all_ascii(const unsigned char*) { return false; }
    static bool all_printable(const unsigned char*) { return false; }
    static char* ascii_glyphs16(char* q, const unsigned char*) { return q; }
    static char* colour_blocks16(char* p, const line_plan&, const unsigned char*) { return p; }
    static constexpr bool expands_glyphs = false;
    static char* glyphs16(char* q, const unsigned char*) { return q; }
};

#ifdef ZELK_SSSE3
// Where each byte of the 51-byte hex block comes from: -1 for a space, else
// the index into the 32 hex digits of the 16 bytes.
constexpr int hex16_source(int r) {
    if (r < 24) return r % 3 == 0 ? -1 : 2 * (r / 3) + r % 3 - 1;
    if (r == 24 || r >= 49) return -1;
    const int u = r - 25;
    return u % 3 == 0 ? -1 : 16 + 2 * (u / 3) + u % 3 - 1;
}

// Shuffle controls and spaces for one 16-byte store of the hex block at
// `start`: lanes from the digits of bytes 0-7, from those of bytes 8-15, and
// the spaces (a shuffle control with the top bit set gives 0).
struct hex16_store {
    alignas(16) std::array<signed char, 16> from_low{};
    alignas(16) std::array<signed char, 16> from_high{};
    alignas(16) std::array<signed char, 16> spaces{};
};
constexpr std::array<int, 4> hex16_store_at = {0, 16, 32, 35};
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

// Glyph sizes of 0x80-0x8f and 0x90-0x9f, as shuffle tables.
constexpr std::array<std::array<unsigned char, 16>, 2> glyph_size_rows = [] {
    std::array<std::array<unsigned char, 16>, 2> t{};
    for (int i = 0; i < 32; ++i) t[i / 16][i % 16] = glyphs[0x80 + i].size;
    return t;
}();

constexpr bool takes_no_lanes(const std::array<signed char, 16>& from) {
    for (signed char lane : from)
        if (lane >= 0) return false;
    return true;
}
static_assert(takes_no_lanes(hex16_stores[0].from_high) &&
              takes_no_lanes(hex16_stores[2].from_low) && takes_no_lanes(hex16_stores[3].from_low));

struct ssse3_isa {
    static constexpr bool simd_items = true;
    static constexpr bool has_four_lines = false;
    [[gnu::target("ssse3")]] static __m128i load(const void* p) {
        return _mm_loadu_si128(static_cast<const __m128i*>(p));
    }
    [[gnu::target("ssse3")]] static void store(char* p, __m128i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    }
    [[gnu::target("ssse3")]] static __m128i shuffled(const hex16_store& s, __m128i low,
                                                     __m128i high) {
        return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(low, load(s.from_low.data())),
                                         _mm_shuffle_epi8(high, load(s.from_high.data()))),
                            load(s.spaces.data()));
    }
    [[gnu::target("ssse3")]] static __m128i spaced(__m128i digits,
                                                   const std::array<signed char, 16>& from,
                                                   const hex16_store& s) {
        return _mm_or_si128(_mm_shuffle_epi8(digits, load(from.data())), load(s.spaces.data()));
    }
    // Both digits of every byte by a table lookup per nibble, then each
    // digit shuffled into its place among the spaces.
    [[gnu::target("ssse3")]] static char* hex16(char* p, const unsigned char* b) {
        const __m128i x = load(b);
        const __m128i nibble = _mm_set1_epi8(0x0f);
        const __m128i digits = load(hex_digits);
        const __m128i high_digits =
            _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(x, 4), nibble));
        const __m128i low_digits = _mm_shuffle_epi8(digits, _mm_and_si128(x, nibble));
        const __m128i low = _mm_unpacklo_epi8(high_digits, low_digits);   // bytes 0-7
        const __m128i high = _mm_unpackhi_epi8(high_digits, low_digits);  // bytes 8-15
        // The first store takes digits of bytes 0-7 only, the last two those
        // of bytes 8-15 only.
        store(p, spaced(low, hex16_stores[0].from_low, hex16_stores[0]));
        store(p + hex16_store_at[1], shuffled(hex16_stores[1], low, high));
        store(p + hex16_store_at[2], spaced(high, hex16_stores[2].from_high, hex16_stores[2]));
        store(p + hex16_store_at[3], spaced(high, hex16_stores[3].from_high, hex16_stores[3]));
        return p + 51;
    }
    [[gnu::target("ssse3")]] static __m128i printable_mask(__m128i x) {
        // Signed compares: bytes from 0x80 on are negative, below 0x20.
        return _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(0x1f)),
                             _mm_cmplt_epi8(x, _mm_set1_epi8(0x7f)));
    }
    [[gnu::target("ssse3")]] static bool all_ascii(const unsigned char* b) {
        return _mm_movemask_epi8(load(b)) == 0;
    }
    [[gnu::target("ssse3")]] static bool all_printable(const unsigned char* b) {
        return _mm_movemask_epi8(printable_mask(load(b))) == 0xffff;
    }
    // The slot of each byte: the number of class boundaries (0x01, 0x20,
    // 0x7f, 0xff) at or below it, each counted as x == max(x, boundary).
    [[gnu::target("ssse3")]] static __m128i slots_of(__m128i x) {
        const __m128i at_1 = _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(0x01)), x);
        const __m128i at_20 = _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(0x20)), x);
        const __m128i at_7f = _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(0x7f)), x);
        const __m128i at_ff = _mm_cmpeq_epi8(x, _mm_set1_epi8(-1));
        const __m128i minus = _mm_add_epi8(_mm_add_epi8(at_1, at_20), _mm_add_epi8(at_7f, at_ff));
        return _mm_sub_epi8(_mm_setzero_si128(), minus);
    }
    // The size of each byte's glyph: 1 below 0x80, 2 from 0xa0 on but for
    // 0xa0 and 0xad, from a table of 16 lanes per row in between.
    [[gnu::target("ssse3")]] static __m128i glyph_sizes(__m128i x) {
        const __m128i row = _mm_and_si128(x, _mm_set1_epi8(static_cast<char>(0xf0)));
        const __m128i column = _mm_and_si128(x, _mm_set1_epi8(0x0f));
        const __m128i row_80 = _mm_cmpeq_epi8(row, _mm_set1_epi8(static_cast<char>(0x80)));
        const __m128i row_90 = _mm_cmpeq_epi8(row, _mm_set1_epi8(static_cast<char>(0x90)));
        const __m128i from_table = _mm_or_si128(
            _mm_and_si128(row_80, _mm_shuffle_epi8(load(glyph_size_rows[0].data()), column)),
            _mm_and_si128(row_90, _mm_shuffle_epi8(load(glyph_size_rows[1].data()), column)));
        const __m128i latin1 = _mm_andnot_si128(
            _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xa0))),
                         _mm_cmpeq_epi8(x, _mm_set1_epi8(static_cast<char>(0xad)))),
            _mm_cmpeq_epi8(_mm_max_epu8(x, _mm_set1_epi8(static_cast<char>(0xa0))), x));
        // 1, plus 1 for Latin-1 (a mask is -1), unless the table has it.
        const __m128i other = _mm_sub_epi8(_mm_set1_epi8(1), latin1);
        return _mm_or_si128(from_table, _mm_andnot_si128(_mm_or_si128(row_80, row_90), other));
    }
    // Both blocks of a coloured line from the plan's items: for each byte,
    // where its item starts (skipping the escape unless the class changes
    // there) and how far it moves the line on, worked out for all 16 bytes
    // at once; then one fixed-size copy per byte and block.
    [[gnu::target("ssse3")]] static char* colour_blocks16(char* p, const line_plan& plan,
                                                          const unsigned char* b) {
        const __m128i x = load(b);
        const __m128i s = slots_of(x);
        const __m128i all = _mm_set1_epi8(-1);
        // Each byte against the one before it; the first against no slot in
        // the hex block, against the last byte in the text block.
        const __m128i hex_change =
            _mm_xor_si128(_mm_cmpeq_epi8(s, _mm_alignr_epi8(s, _mm_set1_epi8(no_slot), 15)), all);
        const __m128i text_change =
            _mm_xor_si128(_mm_cmpeq_epi8(s, _mm_alignr_epi8(s, s, 15)), all);
        const __m128i sizes = _mm_shuffle_epi8(load(plan.escape_size_lanes.data()), s);

        // Item offsets: byte * item_size + the escape size where it is skipped.
        const __m128i zero = _mm_setzero_si128();
        const __m128i low = _mm_slli_epi16(_mm_unpacklo_epi8(x, zero), 4);
        const __m128i high = _mm_slli_epi16(_mm_unpackhi_epi8(x, zero), 4);
        const __m128i hex_skip = _mm_andnot_si128(hex_change, sizes);
        const __m128i text_skip = _mm_andnot_si128(text_change, sizes);
        struct {
            alignas(16) std::uint16_t hex_from[16];
            alignas(16) std::uint16_t text_from[16];
            alignas(16) unsigned char hex_grow[16];
            alignas(16) unsigned char text_grow[16];
        } at;
        auto store = [](void* to, __m128i v) { _mm_store_si128(static_cast<__m128i*>(to), v); };
        store(at.hex_from, _mm_add_epi16(low, _mm_unpacklo_epi8(hex_skip, zero)));
        store(at.hex_from + 8, _mm_add_epi16(high, _mm_unpackhi_epi8(hex_skip, zero)));
        store(at.text_from, _mm_add_epi16(low, _mm_unpacklo_epi8(text_skip, zero)));
        store(at.text_from + 8, _mm_add_epi16(high, _mm_unpackhi_epi8(text_skip, zero)));
        store(at.hex_grow, _mm_add_epi8(_mm_and_si128(hex_change, sizes), _mm_set1_epi8(3)));
        store(at.text_grow, _mm_add_epi8(_mm_and_si128(text_change, sizes), glyph_sizes(x)));
        // Read back from memory, one lane at a time, rather than extracted
        // from registers.
        asm("" : "+m"(at));

        const char* hex_items = plan.hex_items.front().data();
        const char* glyph_items = plan.glyph_items.front().data();
#pragma GCC unroll 16
        for (int j = 0; j < 16; ++j) {
            if (j == 8) *p++ = ' ';
            std::memcpy(p, hex_items + at.hex_from[j], item_size);
            p += at.hex_grow[j];
        }
        p[0] = ' ';
        p[1] = ' ';
        p += 2;
#pragma GCC unroll 16
        for (int j = 0; j < 16; ++j) {
            if (j == 8) *p++ = ' ';
            std::memcpy(p, glyph_items + at.text_from[j], item_size);
            p += at.text_grow[j];
        }
        return p;
    }
    // The text block of 16 bytes below 0x80: the byte itself where printable,
    // else '.', with the group space in the middle.
    [[gnu::target("ssse3")]] static char* ascii_glyphs16(char* q, const unsigned char* b) {
        const __m128i x = load(b);
        const __m128i printable = printable_mask(x);
        const __m128i g = _mm_or_si128(_mm_and_si128(printable, x),
                                       _mm_andnot_si128(printable, _mm_set1_epi8('.')));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q), g);
        q[8] = ' ';
        _mm_storel_epi64(reinterpret_cast<__m128i*>(q + 9), _mm_unpackhi_epi64(g, g));
        return q + 17;
    }
    // No shortcut for text blocks with bytes from 0x80 on.
    static constexpr bool expands_glyphs = false;
    static char* glyphs16(char* q, const unsigned char*) {
        return q;
    }
};

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
        if (b < 0x80) continue;
        t.second[b - 0x80] = static_cast<unsigned char>(glyphs[b].bytes[1]);
        t.third[b - 0x80] = static_cast<unsigned char>(glyphs[b].bytes[2]);
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
// in blocks of 16 lanes, and the fourth lane of each byte from an empty one.
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
    t.group_space[4 * 7 + 3] = ' ';
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
        const int from = r < 51 ? hex16_source(r) : -1;
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

struct avx512_isa : ssse3_isa {
    static constexpr bool expands_glyphs = true;
    static constexpr bool has_four_lines = true;
    static constexpr __mmask64 block(int k) { return __mmask64{0xffff} << (16 * k); }
    [[gnu::target(ZELK_AVX512)]] static __m512i table(const void* t) {
        return _mm512_load_si512(t);
    }
    // Lanes `to` get entry x & 0x7f of the 128-byte table `t`, the others 0.
    [[gnu::target(ZELK_AVX512)]] static __m512i lookup(const unsigned char* t, __m512i x,
                                                       __mmask64 to) {
        return _mm512_maskz_permutex2var_epi8(to, table(t), x, table(t + 64));
    }
    [[gnu::target(ZELK_AVX512)]] static char* glyphs16(char* q, const unsigned char* b) {
        const glyph_planes& g = glyph_plane_tables;
        const glyph_lanes& l = glyph_lane_tables;
        // The 16 bytes in every block of 16 lanes; glyph byte k goes to block k.
        const __m512i x = _mm512_maskz_broadcast_i32x4(0xffff, load(b));
        const __mmask64 top = _mm512_movepi8_mask(x);
        const __m512i planes =
            _mm512_or_si512(_mm512_or_si512(lookup(&g.first[0], x, block(0) & ~top),
                                            lookup(&g.first[128], x, block(0) & top)),
                            _mm512_or_si512(lookup(g.second.data(), x, block(1) & top),
                                            lookup(g.third.data(), x, block(2) & top)));
        // The masked form: GCC 12 warns about the unmasked one.
        const __m512i laid_out = _mm512_or_si512(
            _mm512_maskz_permutexvar_epi8(~__mmask64{0}, table(l.from.data()), planes),
            table(l.group_space.data()));
        const __mmask64 kept = _mm512_test_epi8_mask(laid_out, laid_out);
        _mm512_storeu_si512(q, _mm512_maskz_compress_epi8(kept, laid_out));
        return q + _mm_popcnt_u64(kept);
    }
    // Whether each of the four lines at `line` differs from the one before
    // it: a line is two of the eight 64-bit lanes.
    [[gnu::target(ZELK_AVX512)]] static bool four_differ(const unsigned char* line) {
        const unsigned differ =
            _mm512_cmpneq_epi64_mask(_mm512_loadu_si512(line), _mm512_loadu_si512(line - 16));
        return ((differ | (differ >> 1)) & 0x55) == 0x55;
    }
    // Four whole lines at offsets below 2^32: the digits and glyph bytes of
    // all 64 bytes are found at once, then each line's blocks are picked
    // from them.
    [[gnu::target(ZELK_AVX512)]] static char* four_lines16(char* p, offset_fields& fields,
                                                           const unsigned char* b,
                                                           std::uint32_t offset) {
        const four_line_lanes& t = four_line_tables;
        const glyph_planes& g = glyph_plane_tables;
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
            p[8] = ' ';
            _mm512_storeu_si512(
                p + 9, _mm512_or_si512(_mm512_maskz_permutex2var_epi8(
                                           t.hex_digits, high, table(t.hex_from[k].data()), low),
                                       table(t.hex_spaces.data())));
            const __m512i from = table(t.glyph_from[k].data());
            const __m512i laid_out = _mm512_ternarylogic_epi64(
                _mm512_maskz_permutex2var_epi8(t.first_second, first, from, second),
                _mm512_maskz_permutexvar_epi8(t.third, from, third),
                table(glyph_lane_tables.group_space.data()), 0xfe);
            const __mmask64 kept = _mm512_test_epi8_mask(laid_out, laid_out);
            _mm512_storeu_si512(p + 60, _mm512_maskz_compress_epi8(kept, laid_out));
            p += 60 + _mm_popcnt_u64(kept);
            *p++ = '\n';
        }
        return p;
    }
};
#endif

// Room a default line needs: the advance plus the overrun of the last
// fixed-size stores.
constexpr std::size_t plain16_room = 160;
constexpr std::size_t colour16_room = 16 + 2 * 16 * (short_escape_size + 4) + 64;

// The lines below lay out what follows the offset field.
template <class Isa>
inline char* line16_plain(char* p, const unsigned char* b) {
    p[0] = ' ';
    p = Isa::hex16(p + 1, b);
    if (Isa::all_ascii(b)) {
        p = Isa::ascii_glyphs16(p, b);
    } else if (Isa::expands_glyphs) {
        p = Isa::glyphs16(p, b);
    } else {
        p = glyphs8(p, b);
        *p++ = ' ';
        p = glyphs8(p, b + 8);
    }
    *p = '\n';
    return p + 1;
}

template <class Isa>
inline char* line16_colour(char* p, const line_plan& plan, const unsigned char* b) {
    p[0] = ' ';
    p += 1;
    if (Isa::all_printable(b)) {
        // One class throughout: a single escape, and the text block is the
        // bytes themselves.
        std::memcpy(p, plan.escape[printable_slot].data(), short_escape_size);
        p = Isa::hex16(p + plan.escape_size[printable_slot], b);
        p = Isa::ascii_glyphs16(p, b);
    } else if (Isa::simd_items && plan.escape_items) {
        p = Isa::colour_blocks16(p, plan, b);
    } else {
        unsigned last = no_slot;
        for (int j = 0; j < 16; ++j) {
            if (j == 8) ++p;  // the group space, left by the previous pair's store
            p = colour_step_short(p, plan, slots[b[j]], last);
            std::memcpy(p, hex_pairs[b[j]].data(), 4);
            p += 3;
        }
        p[1] = ' ';  // the separator is left by the last pair's store
        p += 2;
        for (int j = 0; j < 16; ++j) {
            if (j == 8) *p++ = ' ';
            p = colour_step_short(p, plan, slots[b[j]], last);
            std::memcpy(p, &glyphs[b[j]], 4);
            p += glyphs[b[j]].size;
        }
    }
    std::memcpy(p, "\033[m\n", 4);
    return p + 4;
}

inline bool is_repeat(repeat_state& r, const unsigned char* line, std::size_t k) {
    if (r.no_previous || k != r.previous_size || std::memcmp(line, r.previous.data(), k) != 0)
        return false;
    if (!r.marked) output_write("       *\n", 9);
    r.marked = true;
    return true;
}

inline void remember(repeat_state& r, const unsigned char* line, std::size_t k) {
    std::memcpy(r.previous.data(), line, k);
    r.previous_size = k;
    r.no_previous = false;
    r.marked = false;
}

void write_lines_generic(const line_plan& plan, repeat_state& r, const unsigned char* chunk,
                         std::size_t size, std::uint64_t offset) {
    for (std::size_t i = 0; i < size;
         i += static_cast<std::size_t>(std::min<std::uint64_t>(plan.width, max_line_bytes))) {
        const std::size_t k =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - i, plan.width));
        if (is_repeat(r, chunk + i, k)) continue;
        write_line_generic(plan, chunk + i, k, offset + i);
        remember(r, chunk + i, k);
    }
}

template <class Isa, bool colour>
inline void write_lines16(const line_plan& plan, repeat_state& r, const unsigned char* chunk,
                          std::size_t size, std::uint64_t offset) {
    if (size < 16) {
        write_lines_generic(plan, r, chunk, size, offset);
        return;
    }
    offset_fields fields;
    auto print = [&](const unsigned char* line, std::uint64_t at) {
        if ((at >> 32) != 0) {
            write_line_generic(plan, line, 16, at);
            return;
        }
        char* p = output_reserve(colour ? colour16_room : plain16_room);
        fields.write(p, static_cast<std::uint32_t>(at));
        p = colour ? line16_colour<Isa>(p + 8, plan, line) : line16_plain<Isa>(p + 8, line);
        output_commit(p);
    };
    // The first line is compared with the last one printed, which may be in
    // an earlier chunk; every later one with the line just before it, which
    // was either printed or equal to the last one printed.
    bool marked = r.marked;
    if (!r.no_previous && r.previous_size == 16 && std::memcmp(chunk, r.previous.data(), 16) == 0) {
        if (!marked) output_write("       *\n", 9);
        marked = true;
    } else {
        print(chunk, offset);
        marked = false;
    }
    std::size_t i = 16;
    for (; i + 16 <= size; i += 16) {
        if constexpr (!colour && Isa::has_four_lines) {
            // Four lines at once while none of them is a repeat.
            while (i + 64 <= size && ((offset + i + 63) >> 32) == 0 &&
                   Isa::four_differ(chunk + i)) {
                char* p = output_reserve(4 * plain16_room);
                output_commit(Isa::four_lines16(p, fields, chunk + i,
                                                static_cast<std::uint32_t>(offset + i)));
                marked = false;
                i += 64;
            }
            if (i + 16 > size) break;
        }
        const unsigned char* line = chunk + i;
        if (std::memcmp(line, line - 16, 16) == 0) {
            if (!marked) output_write("       *\n", 9);
            marked = true;
            continue;
        }
        print(line, offset + i);
        marked = false;
    }
    std::memcpy(r.previous.data(), chunk + i - 16, 16);
    r.previous_size = 16;
    r.no_previous = false;
    r.marked = marked;
    if (i < size) write_lines_generic(plan, r, chunk + i, size - i, offset + i);
}

using lines_routine = void (*)(const line_plan&, repeat_state&, const unsigned char*, std::size_t,
                               std::uint64_t);

[[gnu::flatten]] void plain16_scalar(const line_plan& plan, repeat_state& r,
                                     const unsigned char* chunk, std::size_t size,
                                     std::uint64_t offset) {
    write_lines16<scalar_isa, false>(plan, r, chunk, size, offset);
}
[[gnu::flatten]] void colour16_scalar(const line_plan& plan, repeat_state& r,
                                      const unsigned char* chunk, std::size_t size,
                                      std::uint64_t offset) {
    write_lines16<scalar_isa, true>(plan, r, chunk, size, offset);
}
#ifdef ZELK_SSSE3
[[gnu::target("ssse3"), gnu::flatten]] void plain16_ssse3(const line_plan& plan, repeat_state& r,
                                                          const unsigned char* chunk,
                                                          std::size_t size, std::uint64_t offset) {
    write_lines16<ssse3_isa, false>(plan, r, chunk, size, offset);
}
[[gnu::target("ssse3"), gnu::flatten]] void colour16_ssse3(const line_plan& plan, repeat_state& r,
                                                           const unsigned char* chunk,
                                                           std::size_t size, std::uint64_t offset) {
    write_lines16<ssse3_isa, true>(plan, r, chunk, size, offset);
}
[[gnu::target(ZELK_AVX512), gnu::flatten]] void plain16_avx512(const line_plan& plan,
                                                               repeat_state& r,
                                                               const unsigned char* chunk,
                                                               std::size_t size,
                                                               std::uint64_t offset) {
    write_lines16<avx512_isa, false>(plan, r, chunk, size, offset);
}
#endif

simd_level cpu_simd() {
#ifdef ZELK_SSSE3
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
        __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt"))
        return simd_level::avx512;
    if (__builtin_cpu_supports("ssse3")) return simd_level::ssse3;
#endif
    return simd_level::none;
}

}  // namespace

line_plan make_line_plan(const dump_settings& s) {
    line_plan plan;
    plan.width = s.width;
    plan.group_size = s.group_size;
    plan.colour = s.colour;
    plan.simd = cpu_simd();
    for (std::size_t slot = 0; slot < class_count; ++slot) {
        const std::string_view text = class_colours[slot];
        plan.colour_text[slot] = text;
        if (!s.colour) continue;
        const std::size_t size = text.size() + 3;
        plan.longest_escape = std::max(plan.longest_escape, size);
        if (size > short_escape_size) continue;
        std::memcpy(plan.escape[slot].data(), "\033[", 2);
        std::memcpy(plan.escape[slot].data() + 2, text.data(), text.size());
        plan.escape[slot][size - 1] = 'm';
        plan.escape_size[slot] = size;
    }
    plan.short_escapes = plan.longest_escape <= short_escape_size;
    plan.escape_items = s.colour && plan.longest_escape + 3 <= item_size;
    if (plan.escape_items) {
        for (int b = 0; b < 256; ++b) {
            const std::size_t slot = slots[b];
            const std::size_t size = plan.escape_size[slot];
            const std::string_view glyph = glyph_of(static_cast<unsigned char>(b));
            auto& hex = plan.hex_items[b];
            auto& text = plan.glyph_items[b];
            hex.fill(' ');
            text.fill(' ');
            std::memcpy(hex.data(), plan.escape[slot].data(), size);
            std::memcpy(text.data(), plan.escape[slot].data(), size);
            std::memcpy(hex.data() + size, hex_pairs[b].data(), 3);
            std::memcpy(text.data() + size, glyph.data(), glyph.size());
        }
        for (std::size_t slot = 0; slot < class_count; ++slot)
            plan.escape_size_lanes[slot] = static_cast<unsigned char>(plan.escape_size[slot]);
    }
    return plan;
}

void write_line(const line_plan& plan, const unsigned char* bytes, std::size_t size,
                std::uint64_t offset) {
    write_line_generic(plan, bytes, size, offset);
}

void write_lines(const line_plan& plan, repeat_state& repeats, const unsigned char* chunk,
                 std::size_t size, std::uint64_t offset) {
    if (plan.width != 16 || plan.group_size != 8 || !plan.short_escapes) {
        write_lines_generic(plan, repeats, chunk, size, offset);
        return;
    }
    lines_routine routine = plan.colour ? colour16_scalar : plain16_scalar;
#ifdef ZELK_SSSE3
    // The coloured lines gain nothing from AVX-512.
    if (plan.simd >= simd_level::ssse3) routine = plan.colour ? colour16_ssse3 : plain16_ssse3;
    if (plan.simd == simd_level::avx512 && !plan.colour) routine = plain16_avx512;
#endif
    routine(plan, repeats, chunk, size, offset);
}
