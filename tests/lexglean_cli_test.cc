// SPDX-License-Identifier: MIT
// lexglean as a user runs it: on talk tables made by the test, with the
// output, the messages and the exit status checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "testing/run_program.h"

namespace {

using testkit::run;

const char* const k_usage =
    "Usage: lexglean <filename>\n\n"
    "Given a TALK V1 resource file (dialog.tlk), will extract each unique word "
    "and send to stdout.\n";

TEST(LexgleanCommand, PrintsUsageForAnyOtherNumberOfArguments) {
  for (const auto& args : {std::vector<std::string>{}, {"a", "b"}, {"a", "b", "c"}}) {
    testkit::run_result result = run(LEXGLEAN, args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, k_usage);
    EXPECT_EQ(result.err, "");
  }
}

TEST(LexgleanCommand, ListsEveryDistinctWordOfATableInByteOrder) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  testkit::write_bytes(table,
                       testkit::packed_tlk({"Zebra apple, don't!", "", "apple Apple well-known",
                                            std::string("a\0hidden", 8), "Caf\xe9 a"}));
  testkit::run_result result = run(LEXGLEAN, {table});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "Apple\nCaf\nZebra\na\napple\ndon\nknown\nt\nwell\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(testkit::read_bytes(table).size(), 18u + 26 * 5 + 19 + 22 + 8 + 6)
      << "the table is only read";
}

TEST(LexgleanCommand, ATableWithoutWordsGivesAnEmptyList) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  for (const auto& texts : {std::vector<std::string>{}, {"", "", "1 2 3 ..."}}) {
    testkit::write_bytes(table, testkit::packed_tlk(texts));
    testkit::run_result result = run(LEXGLEAN, {table});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
  }
}

TEST(LexgleanCommand, AnUnreadableTableIsReportedWithStatusOne) {
  testkit::scratch_dir dir;
  testkit::write_bytes(dir.file("text.tlk"), "just some text, no table");
  std::string cut = testkit::packed_tlk({"some words here"});
  testkit::write_bytes(dir.file("cut.tlk"), cut.substr(0, cut.size() - 3));
  struct {
    std::string file;
    std::string message;
  } cases[] = {
      {dir.file("missing.tlk"), "TLK file couldn't be opened for reading.\n"},
      {"", "TLK file couldn't be opened for reading.\n"},
      {dir.path().string(), "TLK file couldn't be opened for reading.\n"},
      {dir.file("text.tlk"), "Stream is not a valid TLK V1 resource.\n"},
      {dir.file("cut.tlk"), "TLK file is truncated or damaged.\n"},
  };
  for (const auto& c : cases) {
    testkit::run_result result = run(LEXGLEAN, {c.file});
    EXPECT_EQ(result.status, 1) << c.file;
    EXPECT_EQ(result.out, "") << c.file;
    EXPECT_EQ(result.err, c.message) << c.file;
  }
}

TEST(LexgleanCommand, AFailedWriteToStandardOutputEndsWithStatusOne) {
  if (!testkit::has_full_device()) GTEST_SKIP() << "no /dev/full here";
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  testkit::write_bytes(table, testkit::packed_tlk({"some words"}));
  testkit::run_options to_full;
  to_full.stdout_file = "/dev/full";
  testkit::run_result result = run(LEXGLEAN, {table}, to_full);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Cannot write to standard output.\n");
  result = run(LEXGLEAN, {}, to_full);
  EXPECT_EQ(result.status, 1) << "the usage text too";
}

// The list equals what the shell's tools make of the same texts: letters
// only, one per line, sorted by byte, without the empty line.
TEST(LexgleanCommand, AgreesWithTrAndSortOnRandomTables) {
  if (std::system("command -v tr >/dev/null && command -v sort >/dev/null") != 0)
    GTEST_SKIP() << "tr and sort are needed";
  testkit::scratch_dir dir;
  std::mt19937 random(5);
  const std::string alphabet = "aeiouAEIOU bcdXYZ.,'-\n\t0\x80\xe9\xff";
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> texts(random() % 300);
    std::string plain;
    for (std::string& text : texts) {
      std::size_t size = random() % 80;
      for (std::size_t i = 0; i < size; ++i) text.push_back(alphabet[random() % alphabet.size()]);
      if (random() % 10 == 0) text += std::string("\0tail", 5);
      plain += text.substr(0, text.find('\0')) + "\n";
    }
    testkit::write_bytes(dir.file("dialog.tlk"), testkit::packed_tlk(texts));
    testkit::write_bytes(dir.file("texts"), plain);
    std::string command = "tr -cs 'A-Za-z' '\\n' < " + dir.file("texts") +
                          " | LC_ALL=C sort -u | grep -v '^$' > " + dir.file("expected");
    ASSERT_EQ(std::system(("sh -c \"" + command + "\"").c_str()) >= 0, true);
    testkit::run_result result = run(LEXGLEAN, {dir.file("dialog.tlk")});
    ASSERT_EQ(result.status, 0);
    ASSERT_EQ(result.out, testkit::read_bytes(dir.file("expected"))) << "round " << round;
  }
}

}  // namespace
