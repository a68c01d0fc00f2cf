// SPDX-License-Identifier: MIT
// What both kinds of system share: the writers' messages and the look for
// a cut-short save's backup. The lock itself is writer_lock_posix.cc's or
// writer_lock_windows.cc's, chosen by CMake.
#include "common/writer_lock.h"

#include <iostream>
#include <vector>

#include "common/command.h"
#include "common/file_save.h"
#include "common/paired_save.h"

writer_lock::~writer_lock() { release(); }

outcome start_writing(const std::string& name, writer_lock& lock) {
  writer_lock::result taken = lock.take(name, [&name] {
    flush_standard_output();
    std::cerr << "Waiting for another run to finish with '" << name << "' ..." << std::endl;
  });
  if (taken == writer_lock::result::unsupported) {
    flush_standard_output();
    std::cerr << "The file system cannot lock '" << name
              << "' against other runs; going on without." << std::endl;
  }
  // Looked for only under the lock: a writer's own backup is gone before it
  // lets go.
  if (std::optional<std::string> cut_pair = cut_pair_report(name)) return refusal(*cut_pair);
  std::vector<std::string> backups = leftover_backups(name);
  if (backups.empty()) return {};
  return refusal("Cannot proceed, '" + backups.front() + "' holds the bytes of '" + name +
                 "' from before a save that was cut short; keep the one you want and delete the "
                 "other.");
}

void warn_of_cut_save(const std::string& name) {
  std::vector<std::string> backups = leftover_backups(name);
  if (backups.empty() || writer_lock::held_elsewhere(name)) return;
  // The writer may have finished, and removed its backup, since the look.
  backups = leftover_backups(name);
  if (backups.empty()) return;
  flush_standard_output();
  std::cerr << "Warning: '" << backups.front() << "' holds the bytes of '" << name
            << "' from before a save that was cut short; '" << name << "' may be damaged."
            << std::endl;
}
