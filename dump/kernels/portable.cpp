// The portable kernel: plain C++ for any CPU. It has its own routines for the
// default layout, where every position in a line is known but for the glyphs
// and escapes; every other layout it lays out the generic way.
#include <cstring>

#include "dump/generic_layout.hpp"
#include "dump/kernels/lines.hpp"

namespace zelk::detail {

namespace {

struct portable_isa {
    // hex16 alone: the shared algorithms lay out the rest of a default line
    // in plain C++, and other layouts go to generic_lines.
    static constexpr isa_groups groups = {};

    static char* hex16(char* p, const unsigned char* b) {
        // Each pair's store leaves the space after it, which the next pair
        // overwrites but for the group space and the separator.
        for (std::size_t j = 0; j < group16; ++j)
            std::memcpy(p + hex_column_size * j, hex_pairs[b[j]].data(), 4);
        for (std::size_t j = group16; j < 16; ++j)
            std::memcpy(p + 1 + hex_column_size * j, hex_pairs[b[j]].data(), 4);
        p[hex16_size - 1] = ' ';
        return p + hex16_size;
    }
};

// Flattened so that the per-line routines are inlined into the loop over the
// run of lines.
[[gnu::flatten]] void plain16(output& out, const line_plan& plan, const unsigned char* first,
                              std::size_t count, std::uint64_t offset) {
    lines16<portable_isa, false>(out, plan, first, count, offset);
}
[[gnu::flatten]] void colour16(output& out, const line_plan& plan, const unsigned char* first,
                               std::size_t count, std::uint64_t offset) {
    lines16<portable_isa, true>(out, plan, first, count, offset);
}

}  // namespace

extern const line_kernel portable_kernel = {
    "portable", 0, routine_for_plan<plain16, colour16, generic_lines, generic_lines>};

}  // namespace zelk::detail
