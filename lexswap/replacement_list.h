// SPDX-License-Identifier: MIT
// The replacement list of lexswap: one 'some-string = replace-with' rule per
// line, split at the first equals sign, both halves trimmed of spaces and
// tabs. Lines without an equals sign are skipped.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_lines.h"

// The rules in file order; the elements at one index form one rule.
struct replacement_list {
  std::vector<std::string> search_strings;
  std::vector<std::string> replacement_strings;
  // The 1-based line of the file that each rule came from, for messages.
  std::vector<std::size_t> line_numbers;
  // Whether the file began with a UTF-8 byte-order mark: it says that it is
  // UTF-8 text.
  bool marked_utf8 = false;

  std::size_t size() const { return search_strings.size(); }
};

// A copy of `text` without leading and trailing blanks; the blanks are space
// and horizontal tab, nothing else.
std::string trim_blanks(std::string_view text);

// The rules of a replacement list held in memory.
replacement_list parse_replacement_list(std::string_view text);

// Reads the rules of the file `file_name` into `list`, as every program
// reads a list (`read_list`), refused with `missing` when it cannot be read.
outcome read_replacement_list(const std::string& file_name, replacement_list& list,
                              const std::string& missing);
