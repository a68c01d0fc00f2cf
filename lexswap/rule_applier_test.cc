// SPDX-License-Identifier: MIT
#include "lexswap/rule_applier.h"

#include <gtest/gtest.h>

#include <random>

#include "lexswap/lexswap.h"
#include "lexswap/rule_matcher.h"
#include "testing/allocation_limit.h"
#include "testing/testkit.h"

namespace {

// The list compiled; every list of these tests compiles.
rule_applier compiled(const replacement_list& list) {
  return std::get<rule_applier>(rule_applier::compile(list));
}

// The index of the rule that was stopped, if one was.
std::optional<std::size_t> apply_list(std::string& text, const std::string& rules) {
  replacement_list list = parse_replacement_list(rules);
  std::optional<apply_failure> stop = compiled(list).apply(text);
  if (!stop) return std::nullopt;
  return stop->rule;
}

TEST(RuleApplier, EachRuleWorksOnTheResultOfThoseBeforeIt) {
  std::string text = "red";
  EXPECT_EQ(apply_list(text, "red = green\ngreen = blue"), std::nullopt);
  EXPECT_EQ(text, "blue");
  text = "red";
  EXPECT_EQ(apply_list(text, "green = blue\nred = green"), std::nullopt);
  EXPECT_EQ(text, "green");
  text = "abc";
  EXPECT_EQ(apply_list(text, "c = a\na = b\nbb = c\nb = d\nc = e"), std::nullopt);
  EXPECT_EQ(text, "ed");
}

// Where the list can go over a text in one pass, and where a replacement,
// with what stands beside it when it is made, forms a later rule's search
// string, so that it cannot.
TEST(RuleApplier, ALaterRuleSeesWhatEarlierReplacementsFormed) {
  struct {
    const char* rules;
    const char* text;
    const char* result;
  } const cases[] = {
      {"here = X\nthere = Y\n", "there here", "tX X"},
      {"x = \nab = Q\n", "axb", "Q"},
      {"a = b\nbc = Q\n", "ac", "Q"},
      // The replacement of an earlier rule just after, or just before.
      {"b = Y\na = X\nXY = Z\n", "ab ab", "Z Z"},
      {"a = X\nb = Y\nXY = Z\n", "ab ab", "Z Z"},
      {"a = X\nb = Y\nXY = Z\n", " ab", " Z"},
      // Formed only after a rule that comes after the later one: never seen.
      {"XY = Z\na = X\nb = Y\n", "ab", "XY"},
  };
  for (const auto& one : cases) {
    std::string text = one.text;
    EXPECT_EQ(apply_list(text, one.rules), std::nullopt);
    EXPECT_EQ(text, one.result) << one.rules;
  }
}

TEST(RuleApplier, NamesTheRuleThatNeverStops) {
  std::string text = "aab";
  EXPECT_EQ(apply_list(text, "x = y\nab = bbaa\n"), 1u);
}

// Words between blanks change each on their own, but a rule's limits count
// the whole text: here each word alone stays within them (2^19 - 1
// replacements), and the two together do not.
TEST(RuleApplier, ARuleIsStoppedByTheWholeTextThoughNotByAnyOfItsWords) {
  rule_applier rules = compiled(parse_replacement_list("ab = bba\n"));
  const std::string word = std::string(19, 'a') + "b";
  std::string text = word;
  EXPECT_EQ(rules.apply(text), std::nullopt);
  text = word + " " + word;
  std::optional<apply_failure> failure = rules.apply(text);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->replacements, 1000000u + 16u * 41u + 1u);

  // The same for the length: `aab` grows to 1,026 bytes in 33 replacements,
  // past its share (3 x 34 bytes) though within its count (16 x 3). Twenty
  // thousand of them would make 20.5 MB of a text of 80,000 bytes, past
  // 16 MiB + 80,000 x 34.
  rules = compiled(parse_replacement_list("ab = " + std::string(32, 'b') + "a\n"));
  text.clear();
  for (int i = 0; i < 20000; ++i) text += "aab ";
  failure = rules.apply(text);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->replacements, 626362u);
}

// The plain way, kept as the reference: every rule in turn, each with the
// plain restart-from-the-start loop.
std::string plain_apply(std::string text, const replacement_list& list) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& search = list.search_strings[i];
    for (std::size_t at; (at = text.find(search)) != std::string::npos;)
      text.replace(at, search.size(), list.replacement_strings[i]);
  }
  return text;
}

