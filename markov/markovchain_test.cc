// SPDX-License-Identifier: MIT
#include "markov/markovchain.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "testing/testkit.h"

namespace {

using strings = std::vector<std::string>;

std::uint32_t count_of(const markovchain& model, std::string_view pair, char next) {
  const markovchain::count_table* table = model.counts(pair);
  return table == nullptr ? 0 : (*table)[static_cast<unsigned char>(next)];
}

std::string statistics_of(const markovchain& model) {
  std::ostringstream out;
  model.display_statistics(out);
  return out.str();
}

// How many values of `rand` a call consumed: after seeding, the generator's
// sequence is replayed until it meets the value that follows the call.
template <typename Call>
int draws_of(Call call) {
  std::srand(1234);
  call();
  int next = std::rand();
  std::srand(1234);
  for (int draws = 0; draws < 100000; ++draws)
    if (std::rand() == next) return draws;
  return -1;
}

TEST(MarkovTraining, AnEmptyModelHasNoPairs) {
  markovchain model;
  EXPECT_EQ(model.pairs(), strings{});
  EXPECT_EQ(model.transition_total("ab"), 0);
  model.add_word("");
  EXPECT_EQ(model.pairs(), strings{});
}

TEST(MarkovTraining, AWordRecordsEveryCharacterAfterTheTwoBeforeIt) {
  markovchain model;
  model.add_word("cat");
  EXPECT_EQ(model.pairs(), (strings{"[c", "at", "ca"}));
  EXPECT_EQ(count_of(model, "[c", 'a'), 1u);
  EXPECT_EQ(count_of(model, "ca", 't'), 1u);
  EXPECT_EQ(count_of(model, "at", ']'), 1u);
  EXPECT_EQ(model.transition_total("ca"), 1);
}

TEST(MarkovTraining, AOneLetterWordRecordsOnlyItsEnd) {
  markovchain model;
  model.add_word("x");
  EXPECT_EQ(model.pairs(), strings{"[x"});
  EXPECT_EQ(count_of(model, "[x", ']'), 1u);
}

TEST(MarkovTraining, RepeatedWordsAddUp) {
  markovchain model;
  model.add_word("ab");
  model.add_word("ab");
  EXPECT_EQ(model.pairs(), (strings{"[a", "ab"}));
  EXPECT_EQ(count_of(model, "[a", 'b'), 2u);
  EXPECT_EQ(count_of(model, "ab", ']'), 2u);
  model.add_transition("ab", ']');
  EXPECT_EQ(model.transition_total("ab"), 3);
}

TEST(MarkovTraining, MarkersBlanksCaseAndHighBytesAreOrdinaryCharacters) {
  markovchain model;
  model.add_word("ab]c");
  EXPECT_EQ(count_of(model, "b]", 'c'), 1u);
  model.add_word("A b\xe9");
  EXPECT_EQ(count_of(model, "A ", 'b'), 1u);
  EXPECT_EQ(count_of(model, " b", '\xe9'), 1u);
  EXPECT_EQ(count_of(model, "b\xe9", ']'), 1u);
  EXPECT_EQ(model.counts("a b"), nullptr);
}

TEST(MarkovTraining, PairsComeInUnsignedByteOrder) {
  markovchain model;
  for (const char* word : {"\x80x", "ax", "[x", "Ax"}) model.add_word(word);
  EXPECT_EQ(model.pairs(), (strings{"Ax", "[A", "[[", "[a", "[x", "[\x80", "ax", "\x80x"}));
}

TEST(MarkovTraining, TotalsWrapAsSignedThirtyTwoBitNumbers) {
  markovchain model;
  model.merge_state("ab:a4294967295,b2\n");
  EXPECT_EQ(model.transition_total("ab"), 1);
  model.merge_state("cd:a2147483647,b1\n");
  EXPECT_EQ(model.transition_total("cd"), std::numeric_limits<std::int32_t>::min());
}

TEST(MarkovGeneration, AModelOfOneWordRepeatsIt) {
  markovchain model;
  model.add_word("cat");
  std::srand(42);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(model.generate_word(0), "cat");
    EXPECT_EQ(model.generate_word('c'), "cat");
  }
}

