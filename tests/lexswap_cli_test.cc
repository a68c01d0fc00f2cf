// SPDX-License-Identifier: MIT
// lexswap as a user runs it: on talk tables and replacement lists made by
// the test. Every failure must leave the table file exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "testing/run_program.h"

namespace fs = std::filesystem;

namespace {

using testkit::run;

const char* const k_usage =
    "Usage: lexswap <dialog.tlk> <source file>\n\n"
    "The source file contains a list of 'some-string = replace-with' entries which "
    "will be applied to the dialog.tlk resource. Make sure you have a good backup of "
    "the dialog.tlk!\n";

class LexswapCommand : public ::testing::Test {
 protected:
  // Writes the table and the list, runs lexswap on them.
  testkit::run_result swap(const std::vector<std::string>& texts, const std::string& rules,
                           const testkit::run_options& options = {}) {
    testkit::write_bytes(table_, testkit::packed_tlk(texts));
    testkit::write_bytes(list_, rules);
    return run(LEXSWAP, {table_, list_}, options);
  }

  std::string table_bytes() { return testkit::read_bytes(table_); }

  testkit::scratch_dir dir_;
  std::string table_ = dir_.file("dialog.tlk");
  std::string list_ = dir_.file("rules.txt");
};

TEST_F(LexswapCommand, PrintsUsageForAnyOtherNumberOfArgumentsAndTouchesNothing) {
  testkit::write_bytes(table_, "untouched");
  for (const auto& args : {std::vector<std::string>{}, {table_}, {table_, list_, "x"}}) {
    testkit::run_result result = run(LEXSWAP, args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, k_usage);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_EQ(table_bytes(), "untouched");
}

TEST_F(LexswapCommand, RewritesEveryEntryAndSavesOverTheSameFile) {
  testkit::run_result result =
      swap({"The sword", "The Sword", "concatenate", "aab", "red", "x-y-x", ""},
           "sword = blade\ncat = dog\nab = b\nred = green\ngreen = blue\nx =\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "6 replacements read.\nProcessing: #\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(table_bytes(),
            testkit::packed_tlk({"The blade", "The Sword", "condogenate", "b", "blue", "-y-", ""}));
}

TEST_F(LexswapCommand, RuleOrderDecides) {
  swap({"red"}, "green = blue\nred = green\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"green"}));
}

TEST_F(LexswapCommand, TrimsRulesAndKeepsInnerBlanks) {
  swap({"old  name", "old name"}, "\t old name \t=\t new name \r\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"old  name", "new name"}));
}

TEST_F(LexswapCommand, CrLfListsWorkLikeLfLists) {
  swap({"a b c"}, "a = 1\r\nb = 2\r\nc = 3");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"1 2 3"}));
}

TEST_F(LexswapCommand, ShowsOneProgressMarkPerTwoThousandEntries) {
  struct {
    std::size_t entries;
    std::string marks;
  } cases[] = {{0, ""}, {1, "#"}, {2000, "#"}, {2001, "##"}, {2500, "##"}, {4001, "###"}};
  std::string rules = "a=b\n";
  for (int i = 1; i < 12; ++i) rules += "r" + std::to_string(i) + " = s\n";
  for (const auto& c : cases) {
    testkit::run_result result = swap(std::vector<std::string>(c.entries, "a"), rules);
    EXPECT_EQ(result.out, "12 replacements read.\nProcessing: " + c.marks + "\n") << c.entries;
    EXPECT_EQ(table_bytes(), testkit::packed_tlk(std::vector<std::string>(c.entries, "b")));
  }
}

TEST_F(LexswapCommand, AnEmptyListRewritesANormalizedTableByteForByte) {
  std::vector<testkit::record> records(3);
  records[0] = {9, "VOICE1", 5, 6, 0, 3};
  records[1] = {0, "", 0, 0, 0, 0};
  records[2] = {3, "LONGNAME", 1, 2, 3, 4};
  std::string bytes = testkit::tlk_bytes(records, "abc\xe9\xe8zz", 18 + 26 * 3, 7);
  testkit::write_bytes(table_, bytes);
  testkit::write_bytes(list_, "no rules here\n");
  testkit::run_result result = run(LEXSWAP, {table_, list_});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "0 replacements read.\nProcessing: #\n");
  EXPECT_EQ(table_bytes(), bytes);
}

TEST_F(LexswapCommand, AStringWithANulIsWrittenBackAsItsText) {
  std::vector<testkit::record> records(1);
  records[0].length = 6;
  testkit::write_bytes(table_, testkit::tlk_bytes(records, std::string("ab\0cde", 6), 44));
  testkit::write_bytes(list_, "");
  ASSERT_EQ(run(LEXSWAP, {table_, list_}).status, 0);
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"ab"}));
}

