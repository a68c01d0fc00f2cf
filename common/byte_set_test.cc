// SPDX-License-Identifier: MIT
#include "common/byte_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every string in one slot with one tag: every insertion compares keys.
std::uint64_t one_hash(std::string_view) { return 0x5eed000000000007ULL; }

TEST(ByteSet, StringsThatDifferOnlyInLengthOrTrailingNulsAreDistinct) {
  using namespace std::string_literals;
  const std::vector<std::string> distinct = {
      "",         "\0"s,         "\0\0"s,         "ab",        "ab\0"s,      "ab\0\0"s,
      "abcdefgh", "abcdefgh\0"s, "abcdefgh\0\0"s, "abcdefghi", "abcdefghij", "abcdefghik"};
  key_list keys;
  basic_byte_set<one_hash> set(keys, 16);
  for (const std::string& bytes : distinct) EXPECT_TRUE(set.insert(bytes)) << bytes.size();
  for (const std::string& bytes : distinct) EXPECT_FALSE(set.insert(bytes)) << bytes.size();
  ASSERT_EQ(keys.size(), distinct.size());
  for (std::size_t i = 0; i < distinct.size(); ++i) EXPECT_EQ(keys[i].line, distinct[i]);
}

// From 16 slots to 262,144: each string is new once, and the keys keep the
// order in which the strings first came, through every growth.
TEST(ByteSet, KeepsEveryStringOnceThroughManyGrowths) {
  std::vector<std::string> strings;
  for (int n = 0; n < 100000; ++n) strings.push_back(std::to_string(n * 7919 % 100000));
  key_list keys;
  byte_set set(keys, 16);
  for (const std::string& bytes : strings) ASSERT_TRUE(set.insert(bytes)) << bytes;
  for (const std::string& bytes : strings) ASSERT_FALSE(set.insert(bytes)) << bytes;
  ASSERT_EQ(keys.size(), strings.size());
  for (std::size_t i = 0; i < strings.size(); ++i) ASSERT_EQ(keys[i].line, strings[i]);
}

TEST(ByteSet, KeepsTheViewItIsGivenForANewString) {
  key_list keys;
  byte_set set(keys);
  const std::string kept = "word";
  EXPECT_TRUE(
      set.insert(std::string("word"), [&](std::string_view) { return std::string_view(kept); }));
  EXPECT_FALSE(set.insert("word", [](std::string_view) -> std::string_view {
    ADD_FAILURE() << "a string the set holds is not kept again";
    return {};
  }));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].line.data(), kept.data());
}

}  // namespace
