// SPDX-License-Identifier: MIT
// Running a built program as a user would, for the end-to-end tests: on a
// POSIX system (run_program.cc), with the programs built for it (under an
// emulator for a cross build) or the Windows programs under wine; on Windows
// (run_program_windows.cc), with its own programs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/testkit.h"

namespace testkit {

struct run_result {
  int status = -1;  // exit status, or 128 + signal number
  std::string out;
  std::string err;
};

struct run_options {
  // Limit on the size of files the program writes (RLIMIT_FSIZE); 0 for
  // none. The programs themselves make it a write error rather than a
  // SIGXFSZ (wine is spared the signal).
  std::uint64_t file_size_limit = 0;
  // Where standard output goes instead of a pipe (for example /dev/full).
  std::string stdout_file;
  // Standard output closed instead.
  bool close_stdout = false;
  // Standard error closed (`2>&-`); `run_result::err` is then empty.
  bool close_stderr = false;
  // Limit on the program's address space (RLIMIT_AS) in bytes; 0 for none.
  std::uint64_t memory_limit = 0;
  // Without root's power to write any file: a run by root is made as the
  // user `k_other_uid` (see `can_run_unprivileged`).
  bool unprivileged = false;
  // A tool of this system (gettext's, Python), not a program of the kit:
  // run as it is, never under wine or an emulator.
  bool host_tool = false;
};

// The user and group that unprivileged runs by root take on.
constexpr unsigned k_other_uid = 65534;
// Whether runs can be unprivileged: the tests do not run as root, or root
// can drop to `k_other_uid` (setpriv is there, and that user is).
bool can_run_unprivileged();

// Whether `run_options::file_size_limit` can be set here.
bool can_limit_file_size();

// Whether /dev/full, whose writes all fail, is there to stand for a full
// disk.
bool has_full_device();

// Whether the programs under test run under an emulator (a cross build),
// whose own memory a limit on the address space would take.
bool under_emulator();

// Whether the programs under test are the Windows build, run under wine.
bool under_wine();

// Runs `program` with `args` (no shell), capturing its output. With the
// environment variable KIT_TEST_EXE_DIR set, runs the Windows build of the
// program from that folder under wine instead, with CR LF line ends of its
// output read as LF.
run_result run(const std::string& program, const std::vector<std::string>& args,
               const run_options& options = {});

}  // namespace testkit
