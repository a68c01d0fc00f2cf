// SPDX-License-Identifier: MIT
#include "lexglean/lexglean.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <set>

namespace {

std::vector<std::string> words_of(std::string_view text) {
  std::vector<std::string> words;
  for_each_word(text, [&words](std::string_view word) { words.emplace_back(word); });
  return words;
}

using words = std::vector<std::string>;

TEST(Words, ALetterRunIsAWordAndEveryOtherByteEndsIt) {
  EXPECT_EQ(words_of("don't"), (words{"don", "t"}));
  EXPECT_EQ(words_of("well-known"), (words{"well", "known"}));
  EXPECT_EQ(words_of("abc123def"), (words{"abc", "def"}));
  EXPECT_EQ(words_of("(a) b."), (words{"a", "b"}));
  EXPECT_EQ(words_of("end"), (words{"end"}));
  EXPECT_EQ(words_of(""), words{});
  EXPECT_EQ(words_of(" 12 ,.!? \t"), words{});
}

TEST(Words, BytesFromTheUpperHalfAreNeverLetters) {
  EXPECT_EQ(words_of("Caf\xe9s na\xefve"), (words{"Caf", "s", "na", "ve"}));
  std::string all;
  for (int c = 128; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(words_of(all), words{});
  EXPECT_EQ(words_of("@AZ[`az{"), (words{"AZ", "az"}));
}

std::vector<std::string> unique_words_of(const std::vector<std::string>& texts) {
  word_collector collector;
  for (const std::string& text : texts) collector.add_text(text);
  std::vector<std::string_view> sorted = collector.sorted();
  return {sorted.begin(), sorted.end()};
}

TEST(UniqueWords, EachWordOnceInByteOrderWithCaseKept) {
  EXPECT_EQ(unique_words_of({"apple Apple APPLE", "Zebra apple", "ab a"}),
            (words{"APPLE", "Apple", "Zebra", "a", "ab", "apple"}));
  EXPECT_EQ(unique_words_of({}), words{});
  EXPECT_EQ(unique_words_of({"", "", "123"}), words{});
}

TEST(UniqueWords, AWordNeverRunsFromOneEntryIntoTheNext) {
  EXPECT_EQ(unique_words_of({"ab", "cd"}), (words{"ab", "cd"}));
}

// Records may overlap, so that one file of 100 KB of letters gives 20,000
// texts of 80,000 letters, each a word of its own: kept as copies, the
// words would take 1.6 GB. A word longer than 64 bytes is a view into its
// text instead; shorter ones are copies, also of a text that goes.
TEST(UniqueWords, LongWordsAreTheTextsOwnBytesAndShortOnesCopies) {
  const std::string file = std::string(70, 'a') + std::string(100, 'b');
  word_collector collector;
  for (std::size_t start = 0; start < 10; ++start)
    collector.add_text(std::string_view(file).substr(start, 90 + start));
  collector.add_text(std::string("short"));
  std::vector<std::string_view> kept = collector.sorted();
  ASSERT_EQ(kept.size(), 11u);
  EXPECT_EQ(kept.back(), "short");
  kept.pop_back();
  for (std::string_view word : kept) {
    EXPECT_GE(word.data(), file.data()) << word;
    EXPECT_LE(word.data() + word.size(), file.data() + file.size()) << word;
  }
}

// The collector against a plain ordered set filled byte by byte with the C
// library's classification, on random texts.
TEST(UniqueWords, AgreesWithAnOrderedSetOnRandomTexts) {
  std::mt19937 random(3);
  const std::string alphabet =
      "abAB zZ'-\xe9\x80\x00"
      "9";
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> texts(random() % 6);
    std::set<std::string> expected;
    for (std::string& text : texts) {
      std::size_t size = random() % 40;
      std::string current;
      for (std::size_t i = 0; i < size; ++i) {
        char c = alphabet[random() % alphabet.size()];
        text.push_back(c);
        if (std::isalpha(static_cast<unsigned char>(c))) {
          current.push_back(c);
        } else if (!current.empty()) {
          expected.insert(current);
          current.clear();
        }
      }
      if (!current.empty()) expected.insert(current);
    }
    ASSERT_EQ(unique_words_of(texts), words(expected.begin(), expected.end()));
  }
}

// Real tables hold tens of thousands of distinct words: enough to grow the
// set past its first size several times.
TEST(UniqueWords, SeventyThousandDistinctWordsAreEachKeptOnce) {
  const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  std::vector<std::string> texts;
  std::set<std::string> expected;
  for (std::size_t n = 0; n < 72000; ++n) {
    std::string word;
    for (std::size_t rest = n + letters.size() * letters.size(); rest > 0; rest /= letters.size())
      word.push_back(letters[rest % letters.size()]);
    if (n % 100 == 0) texts.emplace_back();
    texts.back() += word + (n % 3 == 0 ? " " + word + ", " : " ");
    expected.insert(word);
  }
  ASSERT_EQ(unique_words_of(texts), words(expected.begin(), expected.end()));
}

}  // namespace
