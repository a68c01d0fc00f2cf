// SPDX-License-Identifier: MIT
// lexglean as a user runs it: on talk tables made by the test, with the
// output, the messages and the exit status checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

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

namespace {

// What Python makes of texts in one code page: their bytes in the page (in
// hex) on the first line, then the words with --encoding, then those with
// --lower too, each list in UTF-8 byte order and ending in an empty line. A
// word is a run of letters with the marks that follow a letter inside it;
// the lower case is the simple mapping (the full one differs for none of
// these characters).
const char* const k_python_words = R"(
import sys, unicodedata
page, texts = sys.argv[1], sys.argv[2:]
def words(text):
    found, word = [], ""
    for c in text:
        kind = unicodedata.category(c)[0]
        if kind == "L" or (kind == "M" and word):
            word += c
        else:
            if word: found.append(word)
            word = ""
    if word: found.append(word)
    return found
def lower(word):
    return "".join(c.lower() if len(c.lower()) == 1 else c for c in word)
print(" ".join(t.encode(page).hex() for t in texts))
every = [w for t in texts for w in words(t)]
for fold in (lambda w: w, lower):
    for w in sorted({fold(w) for w in every}, key=lambda w: w.encode()):
        print(w)
    print()
)";

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::string from_hex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// --encoding reads the texts in the table's page, and a word is made of the
// letters of every script; --lower writes them in lower case. Checked
// against Python's own decoding and Unicode data.
TEST(LexgleanCommand, ReadsTheWordsOfEveryScriptInTheTablesCodePage) {
  testkit::scratch_dir dir;
  const std::string table = dir.file("dialog.tlk");
  testkit::write_bytes(table, testkit::packed_tlk({"a"}));
  if (run(LEXGLEAN, {"--encoding", "cp1252", table}).err.find("cannot convert") !=
      std::string::npos)
    GTEST_SKIP() << "this system has no converters for Windows code pages (glibc's gconv modules)";
#ifdef _WIN32
  GTEST_SKIP() << "a Windows test cannot start this system's Python; ctest --preset wine runs "
                  "this test against the Windows build";
#endif
  testkit::run_options host;
  host.host_tool = true;
  if (run("/usr/bin/python3", {"-c", "import unicodedata"}, host).status != 0)
    GTEST_SKIP() << "no python3 to derive the words";
  const struct {
    std::string page;
    std::vector<std::string> texts;
  } cases[] = {
      {"cp1250", {"Zażółć gęślą jaźń, PODRÓŻ!", "Łódź-Kraków 2x ŁÓDŹ"}},
      {"cp1251", {"Съешь же ещё этих мягких французских булок, ЁЖИК.", "Ёжик ёжик"}},
      {"cp1252",
       {"Café au lait? Naïve façade, ÆSIR Œuvre 2x", "éééééééééééééééééééééééééééééééééééééééé",
        "ÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉ ééé"}},
      {"cp932", {"東京の夜、カタカナとｶﾀｶﾅ。ＡＢＣａｂｃ", "漢字かな交じり文"}},
      {"utf-8",
       {"Ωμέγα e\xcc\x81"
        "cole ǅemal \xcc\x81"
        "abc",
        "Ωμέγα ΩΜΈΓΑ Straße"}},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.page);
    std::vector<std::string> args = {"-c", k_python_words, one.page};
    args.insert(args.end(), one.texts.begin(), one.texts.end());
    testkit::run_result python = run("/usr/bin/python3", args, host);
    ASSERT_EQ(python.status, 0) << python.err;
    std::vector<std::string> lines = split_lines(python.out);
    ASSERT_FALSE(lines.empty());
    std::vector<std::string> texts;
    std::string hex;
    for (std::istringstream in(lines[0]); in >> hex;) texts.push_back(from_hex(hex));
    testkit::write_bytes(table, testkit::packed_tlk(texts));
    std::string expected[2];
    for (std::size_t i = 1, list = 0; i < lines.size() && list < 2; ++i) {
      if (lines[i].empty()) {
        ++list;
      } else {
        expected[list] += lines[i] + "\n";
      }
    }
    testkit::run_result words = run(LEXGLEAN, {"--encoding", one.page, table});
    EXPECT_EQ(words.status, 0) << words.err;
    EXPECT_EQ(words.out, expected[0]);
    testkit::run_result lower = run(LEXGLEAN, {"--encoding", one.page, "--lower", table});
    EXPECT_EQ(lower.out, expected[1]);
  }

  // A text that does not read in the page is refused, as a damaged table
  // is, though lexswap's rules would still match its bytes.
  testkit::write_bytes(table, testkit::packed_tlk({"Caf\xe9", "na\x81ve"}));
  testkit::run_result result = run(LEXGLEAN, {"--encoding", "cp1252", table});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Cannot proceed, entry 1 of '" + table +
                            "' holds bytes that are no cp1252 text, from byte 2 on.\n");
  // --lower alone folds A-Z, and takes the letters as lexglean always has.
  testkit::write_bytes(table, testkit::packed_tlk({"Caf\xe9 \xc0"
                                                   "Bc cAF"}));
  EXPECT_EQ(run(LEXGLEAN, {"--lower", table}).out, "bc\ncaf\n");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--lower"},
                                               {"--encoding"},
                                               {table, "--lower"},
                                               {"--encoding", "cp1252"}})
    EXPECT_EQ(run(LEXGLEAN, args).out, k_usage);
}

}  // namespace
