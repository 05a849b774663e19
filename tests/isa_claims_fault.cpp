// An Isa whose claim of groups disagrees with its functions, built as one
// case per ZELK_ISA_FAULT: every case but 0 must fail to build, with the
// message that names the group (tests/CMakeLists.txt expects it), rather
// than build a kernel that quietly goes without the function.
#include "dump/kernels/lines.hpp"

using namespace zelk::detail;

namespace {

// Only the names and types of its functions matter: nothing runs.
struct base_isa {
    static char* hex16(char* p, const unsigned char*) { return p; }
};

#if ZELK_ISA_FAULT == 0
// Claim and functions agree.
struct isa : base_isa {
    static constexpr isa_groups groups = {.four_lines16 = true};
    static char* four_lines16(char* p, offset_fields&, const unsigned char*, std::uint32_t) {
        return p;
    }
};
#elif ZELK_ISA_FAULT == 1
// Claimed, but the function is misnamed.
struct isa : base_isa {
    static constexpr isa_groups groups = {.four_lines16 = true};
    static char* four_lines_16(char* p, offset_fields&, const unsigned char*, std::uint32_t) {
        return p;
    }
};
#elif ZELK_ISA_FAULT == 2
// Claimed, but the function takes a type that the call does not pass.
struct isa : base_isa {
    static constexpr isa_groups groups = {.four_lines16 = true};
    static char* four_lines16(char* p, offset_fields&, const char*, std::uint32_t) { return p; }
};
#elif ZELK_ISA_FAULT == 3
// The function is there, but its group is not claimed.
struct isa : base_isa {
    static constexpr isa_groups groups = {};
    static char* glyphs16(char* q, const unsigned char*) { return q; }
};
#endif

}  // namespace

void isa_claims_fault(output& out, const line_plan& plan, const unsigned char* b, std::size_t count,
                      std::uint64_t offset) {
    lines16<isa, false>(out, plan, b, count, offset);
}
