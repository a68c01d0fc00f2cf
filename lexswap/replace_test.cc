// SPDX-License-Identifier: MIT
#include "lexswap/replace.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include "testing/testkit.h"

namespace {

std::string replaced(std::string text, std::string_view search, std::string_view replacement) {
  EXPECT_TRUE(replace_all(text, search, replacement));
  return text;
}

// The plain loop, kept as the reference: find the leftmost occurrence from
// the first character, replace it, start again. Gives up after `max_steps`.
bool reference_replace_all(std::string& text, std::string_view search, std::string_view replacement,
                           std::size_t max_steps) {
  for (std::size_t step = 0;; ++step) {
    std::size_t found = text.find(search);
    if (found == std::string::npos) return true;
    if (step == max_steps || text.size() > 1000) return false;
    text.replace(found, search.size(), replacement);
  }
}

TEST(ReplaceAll, ReplacesEveryOccurrenceByteForByte) {
  EXPECT_EQ(replaced("The sword", "sword", "blade"), "The blade");
  EXPECT_EQ(replaced("The Sword", "sword", "blade"), "The Sword");
  EXPECT_EQ(replaced("concatenate", "cat", "dog"), "condogenate");
  EXPECT_EQ(replaced("x-y-x", "x", ""), "-y-");
  EXPECT_EQ(replaced("", "x", "y"), "");
  EXPECT_EQ(replaced("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(replaced(std::string("a\0b\xff", 4), std::string("\0b", 2), "\xfe"),
            std::string("a\xfe\xff", 3));
}

TEST(ReplaceAll, SearchesAgainTheTextThatReplacementsMake) {
  EXPECT_EQ(replaced("aab", "ab", "b"), "b");
  EXPECT_EQ(replaced("aaaaab", "ab", "b"), "b");
  EXPECT_EQ(replaced("abab", "ab", "ba"), "bbaa");
  // A replacement that closes an occurrence with the text before it.
  EXPECT_EQ(replaced("xxabcc", "xa", "ax"), "axxbcc");
  EXPECT_EQ(replaced("abcabcabc", "cab", "c"), "abccc");
}

TEST(ReplaceAll, StopsAtOnceWhereNoRuleCouldEverFinish) {
  std::string text = "abc";
  EXPECT_FALSE(replace_all(text, "", "x"));
  text = "abc";
  EXPECT_FALSE(replace_all(text, "", ""));
  text = "abc";
  EXPECT_FALSE(replace_all(text, "b", "b"));
  text = "abc";
  EXPECT_FALSE(replace_all(text, "b", "abba"));
  // Without an occurrence such a rule changes nothing and finishes.
  text = "xyz";
  EXPECT_TRUE(replace_all(text, "b", "bb"));
  EXPECT_EQ(text, "xyz");
}

TEST(ReplaceAll, StopsRulesThatKeepFormingTheirSearchString) {
  std::string text = "aab";
  EXPECT_FALSE(replace_all(text, "ab", "bbaa")) << "grows without end";
  text = "a" + std::string(40, 'a') + "b";
  EXPECT_FALSE(replace_all(text, "ab", "bba")) << "doubles with each a";
  text = "aaaab";
  EXPECT_FALSE(replace_all(text, "ab", std::string(99, 'b') + "a"))
      << "past the length bound long before the count bound";
}

TEST(ReplaceAll, FinishesRulesThatNeedManyReplacements) {
  // One million replacements in one text, each shrinking it.
  EXPECT_EQ(replaced(std::string(1000000, 'a'), "a", ""), "");
  // Growing the text, one replacement per byte.
  EXPECT_EQ(replaced(std::string(1000000, 'a'), "a", "bb"), std::string(2000000, 'b'));
  // A cascade that grows the text a hundredfold and then ends.
  EXPECT_EQ(replaced("aab", "ab", std::string(99, 'b') + "a"), std::string(99 * 99, 'b') + "aa");
}

// 'ba = ab' sorts b^k a^k into a^k b^k with k x k replacements, without
// lengthening the text: such a rule has room for L x L / 2 of them. A rule
// that lengthens the text keeps the bound of 1,000,000 + 16 x L.
TEST(ReplaceAll, ARuleThatDoesNotLengthenTheTextMayMoveEveryByte) {
  std::string text = std::string(1020, 'b') + std::string(1020, 'a');
  ASSERT_TRUE(replace_all(text, "ba", "ab"));
  EXPECT_EQ(text, std::string(1020, 'a') + std::string(1020, 'b'));
  // aab... with ab = bba doubles the run of b before each a: 2^k - 1 b's.
  text = std::string(30, 'a') + "b";
  std::uint64_t made = 0;
  EXPECT_FALSE(replace_all(text, "ab", "bba", nullptr, &made));
  EXPECT_EQ(made, 1000000u + 16u * 31u + 1u);
}

TEST(ReplaceLimits, AreCountedIn64BitsAndStopAtTheLargestValue) {
  replace_limits lengthening = replace_limits::for_rule(100, 2, 10);
  EXPECT_EQ(lengthening.max_replacements, 1000000u + 1600u);
  EXPECT_EQ(lengthening.max_length, (16u << 20) + 1100u);
  // 4,194,304 x 1,024 wraps a 32-bit size to 0.
  EXPECT_EQ(replace_limits::for_rule(4194304, 1, 1023).max_length,
            (std::uint64_t{16} << 20) + (std::uint64_t{4194304} << 10));
  EXPECT_EQ(replace_limits::for_rule(100, 2, 2).max_replacements, 1000000u + 5000u);
  EXPECT_EQ(replace_limits::for_rule(std::uint64_t{1} << 40, 2, 1).max_replacements,
            std::numeric_limits<std::uint64_t>::max() / 2 + 1000000u);
}

// On random rules over a small alphabet, wherever the plain loop finishes,
// the fast one gives exactly its result.
TEST(ReplaceAll, AgreesWithThePlainLoopOnRandomRules) {
  std::mt19937 random(1);
  auto random_text = [&](std::size_t max_size, const char* alphabet, int letters) {
    return testkit::random_text(random, std::string_view(alphabet, letters), 0, max_size);
  };
  int compared = 0;
  for (int round = 0; round < 100000; ++round) {
    std::string search = random_text(4, "abc", 2 + round % 2);
    if (search.empty()) continue;
    std::string replacement = random_text(5, "abc", 2 + round % 2);
    std::string text = random_text(30, "abc", 2 + round % 2);
    std::string expected = text;
    // Rules that run on are left to the tests above: the bounds let them
    // run a million replacements first.
    if (!reference_replace_all(expected, search, replacement, 400)) continue;
    std::string actual = text;
    bool fast_finished = replace_all(actual, search, replacement);
    ++compared;
    ASSERT_TRUE(fast_finished) << text << " " << search << "=" << replacement;
    ASSERT_EQ(actual, expected) << text << " " << search << "=" << replacement;
  }
  EXPECT_GT(compared, 50000);
}

// The changed regions that replace_all reports: outside them the new text
// holds the old bytes, in order, and each region stands for exactly the
// old bytes between the unchanged ones.
TEST(ReplaceAll, ReportsWhereItChangedTheText) {
  std::vector<changed_region> changes;
  std::string text = "xxabyyabzz";
  ASSERT_TRUE(replace_all(text, "ab", "Q", &changes));
  EXPECT_EQ(text, "xxQyyQzz");
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].start, 2u);
  EXPECT_EQ(changes[0].end, 3u);
  EXPECT_EQ(changes[0].old_size, 2u);
  EXPECT_EQ(changes[1].start, 5u);

