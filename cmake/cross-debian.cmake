# Shared part of the cross toolchain files: Debian's cross compiler for
# zelk_triple, with the target's libraries in /usr/<triple>. CMake starts the
# tests through CMAKE_CROSSCOMPILING_EMULATOR, and so does the end-to-end
# harness when it starts zelk. Unless the toolchain file names another, that
# is qemu-user, called directly with -L naming the target's loader and
# libraries: no binfmt registration and no environment variable is needed.
# ZELK_EMULATOR_ARGV0 is the emulator's option that sets the program's
# argv[0], which the harness gives as "zelk"; ZELK_EMULATOR_SETENV its option
# that sets a variable for the program and not for the emulator, through
# which the harness preloads a library into the program.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${zelk_triple}-g++)
set(CMAKE_C_COMPILER ${zelk_triple}-gcc)  # GoogleTest's sources enable C
set(CMAKE_FIND_ROOT_PATH /usr/${zelk_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/${zelk_qemu} -L /usr/${zelk_triple})
  set(ZELK_EMULATOR_ARGV0 -0)
  set(ZELK_EMULATOR_SETENV -E)
endif()
