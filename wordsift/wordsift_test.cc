// SPDX-License-Identifier: MIT
#include "wordsift/wordsift.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "common/text_lines.h"

namespace {

using words = std::vector<std::string_view>;

words lines_of(const line_list& list) {
  words result;
  for (const sort_key& key : list) result.push_back(key.line);
  return result;
}

words difference(std::string_view source, std::string_view exclude) {
  words result;
  for_each_difference(distinct_lines(source), distinct_lines(exclude),
                      [&result](std::string_view word) { result.push_back(word); });
  return result;
}

TEST(DistinctLines, SortsByUnsignedBytesAndKeepsEachLineOnce) {
  EXPECT_EQ(lines_of(distinct_lines("pear\napple\nPear\napple\nkiwi\n")),
            (words{"Pear", "apple", "kiwi", "pear"}));
  EXPECT_EQ(lines_of(distinct_lines("apple\napp\n\xe9t\xe9\nZoo\n")),
            (words{"Zoo", "app", "apple", "\xe9t\xe9"}));
  EXPECT_EQ(lines_of(distinct_lines("")), words{});
}

TEST(DistinctLines, NulBytesAndLongSharedPrefixesSortByEveryByte) {
  std::string text("ab\0\nab\nabcdefghij\nabcdefghi\nabcdefgh\xff\nabcdefgh\n", 47);
  EXPECT_EQ(lines_of(distinct_lines(text)), (words{"ab", std::string_view("ab\0", 3), "abcdefgh",
                                                   "abcdefghi", "abcdefghij", "abcdefgh\xff"}));
}

TEST(DistinctLines, EmptyLinesBlanksAndLineEndsFollowTheLineRule) {
  EXPECT_EQ(lines_of(distinct_lines("a\n\nb \r\n\n")), (words{"", "a", "b "}));
  EXPECT_EQ(lines_of(distinct_lines("a\r\nb")), lines_of(distinct_lines("a\nb\n")));
}

// Long lists go through the byte-by-byte sort: lines that share long
// prefixes, that are prefixes of one another, and hold NUL and high bytes.
TEST(DistinctLines, LongListsSortLikeAnOrderedSet) {
  std::mt19937 random(21);
  for (int round = 0; round < 20; ++round) {
    std::string text;
    const char* alphabet = round % 2 == 0 ? "ab\xe9" : "abcdefghijklmnopqrstuvwxyz";
    std::size_t letters = std::strlen(alphabet);
    std::string shared(random() % 12, 'q');
    for (int lines = 2000 + static_cast<int>(random() % 3000); lines > 0; --lines) {
      std::string line = random() % 3 == 0 ? shared : "";
      for (int n = static_cast<int>(random() % 14); n > 0; --n)
        line.push_back(random() % 50 == 0 ? '\0' : alphabet[random() % letters]);
      text += line + "\n";
    }
    std::set<std::string_view> expected;
    line_reader reader(text);
    for (std::string_view line; reader.next(line);) expected.insert(line);
    ASSERT_EQ(lines_of(distinct_lines(text)), words(expected.begin(), expected.end())) << round;
  }
  // A list whose first 65,536 lines are all distinct is taken whole,
  // repeats and all, and made distinct by the sort: the lines after those
  // count as much, repeated ones and new ones.
  std::string text;
  for (int n = 0; n < 65536; ++n) text += "line" + std::to_string(n) + "\n";
  for (int n = 0; n < 10000; ++n) text += "line" + std::to_string(n * 13) + "\n";
  std::set<std::string_view> expected;
  line_reader reader(text);
  for (std::string_view line; reader.next(line);) expected.insert(line);
  EXPECT_EQ(lines_of(distinct_lines(text)), words(expected.begin(), expected.end()));
}

TEST(Difference, KeepsWhatTheExcludeListDoesNotHold) {
  EXPECT_EQ(difference("pear\napple\nPear\napple\nkiwi\n", "kiwi\nfig\n"),
            (words{"Pear", "apple", "pear"}));
  EXPECT_EQ(difference("b\na\n", ""), (words{"a", "b"}));
  EXPECT_EQ(difference("", "a\n"), words{});
  EXPECT_EQ(difference("apple \napple\nApple", "apple"), (words{"Apple", "apple "}));
}

TEST(Difference, AgreesWithOrderedSetsOnRandomLists) {
  std::mt19937 random(13);
  auto random_list = [&] {
    std::string text;
    for (int lines = static_cast<int>(random() % 60); lines > 0; --lines) {
      for (int n = static_cast<int>(random() % 12); n > 0; --n)
        text.push_back("aB \xe9\r\0"[random() % 6]);
      text += random() % 4 == 0 ? "\r\n" : "\n";
    }
    return text;
  };
  for (int round = 0; round < 1000; ++round) {
    std::string source_text = random_list(), exclude_text = random_list();
    auto as_set = [](const line_list& list) {
      std::set<std::string_view> set;
      for (const sort_key& key : list) set.insert(key.line);
      return set;
    };
    std::set<std::string_view> source = as_set(distinct_lines(source_text));
    std::set<std::string_view> exclude = as_set(distinct_lines(exclude_text));
    ASSERT_EQ(lines_of(distinct_lines(source_text)), words(source.begin(), source.end()));
    words expected;
    for (std::string_view word : source)
      if (!exclude.count(word)) expected.push_back(word);
    ASSERT_EQ(difference(source_text, exclude_text), expected);
  }
}

}  // namespace
