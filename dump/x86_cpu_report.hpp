// Where an x86-64 build learns which CPU features it may use. glibc's loader
// finds them out at start, for its own string functions, and from 2.33 on
// tells programs (<sys/platform/x86.h>); CPU_FEATURE_ACTIVE is defined then,
// and that is asked. __builtin_cpu_supports would link in libgcc's
// constructor, which runs CPUID leaf after leaf at every start, each a trap
// to the hypervisor on a virtual machine, so it is only the fallback: for
// older glibc and musl, or where ZELK_CPU_CHECK_BUILTIN asks for it so that
// a build with a newer glibc can test it.
#pragma once

#include <string_view>

#include "dump/kernel.hpp"

#if defined(__x86_64__) && !defined(ZELK_CPU_CHECK_BUILTIN) && __has_include(<sys/platform/x86.h>)
// A C header: its functions return _Bool, which g++ maps to bool through
// <stdbool.h> and clang++ does not.
#include <stdbool.h>
#ifndef _Bool
#define _Bool bool
#define zelk_bool_for_c_header
#endif
#include <sys/platform/x86.h>
#ifdef zelk_bool_for_c_header
#undef _Bool
#undef zelk_bool_for_c_header
#endif
#endif

// Every feature that an x86-64 kernel needs, as X(bit, name in the C library,
// name for __builtin_cpu_supports): the C library's is the argument of
// CPU_FEATURE_ACTIVE, a name that it pastes into its own, and either source
// takes any name that it knows, so a name of another feature is no error.
// The one list of them: usable_cpu_features asks by it, and x86_cpu_names
// shows it.
#define ZELK_X86_CPU_FEATURES(X)                      \
    X(feature_ssse3, SSSE3, "ssse3")                  \
    X(feature_popcnt, POPCNT, "popcnt")               \
    X(feature_avx512f, AVX512F, "avx512f")            \
    X(feature_avx512bw, AVX512BW, "avx512bw")         \
    X(feature_avx512vl, AVX512VL, "avx512vl")         \
    X(feature_avx512_vbmi, AVX512_VBMI, "avx512vbmi") \
    X(feature_avx512_vbmi2, AVX512_VBMI2, "avx512vbmi2")

namespace zelk::detail {

// The names that usable_cpu_features asks each feature by, one row each.
struct x86_cpu_name {
    cpu_feature feature;
    std::string_view library_name;
    std::string_view builtin_name;
};
inline constexpr x86_cpu_name x86_cpu_names[] = {
#define ZELK_CPU_NAMES(feature, library_name, builtin_name) {feature, #library_name, builtin_name},
    ZELK_X86_CPU_FEATURES(ZELK_CPU_NAMES)
#undef ZELK_CPU_NAMES
};

}  // namespace zelk::detail
