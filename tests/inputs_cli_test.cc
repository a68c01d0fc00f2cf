// SPDX-License-Identifier: MIT
// The programs on inputs as users really make them: lists saved by Windows
// Notepad, special files, hostile tables, too little memory.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <random>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "testing/run_program.h"

namespace fs = std::filesystem;

namespace {

using testkit::run;

const std::string k_utf8_mark = "\xef\xbb\xbf";

class Inputs : public ::testing::Test {
 protected:
  testkit::scratch_dir dir_;
};

// Notepad begins a UTF-8 file with a byte-order mark: every list is read as
// if it were not there.
TEST_F(Inputs, ListsWithAUtf8MarkAreReadAsWithout) {
  std::string table = dir_.put("dialog.tlk", testkit::packed_tlk({"old tale"}));
  std::string rules = dir_.put("rules.txt", k_utf8_mark + "old = new\r\n");
  testkit::run_result result = run(LEXSWAP, {table, rules});
  EXPECT_EQ(result.out, "1 replacements read.\nProcessing: #\n");
  EXPECT_EQ(testkit::read_bytes(table), testkit::packed_tlk({"new tale"}));

  std::string words = dir_.put("words.txt", k_utf8_mark + "apple\r\npear\r\n");
  std::string exclude = dir_.put("exclude.txt", k_utf8_mark + "apple\r\n");
  result = run(WORDSIFT, {words, exclude});
  EXPECT_EQ(result.out, "pear\n");

  // A model learnt from the marked list, and one loaded from a marked file,
  // are the model of the same words without the mark.
  std::string model = dir_.file("model.txt");
  ASSERT_EQ(run(WORDLOOM, {"-r", words, "-s", model, "-c", "0"}).status, 0);
  std::string plain_model = testkit::read_bytes(model);
  ASSERT_EQ(
      run(WORDLOOM, {"-r", dir_.put("plain.txt", "apple\npear\n"), "-s", model, "-c", "0"}).status,
      0);
  EXPECT_EQ(plain_model, testkit::read_bytes(model));
  dir_.put("marked-model.txt", k_utf8_mark + plain_model);
  ASSERT_EQ(run(WORDLOOM, {"-l", dir_.file("marked-model.txt"), "-s", model, "-c", "0"}).status, 0);
  EXPECT_EQ(testkit::read_bytes(model), plain_model);
}

// Notepad's "Unicode" is UTF-16: its lines could never match, so every
// program refuses such a list before it does or writes anything.
TEST_F(Inputs, ListsOfTwoOrFourByteCharactersAreRefused) {
  std::string old_table = testkit::packed_tlk({"old tale"});
  std::string table = dir_.put("dialog.tlk", old_table);
  std::string utf16 = dir_.put("utf16.txt", std::string("\xff\xfeo\0l\0d\0=\0n\0", 12));
  std::string utf32 = dir_.put("utf32.txt", std::string("\0\0\xfe\xff\0\0\0o", 8));
  std::string plain = dir_.put("plain.txt", "old\n");
  auto refusal = [](const std::string& name, const char* kind) {
    return "Cannot proceed, file '" + name + "' is " + kind + " text; save it as UTF-8 or ANSI.\n";
  };

  testkit::run_result result = run(LEXSWAP, {table, utf16});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, refusal(utf16, "UTF-16"));
  EXPECT_EQ(testkit::read_bytes(table), old_table);

  result = run(WORDSIFT, {plain, utf32});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, refusal(utf32, "UTF-32"));

  // As `iconv -t utf-16le` writes it, without a mark: its NUL bytes tell,
  // before any of them can be taken for a rule's.
  std::string unmarked = dir_.put("iconv.txt", std::string("s\0w\0o\0r\0d\0=\0b\0\n\0", 16));
  result = run(LEXSWAP, {table, unmarked});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, refusal(unmarked, "UTF-16"));

  std::string model = dir_.file("model.txt");
  for (const auto& args : {std::vector<std::string>{"-r", utf16, "-s", model},
                           std::vector<std::string>{"-l", utf16, "-s", model}}) {
    result = run(WORDLOOM, args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, refusal(utf16, "UTF-16"));
  }
  EXPECT_FALSE(fs::exists(model));
}

