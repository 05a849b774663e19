# 32-bit x86: cmake -B build-i386 --toolchain cmake/toolchain-i386.cmake
set(CMAKE_SYSTEM_PROCESSOR i686)
set(zelk_triple i686-linux-gnu)
set(zelk_qemu qemu-i386)
# Run under qemu-i386 like the other targets: an x86-64 kernel need not run
# 32-bit programs (many are built without it). Debian 12's qemu-i386 hangs
# in the child of every fork of a dynamically linked program (glibc's stack
# list never ends there), and the test programs fork to start zelk, so they
# are linked statically; zelk itself, which does not fork, stays as it ships.
set(ZELK_STATIC_TEST_PROGRAMS ON)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
