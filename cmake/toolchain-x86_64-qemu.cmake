# x86-64 built as for this machine but run on a CPU model of qemu-user, for
# the CPUs that this one is not (say, without AVX-512 or without SSSE3):
#   cmake -B build-x86-qemu --toolchain cmake/toolchain-x86_64-qemu.cmake \
#     -DZELK_QEMU_CPU=qemu64 -DZELK_EXPECT_KERNEL=portable
# ZELK_QEMU_CPU is qemu's -cpu argument: a model, with features taken off by
# -name. qemu 7.2 warns on standard error about each feature of a model that
# it cannot emulate, which the end-to-end tests would see as zelk's own
# output, so the model must be one that it emulates whole (qemu64, max), or
# have those features taken off (Haswell-noTSX,-pcid,-x2apic,-tsc-deadline,
# -invpcid). ZELK_EXPECT_KERNEL names the kernel that the model must get.
#
# Naming the system makes this a cross build to CMake, so that ctest and the
# end-to-end harness start every program through the emulator. Unlike
# qemu-i386 (see toolchain-i386.cmake), qemu-x86_64 runs the children of
# fork. Changing ZELK_QEMU_CPU in an existing build only rebuilds what
# starts the programs; the programs stay the same.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZELK_QEMU_CPU "" CACHE STRING "qemu-x86_64's -cpu argument for running the tests")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZELK_QEMU_CPU)  # checks read this file too
if(NOT ZELK_QEMU_CPU)
  message(FATAL_ERROR "toolchain-x86_64-qemu.cmake: set ZELK_QEMU_CPU to a qemu-x86_64 -cpu model")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-x86_64 -cpu ${ZELK_QEMU_CPU})
set(ZELK_EMULATOR_ARGV0 -0)
set(ZELK_EMULATOR_SETENV -E)
