// SPDX-License-Identifier: MIT
// A talk table opened to be changed and saved over its own file: the one
// way lexswap and `lexport import` open the table they rewrite, and the
// messages every program gives for a table it cannot take.
#pragma once

#include <memory>
#include <string>

#include "common/file_to_rewrite.h"
#include "common/outcome.h"
#include "talk/ie_res_talk.h"

// "Cannot read TALK V1 resource, file 'NAME' not found."
std::string missing_table_message(const std::string& name);
// The refusal of a table whose save would pass the format's 4 GiB.
std::string too_large_table_message(const std::string& name);

class table_rewrite {
 public:
  table_rewrite() = default;
  table_rewrite(const table_rewrite&) = delete;
  table_rewrite& operator=(const table_rewrite&) = delete;

  // The checks before a rewrite (common/file_to_rewrite.h), holding
  // nothing yet: a FIFO or a device fails as "TLK file couldn't be opened
  // for writing.", of kind `to_standard_error`; a missing table as
  // `missing_table_message`.
  outcome check(const std::string& name);
  // After a successful `check`: takes the writers' lock, refuses a backup
  // left beside the table, and loads it whole. A table that does not load
  // has said why on standard error, and fails as `reported`. A table that
  // could be loaded but never saved (records that share their strings and
  // would claim more than 4 GiB once each has its copy) is refused before
  // its texts are copied.
  outcome open();

  // Only after a successful `open`.
  ie_res_talk& table() { return *table_; }
  const ie_res_talk& table() const { return *table_; }
  const std::string& name() const { return file_.name(); }

  // Saves the table over its file, as `ie_res_talk::save` does, its lines
  // included; the writers' lock is held until the object goes.
  bool save();

  // Saves this table and `other` together, both or neither
  // (common/paired_save.h), with the lines of `save`; each lock is held
  // until its object goes.
  // `what` says what the run is ("a lexport import into"), for the report
  // of one cut short.
  bool save_with(table_rewrite& other, const std::string& what);

 private:
  // The table goes after the file: its lock and its save's buffers are let
  // go of first, and a table of many entries is freed last.
  std::unique_ptr<ie_res_talk> table_;
  file_to_rewrite file_;
};