TEST_F(LexswapCommand, MissingFilesAreReportedTableFirst) {
  testkit::write_bytes(table_, testkit::packed_tlk({"x"}));
  testkit::write_bytes(list_, "x = y");
  std::string missing = dir_.file("missing");
  // The list is looked for before the table is read.
  const std::string damaged = dir_.file("damaged.tlk");
  testkit::write_bytes(damaged, "not a talk table");
  struct {
    std::string table, list, message;
  } cases[] = {
      {damaged, missing, "Cannot proceed, file '" + missing + "' not found.\n"},
      {missing, list_, "Cannot read TALK V1 resource, file '" + missing + "' not found.\n"},
      {missing, missing, "Cannot read TALK V1 resource, file '" + missing + "' not found.\n"},
      {"", list_, "Cannot read TALK V1 resource, file '' not found.\n"},
      {dir_.path().string(), list_,
       "Cannot read TALK V1 resource, file '" + dir_.path().string() + "' not found.\n"},
      {table_, missing, "Cannot proceed, file '" + missing + "' not found.\n"},
      {table_, "", "Cannot proceed, file '' not found.\n"},
      {table_, dir_.path().string(),
       "Cannot proceed, file '" + dir_.path().string() + "' not found.\n"},
  };
  for (const auto& c : cases) {
    testkit::run_result result = run(LEXSWAP, {c.table, c.list});
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.out, c.message);
    EXPECT_EQ(result.err, "");
  }
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"x"}));
}

TEST_F(LexswapCommand, ATableThatFailsToLoadIsNeverSaved) {
  std::string whole = testkit::packed_tlk({"first", "second"});
  struct {
    std::string bytes, message;
  } cases[] = {
      {"not a talk table", "Stream is not a valid TLK V1 resource.\n"},
      {"", "Stream is not a valid TLK V1 resource.\n"},
      {whole.substr(0, whole.size() - 1), "TLK file is truncated or damaged.\n"},
      {whole.substr(0, 30), "TLK file is truncated or damaged.\n"},
  };
  for (const auto& c : cases) {
    testkit::write_bytes(table_, c.bytes);
    testkit::write_bytes(list_, "a = b");
    testkit::run_result result = run(LEXSWAP, {table_, list_});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.message);
    EXPECT_EQ(table_bytes(), c.bytes);
  }
}

TEST_F(LexswapCommand, RefusesRulesThatCanNeverFinishBeforeWritingAnything) {
  struct {
    std::string rules, message;
  } cases[] = {
      {"a = b\n = x\n", "line 2 of '" + list_ + "': the search string is empty."},
      {"skip me\n\t=\t\n", "line 2 of '" + list_ + "': the search string is empty."},
      {"a = b\nb = abc\n = x\n",
       "line 2 of '" + list_ + "': the replacement contains the search string."},
      {"same = same", "line 1 of '" + list_ + "': the replacement contains the search string."},
      // A text ends at its first NUL: saved into a table, one would cut it
      // short at every later load.
      {std::string("a = b\nsword = bl\0ade\n", 21),
       "line 2 of '" + list_ + "': a rule holds a NUL byte."},
      {std::string("a\0b = c\n", 8), "line 1 of '" + list_ + "': a rule holds a NUL byte."},
  };
  for (const auto& c : cases) {
    testkit::run_result result = swap({"abc"}, c.rules);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Cannot proceed, " + c.message + "\n");
    EXPECT_EQ(table_bytes(), testkit::packed_tlk({"abc"}));
  }
}

