// SPDX-License-Identifier: MIT
// The programs when things go wrong around them: files cut short, empty or
// random, writes that fail part-way, folders that cannot be written. Every
// failure must end with a message and a non-zero status, never a crash or
// a hang, and a talk table or model file must be left whole.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "testing/run_program.h"

namespace fs = std::filesystem;

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

TEST(FaultInjection, ASaveThatFailsPartWayLeavesTheModelFileWhole) {
  testkit::scratch_dir dir;
  std::string words = dir.file("words.txt");
  std::string model = dir.file("model.txt");
  std::string list;
  for (int i = 0; i < 3000; ++i) list += "w" + std::to_string(i * 7919) + "\n";
  testkit::write_bytes(words, list);
  testkit::write_bytes(model, "[a:b1\n");
  testkit::run_options limited;
  limited.file_size_limit = 4096;
  testkit::run_result result = run(WORDLOOM, {"-r", words, "-s", model, "-c", "0"}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Cannot save model, file '" + model + "' couldn't be written.\n");
  EXPECT_EQ(testkit::read_bytes(model), "[a:b1\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// A hard-linked table is rewritten in place after a backup; a write that
// fails half-way puts the old bytes back under both names.
TEST(FaultInjection, ARewriteInPlaceThatFailsPartWayPutsTheTableBack) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  std::string rules = dir.file("rules.txt");
  testkit::write_bytes(table, k_table);
  fs::create_hard_link(table, dir.file("linked.tlk"));
  testkit::write_bytes(rules, "words = " + std::string(20000, 'w') + "\n");
  testkit::run_options limited;
  limited.file_size_limit = 8192;
  testkit::run_result result = run(LEXSWAP, {table, rules}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be written.\n");
  EXPECT_EQ(testkit::read_bytes(table), k_table);
  EXPECT_EQ(testkit::read_bytes(dir.file("linked.tlk")), k_table);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

// A table the user may write, in a folder the user may not: there is no
// room beside it for a new file or a backup, so it is not saved at all.
TEST(FaultInjection, AFolderWithoutWritePermissionKeepsTheTable) {
  if (testkit::under_wine()) GTEST_SKIP() << "wine as root may write to any folder";
  testkit::run_options unprivileged;
  unprivileged.unprivileged = true;
  if (!testkit::can_run_unprivileged() || run(LEXSWAP, {}, unprivileged).status != 0)
    GTEST_SKIP()
        << "root may write to any folder, and cannot run the programs as another user here";
  testkit::scratch_dir dir;
  fs::create_directory(dir.path() / "locked");
  std::string table = dir.file("locked/dialog.tlk");
  std::string rules = dir.file("rules.txt");
  testkit::write_bytes(table, k_table);
  testkit::write_bytes(rules, "words = things\n");
  if (geteuid() == 0) {
    ASSERT_EQ(chown(table.c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
  }
  chmod((dir.path() / "locked").c_str(), 0555);
  testkit::run_result result = run(LEXSWAP, {table, rules}, unprivileged);
  chmod((dir.path() / "locked").c_str(), 0755);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be opened for writing.\n");
  EXPECT_EQ(testkit::read_bytes(table), k_table);
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
