# SPDX-License-Identifier: MIT
# Cross build for big-endian s390x Linux.  The programs are linked
# statically, so that qemu-s390x runs them without a target sysroot.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(TOOLCHAIN_PREFIX s390x-linux-gnu)
find_program(CMAKE_CXX_COMPILER NAMES ${TOOLCHAIN_PREFIX}-g++ REQUIRED)
# GoogleTest's own project also enables C.
find_program(CMAKE_C_COMPILER NAMES ${TOOLCHAIN_PREFIX}-gcc REQUIRED)

include(${CMAKE_CURRENT_LIST_DIR}/cross-common.cmake)
# The loader library is built static alone: qemu-s390x runs the programs
# without a target sysroot, where no shared one would load.
set(BUILD_SHARED_LIBS OFF CACHE BOOL "Build the loader library shared as well as static")
find_program(QEMU_S390X qemu-s390x REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU_S390X})
