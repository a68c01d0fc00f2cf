// SPDX-License-Identifier: MIT
#include "lexswap/replacement_list.h"

#include "common/text_lines.h"

std::string trim_blanks(std::string_view text) {
  constexpr std::string_view blanks{" \t"};
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

replacement_list parse_replacement_list(std::string_view text) {
  replacement_list list;
  line_reader lines(text);
  std::string_view line;
  for (std::size_t number = 1; lines.next(line); ++number) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    list.search_strings.push_back(trim_blanks(line.substr(0, equals)));
    list.replacement_strings.push_back(trim_blanks(line.substr(equals + 1)));
    list.line_numbers.push_back(number);
  }
  return list;
}

outcome read_replacement_list(const std::string& file_name, replacement_list& list,
                              const std::string& missing) {
  list_file file;
  outcome read = read_list(file_name, file, missing);
  list = read.ok() ? parse_replacement_list(file.text) : replacement_list{};
  list.marked_utf8 = read.ok() && file.text.size() < file.bytes.size();
  return read;
}
