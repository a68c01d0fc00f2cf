// SPDX-License-Identifier: MIT
#include "common/file_to_rewrite.h"

#include "common/command.h"

outcome file_to_rewrite::check(const std::string& name, options settings) {
  lock_.release();
  save_.reset();
  name_ = name;
  save_options_ = settings.save;
  if (!settings.special_file_message.empty() && is_special_file(name))
    return failure{failure::kind::to_standard_error, std::string(settings.special_file_message)};
  if (!settings.missing_message.empty() && !file_exists(name))
    return refusal(std::move(settings.missing_message));
  return {};
}

outcome file_to_rewrite::take() {
  outcome taken = start_writing(name_, lock_);
  if (!taken.ok()) lock_.release();
  return taken;
}

outcome file_to_rewrite::open(const std::string& name, options settings) {
  if (outcome checked = check(name, std::move(settings)); !checked.ok()) return checked;
  return take();
}

file_save& file_to_rewrite::save() {
  if (!save_) save_ = std::make_unique<file_save>(name_, save_options_);
  return *save_;
}
