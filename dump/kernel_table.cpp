// The kernel table: every kernel built for this target, best first. A plan
// takes the first one that the CPU runs and that serves it; the portable
// kernel, last, runs on any CPU. The lines of a plan that no kernel serves
// are laid out the generic way.
#include "dump/generic_layout.hpp"
#include "dump/kernel.hpp"

namespace zelk::detail {

// Each kernel is defined in the file of its CPU family.
extern const line_kernel portable_kernel;
#ifdef ZELK_X86_KERNELS
extern const line_kernel avx512_kernel;
extern const line_kernel ssse3_kernel;
#endif
#ifdef ZELK_ARM64_KERNELS
extern const line_kernel neon_kernel;
#endif

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

#ifndef ZELK_X86_KERNELS
// No kernel of this target needs more than its CPU family's baseline.
cpu_features usable_cpu_features() {
    return 0;
}
cpu_feature_source cpu_features_source() {
    return cpu_feature_source::none;
}
#endif

std::span<const line_kernel* const> line_kernels() {
    return kernels;
}

bool runs_on(const line_kernel& kernel, cpu_features have) {
    return (kernel.needs & ~have) == 0;
}

#ifdef ZELK_POISON
lines_routine routine_override = nullptr;
#endif

kernel_choice choose_kernel(const line_plan& plan, const line_kernel* only) {
#ifdef ZELK_POISON
    if (routine_override != nullptr) return {nullptr, routine_override};
#endif
    const cpu_features have = usable_cpu_features();
    for (const line_kernel* k : line_kernels()) {
        if (only != nullptr ? k != only : !runs_on(*k, have)) continue;
        if (const lines_routine routine = k->routine_for(plan)) return {k, routine};
    }
    return {nullptr, generic_lines};
}

}  // namespace zelk::detail
