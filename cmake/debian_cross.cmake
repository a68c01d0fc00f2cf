# SPDX-License-Identifier: MIT
# What the toolchain files of Debian's cross compilers share: the compilers
# of package g++-TRIPLE and the cross sysroot /usr/TRIPLE, searched for
# libraries and headers only. The including file sets kit_cross_processor
# and kit_cross_triple first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${kit_cross_processor})
set(CMAKE_C_COMPILER ${kit_cross_triple}-gcc)
set(CMAKE_CXX_COMPILER ${kit_cross_triple}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${kit_cross_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
