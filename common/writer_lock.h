// SPDX-License-Identifier: MIT
// Runs that write one file take turns. Two lexswap runs on one table at the
// same moment (a batch script with `&`, a mod installer beside a user) would
// otherwise both read the old table: the later save then drops the first
// run's changes, and two rewrites in place splice the two tables. A writer
// takes the file's lock before it reads the file and keeps it until its save
// is done, the rename and the folder's sync included, so concurrent runs
// give the result of running one after the other.
//
// On POSIX systems (writer_lock_posix.cc) the lock is a `flock` on the
// file itself. It belongs to the open file description, not to the process
// (as `fcntl` record locks do), so the run may open and close the file as
// often as it likes, and the system lets go of it when the process ends,
// however it ends. A save that renames a new file over the old one leaves
// a waiting run holding the lock of a file that no longer has the name: it
// then locks the new file.
//
// On Windows (writer_lock_windows.cc), where a lock on the file's bytes
// would keep out the run's own reads and every reader, it is a named mutex
// keyed on the file's identity (its volume and file index, which all its
// hard links share): it holds no handle on the file, goes with a process
// that dies and leaves no file behind. A run that waited for it locks the
// file that then has the name, as on POSIX systems.
//
// Readers take no writer's lock; they wait only while a writer rewrites a
// file in place (save_system::lock_rewrite).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "common/outcome.h"

class writer_lock {
 public:
  writer_lock() = default;
  // Lets go of the lock.
  ~writer_lock();
  writer_lock(const writer_lock&) = delete;
  writer_lock& operator=(const writer_lock&) = delete;

  enum class result {
    held,         // the lock is this run's until `release`
    no_file,      // the name leads to no regular file: a new file needs no lock
    unsupported,  // the file system keeps no locks (some network mounts)
  };

  // How long a run waits before it says that it waits.
  static constexpr std::chrono::seconds k_long_wait{1};

  // Takes the lock of the file `name` leads to (links followed), waiting
  // while another run holds it. `on_long_wait` is called once, should the
  // wait last longer than `k_long_wait`.
  result take(const std::string& name, const std::function<void()>& on_long_wait);

  // Lets go of the lock, if this object holds one.
  void release();

  // Whether another run holds the lock of the file `name` leads to now.
  // Asks without waiting.
  static bool held_elsewhere(const std::string& name);

 private:
#ifdef _WIN32
  void* mutex_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// For a run that will save the file `name`, before it reads that file:
// takes `lock` (with a line on standard error if another run keeps it
// waiting, or if the file system cannot lock), then looks for the backup
// that a save cut short in the middle of a rewrite in place leaves beside
// the file. Refuses the run when there is one: the file may be damaged, and
// only the user can tell which of the two to keep.
outcome start_writing(const std::string& name, writer_lock& lock);

// For a run that only reads `name`: one line on standard error when such a
// backup lies beside it, unless a writer holds the file's lock (whose save
// is what makes the backup).
void warn_of_cut_save(const std::string& name);
