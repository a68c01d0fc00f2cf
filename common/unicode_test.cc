// SPDX-License-Identifier: MIT
#include "common/unicode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unordered_map>
#include <vector>

#include "common/code_page.h"

namespace {

// What UnicodeData.txt says of one character.
struct character_data {
  char category = 'C';  // the first letter of its general category
  std::uint32_t lower = 0;
};

// Debian's unicode-data package, read here apart from the script that made
// the kit's tables, so that the two cannot drift.
std::unordered_map<std::uint32_t, character_data> read_unicode_data(const std::string& name) {
  std::unordered_map<std::uint32_t, character_data> data;
  std::ifstream file(name);
  std::uint32_t range_first = 0;
  for (std::string line; std::getline(file, line);) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ';');) fields.push_back(field);
    fields.resize(15);
    const std::uint32_t code = static_cast<std::uint32_t>(std::stoul(fields[0], nullptr, 16));
    character_data one{fields[2][0], fields[13].empty() ? code
                                                        : static_cast<std::uint32_t>(
                                                              std::stoul(fields[13], nullptr, 16))};
    if (fields[1].find(", First>") != std::string::npos) {
      range_first = code;
      continue;
    }
    if (fields[1].find(", Last>") != std::string::npos) {
      for (std::uint32_t c = range_first; c <= code; ++c) data[c] = {one.category, c};
      continue;
    }
    data[code] = one;
  }
  return data;
}

// The characters of `page`: what each of its one- and two-byte sequences
// reads as, where it reads as one character.
std::vector<std::uint32_t> characters_of(const code_page& page) {
  std::vector<std::uint32_t> characters;
  if (page.number == 65001) {
    for (std::uint32_t c = 1; c < 0x110000; ++c)
      if (c < 0xd800 || c > 0xdfff) characters.push_back(c);
    return characters;
  }
  std::optional<text_converter> converter = text_converter::open(page);
  if (!converter) return characters;
  std::vector<std::string> sequences;
  for (int a = 1; a < 256; ++a) {
    sequences.push_back(std::string(1, static_cast<char>(a)));
    if (page.double_byte && a >= 0x81)
      for (int b = 0x40; b < 256; ++b)
        sequences.push_back({static_cast<char>(a), static_cast<char>(b)});
  }
  conversion_failure failure;
  for (const std::string& bytes : sequences) {
    std::optional<std::string> utf8 = converter->decode(bytes, failure);
    if (utf8 && utf8_character(*utf8, 0).first == utf8->size())
      characters.push_back(utf8_character(*utf8, 0).second);
  }
  return characters;
}

// The kit's tables say of every character of every page it converts what
// Unicode's own data says: letter, mark, and its lower case.
TEST(Unicode, TheTablesAgreeWithUnicodesDataForEveryPage) {
  const std::string name = "/usr/share/unicode/UnicodeData.txt";
  if (!std::ifstream(name)) GTEST_SKIP() << "no " << name << " (Debian: unicode-data)";
  const auto data = read_unicode_data(name);
  std::size_t checked = 0;
  for (std::string_view page_name :
       {"utf-8", "cp1250", "cp1251", "cp1252", "cp1253", "cp1254", "cp1255", "cp1256", "cp1257",
        "cp874", "cp932", "cp936", "cp949", "cp950"}) {
    SCOPED_TRACE(page_name);
    for (std::uint32_t c : characters_of(*find_code_page(page_name))) {
      auto known = data.find(c);
      const character_data one = known == data.end() ? character_data{'C', c} : known->second;
      ASSERT_EQ(is_unicode_letter(c), one.category == 'L') << character_name(c);
      ASSERT_EQ(is_unicode_mark(c), one.category == 'M') << character_name(c);
      ASSERT_EQ(unicode_lower(c), one.lower) << character_name(c);
      ++checked;
    }
  }
  EXPECT_GT(checked, 1100000u);
}

TEST(Unicode, FoldsUtf8AndLeavesOtherBytes) {
  EXPECT_EQ(fold_case("ÀÉÎ ŻÓŁW ЖУК Ωμέγα İ ABC \xff\xc3 ǅ"),
            "àéî żółw жук ωμέγα i abc \xff\xc3 ǆ");
}

}  // namespace
