// The kernel that a dump takes on the CPU the tests run on. A kernel whose
// CPU check passes on a CPU that lacks its instructions crashes every dump
// there, and one whose check fails where they are present goes unused; the
// kernel tests skip a kernel whose check fails, so only this test sees
// either. A build that runs its tests on an emulated CPU names the kernel
// that CPU must get (ZELK_EXPECT_KERNEL); on x86-64 the expectation is also
// worked out from what the CPU itself reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "dump/kernel.hpp"

#ifdef ZELK_X86_KERNELS
#include <cpuid.h>
#endif

#ifndef ZELK_EXPECT_KERNEL
#define ZELK_EXPECT_KERNEL ""
#endif

namespace {

// The name of the kernel that the default layout takes, plain or coloured.
std::string kernel_for_default_layout(bool colour) {
    dump_settings s;
    s.colour = colour;
    const kernel_choice chosen = choose_kernel(make_line_plan(s));
    return chosen.kernel == nullptr ? "(none)" : chosen.kernel->name;
}

#ifdef ZELK_X86_KERNELS
// The x86-64 kernel that this CPU runs by what CPUID reports: AVX-512 with
// VBMI and VBMI2, POPCNT, and the operating system saving the AVX-512
// registers (XCR0: SSE, AVX, opmask and both halves of the ZMM state);
// else SSSE3; else none.
std::string x86_kernel_by_cpuid() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return "portable";
    const bool ssse3 = (c & bit_SSSE3) != 0;
    const bool popcnt = (c & bit_POPCNT) != 0;
    bool avx512 = false;
    if ((c & bit_OSXSAVE) != 0 && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) {
        unsigned xcr0 = 0, high = 0;
        asm volatile("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
        const unsigned zmm_state = 0xe6;
        avx512 = (xcr0 & zmm_state) == zmm_state && (b & bit_AVX512F) != 0 &&
                 (b & bit_AVX512BW) != 0 && (b & bit_AVX512VL) != 0 && (c & bit_AVX512VBMI) != 0 &&
                 (c & bit_AVX512VBMI2) != 0 && popcnt;
    }
    return avx512 ? "avx512" : ssse3 ? "ssse3" : "portable";
}
#endif

}  // namespace

TEST(KernelChoice, DefaultLayoutTakesTheKernelThisCpuShouldGet) {
    std::string expected = ZELK_EXPECT_KERNEL;
#ifdef ZELK_X86_KERNELS
    const std::string by_cpuid = x86_kernel_by_cpuid();
    if (expected.empty()) expected = by_cpuid;
    EXPECT_EQ(by_cpuid, expected) << "CPUID reports another CPU than the build expects";
#endif
    if (expected.empty()) {
        // Nothing to go by: the first kernel of the table whose CPU check
        // passes, which must serve the default layout.
        const auto kernels = line_kernels();
        const auto runs = std::find_if(kernels.begin(), kernels.end(),
                                       [](const line_kernel* k) { return k->cpu_has(); });
        ASSERT_NE(runs, kernels.end()) << "no kernel runs on this CPU";
        expected = (*runs)->name;
    }
    for (bool colour : {false, true})
        EXPECT_EQ(kernel_for_default_layout(colour), expected) << (colour ? "coloured" : "plain");
}
