// SPDX-License-Identifier: MIT
// wordsift as a user runs it, on word lists made by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>

#include "testing/run_program.h"

namespace {

using testkit::run;

const char* const k_usage =
    "Usage: wordsift <source-file> <exclude-file>\n\n"
    "Outputs every word of source which does not occur in exclude file.\n";

class WordsiftCommand : public ::testing::Test {
 protected:
  testkit::run_result sift(const std::string& source, const std::string& exclude) {
    testkit::write_bytes(source_, source);
    testkit::write_bytes(exclude_, exclude);
    return run(WORDSIFT, {source_, exclude_});
  }

  testkit::scratch_dir dir_;
  std::string source_ = dir_.file("source.txt");
  std::string exclude_ = dir_.file("exclude.txt");
};

TEST_F(WordsiftCommand, PrintsUsageForAnyOtherNumberOfArguments) {
  for (const auto& args : {std::vector<std::string>{}, {"a"}, {"a", "b", "c"}}) {
    testkit::run_result result = run(WORDSIFT, args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, k_usage);
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(WordsiftCommand, SubtractsTheExcludeListAndCountsDistinctWords) {
  testkit::run_result result = sift("pear\napple\nPear\napple\nkiwi\n", "kiwi\nfig\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "4 words read from source file.\n2 words read from exclude file.\n");
  EXPECT_EQ(result.out, "Pear\napple\npear\n");
}

TEST_F(WordsiftCommand, EmptyListsAndEmptyWords) {
  testkit::run_result result = sift("b\na\nb\n", "");
  EXPECT_EQ(result.err, "2 words read from source file.\n0 words read from exclude file.\n");
  EXPECT_EQ(result.out, "a\nb\n");
  result = sift("", "a\n");
  EXPECT_EQ(result.err, "0 words read from source file.\n1 words read from exclude file.\n");
  EXPECT_EQ(result.out, "");
  result = sift("b\n\na\n", "x\n");
  EXPECT_EQ(result.err, "3 words read from source file.\n1 words read from exclude file.\n");
  EXPECT_EQ(result.out, "\na\nb\n");
}

TEST_F(WordsiftCommand, WordsAreWholeLinesByteForByte) {
  testkit::run_result result = sift("apple \napple\nApple\napp\n\xe9t\xe9\r\n", "apple\r\n");
  EXPECT_EQ(result.out, "Apple\napp\napple \n\xe9t\xe9\n");
}

TEST_F(WordsiftCommand, MissingListsAreReportedExcludeFirst) {
  testkit::write_bytes(source_, "a\n");
  testkit::write_bytes(exclude_, "b\n");
  std::string missing = dir_.file("missing");
  std::string folder = dir_.path().string();
  struct {
    std::string source, exclude, message;
  } cases[] = {
      {source_, missing, "Cannot proceed, exclude-file '" + missing + "' not found.\n"},
      {missing, missing, "Cannot proceed, exclude-file '" + missing + "' not found.\n"},
      {missing, exclude_, "Cannot proceed, source-file '" + missing + "' not found.\n"},
      {"", exclude_, "Cannot proceed, source-file '' not found.\n"},
      {source_, folder, "Cannot proceed, exclude-file '" + folder + "' not found.\n"},
      {folder, exclude_, "Cannot proceed, source-file '" + folder + "' not found.\n"},
  };
  for (const auto& c : cases) {
    testkit::run_result result = run(WORDSIFT, {c.source, c.exclude});
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.out, c.message);
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(WordsiftCommand, AFullStandardOutputIsAnError) {
  if (!testkit::has_full_device()) GTEST_SKIP() << "no /dev/full here";
  testkit::write_bytes(source_, "a\n");
  testkit::write_bytes(exclude_, "");
  testkit::run_options to_full;
  to_full.stdout_file = "/dev/full";
  testkit::run_result result = run(WORDSIFT, {source_, exclude_}, to_full);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "1 words read from source file.\n0 words read from exclude file.\n"
            "Cannot write to standard output.\n");
}

// The output equals that of comm over sort -u of the same lists with their
// line ends made plain, and the counts are the numbers of distinct lines.
TEST_F(WordsiftCommand, AgreesWithSortAndCommOnRandomLists) {
  if (std::system("command -v comm >/dev/null && command -v sort >/dev/null") != 0)
    GTEST_SKIP() << "comm and sort are needed";
  std::mt19937 random(4);
  auto random_list = [&](std::string& plain) {
    std::string text;
    int lines = static_cast<int>(random() % 400);
    for (int i = 0; i < lines; ++i) {
      std::string word;
      for (int n = static_cast<int>(random() % 5); n > 0; --n)
        word.push_back("aZ \t\xe9\x80-"[random() % 7]);
      plain += word + "\n";
      text += word;
      if (i + 1 < lines || random() % 2) text += random() % 3 ? "\n" : "\r\n";
    }
    return text;
  };
  for (int round = 0; round < 20; ++round) {
    std::string plain_source, plain_exclude;
    std::string source = random_list(plain_source);
    std::string exclude = random_list(plain_exclude);
    testkit::write_bytes(dir_.file("ps"), plain_source);
    testkit::write_bytes(dir_.file("pe"), plain_exclude);
    std::string command = "cd " + dir_.path().string() +
                          " && LC_ALL=C sort -u ps > ss && LC_ALL=C sort -u pe > se"
                          " && LC_ALL=C comm -23 ss se > expected";
    ASSERT_EQ(std::system(command.c_str()), 0);
    testkit::run_result result = sift(source, exclude);
    ASSERT_EQ(result.status, 0);
    ASSERT_EQ(result.out, testkit::read_bytes(dir_.file("expected")));
    std::set<std::string> distinct_source, distinct_exclude;
    for (std::size_t s = 0, e; s < plain_source.size(); s = e + 1)
      distinct_source.insert(plain_source.substr(s, (e = plain_source.find('\n', s)) - s));
    for (std::size_t s = 0, e; s < plain_exclude.size(); s = e + 1)
      distinct_exclude.insert(plain_exclude.substr(s, (e = plain_exclude.find('\n', s)) - s));
    ASSERT_EQ(result.err,
              std::to_string(distinct_source.size()) + " words read from source file.\n" +
                  std::to_string(distinct_exclude.size()) + " words read from exclude file.\n");
  }
}

}  // namespace

namespace {

// --lower folds both lists before they are compared, letters of every
// script in UTF-8 and A-Z in bytes that are not UTF-8, so that lexglean's
// words can be held against a dictionary whose names are capitalised.
TEST_F(WordsiftCommand, LowerComparesBothListsInLowerCase) {
  testkit::write_bytes(source_, "Café\nŻÓŁW\nKsiążę\nApple\nzebra\nDOM\n\xc9t\xc9\n");
  testkit::write_bytes(exclude_, "café\nżółw\napple\nDom\n");
  testkit::run_result result = run(WORDSIFT, {"--lower", source_, exclude_});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "książę\nzebra\n\xc9t\xc9\n");
  EXPECT_EQ(result.err, "7 words read from source file.\n4 words read from exclude file.\n");
  // Without it, case matters, as it always has; the option stands first,
  // and a file named like it is ./--lower.
  EXPECT_EQ(run(WORDSIFT, {source_, exclude_}).out,
            "Apple\nCaf\xc3\xa9\nDOM\nKsiążę\nzebra\nŻÓŁW\n\xc9t\xc9\n");
  for (const auto& args : {std::vector<std::string>{"--lower", source_},
                           {source_, exclude_, "--lower"},
                           {"--lower", "--lower", source_, exclude_}})
    EXPECT_EQ(run(WORDSIFT, args).out, k_usage);
}

}  // namespace
