// Which kernels a build has, what each needs of the CPU, and the one a dump
// takes on the CPU the tests run on. A kernel that runs on a CPU lacking one
// of its features crashes every dump there, and one refused where all are
// present goes unused; the kernel tests skip a kernel this CPU cannot run,
// so only these tests see either. What each kernel needs, and each
// feature's names, are written down here again, apart from the engine's
// rows; what the CPU has is asked of the source that the build must ask
// (the C library, or libgcc's __builtin_cpu_supports in a
// ZELK_CPU_CHECK_BUILTIN build or where the C library does not tell), so
// the tests also hold where GLIBC_TUNABLES=glibc.cpu.hwcaps=-NAME takes a
// feature away, and the engine must ask that source. A build run on an
// emulated CPU names the kernel that CPU must get (ZELK_EXPECT_KERNEL).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "dump/kernel.hpp"
#include "dump/x86_cpu_report.hpp"

using namespace zelk::detail;

#ifndef ZELK_EXPECT_KERNEL
#define ZELK_EXPECT_KERNEL ""
#endif

namespace {

constexpr cpu_features avx512_needs = feature_ssse3 | feature_popcnt | feature_avx512f |
                                      feature_avx512bw | feature_avx512vl | feature_avx512_vbmi |
                                      feature_avx512_vbmi2;

// The kernels each target must have, best first, and what each needs.
// NEON is part of every aarch64, so an aarch64 always takes its kernel.
const struct {
    const char* name;
    cpu_features needs;
} target_kernels[] = {
#if defined(__x86_64__)
    {"avx512", avx512_needs},
    {"ssse3", feature_ssse3},
#elif defined(__aarch64__)
    {"neon", 0},
#endif
    {"portable", 0},
};

// Where the features must be asked, by the build alone: nowhere where no
// kernel needs one; __builtin_cpu_supports where ZELK_CPU_CHECK_BUILTIN asks
// for it; else the C library where it tells (glibc from 2.33 on, with
// <sys/platform/x86.h>); else __builtin_cpu_supports.
#if !defined(__x86_64__)
constexpr cpu_feature_source expected_source = cpu_feature_source::none;
#elif defined(ZELK_CPU_CHECK_BUILTIN)
constexpr cpu_feature_source expected_source = cpu_feature_source::builtin;
#elif __has_include(<sys/platform/x86.h>) && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#define ASK_THE_C_LIBRARY 1
constexpr cpu_feature_source expected_source = cpu_feature_source::c_library;
#else
constexpr cpu_feature_source expected_source = cpu_feature_source::builtin;
#endif

// Every feature that an x86-64 kernel needs, by its name in the C library
// (<sys/platform/x86.h>, the argument of CPU_FEATURE_ACTIVE) and for
// __builtin_cpu_supports (GCC's manual, x86 built-in functions), written
// down apart from the engine's list of them. A name of another feature
// builds and asks for that feature.
#define STATED_FEATURES(X)                            \
    X(feature_ssse3, SSSE3, "ssse3")                  \
    X(feature_popcnt, POPCNT, "popcnt")               \
    X(feature_avx512f, AVX512F, "avx512f")            \
    X(feature_avx512bw, AVX512BW, "avx512bw")         \
    X(feature_avx512vl, AVX512VL, "avx512vl")         \
    X(feature_avx512_vbmi, AVX512_VBMI, "avx512vbmi") \
    X(feature_avx512_vbmi2, AVX512_VBMI2, "avx512vbmi2")

const struct {
    cpu_feature feature;
    std::string_view library_name, builtin_name;
} stated_names[] = {
#define NAMES(feature, library_name, builtin_name) {feature, #library_name, builtin_name},
    STATED_FEATURES(NAMES)
#undef NAMES
};

#if defined(__x86_64__)
struct feature_report {
    cpu_feature feature;
    const char* name;
    bool usable;
};

// Every feature that an x86-64 kernel needs, and whether this CPU and
// system may use it, asked of the source that the build must ask.
std::vector<feature_report> x86_reports() {
#ifdef ASK_THE_C_LIBRARY
#define REPORT(feature, library_name, builtin_name) \
    {feature, #library_name, CPU_FEATURE_ACTIVE(library_name)},
#else
#define REPORT(feature, library_name, builtin_name) \
    {feature, #library_name, __builtin_cpu_supports(builtin_name) != 0},
#endif
    return {STATED_FEATURES(REPORT)};
#undef REPORT
}
#endif

// The features this CPU and system may use, by the reports above.
cpu_features reported_features() {
    cpu_features have = 0;
#if defined(__x86_64__)
    for (const feature_report& r : x86_reports())
        if (r.usable) have |= r.feature;
#endif
    return have;
}

// The name of the kernel that the default layout takes, plain or coloured.
std::string kernel_for_default_layout(bool colour) {
    dump_settings s;
    s.colour = colour;
    const kernel_choice chosen = choose_kernel(make_line_plan(s));
    return chosen.kernel == nullptr ? "(none)" : chosen.kernel->name;
}

}  // namespace

TEST(KernelChoice, TheTableHoldsThisTargetsKernelsWithWhatEachNeeds) {
    const auto kernels = line_kernels();
    ASSERT_EQ(kernels.size(), std::size(target_kernels));
    for (std::size_t i = 0; i < kernels.size(); ++i) {
        EXPECT_EQ(std::string(kernels[i]->name), target_kernels[i].name) << "row " << i;
        EXPECT_EQ(kernels[i]->needs, target_kernels[i].needs) << target_kernels[i].name;
    }
}

// Synthetic CPUs: every feature a kernel needs, then each one of them, and
// no other, taken away.
TEST(KernelChoice, AKernelRunsOnlyWhereEveryFeatureItNeedsIsThere) {
    const cpu_features every = ~cpu_features{0};
    for (const line_kernel* k : line_kernels()) {
        const auto expected =
            std::find_if(std::begin(target_kernels), std::end(target_kernels),
                         [&](const auto& t) { return t.name == std::string(k->name); });
        ASSERT_NE(expected, std::end(target_kernels)) << k->name;
        const cpu_features needs = expected->needs;
        EXPECT_TRUE(runs_on(*k, needs)) << k->name;
        EXPECT_TRUE(runs_on(*k, every)) << k->name;
        for (cpu_features one = 1; one != 0; one <<= 1) {
            if ((needs & one) == 0) continue;
            EXPECT_FALSE(runs_on(*k, needs & ~one)) << k->name << " without bit " << one;
            EXPECT_FALSE(runs_on(*k, every & ~one)) << k->name << " without bit " << one;
        }
    }
}

TEST(KernelChoice, UsableFeaturesAreTheOnesTheCpuReports) {
    const cpu_features have = usable_cpu_features();
#if defined(__x86_64__)
    for (const feature_report& r : x86_reports())
        EXPECT_EQ((have & r.feature) != 0, r.usable) << r.name;
#else
    EXPECT_EQ(have, 0U) << "no kernel of this target needs a feature to be asked about";
#endif
}

// A feature that GLIBC_TUNABLES=glibc.cpu.hwcaps=-NAME takes away is not
// usable, whatever the CPU has: the C library reads the mask as the program
// starts, in the dynamic loader or, linked statically, in its own start
// code. Run under a mask, this and the test below show that the kernel
// follows it. __builtin_cpu_supports asks the CPU alone and sees no mask.
TEST(KernelChoice, AFeatureTheTunablesTakeAwayIsNotUsable) {
#ifdef ASK_THE_C_LIBRARY
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    // name=value items separated by ':', the names in the mask by ','.
    std::vector<std::string_view> taken_away;
    for (std::string_view rest = tunables == nullptr ? "" : tunables; !rest.empty();) {
        const std::string_view item = rest.substr(0, rest.find(':'));
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
        constexpr std::string_view key = "glibc.cpu.hwcaps=";
        if (item.substr(0, key.size()) != key) continue;
        for (std::string_view names = item.substr(key.size()); !names.empty();) {
            const std::string_view name = names.substr(0, names.find(','));
            names.remove_prefix(std::min(names.size(), name.size() + 1));
            if (name.size() > 1 && name[0] == '-') taken_away.push_back(name.substr(1));
        }
    }
    int masked = 0;
    for (const feature_report& r : x86_reports()) {
        if (std::find(taken_away.begin(), taken_away.end(), r.name) == taken_away.end()) continue;
        ++masked;
        EXPECT_FALSE(r.usable) << r.name << " is taken away by GLIBC_TUNABLES=" << tunables;
        EXPECT_EQ(usable_cpu_features() & r.feature, 0U) << r.name;
    }
    if (masked == 0) GTEST_SKIP() << "GLIBC_TUNABLES takes away no feature that a kernel needs";
#else
    GTEST_SKIP() << "this build does not ask the C library, which reads GLIBC_TUNABLES";
#endif
}

TEST(KernelChoice, DefaultLayoutTakesTheKernelThisCpuShouldGet) {
    const cpu_features have = reported_features();
    const auto best = std::find_if(std::begin(target_kernels), std::end(target_kernels),
                                   [&](const auto& t) { return (t.needs & ~have) == 0; });
    ASSERT_NE(best, std::end(target_kernels)) << "no kernel runs on this CPU";
    const std::string expected = best->name;
    if (!std::string(ZELK_EXPECT_KERNEL).empty()) {
        EXPECT_EQ(expected, ZELK_EXPECT_KERNEL)
            << "this CPU reports other features than the build expects";
    }
    for (bool colour : {false, true})
        EXPECT_EQ(kernel_for_default_layout(colour), expected) << (colour ? "coloured" : "plain");
}

// A misspelt name asks for another feature: where the CPU has both, or
// neither, nothing shows it but the names themselves.
TEST(KernelChoice, EachFeatureIsAskedByItsOwnNames) {
    ASSERT_EQ(std::size(x86_cpu_names), std::size(stated_names));
    for (const auto& stated : stated_names) {
        const auto row =
            std::find_if(std::begin(x86_cpu_names), std::end(x86_cpu_names),
                         [&](const x86_cpu_name& n) { return n.feature == stated.feature; });
        ASSERT_NE(row, std::end(x86_cpu_names)) << stated.library_name;
        EXPECT_EQ(row->library_name, stated.library_name);
        EXPECT_EQ(row->builtin_name, stated.builtin_name) << stated.library_name;
    }
}

// A build meant to ask __builtin_cpu_supports that asks the C library after
// all tests nothing of the fallback, and the other way round.
TEST(KernelChoice, TheFeaturesAreAskedWhereTheBuildMeansToAsk) {
    const auto name = [](cpu_feature_source source) -> std::string {
        switch (source) {
            case cpu_feature_source::none:
                return "nowhere";
            case cpu_feature_source::c_library:
                return "the C library";
            case cpu_feature_source::builtin:
                return "__builtin_cpu_supports";
        }
        return "an unknown source";
    };
    EXPECT_EQ(name(cpu_features_source()), name(expected_source));
}