// Rules whose search strings begin with x while no replacement holds an x
// always finish; over a small alphabet they meet, chain and cascade often.
TEST(RuleApplier, AgreesWithThePlainWayOnRandomListsAndTexts) {
  std::mt19937 random(12);
  auto random_text = [&](std::size_t max_size, const char* alphabet, int letters) {
    return testkit::random_text(random, std::string_view(alphabet, letters), 0, max_size);
  };
  for (int round = 0; round < 2000; ++round) {
    replacement_list list;
    for (int n = static_cast<int>(random() % 12); n > 0; --n) {
      list.search_strings.push_back("x" + random_text(2, "abx", 3));
      list.replacement_strings.push_back(random_text(4, "ab", 2));
      list.line_numbers.push_back(list.size());
    }
    rule_applier rules = compiled(list);
    for (int text_round = 0; text_round < 10; ++text_round) {
      // Short texts, and long ones whose occurrences lie far into the text.
      std::string text = random_text(text_round % 2 == 0 ? 40 : 300, "abx", 3);
      std::string expected = plain_apply(text, list);
      ASSERT_EQ(rules.apply(text), std::nullopt);
      ASSERT_EQ(text, expected);
    }
  }
}

// A long text is scanned as two halves at once, the second from the longest
// search string's length before the middle: texts near that bound, with a
// long rule standing across the middle, are where a scan could go wrong.
TEST(RuleApplier, ALongSearchStringAcrossTheMiddleOfAnyText) {
  std::string search;
  for (int i = 0; i < 100; ++i) search += static_cast<char>('a' + i % 7);
  replacement_list list;
  list.search_strings = {search, "gg"};
  list.replacement_strings = {"<found>", "G"};
  list.line_numbers = {1, 2};
  rule_applier rules = compiled(list);
  for (std::size_t size = search.size(); size < 3 * search.size() + 64; ++size) {
    std::string text(size, '-');
    text.replace((size - search.size()) / 2, search.size(), search);
    std::string expected = plain_apply(text, list);
    ASSERT_EQ(rules.apply(text), std::nullopt) << size;
    ASSERT_EQ(text, expected) << size;
  }
}

// Lists of any rules over a small alphabet, deletions and cascades among
// them, on texts where they meet often: wherever the plain way finishes in
// reasonable time, the applier gives its result.
TEST(RuleApplier, AgreesWithThePlainWayOnRulesThatDeleteAndCascade) {
  std::mt19937 random(31);
  auto random_text = [&](std::size_t min_size, std::size_t max_size) {
    return testkit::random_text(random, "abc", min_size, max_size);
  };
  int compared = 0;
  for (int round = 0; round < 3000; ++round) {
    replacement_list list;
    for (int n = 1 + static_cast<int>(random() % 6); n > 0; --n) {
      std::string search = random_text(1, 3);
      std::string replacement = random_text(0, 3);
      if (replacement.find(search) != std::string::npos) continue;
      list.search_strings.push_back(search);
      list.replacement_strings.push_back(replacement);
      list.line_numbers.push_back(list.size());
    }
    rule_applier rules = compiled(list);
    for (int text_round = 0; text_round < 5; ++text_round) {
      std::string text = random_text(0, 40);
      // The plain way, with a cap on the steps of each rule.
      std::string expected = text;
      bool finished = true;
      for (std::size_t i = 0; i < list.size() && finished; ++i) {
        int steps = 0;
        for (std::size_t at; (at = expected.find(list.search_strings[i])) != std::string::npos;) {
          if (++steps > 2000 || expected.size() > 2000) {
            finished = false;
            break;
          }
          expected.replace(at, list.search_strings[i].size(), list.replacement_strings[i]);
        }
      }
      if (!finished) continue;
      ++compared;
      ASSERT_EQ(rules.apply(text), std::nullopt);
      ASSERT_EQ(text, expected);
    }
  }
  EXPECT_GT(compared, 10000);
}

