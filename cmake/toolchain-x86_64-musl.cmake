# x86-64 with musl instead of glibc, linked statically:
#   cmake -B build-musl --toolchain cmake/toolchain-x86_64-musl.cmake
#   cmake --build build-musl --target zelk
# from Debian's packages clang, libc++-dev (its headers only) and musl-dev
# (its headers, start files and libc.a); the compiler's helpers come from
# libgcc's archive, as in any build. Only zelk can be built: it links no C++
# runtime, but the tests do, and Debian has none built for musl, so testing
# is off. The suite of a glibc build checks the program, through
# ZELK_TEST_BINARY (see .ci/run). musl does not tell programs the CPU's
# features, so the x86-64 check asks __builtin_cpu_supports (see
# dump/x86_cpu_report.hpp).
#
# The program runs on this machine: not a cross build to CMake.
set(CMAKE_C_COMPILER clang)  # checks that CMake makes may enable C
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-linux-musl)
set(CMAKE_CXX_COMPILER_TARGET x86_64-linux-musl)

# Debian's clang does not know where Debian puts musl: it would take glibc's
# headers and start files. None of the system's directories are searched,
# the compiler's own headers (intrinsics, stddef.h) stay, and musl's come
# after libc++'s, which include_next them. musl's start files (rcrt1.o,
# crt1.o, crti.o) are found through -B, its libc.a through -L, before the
# system's; -nostdlib++ keeps the C++ runtime, built for glibc, out of the
# link, so that anything in zelk that needed it fails to link.
set(zelk_musl_lib /usr/lib/x86_64-linux-musl)
set(zelk_musl_include "-nostdlibinc -idirafter /usr/include/x86_64-linux-musl")
set(CMAKE_C_FLAGS_INIT "${zelk_musl_include}")
# libc++'s headers cannot tell musl from glibc by themselves: the macro
# tells them.
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -isystem /usr/include/c++/v1 ${zelk_musl_include} -D_LIBCPP_HAS_MUSL_LIBC")
# CMake passes the compile flags to the link too, and its -pie beside
# -static-pie, none of which the link uses: clang would warn of each.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-nostdlib++ -B${zelk_musl_lib} -L${zelk_musl_lib} -Wno-unused-command-line-argument")

# Statically: a program that needs musl's loader would run only where musl
# is installed, and the point of it is one that runs anywhere. (Normal
# variables, which option() takes as they are.) No tests, and no libraries
# of this system, which are built for glibc: the target to build is zelk.
set(ZELK_STATIC ON)
set(BUILD_TESTING OFF)
set(CMAKE_DISABLE_FIND_PACKAGE_benchmark ON)
