#include "wordsift/wordsift.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

using words = std::vector<std::string_view>;

TEST(DistinctLines, SortsByUnsignedBytesAndKeepsEachLineOnce) {
  EXPECT_EQ(distinct_lines("pear\napple\nPear\napple\nkiwi\n"),
            (words{"Pear", "apple", "kiwi", "pear"}));
  EXPECT_EQ(distinct_lines("apple\napp\n\xe9t\xe9\nZoo\n"),
            (words{"Zoo", "app", "apple", "\xe9t\xe9"}));
  EXPECT_EQ(distinct_lines(""), words{});
}

TEST(DistinctLines, EmptyLinesBlanksAndLineEndsFollowTheLineRule) {
  EXPECT_EQ(distinct_lines("a\n\nb \r\n\n"), (words{"", "a", "b "}));
  EXPECT_EQ(distinct_lines("a\r\nb"), distinct_lines("a\nb\n"));
}

TEST(SortedDifference, KeepsWhatTheExcludeListDoesNotHold) {
  words source = distinct_lines("pear\napple\nPear\napple\nkiwi\n");
  words exclude = distinct_lines("kiwi\nfig\n");
  EXPECT_EQ(sorted_difference(source, exclude), (words{"Pear", "apple", "pear"}));
  EXPECT_EQ(sorted_difference(source, {}), source);
  EXPECT_EQ(sorted_difference({}, exclude), words{});
  EXPECT_EQ(sorted_difference(distinct_lines("apple \napple\nApple"), distinct_lines("apple")),
            (words{"Apple", "apple "}));
}

TEST(SortedDifference, AgreesWithOrderedSetsOnRandomLists) {
  std::mt19937 random(13);
  auto random_list = [&] {
    std::string text;
    for (int lines = static_cast<int>(random() % 60); lines > 0; --lines) {
      for (int n = static_cast<int>(random() % 4); n > 0; --n) text.push_back("aB \xe9\r"[random() % 5]);
      text += random() % 4 == 0 ? "\r\n" : "\n";
    }
    return text;
  };
  for (int round = 0; round < 500; ++round) {
    std::string source_text = random_list(), exclude_text = random_list();
    auto as_set = [](const words& list) { return std::set<std::string_view>(list.begin(), list.end()); };
    std::set<std::string_view> source = as_set(distinct_lines(source_text));
    std::set<std::string_view> exclude = as_set(distinct_lines(exclude_text));
    words expected;
    for (std::string_view word : source)
      if (!exclude.count(word)) expected.push_back(word);
    ASSERT_EQ(sorted_difference(distinct_lines(source_text), distinct_lines(exclude_text)), expected);
  }
}

}  // namespace
