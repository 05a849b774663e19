# 32-bit x86: cmake -B build-i386 --toolchain cmake/toolchain-i386.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(zelk_triple i686-linux-gnu)
# Debian 12's qemu-i386 hangs in the child of every fork of a dynamically
# linked program (glibc's stack list never ends there), and the tests fork.
# An x86-64 kernel runs i386 code itself, so the programs are started
# through the target's own loader, which is told where the target's
# libraries are.
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/${zelk_triple}/lib/ld-linux.so.2 --library-path /usr/${zelk_triple}/lib)
set(ZELK_EMULATOR_ARGV0 --argv0)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