TEST_F(LexswapCommand, StopsARuleThatRunsOnAndKeepsTheTable) {
  // Entries 2 and 3 both stop it: the message names the first.
  testkit::run_result result = swap({"aa", "ab", "aab", "aab"}, "x = y\n\nab = bbaa\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "2 replacements read.\nProcessing: #\nCannot proceed, line 3 of '" + list_ +
                            "': the rule was stopped after 1000049 replacements in entry 2.\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"aa", "ab", "aab", "aab"}));
}

TEST_F(LexswapCommand, NamesTheFirstEntryWhereARuleIsStoppedInALargeTable) {
  // Entry 4,500 takes a while to fail, entry 4,900 fails at once: the
  // marks and the message are those of going through the entries in order.
  std::vector<std::string> texts(6000, "plain");
  texts[4500] = std::string(20000, 'a') + "b";
  texts[4900] = "aab";
  testkit::run_result result = swap(texts, "ab = bbaa\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "1 replacements read.\nProcessing: ###\nCannot proceed, line 1 of '" +
                            list_ +
                            "': the rule was stopped after 1320017 replacements in entry 4500.\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk(texts));
}

TEST_F(LexswapCommand, AFailedSaveLeavesTheTableByteIdentical) {
  if (!testkit::can_limit_file_size()) GTEST_SKIP() << "no limit on file sizes here";
  std::vector<std::string> texts(50, "short");
  testkit::run_options limited;
  limited.file_size_limit = 20000;
  testkit::run_result result = swap(texts, "short = " + std::string(1000, 'L'), limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be written.\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk(texts));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 2)
      << "no temporary file is left behind";
}

// A script that retries a run that failed must not apply the rules twice:
// output that fails is reported before the table is saved.
TEST_F(LexswapCommand, AFullOrClosedStandardOutputIsAnErrorAndTheTableIsNotSaved) {
  if (!testkit::has_full_device()) GTEST_SKIP() << "no /dev/full here";
  testkit::run_options to_full;
  to_full.stdout_file = "/dev/full";
  testkit::run_options closed;
  closed.close_stdout = true;
  for (const testkit::run_options& options : {to_full, closed}) {
    if (testkit::under_wine() && options.close_stdout) continue;
    testkit::run_result result = swap({"a"}, "a = b", options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Cannot write to standard output.\n");
    EXPECT_EQ(table_bytes(), testkit::packed_tlk({"a"}));
  }
}

// Random tables and random rule lists that finish: the saved table holds
// what the plain restart-from-the-start loop makes of every text.
TEST_F(LexswapCommand, AgreesWithThePlainLoopOnRandomTablesAndRules) {
  std::mt19937 random(9);
  auto random_text = [&](std::size_t max_size) {
    return testkit::random_text(random, "abc \xe9", 0, max_size);
  };
  for (int round = 0; round < 30; ++round) {
    std::vector<std::pair<std::string, std::string>> rules;
    std::string list;
    for (int i = static_cast<int>(random() % 8); i > 0; --i) {
      std::string search = "x" + random_text(2);
      std::string replacement = random_text(3);
      if (search.back() == ' ' || replacement.find(search) != std::string::npos ||
          (!replacement.empty() && (replacement.front() == ' ' || replacement.back() == ' ')))
        continue;
      // Searches begin with x, replacements hold none: every rule finishes.
      rules.emplace_back(search, replacement);
      list += search + " = " + replacement + "\n";
    }
    std::vector<std::string> texts(random() % 50);
    std::vector<std::string> expected;
    for (std::string& text : texts) {
      text = random_text(20);
      for (std::size_t i = random() % 4; i > 0; --i) text.insert(random() % (text.size() + 1), "x");
      std::string result = text;
      for (const auto& [search, replacement] : rules) {
        for (std::size_t at; (at = result.find(search)) != std::string::npos;)
          result.replace(at, search.size(), replacement);
      }
      expected.push_back(result);
    }
    ASSERT_EQ(swap(texts, list).status, 0);
    ASSERT_EQ(table_bytes(), testkit::packed_tlk(expected)) << list;
  }
}

}  // namespace

namespace {

// lexswap matches bytes: with --encoding, a UTF-8 list's rules become the
// table's own bytes, and give what the same rules saved in the table's
// page give (--bytes, or the plain command line); without an option, a
// UTF-8 list that could only write UTF-8 into a table of another page is
// refused, the table untouched.
TEST_F(LexswapCommand, AUtf8ListIsConvertedToTheTablesCodePage) {
  testkit::write_bytes(table_, testkit::packed_tlk({"x"}));
  testkit::write_bytes(list_, "a = b\n");
  if (run(LEXSWAP, {"--encoding", "cp1252", table_, list_}).out.find("cannot convert") !=
      std::string::npos)
    GTEST_SKIP() << "this system has no converters for Windows code pages (glibc's gconv modules)";
  const std::string bom = "\xef\xbb\xbf";
  const struct {
    std::string page, rule, table_text, rule_in_page, expected;
  } cases[] = {
      {"cp1250", "Jesionow = Dębogóra", "Jesionow lies east",
       "Jesionow = D\xea"
       "bog\xf3ra",
       "D\xea"
       "bog\xf3ra lies east"},
      {"cp1251", "Эшфорд = Ашфорд", "\xdd\xf8\xf4\xee\xf0\xe4!",
       "\xdd\xf8\xf4\xee\xf0\xe4 = "
       "\xc0\xf8\xf4\xee\xf0\xe4",
       "\xc0\xf8\xf4\xee\xf0\xe4!"},
      {"cp1252", "Ashford = Caféville", "Ashford", "Ashford = Caf\xe9ville", "Caf\xe9ville"},
      {"cp932", "東京 = 大阪", "\x93\x8c\x8b\x9e\x82\xa9", "\x93\x8c\x8b\x9e = \x91\xe5\x8d\xe3",
       "\x91\xe5\x8d\xe3\x82\xa9"},
      {"utf-8", "Café = Tea", "Café au lait", "Café = Tea", "Tea au lait"},
      // A byte the page leaves undefined (0x81) does not stop the rules.
      {"cp1252", "naïve = innocent", "\x81 na\xefve", "na\xefve = innocent", "\x81 innocent"},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.page + ": " + one.rule);
    for (const std::string& mark : {std::string(), bom}) {
      testkit::write_bytes(table_, testkit::packed_tlk({one.table_text}));
      testkit::write_bytes(list_, mark + one.rule + "\n");
      testkit::run_result result = run(LEXSWAP, {"--encoding", one.page, table_, list_});
      EXPECT_EQ(result.status, 0) << result.out;
      EXPECT_EQ(table_bytes(), testkit::packed_tlk({one.expected}));
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--bytes", table_, list_}, {table_, list_}}) {
      testkit::write_bytes(table_, testkit::packed_tlk({one.table_text}));
      testkit::write_bytes(list_, one.rule_in_page + "\n");
      EXPECT_EQ(run(LEXSWAP, args).status, 0);
      EXPECT_EQ(table_bytes(), testkit::packed_tlk({one.expected}));
    }
  }

  const std::string western = testkit::packed_tlk({"Ashford", "Caf\xe9"});
  const std::string ascii = testkit::packed_tlk({"Ashford"});
  const std::string advice =
      "name the table's code page with --encoding (cp1252 for most Western tables), or give "
      "--bytes for a list in the table's own code page.\n";
  const struct {
    std::vector<std::string> options;
    std::string table, list, message;
  } refusals[] = {
      {{"--encoding", "cp1250"},
       western,
       "a = b\nЖук = x\n",
       "Cannot proceed, line 2 of '" + list_ + "': U+0416 is not in cp1250.\n"},
      {{"--encoding", "cp1252"},
       western,
       "Caf\xe9 = x\n",
       "Cannot proceed, line 1 of '" + list_ + "': the rule is not UTF-8 text.\n"},
      {{"--encoding", "cp9999"},
       western,
       "a = b\n",
       "Cannot proceed, 'cp9999' is not a code page that lexswap converts; it converts utf-8, "
       "cp1250, cp1251, cp1252, cp1253, cp1254, cp1255, cp1256, cp1257, cp874, cp932, cp936, "
       "cp949, cp950.\n"},
      {{},
       western,
       "Ashford = Caféville\n",
       "Cannot proceed, '" + list_ + "' is UTF-8 text and the texts of '" + table_ + "' are not; " +
           advice},
      {{},
       western,
       bom + "Ashford = Caf\xe9ville\n",
       "Cannot proceed, '" + list_ + "' is UTF-8 text and the texts of '" + table_ + "' are not; " +
           advice},
      // "PODRÓŻ" in cp1250 happens to be UTF-8 too: hence --bytes.
      {{},
       ascii,
       "PODRO = PODR\xd3\xaf\n",
       "Cannot proceed, '" + list_ + "' is UTF-8 text and nothing in '" + table_ +
           "' tells its code page; " + advice},
  };
  for (const auto& one : refusals) {
    SCOPED_TRACE(one.message);
    testkit::write_bytes(table_, one.table);
    testkit::write_bytes(list_, one.list);
    std::vector<std::string> args = one.options;
    args.insert(args.end(), {table_, list_});
    testkit::run_result result = run(LEXSWAP, args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, one.message);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(table_bytes(), one.table);
  }
  // A UTF-8 list against a UTF-8 table, and an ASCII list against any
  // table, are taken as they are.
  EXPECT_EQ(swap({"Café"}, "Café = Tea\n").status, 0);
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Tea"}));
  EXPECT_EQ(swap({"Caf\xe9"}, "Caf = Tea\n").status, 0);
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Tea\xe9"}));
  // Options stand before the file names, once each.
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--encoding", "cp1252", "--bytes", table_, list_},
        {"--encoding", table_, list_},
        {table_, list_, "--bytes"},
        {"--bytes", "--bytes", table_, list_},
        {"--encoding", "", table_, list_}}) {
    testkit::run_result result = run(LEXSWAP, args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, k_usage);
  }
}

}  // namespace
