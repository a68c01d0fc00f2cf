#include "lexswap/replace.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string replaced(std::string text, std::string_view search, std::string_view replacement) {
  EXPECT_TRUE(replace_all(text, search, replacement));
  return text;
}

// The plain loop, kept as the reference: find the leftmost occurrence from
// the first character, replace it, start again. Gives up after `max_steps`.
bool reference_replace_all(std::string& text, std::string_view search,
                           std::string_view replacement, std::size_t max_steps) {
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
  EXPECT_EQ(replaced("aab", "ab", std::string(99, 'b') + "a"),
            std::string(99 * 99, 'b') + "aa");
}

// 'ab = ba' sorts a^k b^k into b^k a^k with k x k replacements: under the
// count bound of 1,000,000 + 16 x 2k for k = 900, over it for k = 1100.
TEST(ReplaceAll, TheCountBoundLiesBetweenTheseTwoCascades) {
  std::string text = std::string(900, 'a') + std::string(900, 'b');
  ASSERT_TRUE(replace_all(text, "ab", "ba"));
  EXPECT_EQ(text, std::string(900, 'b') + std::string(900, 'a'));
  text = std::string(1100, 'a') + std::string(1100, 'b');
  EXPECT_FALSE(replace_all(text, "ab", "ba"));
}

TEST(ReplaceLimits, GrowWithTheTextAndTheReplacement) {
  replace_limits limits = replace_limits::for_rule(100, 10);
  EXPECT_EQ(limits.max_replacements, 1000000u + 1600u);
  EXPECT_EQ(limits.max_length, (16u << 20) + 1100u);
}

// On random rules over a small alphabet, wherever the plain loop finishes,
// the fast one gives exactly its result.
TEST(ReplaceAll, AgreesWithThePlainLoopOnRandomRules) {
  std::mt19937 random(1);
  auto random_text = [&](std::size_t max_size, const char* alphabet, int letters) {
    std::string text;
    std::size_t size = random() % (max_size + 1);
    for (std::size_t i = 0; i < size; ++i) text.push_back(alphabet[random() % letters]);
    return text;
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
      std::string t;
      for (std::size_t n = random() % (max_size + 1); n > 0; --n) t.push_back("ab"[random() % 2]);
      return t;
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
TEST(ReplaceAll, OnePassAgreesWithThePlainLoopWhereNothingFormsAnew) {
  std::mt19937 random(5);
  auto random_text = [&](std::size_t max_size) {
    std::string text;
    for (std::size_t n = random() % (max_size + 1); n > 0; --n) text.push_back("abc"[random() % 3]);
    return text;
  };
  int compared = 0;
  for (int round = 0; round < 100000; ++round) {
    std::string search = random_text(3);
    std::string replacement = random_text(3);
    if (search.empty() || can_form_anew(search, replacement)) continue;
    std::string text = random_text(30);
    std::string expected = text;
    ASSERT_TRUE(reference_replace_all(expected, search, replacement, 1000));
    std::vector<changed_region> changes;
    ASSERT_TRUE(replace_all(text, search, replacement, &changes, false));
    ASSERT_EQ(text, expected) << search << "=" << replacement;
    ++compared;
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
