// SPDX-License-Identifier: MIT
#include "talk/table_rewrite.h"

#include <iostream>
#include <utility>

#include "common/paired_save.h"

std::string missing_table_message(const std::string& name) {
  return "Cannot read TALK V1 resource, file '" + name + "' not found.";
}

std::string too_large_table_message(const std::string& name) {
  return "Cannot proceed, file '" + name + "' holds more text than a talk table can hold (4 GiB).";
}

outcome table_rewrite::check(const std::string& name) {
  table_.reset();
  file_to_rewrite::options settings;
  settings.special_file_message = ie_res_talk::k_cannot_write;
  settings.missing_message = missing_table_message(name);
  settings.save = ie_res_talk::save_options();
  return file_.check(name, std::move(settings));
}

outcome table_rewrite::open() {
  if (outcome taken = file_.take(); !taken.ok()) return taken;
  // A table that failed to load must never be saved: its missing entries
  // would replace the file's.
  const std::string& name = file_.name();
  auto table = std::make_unique<ie_res_talk>();
  switch (table->load_to_save(name)) {
    case ie_res_talk::load_result::loaded: break;
    case ie_res_talk::load_result::failed: return failure{failure::kind::reported, {}};
    case ie_res_talk::load_result::too_large_to_save: return refusal(too_large_table_message(name));
  }
  table_ = std::move(table);
  return {};
}

bool table_rewrite::save() { return table_->save(file_.save()); }

bool table_rewrite::save_with(table_rewrite& other, const std::string& what) {
  paired_save pair(name(), other.name(), what);
  if (!pair.begin()) {
    std::cerr << "Cannot save '" << name() << "' and '" << other.name() << "' together: '"
              << pair.record() << "' couldn't be written." << std::endl;
    return false;
  }
  file_.keep_old_bytes();
  other.file_.keep_old_bytes();
  file_save& mine = file_.save();
  file_save& theirs = other.file_.save();
  // Which of the two cannot be saved: a run names two tables.
  auto neither = [](const std::string& failed) {
    std::cerr << "Neither table was changed: '" << failed << "' cannot be saved where it is."
              << std::endl;
    return false;
  };
  if (!table_->write_to(mine)) return neither(name());
  if (!other.table_->write_to(theirs)) return neither(other.name());
  if (pair.commit(mine, theirs)) return true;
  return ie_res_talk::report_failed_save(mine, &theirs);
}