  text = "aaaab";
  ASSERT_TRUE(replace_all(text, "ab", "b", &changes));
  EXPECT_EQ(text, "b");
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].old_size, 5u);

  text = "nothing";
  ASSERT_TRUE(replace_all(text, "ab", "b", &changes));
  EXPECT_TRUE(changes.empty());

  std::mt19937 random(2);
  for (int round = 0; round < 20000; ++round) {
    auto random_text = [&](std::size_t max_size) {
      return testkit::random_text(random, "ab", 0, max_size);
    };
    std::string search = "a" + random_text(2);
    std::string replacement = random_text(3);
    if (replacement.find(search) != std::string::npos) continue;
    std::string old_text = random_text(30);
    text = old_text;
    if (!replace_all(text, search, replacement, &changes)) continue;
    std::size_t new_at = 0, old_at = 0;
    for (const changed_region& region : changes) {
      ASSERT_LE(new_at, region.start);
      std::size_t kept = region.start - new_at;
      ASSERT_EQ(text.substr(new_at, kept), old_text.substr(old_at, kept));
      old_at += kept + region.old_size;
      new_at = region.end;
    }
    ASSERT_EQ(text.substr(new_at), old_text.substr(old_at)) << old_text << " " << search;
  }
}

TEST(CanFormAnew, TellsRulesWhoseReplacementsMayMeetTheirSearchString) {
  EXPECT_FALSE(can_form_anew("sword", "blade"));
  EXPECT_FALSE(can_form_anew("a", ""));
  EXPECT_TRUE(can_form_anew("ab", "")) << "a deletion joins its neighbours";
  EXPECT_TRUE(can_form_anew("ab", "b")) << "aab";
  EXPECT_TRUE(can_form_anew("ab", "ba")) << "abb";
  EXPECT_TRUE(can_form_anew("ab", "xa")) << "the a may meet a b after it";
  EXPECT_TRUE(can_form_anew("abc", "b")) << "a b between an a and a c";
  EXPECT_TRUE(can_form_anew("x", "xx"));
  EXPECT_FALSE(can_form_anew("ab", "cd"));
}

// Where can_form_anew says no, the single pass gives the reference result.
// Where a replacement can never form its search string anew, one pass from
// left to right, each occurrence replaced once, gives the plain loop's
// result: what the applier's one pass relies on.
TEST(CanFormAnew, OnePassAgreesWithThePlainLoopWhereNothingFormsAnew) {
  std::mt19937 random(5);
  auto random_text = [&](std::size_t max_size) {
    return testkit::random_text(random, "abc", 0, max_size);
  };
  int compared = 0;
  for (int round = 0; round < 100000; ++round) {
    std::string search = random_text(3);
    std::string replacement = random_text(3);
    if (search.empty() || can_form_anew(search, replacement)) continue;
    std::string text = random_text(30);
    std::string expected = text;
    ASSERT_TRUE(reference_replace_all(expected, search, replacement, 1000));
    std::string one_pass;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(search, from)) != std::string::npos;
         from = at + search.size())
      one_pass.append(text, from, at - from).append(replacement);
    one_pass.append(text, from);
    ASSERT_EQ(one_pass, expected) << search << "=" << replacement << " on " << text;
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
