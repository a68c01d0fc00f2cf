// SPDX-License-Identifier: MIT
#include "lexswap/text_pass.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "testing/allocation_limit.h"
#include "testing/testkit.h"

namespace {

class TextPass : public ::testing::Test {
 protected:
  void make_entries(const std::vector<std::string>& texts) {
    owned_.clear();
    entries_.clear();
    for (const std::string& text : texts) {
      owned_.push_back(std::make_unique<ie_res_talk_entry>());
      owned_.back()->set_text(text);
      entries_.push_back(owned_.back().get());
    }
  }

  // Runs the pass and checks that progress only ever grows.
  std::optional<pass_failure> pass(const replacement_list& list, unsigned threads) {
    rule_applier rules = std::get<rule_applier>(rule_applier::compile(list));
    progress_.clear();
    std::optional<pass_failure> result =
        apply_to_texts(entries_, rules, threads, [&](std::size_t done) {
          if (!progress_.empty()) {
            EXPECT_GT(done, progress_.back());
          }
          progress_.push_back(done);
        });
    return result;
  }

  std::vector<std::unique_ptr<ie_res_talk_entry>> owned_;
  std::vector<ie_res_talk_entry*> entries_;
  std::vector<std::size_t> progress_;
};

TEST_F(TextPass, GivesEveryEntryTheTextThatOneApplierGivesItOnAnyNumberOfThreads) {
  std::mt19937 random(5);
  auto random_text = [&](std::size_t max_size) {
    return testkit::random_text(random, "abcx ", 0, max_size);
  };
  replacement_list list = parse_replacement_list("ab = ba\nx = abc\nc = \nbb = cxc\n b = B\n");
  std::vector<std::string> texts;
  for (int i = 0; i < 3001; ++i) texts.push_back(random_text(i % 7 == 0 ? 300 : 30));
  std::vector<std::string> expected = texts;
  rule_applier one = std::get<rule_applier>(rule_applier::compile(list));
  for (std::string& text : expected) ASSERT_EQ(one.apply(text), std::nullopt);

  for (unsigned threads : {1u, 2u, 3u, 8u}) {
    make_entries(texts);
    ASSERT_EQ(pass(list, threads), std::nullopt) << threads;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      ASSERT_EQ(entries_[i]->text(), expected[i]) << threads << " threads, entry " << i;
      ASSERT_EQ(entries_[i]->length(), expected[i].size());
    }
    ASSERT_FALSE(progress_.empty());
    EXPECT_EQ(progress_.back(), texts.size());
  }
}

TEST_F(TextPass, ReportsTheFirstEntryInOrderWhereARuleNeverStops) {
  replacement_list list = parse_replacement_list("q = r\nab = bbaa\n");
  // Entry 2,500 fails at once, entry 1,000 only after a while: with several
  // threads the later failure is often known first.
  std::vector<std::string> texts(3000, "plain text");
  texts[1000] = std::string(20000, 'a') + "b";
  texts[2500] = "aab";
  for (unsigned threads : {1u, 2u, 4u}) {
    make_entries(texts);
    std::optional<pass_failure> failure = pass(list, threads);
    ASSERT_TRUE(failure.has_value()) << threads;
    EXPECT_EQ(failure->entry, 1000u) << threads;
    EXPECT_EQ(failure->failure.rule, 1u);
    // Progress ends where the failure is: every entry before it is done.
    ASSERT_FALSE(progress_.empty());
    EXPECT_EQ(progress_.back(), 1000u) << threads;
    EXPECT_EQ(entries_[999]->text(), "plain text");
  }
  texts[0] = "aab";
  make_entries(texts);
  std::optional<pass_failure> failure = pass(list, 2);
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->entry, 0u);
  EXPECT_TRUE(progress_.empty()) << "nothing was done before entry 0";
}

// Memory that runs out ends the pass with a failure, whether on a thread
// of its own or on the calling thread: here copying one text to work on.
TEST_F(TextPass, MemoryThatRunsOutOnAnyThreadIsAFailure) {
  std::vector<std::string> texts(2000, "plain text");
  texts[1500] = std::string(std::size_t{1} << 20, 'a');
  replacement_list list = parse_replacement_list("q = r\n");
  for (unsigned threads : {1u, 2u}) {
    make_entries(texts);
    std::optional<pass_failure> failure;
    {
      testkit::allocation_limit limit(std::size_t{512} << 10);
      failure = pass(list, threads);
    }
    ASSERT_TRUE(failure.has_value()) << threads;
    EXPECT_EQ(failure->failure.error, apply_error::out_of_memory);
    EXPECT_EQ(failure->entry, 1500u);
  }
  // Or on the calling thread while the pass sets itself up: the board of a
  // million entries' blocks does not fit under the limit. A pass that went
  // on regardless would hand back a table changed in part.
  make_entries({"plain text"});
  entries_.assign(1000000, entries_[0]);
  std::optional<pass_failure> failure;
  {
    testkit::allocation_limit limit(std::size_t{64} << 10);
    failure = pass(list, 2);
  }
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->failure.error, apply_error::out_of_memory);
}

TEST_F(TextPass, AnEmptyTableIsDoneAtOnce) {
  make_entries({});
  EXPECT_EQ(pass(parse_replacement_list("a = b"), 4), std::nullopt);
  EXPECT_TRUE(progress_.empty());
  EXPECT_GE(processor_count(), 1u);
}

}  // namespace