// Lists whose automaton has more states than two bytes can number take the
// wide states; they must give the same results.
TEST(RuleApplier, ListsOfManyStatesAgreeWithThePlainWay) {
  std::mt19937 random(44);
  auto random_word = [&](std::size_t size) {
    return testkit::random_text(random, "abcdefghij", size, size);
  };
  replacement_list list;
  // No replacement holds its own search string: it has at most two letters.
  for (std::size_t n = 0; n < 6000; ++n) {
    list.search_strings.push_back(random_word(3 + random() % 12));
    list.replacement_strings.push_back("-" + random_word(random() % 3) + "-");
    list.line_numbers.push_back(n + 1);
  }
  ASSERT_GT(automaton_states(list.search_strings), 32767u);
  rule_applier rules = compiled(list);
  for (int round = 0; round < 40; ++round) {
    std::string text = random_word(random() % 300);
    std::string expected = plain_apply(text, list);
    ASSERT_EQ(rules.apply(text), std::nullopt);
    ASSERT_EQ(text, expected);
  }
}

// Glossaries: words renamed to other words of the same letters, in texts of
// words and blanks, where nearly every word changes and most texts go in
// one pass; some replacements form other rules' search strings with the
// words beside them.
TEST(RuleApplier, AgreesWithThePlainWayOnGlossaries) {
  std::mt19937 random(77);
  for (int round = 0; round < 300; ++round) {
    replacement_list list;
    for (int n = 0; n < 40; ++n) {
      list.search_strings.push_back(testkit::random_text(random, "abcdef", 2, 5));
      list.replacement_strings.push_back(testkit::random_text(random, "abcdefgh", 0, 6));
      list.line_numbers.push_back(list.size());
    }
    if (!refuse_rules(list, "rules").ok()) continue;
    rule_applier rules = compiled(list);
    for (int text_round = 0; text_round < 10; ++text_round) {
      std::string text;
      for (int words = static_cast<int>(random() % 30); words > 0; --words)
        text += list.search_strings[random() % list.size()] + (random() % 4 == 0 ? "" : " ");
      std::string applied = text;
      // A rule that is stopped would never finish the plain way.
      if (rules.apply(applied)) continue;
      ASSERT_EQ(applied, plain_apply(text, list)) << round;
    }
  }
}

// A long text is scanned from its start and from just before its middle at
// once: an occurrence across the middle, at any offset, is found.
TEST(RuleApplier, AnOccurrenceAcrossTheMiddleOfALongTextIsFound) {
  const replacement_list list = parse_replacement_list("abcdefgh = X\nh = Y\n");
  rule_applier rules = compiled(list);
  for (std::size_t at = 30; at < 70; ++at) {
    std::string text(100, '.');
    text.replace(at, 8, "abcdefgh");
    std::string expected = plain_apply(text, list);
    ASSERT_EQ(rules.apply(text), std::nullopt);
    ASSERT_EQ(text, expected) << at;
  }
}

// Lists of up to 32,767 automaton states take two-byte states, larger ones
// four-byte states. At the boundary every rule must find its places, also
// the one whose run of states is numbered last: the string added last,
// of letters no other string holds, ends the last run.
TEST(RuleApplier, ListsAtTheBoundaryOfTwoByteStatesAgreeWithThePlainWay) {
  std::mt19937 random(3);
  for (std::size_t target : {std::size_t{32767}, std::size_t{32768}}) {
    replacement_list list;
    for (std::size_t n = 0; n < (target - 20) / 12; ++n) {
      std::string word;
      for (int i = 0; i < 12; ++i) word.push_back(static_cast<char>('a' + random() % 26));
      list.search_strings.push_back(word);
    }
    list.search_strings.push_back(std::string(target - automaton_states(list.search_strings), 'Q'));
    ASSERT_EQ(automaton_states(list.search_strings), target);
    list.replacement_strings.assign(list.size(), "-");
    list.line_numbers.assign(list.size(), 1);
    std::string text;
    for (const std::string& search : list.search_strings) text += search + " ";
    std::string expected = plain_apply(text, list);
    ASSERT_EQ(compiled(list).apply(text), std::nullopt);
    EXPECT_EQ(text, expected) << target;
  }
}

TEST(RuleApplier, MemoryThatRunsOutIsAFailure) {
  rule_applier rules = compiled(parse_replacement_list("a = bbbb\n"));
  std::string text(300000, 'a');
  testkit::allocation_limit limit(std::size_t{1} << 20);
  std::optional<apply_failure> failure = rules.apply(text);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->error, apply_error::out_of_memory);
}

TEST(AutomatonStates, CountsEveryDistinctStartOfASearchString) {
  EXPECT_EQ(automaton_states({}), 1u);
  EXPECT_EQ(automaton_states({"he", "she", "his", "hers"}), 10u);
  EXPECT_EQ(automaton_states({"ab", "ab", "a", ""}), 3u);
}

}  // namespace
