# SPDX-License-Identifier: MIT
# The kit for 32-bit x86 Linux, with Debian's cross compiler (package
# g++-i686-linux-gnu). The programs and tests run on an x86-64 host with its
# 32-bit C and C++ libraries (libc6-i386, lib32stdc++6): as they are where
# its kernel can start 32-bit programs, under qemu-i386 where it cannot
# (KIT_I686_EMULATOR, cmake/i686_emulator.cmake).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
