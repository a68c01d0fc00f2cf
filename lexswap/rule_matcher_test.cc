// SPDX-License-Identifier: MIT
#include "lexswap/rule_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include "testing/testkit.h"

namespace {

using indexes = std::vector<std::size_t>;

// Every search string from index `first` on that occurs in `text`, each
// once, in ascending order.
indexes found_in(const rule_matcher& matcher, std::string_view text, std::size_t first = 0) {
  std::set<std::size_t> found;
  auto take = [&](std::uint32_t index) {
    if (index >= first) found.insert(index);
  };
  rule_matcher::state state = rule_matcher::k_start;
  matcher.for_each_end(state, take);
  for (char c : text) {
    state = matcher.step(state, static_cast<unsigned char>(c));
    if (state < 0) {
      state = ~state;
      matcher.for_each_end(state, take);
    }
  }
  return {found.begin(), found.end()};
}

TEST(RuleMatcher, FindsEverySearchStringThatOccurs) {
  rule_matcher matcher({"he", "she", "his", "hers", "x"});
  EXPECT_EQ(found_in(matcher, "ushers"), (indexes{0, 1, 3}));
  EXPECT_EQ(found_in(matcher, "ushers", 1), (indexes{1, 3}));
  EXPECT_EQ(found_in(matcher, "his hers his"), (indexes{0, 2, 3}));
  EXPECT_EQ(found_in(matcher, ""), indexes{});
  EXPECT_EQ(found_in(matcher, "HE SHE"), indexes{});
}

TEST(RuleMatcher, DuplicateAndNestedSearchStringsAreEachFound) {
  rule_matcher matcher({"ab", "b", "ab", "abc"});
  EXPECT_EQ(found_in(matcher, "xabx"), (indexes{0, 1, 2}));
  EXPECT_EQ(found_in(matcher, "abc"), (indexes{0, 1, 2, 3}));
}

TEST(RuleMatcher, AnEmptySearchStringOccursEverywhere) {
  rule_matcher matcher({"q", ""});
  EXPECT_EQ(found_in(matcher, ""), indexes{1});
  EXPECT_EQ(found_in(matcher, "abc"), indexes{1});
}

TEST(RuleMatcher, AllByteValuesCanBeSearched) {
  std::vector<std::string> searches;
  for (int c = 0; c < 256; ++c) searches.push_back(std::string(1, static_cast<char>(c)) + "z");
  rule_matcher matcher(searches);
  EXPECT_EQ(found_in(matcher, std::string("\xff"
                                          "z\0z",
                                          4)),
            (indexes{0, 255}));
}

TEST(RuleMatcher, AgreesWithPlainSearchingOnRandomLists) {
  std::mt19937 random(8);
  auto random_text = [&](std::size_t max_size) {
    return testkit::random_text(random, "abc\xe9", 0, max_size);
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::string> searches(1 + random() % 10);
    for (std::string& search : searches) search = random_text(4);
    rule_matcher matcher(searches);
    for (int text_round = 0; text_round < 5; ++text_round) {
      std::string text = random_text(30);
      std::size_t first = random() % 3;
      indexes expected;
      for (std::size_t i = first; i < searches.size(); ++i)
        if (text.find(searches[i]) != std::string::npos) expected.push_back(i);
      ASSERT_EQ(found_in(matcher, text, first), expected) << text;
    }
  }
}

// The places where a search string ends are the places where the scan's
// state lies in that string's run of states.
TEST(RuleMatcher, EachSearchStringEndsExactlyInItsRunOfStates) {
  std::mt19937 random(19);
  auto random_text = [&](std::size_t min_size, std::size_t max_size) {
    return testkit::random_text(random, "abc", min_size, max_size);
  };
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string> searches(1 + random() % 8);
    for (std::string& search : searches) search = random_text(1, 4);
    rule_matcher matcher(searches);
    std::string text = random_text(0, 40);
    rule_matcher::state state = rule_matcher::k_start;
    for (std::size_t end = 1; end <= text.size(); ++end) {
      state = matcher.step(state, static_cast<unsigned char>(text[end - 1]));
      if (state < 0) state = ~state;
      for (std::size_t i = 0; i < searches.size(); ++i) {
        auto [first, last] = matcher.states_of(i);
        bool ends_here =
            end >= searches[i].size() &&
            text.compare(end - searches[i].size(), searches[i].size(), searches[i]) == 0;
        ASSERT_EQ(state >= first && state < last, ends_here)
            << text << " " << searches[i] << " " << end;
      }
    }
  }
}

}  // namespace
