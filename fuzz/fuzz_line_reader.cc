// SPDX-License-Identifier: MIT
// Any bytes as a word list: the line reader gives exactly the lines of the
// plainest reading of the line rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> expected;
  std::string current;
  for (char c : text) {
    if (c == '\n') {
      if (!current.empty() && current.back() == '\r') current.pop_back();
      expected.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) expected.push_back(current);

  line_reader reader(text);
  std::string_view line;
  std::size_t index = 0;
  while (reader.next(line)) {
    if (index >= expected.size() || line != expected[index]) std::abort();
    ++index;
  }
  if (index != expected.size()) std::abort();
  return 0;
}