TEST(MarkovGeneration, AnEmptyModelGivesEmptyWordsWithoutDrawing) {
  markovchain model;
  EXPECT_EQ(draws_of([&] { EXPECT_EQ(model.generate_word(0), ""); }), 0);
  EXPECT_EQ(draws_of([&] { EXPECT_EQ(model.generate_word('x'), ""); }), 0);
  EXPECT_EQ(model.first_character(), 0);
}

TEST(MarkovGeneration, AStartCharacterNoWordBeginsWithGivesAnEmptyWord) {
  markovchain model;
  model.add_word("cat");
  EXPECT_EQ(draws_of([&] { EXPECT_EQ(model.generate_word('a'), ""); }), 0);
}

TEST(MarkovGeneration, OneLetterWordsGiveEmptyWordsAfterTwoDraws) {
  markovchain model;
  model.add_word("a");
  model.add_word("b");
  EXPECT_EQ(draws_of([&] { EXPECT_EQ(model.generate_word(0), ""); }), 2);
}

TEST(MarkovGeneration, DrawsOncePerChoice) {
  markovchain model;
  model.add_word("cat");
  EXPECT_EQ(draws_of([&] { model.generate_word(0); }), 4);
  EXPECT_EQ(draws_of([&] { model.generate_word('c'); }), 3);
}

// With weights a = 1 and b = 1 a draw r picks a when r % 2 == 0 and b
// otherwise; with a = 1 and b = 3 the remainder 0 picks a and 1 to 3 pick b.
TEST(MarkovGeneration, TheDrawnPositionPicksTheLowestCharacterThatReachesIt) {
  markovchain model;
  model.add_word("ax");
  model.add_word("bx");
  model.merge_state("pq:a1,b3\n");
  for (unsigned seed = 1; seed < 200; ++seed) {
    std::srand(seed);
    int r = std::rand();
    std::srand(seed);
    EXPECT_EQ(model.first_character(), r % 2 == 0 ? 'a' : 'b');
    std::srand(seed);
    EXPECT_EQ(model.next_character("pq"), r % 4 == 0 ? 'a' : 'b');
  }
  EXPECT_EQ(model.next_character("zz"), 0);
}

TEST(MarkovGeneration, FirstCharactersFollowTheTrainingWords) {
  markovchain model;
  for (int i = 0; i < 3; ++i) model.add_word("xylophone");
  model.add_word("yak");
  std::srand(7);
  int x = 0, y = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string word = model.generate_word(0);
    ASSERT_FALSE(word.empty());
    (word[0] == 'x' ? x : y)++;
    ASSERT_EQ(word.find(']'), std::string::npos);
  }
  EXPECT_GT(x, 2700);
  EXPECT_GT(y, 800);
}

// "]" as a follower ends a word, but a first character is taken as it is
// drawn: a training word that begins with "]" makes words that begin so.
TEST(MarkovGeneration, OnlyAFirstCharacterCanBeTheEndMarker) {
  markovchain model;
  model.add_word("]b");
  std::srand(4);
  EXPECT_EQ(model.generate_word(0), "]b");
  model.add_word("a]b");
  for (int i = 0; i < 50; ++i) {
    std::string word = model.generate_word(0);
    EXPECT_EQ(word.find(']', 1), std::string::npos) << word;
  }
}

TEST(MarkovGeneration, AModelThatNeverEndsIsCutAtTheLengthBound) {
  markovchain model;
  model.merge_state("[a:a1\naa:a1\n");
  std::string word = model.generate_word(0);
  EXPECT_EQ(word, std::string(markovchain::k_max_word_length, 'a'));
}

