// SPDX-License-Identifier: MIT
// The programs when their inputs go wrong: files cut short, empty or
// random. Every failure must end with a message and a non-zero status,
// never a crash or a hang, and a talk table must be left whole. Saves that
// go wrong are tests/saving_cli_test.cc's.
#include <gtest/gtest.h>

#include <random>

#include "testing/run_program.h"

namespace {

using testkit::run;

const std::string k_table = testkit::packed_tlk({"First words", "", "Second, and more", "x"});

TEST(FaultInjection, EveryCutOfATableIsReportedAndNeverSaved) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  std::string rules = dir.file("rules.txt");
  testkit::write_bytes(rules, "words = things\n");
  for (std::size_t size = 0; size < k_table.size(); ++size) {
    std::string cut = k_table.substr(0, size);
    testkit::write_bytes(table, cut);
    testkit::run_result glean = run(LEXGLEAN, {table});
    ASSERT_EQ(glean.status, 1) << "cut at " << size;
    ASSERT_EQ(glean.out, "");
    ASSERT_FALSE(glean.err.empty());
    testkit::run_result swap = run(LEXSWAP, {table, rules});
    ASSERT_EQ(swap.status, 1) << "cut at " << size;
    ASSERT_EQ(testkit::read_bytes(table), cut) << "cut at " << size;
  }
}

TEST(FaultInjection, EmptyInputFiles) {
  testkit::scratch_dir dir;
  std::string empty = dir.file("empty");
  testkit::write_bytes(empty, "");
  testkit::run_result result = run(LEXGLEAN, {empty});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Stream is not a valid TLK V1 resource.\n");
  result = run(LEXSWAP, {empty, empty});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(testkit::read_bytes(empty), "");
  result = run(WORDSIFT, {empty, empty});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  result = run(WORDLOOM, {"-l", empty, "-r", empty, "-c", "2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "\n\n");
}

// Random bytes as a replacement list: the run ends, and either rewrites the
// table (status 0) or refuses with a message and leaves it as it was.
TEST(FaultInjection, AReplacementListOfRandomBytesNeverCrashes) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  std::string rules = dir.file("rules.txt");
  std::mt19937 random(77);
  for (int round = 0; round < 40; ++round) {
    std::string bytes;
    for (int i = 0; i < 300; ++i) bytes.push_back("ab =\n\r\t\xe9"[random() % 8]);
    testkit::write_bytes(table, k_table);
    testkit::write_bytes(rules, bytes);
    testkit::run_result result = run(LEXSWAP, {table, rules});
    ASSERT_TRUE(result.status == 0 || result.status == 1) << result.status;
    if (result.status == 1) {
      ASSERT_NE(result.out.find("Cannot proceed, line "), std::string::npos) << result.out;
      ASSERT_EQ(testkit::read_bytes(table), k_table);
    } else {
      ASSERT_EQ(run(LEXGLEAN, {table}).status, 0) << "the table stays readable";
    }
  }
}

}  // namespace
