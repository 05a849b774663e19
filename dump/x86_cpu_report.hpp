// Where an x86-64 build learns which CPU features it may use. glibc's loader
// finds them out at start, for its own string functions, and from 2.33 on
// tells programs (<sys/platform/x86.h>); CPU_FEATURE_ACTIVE is defined then,
// and that is asked. __builtin_cpu_supports would link in libgcc's
// constructor, which runs CPUID leaf after leaf at every start, each a trap
// to the hypervisor on a virtual machine, so it is only the fallback: for
// older glibc and musl, or where ZELK_CPU_CHECK_BUILTIN asks for it so that
// a build with a newer glibc can test it.
#pragma once

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