// A hand-edited model may hold weights that are negative or past 32 bits.
// Every total here is negative as a signed 32-bit number, so nothing can
// be drawn: each word comes back empty, never a crash or a byte the model
// does not hold.
TEST(MarkovGeneration, NegativeLoadedWeightsDrawNothing) {
  markovchain model;
  model.merge_state("[a:b-5\n[b:a2147483647,c9\nab:]-1,x4294967295\n");
  std::srand(3);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(model.generate_word(0), "");
    ASSERT_EQ(model.generate_word('b'), "");
  }
}

TEST(MarkovStateFile, WritesOneLinePerPairWithItsItems) {
  markovchain model;
  model.add_word("ab");
  model.add_word("abb");
  EXPECT_EQ(model.state_text(), "[a:b2\nab:]1,b1\nbb:]1\n");
  EXPECT_EQ(markovchain().state_text(), "");
}

TEST(MarkovStateFile, SavesAndLoadsEveryNonZeroCounter) {
  testkit::scratch_dir dir;
  std::mt19937 random(17);
  markovchain model;
  for (int i = 0; i < 2000; ++i) {
    std::string word;
    // Any byte but the line feed, which the file format cannot hold.
    for (int n = static_cast<int>(random() % 8); n >= 0; --n)
      word.push_back(static_cast<char>(11 + random() % 245));
    model.add_word(word);
  }
  ASSERT_TRUE(model.save_state(dir.file("model")));
  markovchain loaded;
  EXPECT_GT(loaded.load_state(dir.file("model")), 0);
  EXPECT_EQ(loaded.pairs(), model.pairs());
  for (const std::string& pair : model.pairs())
    ASSERT_EQ(*loaded.counts(pair), *model.counts(pair)) << pair;
  EXPECT_EQ(loaded.state_text(), model.state_text());
}

// Any two bytes are a pair: a model whose first pair is a UTF-16 mark, or
// whose pairs and followers are NULs, still loads from the file it saved.
TEST(MarkovStateFile, PairsThatLookLikeUtf16ComeBack) {
  testkit::scratch_dir dir;
  using namespace std::string_literals;
  for (std::string text : {"\xfe\xff:]1\n"s, "\xff\xfe:a1,b2\n"s, "a\0:\0\x31\nb\0:\0\x31\n"s}) {
    markovchain model;
    model.merge_state(text);
    ASSERT_TRUE(model.save_state(dir.file("model")));
    markovchain loaded;
    result<std::int32_t> items = loaded.read_state(dir.file("model"));
    ASSERT_TRUE(items.ok()) << items.message();
    EXPECT_GT(*items, 0);
    EXPECT_EQ(loaded.state_text(), model.state_text());
  }
}

TEST(MarkovStateFile, LargeCountersComeBackExactly) {
  markovchain model;
  model.merge_state("ab:x4294967295,y2147483648\n");
  EXPECT_EQ(count_of(model, "ab", 'x'), 4294967295u);
  EXPECT_EQ(count_of(model, "ab", 'y'), 2147483648u);
  EXPECT_EQ(model.state_text(), "ab:x4294967295,y2147483648\n");
}

TEST(MarkovStateFile, ReadsNumbersLikeAtoi) {
  markovchain model;
  EXPECT_EQ(model.merge_state("ab:a 7,b+8,c-1,d12abc,ex,f\t 3\r\n"), 6);
  EXPECT_EQ(count_of(model, "ab", 'a'), 7u);
  EXPECT_EQ(count_of(model, "ab", 'b'), 8u);
  EXPECT_EQ(count_of(model, "ab", 'c'), 4294967295u);
  EXPECT_EQ(count_of(model, "ab", 'd'), 12u);
  EXPECT_EQ(count_of(model, "ab", 'e'), 0u);
  EXPECT_EQ(count_of(model, "ab", 'f'), 3u);
}

