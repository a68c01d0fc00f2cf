# SPDX-License-Identifier: MIT
# How a 32-bit x86 build's tests and the programs they start are run: as
# they are, where the kernel can start 32-bit programs, or under qemu-i386
# (package qemu-user) where it cannot. Both ways use the host's own 32-bit
# C and C++ libraries (libc6-i386, lib32stdc++6). qemu is given no sysroot
# (-L): with one, a program that starts a thread loads the host's 32-bit C
# library beside the sysroot's and hangs.
#
#   KIT_I686_EMULATOR=AUTO  qemu-i386 only where the kernel cannot start the
#                           build's programs (the default)
#   KIT_I686_EMULATOR=ON    always qemu-i386
#   KIT_I686_EMULATOR=OFF   never; a kernel that cannot start them stops the
#                           configuration here rather than in the tests
#
# Sets KIT_I686_EMULATED to whether the tests run under qemu-i386.
set(KIT_I686_EMULATOR AUTO CACHE STRING
  "Run a 32-bit x86 build's tests under qemu-i386: AUTO, ON or OFF")
set_property(CACHE KIT_I686_EMULATOR PROPERTY STRINGS AUTO ON OFF)
string(TOUPPER "${KIT_I686_EMULATOR}" kit_i686_mode)
if(NOT kit_i686_mode MATCHES "^(AUTO|ON|OFF)$")
  message(FATAL_ERROR "KIT_I686_EMULATOR is '${KIT_I686_EMULATOR}': it takes AUTO, ON or OFF")
endif()

# A small program that needs what the tests need: the 32-bit C and C++
# libraries, loaded at start-up as the tests load them. try_run would not
# run it in a cross build, so it is built here and started below.
set(kit_probe "${CMAKE_BINARY_DIR}/CMakeFiles/kit-i686-probe")
try_compile(kit_probe_built
  SOURCE_FROM_CONTENT probe.cc
    "#include <string>\nint main(int argc, char**) { return std::to_string(argc) == \"1\" ? 0 : 1; }\n"
  COPY_FILE "${kit_probe}"
  OUTPUT_VARIABLE kit_probe_log)
if(NOT kit_probe_built)
  message(FATAL_ERROR "Cannot build a 32-bit x86 program with ${CMAKE_CXX_COMPILER}:\n${kit_probe_log}")
endif()

execute_process(COMMAND "${kit_probe}" RESULT_VARIABLE kit_native_status
  OUTPUT_QUIET ERROR_VARIABLE kit_native_error)
set(kit_native OFF)
if(kit_native_status STREQUAL "0")
  set(kit_native ON)
else()
  # A kernel without 32-bit support refuses the program (ENOEXEC), and the
  # C library then hands it to the shell as a script, which says so in its
  # own words.
  if(kit_native_error MATCHES "Syntax error|Exec format|cannot execute")
    set(kit_native_why "its kernel refuses them: Exec format error")
  else()
    set(kit_native_why "status ${kit_native_status}: ${kit_native_error}")
  endif()
  string(STRIP "${kit_native_why}" kit_native_why)
endif()

set(KIT_I686_EMULATED OFF)
if(kit_i686_mode STREQUAL "ON" OR (kit_i686_mode STREQUAL "AUTO" AND NOT kit_native))
  find_program(KIT_QEMU_I386 qemu-i386)
  if(NOT KIT_QEMU_I386)
    message(FATAL_ERROR
      "This machine cannot start 32-bit x86 programs (${kit_native_why}) and has no "
      "qemu-i386 to run them under: install qemu-user, or build with KIT_BUILD_TESTS=OFF.")
  endif()
  execute_process(COMMAND "${KIT_QEMU_I386}" "${kit_probe}" RESULT_VARIABLE kit_emulated_status
    OUTPUT_QUIET ERROR_VARIABLE kit_emulated_error)
  if(NOT kit_emulated_status STREQUAL "0")
    message(FATAL_ERROR
      "A 32-bit x86 program does not start under ${KIT_QEMU_I386} (${kit_emulated_status}): "
      "${kit_emulated_error}Install the host's 32-bit libraries (libc6-i386, lib32stdc++6).")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR "${KIT_QEMU_I386}")
  set(KIT_I686_EMULATED ON)
  message(STATUS "32-bit x86 tests: under ${KIT_QEMU_I386}")
elseif(NOT kit_native)
  message(FATAL_ERROR
    "This machine cannot start 32-bit x86 programs (${kit_native_why}). "
    "With KIT_I686_EMULATOR=OFF the tests have no way to run. Install the host's 32-bit "
    "libraries (libc6-i386, lib32stdc++6) on a kernel that can start 32-bit programs, or "
    "configure with KIT_I686_EMULATOR=AUTO or ON to run them under qemu-i386.")
else()
  message(STATUS "32-bit x86 tests: native")
endif()