// lexswap and lexport import write their table back over itself, which
// only a regular file allows; a FIFO or standard input is refused at once,
// never waited on. The programs that only read keep reading pipes
// (`lexglean <(cat t.tlk)`).
TEST_F(Inputs, OnlyARegularFileIsATableToRewriteButAPipeCanBeRead) {
  if (testkit::under_wine()) GTEST_SKIP() << "Windows has no FIFOs";
  std::string fifo = dir_.file("table.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string rules = dir_.put("rules.txt", "a = b\n");
  std::string po = dir_.put("fr.po", "msgctxt \"0\"\nmsgid \"a\"\nmsgstr \"b\"\n");
  for (const std::string& table : {fifo, std::string("/dev/stdin")}) {
    testkit::run_result result = run(LEXSWAP, {table, rules});
    EXPECT_EQ(result.status, 1) << table;
    EXPECT_EQ(result.err, "TLK file couldn't be opened for writing.\n");
    result = run(LEXPORT, {"import", table, po});
    EXPECT_EQ(result.status, 1) << table;
    EXPECT_EQ(result.err, "TLK file couldn't be opened for writing.\n");
  }

  std::thread writer([&] {
    int fd = open(fifo.c_str(), O_WRONLY);
    std::string bytes = testkit::packed_tlk({"Read from a pipe"});
    if (fd >= 0 && write(fd, bytes.data(), bytes.size()) >= 0) close(fd);
  });
  testkit::run_result result = run(LEXGLEAN, {fifo});
  writer.join();
  EXPECT_EQ(result.out, "Read\na\nfrom\npipe\n");
}

// A translator's folders and files are named in their own script: every
// program opens, lists, rewrites and saves through such names, and quotes
// them in its messages as they were typed.
TEST_F(Inputs, FileNamesInAnyScript) {
  fs::create_directory(dir_.path() / "Андрей");
  std::string table = dir_.put("Андрей/диалог.tlk", testkit::packed_tlk({"old words"}));
  std::string rules = dir_.put("Андрей/κανόνες.txt", "old = new\n");
  std::string words = dir_.put("単語.txt", "cat\ndog\n");
  std::string exclude = dir_.put("除外.txt", "dog\n");
  std::string model = dir_.file("Андрей/模型.txt");

  EXPECT_EQ(run(LEXGLEAN, {table}).out, "old\nwords\n");
  testkit::run_result result = run(LEXSWAP, {table, rules});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(testkit::read_bytes(table), testkit::packed_tlk({"new words"}));
  EXPECT_EQ(run(WORDSIFT, {words, exclude}).out, "cat\n");
  EXPECT_EQ(run(WORDLOOM, {"-r", exclude, "-s", model, "-c", "0"}).status, 0);
  EXPECT_EQ(testkit::read_bytes(model), "[d:o1\ndo:g1\nog:]1\n");
  EXPECT_EQ(run(WORDLOOM, {"-l", model, "-c", "1"}).out, "dog\n");

  std::string missing = dir_.file("Андрей/нет.tlk");
  EXPECT_EQ(run(LEXSWAP, {missing, rules}).out,
            "Cannot read TALK V1 resource, file '" + missing + "' not found.\n");
}

// 200,000 records pointing at one 64 KiB string: 5 MB of file that would be
// 13 GB of texts. The string is held and scanned once; lexswap, which would
// have to save 13 GB, refuses at once.
TEST_F(Inputs, ATableOfRecordsSharingOneLongStringCostsNoMoreThanItsFile) {
  std::string text;
  while (text.size() < 65536) text += "lorem ipsum dolor ";
  text.resize(65536);
  std::vector<testkit::record> records(200000);
  for (testkit::record& r : records) r.length = 65536;
  std::string table = dir_.put("dialog.tlk", testkit::tlk_bytes(records, text, 18 + 26 * 200000));
  std::string rules = dir_.put("rules.txt", "lorem = LOREM\n");
  testkit::run_options limited;
#if !defined(__SANITIZE_ADDRESS__)
  if (!testkit::under_wine() && !testkit::under_emulator())
    limited.memory_limit = std::uint64_t{2000000} << 10;
#endif
  testkit::run_result result = run(LEXGLEAN, {table}, limited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "dolo\ndolor\nipsum\nlorem\n");
  result = run(LEXSWAP, {table, rules}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Cannot proceed, file '" + table +
                            "' holds more text than a talk table can hold (4 GiB).\n");
}

// Records need not share a string to claim more text than the file holds:
// 5,000 records of 900,000 bytes at offsets 0 to 4,999 of one text are
// 1 MB of file and 4.5 GB of texts to save. lexswap and lexport refuse it
// before they copy a text; 300 such records, 270 MB of texts, lexport
// exports in far less memory than that.
TEST_F(Inputs, ATableOfOverlappingStringsPastWhatASaveCanHoldIsRefusedAtOnce) {
  std::string text;
  while (text.size() < 905000) text += "lorem ipsum dolor ";
  auto overlapping = [&](std::uint32_t count) {
    std::vector<testkit::record> records(count);
    for (std::uint32_t i = 0; i < records.size(); ++i) {
      records[i].offset = i;
      records[i].length = 900000;
    }
    return dir_.put("dialog.tlk", testkit::tlk_bytes(records, text, 18 + 26 * count));
  };
  std::string table = overlapping(5000);
  testkit::run_options limited;
#if !defined(__SANITIZE_ADDRESS__)
  if (!testkit::under_wine() && !testkit::under_emulator())
    limited.memory_limit = std::uint64_t{1} << 30;
#endif
  const std::string refusal =
      "Cannot proceed, file '" + table + "' holds more text than a talk table can hold (4 GiB).\n";
  testkit::run_result result =
      run(LEXSWAP, {table, dir_.put("rules.txt", "lorem = LOREM\n")}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, refusal);
  result = run(LEXPORT, {"export", table, "-o", dir_.file("dialog.po")}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, refusal);

  overlapping(300);
#if !defined(__SANITIZE_ADDRESS__)
  if (!testkit::under_wine() && !testkit::under_emulator())
    limited.memory_limit = std::uint64_t{128} << 20;
#endif
  result = run(LEXPORT, {"export", table, "-o", dir_.file("dialog.po")}, limited);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_GT(fs::file_size(dir_.file("dialog.po")), std::uint64_t{300} * 900000);
}

// lexglean with a code page keeps a long word as the table's bytes, as it
// does without one: 1,500 records of 60,000 letters at offsets 0 to 1,499
// of one text of 60 KB are 90 MB of words, 135 MB as UTF-8 copies, and
// take far less memory than that.
TEST_F(Inputs, LongWordsOfOverlappingStringsCostNoCopies) {
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "wine and emulators cannot start under a limit on memory";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under a limit on memory";
#endif
  std::mt19937 random(7);
  std::string text;
  while (text.size() < 62000) text += static_cast<char>(random() % 2 ? 0xe9 : 'a' + random() % 26);
  std::vector<testkit::record> records(1500);
  for (std::uint32_t i = 0; i < records.size(); ++i) {
    records[i].offset = i;
    records[i].length = 60000;
  }
  std::string table = dir_.put("dialog.tlk", testkit::tlk_bytes(records, text, 18 + 26 * 1500));
  testkit::run_options limited;
  limited.memory_limit = std::uint64_t{96} << 20;
  limited.stdout_file = dir_.put("words.txt", "");
  testkit::run_result result = run(LEXGLEAN, {"--encoding", "cp1252", "--lower", table}, limited);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_GT(fs::file_size(dir_.file("words.txt")), std::uint64_t{1500} * 60000);
}

// The format's offsets reach 4 GiB - 1 bytes: a table whose save would be
// exactly that long is taken (the rule list's refusal comes next), one
// byte more is refused. 65,536 records on one string of 65,510 bytes, the
// last one shorter, make a file of 1.8 MB.
TEST_F(Inputs, ATableWhoseSaveWouldFillTheFormatToTheLastByteIsTaken) {
  std::string rules = dir_.put("rules.txt", " = x\n");
  for (std::uint32_t last : {65491u, 65492u}) {
    std::vector<testkit::record> records(65536);
    for (testkit::record& r : records) r.length = 65510;
    records.back().length = last;
    std::string table = dir_.put(
        "dialog.tlk", testkit::tlk_bytes(records, std::string(65510, 'w'), 18 + 26 * 65536));
    testkit::run_result result = run(LEXSWAP, {table, rules});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              last == 65491u
                  ? "Cannot proceed, line 1 of '" + rules + "': the search string is empty.\n"
                  : "Cannot proceed, file '" + table +
                        "' holds more text than a talk table can hold (4 GiB).\n");
  }
}

