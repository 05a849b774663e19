// The kernel interface. A kernel lays out runs of whole lines fast for the
// layouts it serves; the line layout (line_layout.cpp) cuts chunks into
// lines, tests for repeats and hands each run of lines to print to the
// kernel chosen for the dump.
//
// Each CPU family has one file in kernels/: portable.cpp (any CPU), x86.cpp
// (x86-64, one target region per instruction set), arm64.cpp (NEON). The table of kernels, best
// first and the portable one last, is in kernel_table.cpp. A new kernel takes, in order:
//  - its code in its family's file, inside a target region of its own where
//    its instructions are not the family's baseline: where it is built on
//    the shared algorithms (kernels/lines.hpp), an `Isa` whose `groups`
//    claim every optional group it provides (isa_groups, below);
//  - its `line_kernel` row there, with every cpu_feature its code uses,
//    those of any routines it borrows from another kernel included, and, for
//    a feature new to the family, the feature's bit below and its names in
//    the family's list of them (x86_cpu_report.hpp's ZELK_X86_CPU_FEATURES);
//  - its declaration and row in kernel_table.cpp, best first;
//  - for a new family, also a new file, its line in CMakeLists.txt, its
//    ZELK_*_KERNELS test below and its own usable_cpu_features and
//    cpu_features_source (and that test in kernel_table.cpp, which defines
//    both for families with no features to ask about);
//  - its row in the kernel choice test's own table of each target's kernels
//    and what each needs (tests/kernel_choice_test.cpp), and a new
//    feature's names in that test's own list of them;
//  - in .ci/run, a CPU model of qemu or a GLIBC_TUNABLES mask under which
//    the CPU lacks one of its features, so that some run expects another
//    kernel.
// The differential test then runs it on every layout it serves.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>

#include "dump/line_plan.hpp"
#include "dump/offset_field.hpp"
#include "dump/poison.hpp"

namespace zelk::detail {

struct output;

// Lays out `count` whole lines: plan.line_bytes bytes each, consecutive from
// `first`, the first at `offset`. None of them is a repeat.
using lines_routine = void (*)(output& out, const line_plan& plan, const unsigned char* first,
                               std::size_t count, std::uint64_t offset);

// The CPU features that kernels need beyond their family's baseline (every
// x86-64 has SSE2, every aarch64 NEON), one bit each; a set of them is the
// bits or-ed together.
using cpu_features = std::uint32_t;
enum cpu_feature : cpu_features {
    feature_ssse3 = 1U << 0,
    feature_popcnt = 1U << 1,
    feature_avx512f = 1U << 2,
    feature_avx512bw = 1U << 3,
    feature_avx512vl = 1U << 4,
    feature_avx512_vbmi = 1U << 5,
    feature_avx512_vbmi2 = 1U << 6,
};

// One row of the kernel table: what a kernel provides.
struct line_kernel {
    const char* name;
    // Every feature its instructions need: the CPU must have them all.
    cpu_features needs;
    // Its routine for the plan's layout and colour set-up, or nullptr where
    // it does not serve them (the next kernel in the table is asked then).
    lines_routine (*routine_for)(const line_plan& plan);
};

// Every kernel built for this target, best first; the portable one, which
// runs on any CPU, is last.
std::span<const line_kernel* const> line_kernels();

// The CPU families with kernels of their own on this target.
#if defined(__x86_64__) && defined(__GNUC__)
#define ZELK_X86_KERNELS 1
#endif
#if defined(__aarch64__) && defined(__ARM_NEON)
#define ZELK_ARM64_KERNELS 1
#endif

// The features of this CPU that the system also supports (the registers
// saved on a switch of task), as the C library reports them: its loader's
// view, which GLIBC_TUNABLES=glibc.cpu.hwcaps=-NAME can narrow. Where the C
// library does not tell (glibc before 2.33, musl) or ZELK_CPU_CHECK_BUILTIN
// is set, __builtin_cpu_supports is asked, and the masks change nothing
// (x86_cpu_report.hpp). Asked once per dump.
cpu_features usable_cpu_features();

// Where usable_cpu_features learns them: nowhere on a target whose kernels
// need no feature, else the C library or __builtin_cpu_supports, as this
// build found (x86_cpu_report.hpp).
enum class cpu_feature_source { none, c_library, builtin };
cpu_feature_source cpu_features_source();

// Whether a CPU with the features `have` runs the kernel: the one check of
// a kernel's needs.
bool runs_on(const line_kernel& kernel, cpu_features have);

// The kernel that lays out a plan's whole lines, and its routine for it.
struct kernel_choice {
    const line_kernel* kernel;
    lines_routine routine;
};

// The best kernel in the table that this CPU runs and that serves `plan`;
// or `only` (a row of the table, which must run on this CPU) where it serves
// the plan, else no kernel, and the generic layout lays the lines out.
kernel_choice choose_kernel(const line_plan& plan, const line_kernel* only = nullptr);

#ifdef ZELK_POISON
// In a sanitizer build, where set, the routine that choose_kernel gives for
// every plan: a test's routine that reads past its lines shows that what
// lies past the bytes a dump was given is poisoned.
extern lines_routine routine_override;
#endif

// --- the CPU layer of the shared line algorithms (kernels/lines.hpp) --------
// A kernel built on those algorithms supplies a struct of static functions,
// `Isa`, that does what its CPU does best 16 bytes at a time. Only hex16 is
// required; each other group is optional, and the algorithms do without the
// ones an Isa lacks. An Isa says which groups it provides in
// `static constexpr isa_groups groups`, and the algorithms go by that claim,
// after checking it both ways against the concepts below: a function that is
// misnamed, or typed so that the algorithms' call does not take it, is then
// a compile error in the kernel's file, not a quietly slower path.

// The optional groups an Isa provides, one flag each, named after their
// concepts below (ascii16 for has_ascii16, and so on).
struct isa_groups {
    bool ascii16 = false;
    bool glyphs16 = false;
    bool four_lines16 = false;
    bool colour_columns16 = false;
    bool pieces = false;
    bool glyph_piece = false;
};

// The default line's hex block, from the first pair's leading space to the
// text block's first group space (hex16_size bytes, 51) at p; returns its
// end.
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

// Four whole default lines at once, offset fields included, at offsets whose
// four lines all fit the short field (fits_short_field), so passed in 32
// bits.
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
// it laid out. Coloured, they need colour_columns16 as well.
template <class Isa>
concept has_pieces = requires(char* p, const unsigned char* b, const piece_layout& piece,
                              std::size_t n) {
    { Isa::hex_piece(p, b, piece) } -> std::same_as<char*>;
    { Isa::ascii_piece(p, b, piece) } -> std::same_as<char*>;
    { Isa::all_ascii(b, n) } -> std::same_as<bool>;
};

// The text columns of a piece of any bytes.
template <class Isa>
concept has_glyph_piece = requires(char* p, const unsigned char* b, const piece_layout& piece) {
    { Isa::glyph_piece(p, b, piece) } -> std::same_as<char*>;
};

}  // namespace zelk::detail
