// The kernel interface. A kernel lays out runs of whole lines fast for the
// layouts it serves; the line layout (line_layout.cpp) cuts chunks into
// lines, tests for repeats and hands each run of lines to print to the
// kernel chosen for the dump, or lays a line out itself by the generic path.
//
// Each CPU family has one file: kernel_portable.cpp (any CPU),
// kernel_x86.cpp (x86-64, in target regions), kernel_arm64.cpp (NEON). The
// table of kernels, best first and the portable one last, is in
// kernel_table.cpp. Adding a kernel is one new file that defines a
// `line_kernel`, one line in CMakeLists.txt and one row in that table.
#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "dump/byte_class.hpp"
#include "dump/offset_field.hpp"
#include "dump/settings.hpp"

struct line_plan;

// Lays out `count` whole lines: plan.line_bytes bytes each, consecutive from
// `first`, the first at `offset`. None of them is a repeat.
using lines_routine = void (*)(const line_plan& plan, const unsigned char* first, std::size_t count,
                               std::uint64_t offset);

// One row of the kernel table: what a kernel provides.
struct line_kernel {
    const char* name;
    // Whether this CPU has what the kernel needs; asked once per dump.
    bool (*cpu_has)();
    // Its routine for the plan's layout and colour set-up, or nullptr where
    // it does not serve them (the next kernel in the table is asked then).
    lines_routine (*routine_for)(const line_plan& plan);
};

// Every kernel built for this target, best first; the portable one, which
// serves every plan and runs on any CPU, is last.
std::span<const line_kernel* const> line_kernels();

// The kernels of each family, for the table.
extern const line_kernel portable_kernel;
#if defined(__x86_64__) && defined(__GNUC__)
#define ZELK_X86_KERNELS 1
extern const line_kernel ssse3_kernel;
extern const line_kernel avx512_kernel;
#endif
#if defined(__aarch64__) && defined(__ARM_NEON)
#define ZELK_ARM64_KERNELS 1
extern const line_kernel neon_kernel;
#endif

// An escape up to this size is copied as one fixed-size block, so that
// splicing it in needs no branch on its length.
inline constexpr std::size_t short_escape_size = 16;

// Size of a precomputed escape-and-byte item of the coloured kernels.
inline constexpr std::size_t item_size = 16;

// Bytes a kernel takes at a time; a line is cut into pieces of this many
// columns, the last one shorter where the line's bytes are not a multiple.
inline constexpr std::size_t piece_bytes = 16;
inline constexpr std::size_t max_pieces = (chunk_size + piece_bytes - 1) / piece_bytes;

// Marks a space in the `from` lanes of a piece.
inline constexpr unsigned char space_lane = 0xf0;

// Where the output of one piece of a whole line comes from, for its columns
// in the hex block and, when every byte of the line is below 0x80, in the
// text block. A group space is laid out with the column after it; the text
// block's space before column 0 goes with the block separator.
struct piece_layout {
    // Lanes of the piece's hex columns: a hex digit of the piece (2j the
    // high and 2j + 1 the low digit of its byte j) or space_lane, then ' '
    // in `hex_spaces`.
    alignas(64) std::array<unsigned char, 64> hex_from;
    alignas(64) std::array<char, 64> hex_spaces;
    // Lanes of its text columns: glyph j of the piece or space_lane.
    alignas(32) std::array<unsigned char, 32> text_from;
    alignas(32) std::array<char, 32> text_spaces;
    std::uint16_t hex_space_before;   // bit j: a group space before column j
    std::uint16_t text_space_before;  // the same in the text block
    std::uint8_t bytes;               // columns of the piece that hold bytes
    std::uint8_t hex_size;            // bytes of its hex columns
    std::uint8_t text_size;           // bytes of its text columns, all below 0x80
    // For text columns laid out four lanes a column, a group space's lane
    // before the three of the glyph: the lanes of group spaces, and of the
    // columns that hold bytes.
    std::uint64_t text_space_lanes;
    std::uint64_t text_lanes;
};

// What the kernels and the generic layout need from the settings and the
// class colours, worked out once per dump.
struct kernel_tables {
    // Every escape fits short_escape_size bytes (always so when plain).
    bool short_escapes = true;
    std::size_t longest_escape = 0;  // bytes of the longest "\033[%sm"; 0 when plain
    // "\033[%sm" of each class and its size; sizes are 0 when plain.
    std::array<std::array<char, short_escape_size>, class_count> escape{};
    std::array<std::size_t, class_count> escape_size{};

