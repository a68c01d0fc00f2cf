// SPDX-License-Identifier: MIT
#include "lexswap/word_memo.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WordMemo, KeepsEveryWordWithItsResultThroughManyGrowths) {
  word_memo memo;
  // Words that are prefixes of others, and words left as they are.
  for (int i = 0; i < 20000; ++i) {
    std::string word = "w" + std::to_string(i);
    memo.keep(word, i % 3 == 0 ? word : "<" + word + ">");
  }
  for (int i = 0; i < 20000; ++i) {
    std::string word = "w" + std::to_string(i);
    std::optional<word_memo::known> known = memo.find(word);
    ASSERT_TRUE(known.has_value()) << word;
    EXPECT_EQ(known->same, i % 3 == 0) << word;
    if (!known->same) {
      EXPECT_EQ(known->result, "<" + word + ">");
    }
  }
  EXPECT_FALSE(memo.find("w").has_value());
  EXPECT_FALSE(memo.find("w20000").has_value());
}

TEST(WordMemo, StopsKeepingAtItsSize) {
  word_memo memo;
  // Words of up to 64 bytes are kept, longer ones not.
  memo.keep(std::string(64, 'a'), "b");
  EXPECT_TRUE(memo.find(std::string(64, 'a')).has_value());
  memo.keep(std::string(65, 'a'), "b");
  EXPECT_FALSE(memo.find(std::string(65, 'a')).has_value());
  // Results of 64 KiB under words of one to three bytes: the memo's 8 MiB
  // hold 127 of them.
  const std::string result(std::size_t{64} << 10, 'r');
  std::size_t kept = 0;
  for (int i = 0; i < 1000; ++i) {
    memo.keep(std::to_string(i), result);
    kept += memo.find(std::to_string(i)).has_value();
  }
  EXPECT_EQ(kept, 127u);
}

}  // namespace
