# SPDX-License-Identifier: MIT
# Shared by the cross toolchains, included after they set TOOLCHAIN_PREFIX:
# libraries, headers and packages come from the target's sysroot only, build
# tools from the host, and the programs are linked statically, so that the
# runner needs no target libraries beside them.  Whether the loader library
# is built shared too is each toolchain's own.
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
