// SPDX-License-Identifier: MIT
// A file that a run reads and then saves over itself: a talk table that
// lexswap or `lexport import` changes, the model that `wordloom -s` saves.
// Every such run takes the same steps before it reads a byte, in this
// order, and this is the one place that takes them:
//
//   1. refuse a file that could never be written back (a FIFO, a device),
//      where the caller says so, before anything opens it: opening a FIFO
//      waits for a writer;
//   2. refuse a file that must exist and does not;
//   3. take the writers' lock (common/writer_lock.h), held until the object
//      goes, so that a second run waits and then reads what this one saved;
//   4. refuse the file when a backup beside it shows that an earlier save
//      was cut short: only the user can tell which of the two to keep.
//
// The object then keeps the save (common/file_save.h) that replaces the
// file, so that a run that rewrites two files can get both saves ready
// before it commits either. Several may be held at once; each holds its own
// file's lock.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/file_save.h"
#include "common/outcome.h"
#include "common/writer_lock.h"

class file_to_rewrite {
 public:
  struct options {
    // Said when the name leads to a FIFO or a device, as a failure of kind
    // `to_standard_error`; empty when such a file is written as a stream.
    std::string_view special_file_message;
    // Said when no readable file has the name; empty when the save may
    // create the file.
    std::string missing_message;
    // How the save writes the file.
    file_save::options save;
  };

  file_to_rewrite() = default;
  file_to_rewrite(const file_to_rewrite&) = delete;
  file_to_rewrite& operator=(const file_to_rewrite&) = delete;

  // Takes steps 1 and 2 for the file `name`, holding nothing yet: a run
  // may check its other inputs before it waits for the lock.
  outcome check(const std::string& name, options settings);
  // Takes steps 3 and 4, after a successful `check`; on failure nothing is
  // held.
  outcome take();
  // `check`, then `take`.
  outcome open(const std::string& name, options settings);

  const std::string& name() const { return name_; }

  // The save that replaces the file, made on first use with the options
  // given to `open`; it touches nothing until its own `open`.
  file_save& save();
  // Before `save` is first used: a save that goes with another's keeps the
  // old bytes (file_save::options::keep_old_bytes).
  void keep_old_bytes() { save_options_.keep_old_bytes = true; }

 private:
  std::string name_;
  file_save::options save_options_;
  writer_lock lock_;
  std::unique_ptr<file_save> save_;
};
