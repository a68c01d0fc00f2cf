// SPDX-License-Identifier: MIT
// Two files saved together, both or neither: `lexport import` writes a talk
// table and its female table, and a game that shows one without the other
// mixes two translations. One save alone cannot promise that (a commit by
// rename gives up the old file; one in place deletes its backup), so:
//
//   1. a record beside the first file names the pair, written and synced
//      before either save opens;
//   2. both saves, opened with `keep_old_bytes` (common/file_save.h), get
//      every byte and are synced: a full disk or a failed write stops the
//      pair before either file changes;
//   3. the first is committed, then the second; should the second fail, the
//      first gets its old bytes back;
//   4. the record says that both are saved, the backups go, and the record
//      goes last.
//
// A run cut short in between (`kill -9`, a crash, a power cut) leaves the
// record, and the next run that would write the first file is refused with
// what each file holds (`cut_pair_report`, from `start_writing`), rather
// than taken for one file whose save was cut short.
#pragma once

#include <optional>
#include <string>

#include "common/file_save.h"

class paired_save {
 public:
  // `first` and `second` are the files' names as the user gave them;
  // `what` says what the run is, as the report of one cut short begins
  // ("a lexport import into").
  paired_save(std::string first, std::string second, std::string what);
  // Removes the record of a pair that never committed.
  ~paired_save();
  paired_save(const paired_save&) = delete;
  paired_save& operator=(const paired_save&) = delete;

  // Step 1. False when the record cannot be written; nothing has changed.
  [[nodiscard]] bool begin();
  // Steps 2 to 4, after `begin`, for the two saves opened with
  // `keep_old_bytes` and given their bytes. False when the pair could not
  // be saved: both files hold their old bytes, unless a save's
  // `kept_backup` names where they are.
  [[nodiscard]] bool commit(file_save& first, file_save& second);

  const std::string& record() const { return record_; }

 private:
  bool write_record(const char* state);

  std::string first_;
  std::string second_;
  std::string what_;
  std::string record_;
  bool begun_ = false;
  // Where the first file's old bytes could not be put back, the record
  // stays beside it.
  bool keep_record_ = false;
};

// The record that `paired_save` keeps beside the file `first`.
std::string pair_record_name(const std::string& first);

// Where a record lies beside the file `name`: a message that says that a
// save of two files was cut short, what each of them holds, and what to
// do. Nothing where there is no record.
std::optional<std::string> cut_pair_report(const std::string& name);
