# SPDX-License-Identifier: MIT
# The kit for 32-bit x86 Linux, with Debian's cross compiler (package
# g++-i686-linux-gnu). The programs and tests run on an x86-64 host with its
# 32-bit C and C++ libraries (libc6-i386, lib32stdc++6): as they are where
# its kernel can start 32-bit programs, under qemu-i386 where it cannot
# (KIT_I686_EMULATOR, cmake/i686_emulator.cmake).
set(kit_cross_processor i686)
set(kit_cross_triple i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
