// SPDX-License-Identifier: MIT
// Any bytes as a talk table file: a load that succeeds must save a table
// that loads again with every text, and saving that gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "fuzz/fuzz_files.h"
#include "talk/ie_res_talk.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = fuzz_file("input.tlk");
  static const std::string first = fuzz_file("first.tlk");
  static const std::string second = fuzz_file("second.tlk");
  write_fuzz_file(input, data, size);

  std::cerr.setstate(std::ios::failbit);  // the table's messages are expected
  auto table = std::make_unique<ie_res_talk>();
  bool loaded = table->load(input);
  std::cerr.clear();
  if (!loaded) {
    if (!table->entries().empty()) std::abort();
    return 0;
  }
  if (table->entries().size() != table->entry_count()) std::abort();
  if (!table->save(first)) std::abort();
  auto again = std::make_unique<ie_res_talk>();
  if (!again->load(first)) std::abort();
  if (again->entries().size() != table->entries().size()) std::abort();
  for (std::size_t i = 0; i < table->entries().size(); ++i) {
    if (again->entries()[i]->text() != table->entries()[i]->text()) std::abort();
    if (again->entries()[i]->length() != table->entries()[i]->length()) std::abort();
  }
  if (!again->save(second)) std::abort();
  if (read_fuzz_file(first) != read_fuzz_file(second)) std::abort();
  return 0;
}
