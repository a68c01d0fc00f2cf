// SPDX-License-Identifier: MIT
#include "wordloom/getopt.h"

namespace {

std::string key_of(std::string_view name) {
  std::string key = "-";
  key += name;
  key += ' ';
  return key;
}

}  // namespace

GetOpt::GetOpt(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    joined_arguments_ += argv[i];
    joined_arguments_ += " -";
  }
}

bool GetOpt::has_option(std::string_view name) const {
  return joined_arguments_.find(key_of(name)) != std::string::npos;
}

std::string GetOpt::option_argument(std::string_view name) const {
  std::size_t found = joined_arguments_.find(key_of(name));
  if (found == std::string::npos) return {};
  // The value starts after a one-letter key and the separator's hyphen; the
  // offset does not grow with longer names.
  std::size_t start = found + 4;
  if (start >= joined_arguments_.size()) return {};
  std::size_t end = joined_arguments_.find(" -", start);
  if (end == std::string::npos) end = joined_arguments_.size();
  return joined_arguments_.substr(start, end - start);
}