TEST(MarkovStateFile, CommaColonAndDigitFollowersReadBack) {
  markovchain model;
  model.add_transition("ab", ',');
  model.add_transition("ab", ',');
  model.add_transition("ab", ':');
  model.add_transition("ab", '7');
  std::string text = model.state_text();
  EXPECT_EQ(text, "ab:,2,71,:1\n");
  markovchain loaded;
  EXPECT_EQ(loaded.merge_state(text), 3);
  EXPECT_EQ(count_of(loaded, "ab", ','), 2u);
  EXPECT_EQ(count_of(loaded, "ab", '7'), 1u);
  EXPECT_EQ(count_of(loaded, "ab", ':'), 1u);
}

TEST(MarkovStateFile, SkipsShortLinesAndLinesWithoutAColon) {
  markovchain model;
  EXPECT_EQ(model.merge_state("ab:\nab:c\nabXc5\nab\n\n"), 0);
  EXPECT_EQ(model.pairs(), strings{});
  EXPECT_EQ(model.merge_state("ab:c5"), 1);
  EXPECT_EQ(count_of(model, "ab", 'c'), 5u);
}

TEST(MarkovStateFile, LoadingMergesAndALaterLineWins) {
  markovchain model;
  model.add_word("ab");
  EXPECT_EQ(model.merge_state("[a:b5,c1\n[a:c3\n"), 3);
  EXPECT_EQ(count_of(model, "[a", 'b'), 5u);
  EXPECT_EQ(count_of(model, "[a", 'c'), 3u);
  EXPECT_EQ(count_of(model, "ab", ']'), 1u) << "pairs the file does not name stay";
  EXPECT_EQ(model.transition_total("[a"), 8);
  model.add_word("ac");
  EXPECT_EQ(count_of(model, "[a", 'c'), 4u) << "training adds to loaded counters";
}

TEST(MarkovStateFile, ALoadedPairWithoutCountersIsKeptAndWrittenBare) {
  markovchain model;
  EXPECT_EQ(model.merge_state("ab:c0\n"), 1);
  EXPECT_EQ(model.pairs(), strings{"ab"});
  EXPECT_EQ(model.state_text(), "ab:\n");
  markovchain again;
  again.merge_state(model.state_text());
  EXPECT_EQ(again.pairs(), strings{});
}

TEST(MarkovStateFile, CrLfLinesLoadTheSameCounters) {
  markovchain lf, crlf;
  lf.merge_state("[a:b2\nab:]1,b1\nbb:]1\n");
  crlf.merge_state("[a:b2\r\nab:]1,b1\r\nbb:]1\r\n");
  EXPECT_EQ(crlf.state_text(), lf.state_text());
}

TEST(MarkovStateFile, SavingReplacesALongerFileAndFailsWhereItCannotWrite) {
  testkit::scratch_dir dir;
  std::string name = dir.file("model");
  testkit::write_bytes(name, std::string(10000, 'x'));
  markovchain model;
  model.add_word("ab");
  ASSERT_TRUE(model.save_state(name));
  EXPECT_EQ(testkit::read_bytes(name), "[a:b1\nab:]1\n");
  EXPECT_TRUE(markovchain().save_state(name));
  EXPECT_EQ(testkit::read_bytes(name), "");
  EXPECT_FALSE(model.save_state(dir.file("missing/model")));
  EXPECT_EQ(markovchain().load_state(dir.file("missing/model")), 0);
  EXPECT_EQ(model.load_state(name), 0);
}

TEST(MarkovStatistics, ListsEveryPairWithItsTotalAndFollowers) {
  markovchain model;
  model.add_word("ab");
  model.add_word("abb");
  EXPECT_EQ(statistics_of(model), "[a (2): b=2 \nab (2): ]=1 b=1 \nbb (1): ]=1 \n");
  EXPECT_EQ(statistics_of(markovchain()), "");
}

TEST(MarkovStatistics, ShowsBlankFollowersAndBarePairs) {
  markovchain model;
  model.add_transition("ab", ' ');
  model.merge_state("cd:x0\n");
  EXPECT_EQ(statistics_of(model), "ab (1):  =1 \ncd (0): \n");
}

}  // namespace