// On a 32-bit system a file of 4 GiB and more cannot be held: a table that
// large is the memory message, not a size cut short or the C++ library's
// own end.
TEST_F(Inputs, ATableLargerThanMemoryCanAddressIsAMessage) {
  if (sizeof(void*) > 4) GTEST_SKIP() << "for 32-bit builds";
  std::string table = dir_.put("huge.tlk", testkit::packed_tlk({"words"}));
  fs::resize_file(table, (std::uint64_t{5} << 30) + 7);  // sparse: no disk used
  testkit::run_result result = run(LEXGLEAN, {table});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Cannot proceed, not enough memory.\n");
}

// Memory that runs out is a message, wherever it runs out: here reading an
// endless input.
TEST_F(Inputs, RunningOutOfMemoryIsAMessage) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer cannot start under a limit on memory";
#endif
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "wine and emulators cannot start under a limit on memory";
  testkit::run_options limited;
  limited.memory_limit = std::uint64_t{300} << 20;
  std::string table = dir_.put("dialog.tlk", testkit::packed_tlk({"words"}));
  const std::string message = "Cannot proceed, not enough memory.\n";
  testkit::run_result result = run(LEXGLEAN, {"/dev/zero"}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, message);
  for (const auto& args :
       {std::vector<std::string>{"/dev/zero", table}, std::vector<std::string>{"-l", "/dev/zero"},
        std::vector<std::string>{table, "/dev/zero"}}) {
    const char* program = args[0] == "-l" ? WORDLOOM : args[0] == table ? LEXSWAP : WORDSIFT;
    result = run(program, args, limited);
    EXPECT_EQ(result.status, 1) << program;
    EXPECT_EQ(result.out.substr(result.out.size() - std::min(result.out.size(), message.size())),
              message)
        << program;
  }
  EXPECT_EQ(testkit::read_bytes(table), testkit::packed_tlk({"words"}));

  // Strings of 100 MB each, made on all the threads at once.
  std::string big_table =
      testkit::packed_tlk(std::vector<std::string>(600, std::string(1000, 'a')));
  testkit::write_bytes(table, big_table);
  result = run(LEXSWAP, {table, dir_.put("grow.txt", "a = " + std::string(100000, 'x'))}, limited);
  EXPECT_EQ(result.status, 1);
  // Where a string or two fit first (32-bit systems), their mark comes
  // before the message, which has a line of its own.
  const std::string start = "1 replacements read.\nProcessing: ";
  const std::size_t marks_end =
      std::min(result.out.find_first_not_of('#', start.size()), result.out.size());
  const std::size_t marks = marks_end > start.size() ? marks_end - start.size() : 0;
  EXPECT_EQ(result.out, start + std::string(marks, '#') + "\n" + message);
  EXPECT_EQ(testkit::read_bytes(table), big_table);
}

}  // namespace
