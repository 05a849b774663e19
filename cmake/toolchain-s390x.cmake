# IBM Z, big-endian: cmake -B build-s390x --toolchain cmake/toolchain-s390x.cmake
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(zelk_triple s390x-linux-gnu)
set(zelk_qemu qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/cross-debian.cmake)
