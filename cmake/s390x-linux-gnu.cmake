# SPDX-License-Identifier: MIT
# The kit for big-endian s390x Linux, with Debian's cross compiler (package
# g++-s390x-linux-gnu). Its programs and tests run under qemu-user (package
# qemu-user), which finds the target's libraries in Debian's cross sysroot.
set(kit_cross_processor s390x)
set(kit_cross_triple s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/debian_cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu)
# The sysroot has no converter modules (gconv). Where Debian's libc6 for
# s390x is unpacked into the build folder (.ci/run does it), the emulated
# programs alone load its modules: the host's tools that the tests run keep
# their own.
set(kit_s390x_gconv "${CMAKE_BINARY_DIR}/libc6-s390x/usr/lib/s390x-linux-gnu/gconv")
if(EXISTS "${kit_s390x_gconv}/gconv-modules")
  list(APPEND CMAKE_CROSSCOMPILING_EMULATOR -E "GCONV_PATH=${kit_s390x_gconv}")
endif()
