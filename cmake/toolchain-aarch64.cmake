# 64-bit ARM: cmake -B build-aarch64 --toolchain cmake/toolchain-aarch64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(zelk_triple aarch64-linux-gnu)
set(zelk_qemu qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
