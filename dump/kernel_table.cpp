// The kernel table: every kernel built for this target, best first. A plan
// takes the first one that the CPU runs and that serves it; the portable
// kernel, last, serves every plan on any CPU.
#include <iterator>

#include "dump/kernel.hpp"

namespace {

const line_kernel* const kernels[] = {
#ifdef ZELK_X86_KERNELS
    &avx512_kernel,
    &ssse3_kernel,
#endif
#ifdef ZELK_ARM64_KERNELS
    &neon_kernel,
#endif
    &portable_kernel,
};

}  // namespace

std::span<const line_kernel* const> line_kernels() {
    return kernels;
}