    // When coloured and every escape leaves room for a pair or a glyph in
    // item_size bytes: per byte value, its escape followed by its hex pair,
    // and by its glyph, padded with spaces (one row more, read past by
    // fixed-size copies); and the escape size of each slot as a lookup row.
    bool escape_items = false;
    std::array<std::array<char, item_size>, 257> hex_items{};
    std::array<std::array<char, item_size>, 257> glyph_items{};
    alignas(16) std::array<unsigned char, 16> escape_size_lanes{};

    // The pieces of a whole line, and the spaces between its blocks and
    // after its text block (blank columns with their group spaces, the
    // separator, the text block's first group space).
    std::size_t pieces = 0;
    std::array<piece_layout, max_pieces> piece{};
    std::uint64_t middle_spaces = 0;
    std::uint64_t tail_spaces = 0;
};

// Splices in the escape of `slot` when it differs from the slot last
// selected: the fixed-size copy is always made (short_escape_size bytes of
// room at p), and kept only when due, so that mixed data costs no
// mispredicted branches. Plain output has escape sizes 0.
inline char* colour_step(char* p, const kernel_tables& t, unsigned slot, unsigned& last) {
    std::memcpy(p, t.escape[slot].data(), short_escape_size);
    p += t.escape_size[slot] & (std::size_t{0} - static_cast<std::size_t>(slot != last));
    last = slot;
    return p;
}

// Where each column's item starts in the plan's hex and glyph items (its
// escape skipped unless the class changes there) and how far it moves the
// line on, for up to 16 columns.
struct colour_columns {
    alignas(16) std::uint16_t hex_from[16];
    alignas(16) std::uint16_t text_from[16];
    alignas(16) unsigned char hex_grow[16];
    alignas(16) unsigned char text_grow[16];
};

// --- the CPU layer of the shared line algorithms (kernel_lines.hpp) ---------
// A kernel built on those algorithms supplies a struct of static functions,
// `Isa`, that does what its CPU does best 16 bytes at a time. Only hex16 is
// required; each other group is used where present (if constexpr on these
// concepts), else the algorithms do without it.

// The default line's hex block, from the first pair's leading space to the
// text block's first group space: 51 bytes at p; returns p + 51.
template <class Isa>
concept default_line_isa = requires(char* p, const unsigned char* b) {
    { Isa::hex16(p, b) } -> std::same_as<char*>;
};

// Shortcuts for default lines of bytes below 0x80, or all printable: the
// test, and their text block with its group space.
template <class Isa>
concept has_ascii16 = requires(char* q, const unsigned char* b) {
    { Isa::all_ascii16(b) } -> std::same_as<bool>;
    { Isa::all_printable16(b) } -> std::same_as<bool>;
    { Isa::ascii_glyphs16(q, b) } -> std::same_as<char*>;
};

// The text block of a default line of any bytes, with its group space.
template <class Isa>
concept has_glyphs16 = requires(char* q, const unsigned char* b) {
    { Isa::glyphs16(q, b) } -> std::same_as<char*>;
};

// Four whole default lines at offsets below 2^32 at once, offset fields
// included.
template <class Isa>
concept has_four_lines16 = requires(char* p, offset_fields& fields, const unsigned char* b,
                                    std::uint32_t offset) {
    { Isa::four_lines16(p, fields, b, offset) } -> std::same_as<char*>;
};

// colour_columns of 16 bytes from the class of each byte and of the byte
// before the first, in the hex block and in the text block.
template <class Isa>
concept has_colour_columns16 = requires(colour_columns& at, const kernel_tables& t,
                                        const unsigned char* b, unsigned before) {
    Isa::colour_columns16(at, t, b, before, before);
};

// Lines of any layout, a piece at a time (16 readable bytes at b, of which
// the piece's own come first): its hex columns, and its text columns when
// the line is all below 0x80 (all_ascii, over the n bytes of a line, which
// may read on to the end of its last piece), each returning the end of what
// it laid out; and colour_columns16.
template <class Isa>
concept piece_isa = has_colour_columns16<Isa> &&
    requires(char* p, const unsigned char* b, const piece_layout& piece, std::size_t n) {
    { Isa::hex_piece(p, b, piece) } -> std::same_as<char*>;
    { Isa::ascii_piece(p, b, piece) } -> std::same_as<char*>;
    { Isa::all_ascii(b, n) } -> std::same_as<bool>;
};

// The text columns of a piece of any bytes.
template <class Isa>
concept has_glyph_piece = requires(char* p, const unsigned char* b, const piece_layout& piece) {
    { Isa::glyph_piece(p, b, piece) } -> std::same_as<char*>;
};
