// SPDX-License-Identifier: MIT
#include "talk/ie_res_talk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <utility>

#include "testing/testkit.h"

namespace fs = std::filesystem;
using testkit::le16;
using testkit::le32;
using testkit::record;

namespace {

class TalkTable : public ::testing::Test {
 protected:
  // Loads `bytes` from a file into a fresh table; the table's messages go to
  // `err`.
  std::unique_ptr<ie_res_talk> load_bytes(const std::string& bytes, bool& loaded) {
    testkit::write_bytes(path_, bytes);
    auto table = std::make_unique<ie_res_talk>();
    ::testing::internal::CaptureStderr();
    loaded = table->load(path_);
    err_ = ::testing::internal::GetCapturedStderr();
    return table;
  }

  std::vector<std::string> texts(const ie_res_talk& table) {
    std::vector<std::string> result;
    for (const ie_res_talk_entry* entry : table.entries()) result.push_back(entry->text());
    return result;
  }

  testkit::scratch_dir dir_;
  std::string path_ = dir_.file("dialog.tlk");
  std::string err_;
};

// The 72 bytes of a new table with the text Hi and an empty entry.
const std::string k_hi_table = std::string("TLK V1  ") + le16(0) + le32(2) + le32(70) + le16(3) +
                               std::string(16, '\0') + le32(0) + le32(2) + le16(3) +
                               std::string(16, '\0') + le32(0) + le32(0) + "Hi";

TEST_F(TalkTable, NewTableWithTwoEntriesSavesAsTheSeventyTwoByteExample) {
  ie_res_talk table;
  table.add_entry("Hi");
  table.add_entry("");
  EXPECT_EQ(table.entry_count(), 2u);
  ASSERT_TRUE(table.save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), k_hi_table);
  EXPECT_EQ(k_hi_table.size(), 72u);
  EXPECT_EQ(table.strings_offset(), 70u);
}

TEST_F(TalkTable, EmptyTableSavesAsItsHeaderAlone) {
  ie_res_talk table;
  ASSERT_TRUE(table.save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), "TLK V1  " + le16(0) + le32(0) + le32(18));
}

TEST_F(TalkTable, LoadsAndWritesBackAPackedTableByteForByte) {
  std::vector<record> records(4);
  records[0] = {5, "SOUND01", 11, 22, 0, 5};
  records[1] = {0, "LONGNAME", 0xffffffffu, 1, 0, 0};
  records[2] = {3, "", 0, 0, 5, 3};
  records[3] = {65535, "X", 7, 8, 8, 1};
  std::string bytes = testkit::tlk_bytes(records, "Hello\xe9\xff!?", 18 + 26 * 4, 0x0102);
  bool loaded = false;
  auto table = load_bytes(bytes, loaded);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(err_, "");
  EXPECT_EQ(texts(*table), (std::vector<std::string>{"Hello", "", "\xe9\xff!", "?"}));
  EXPECT_EQ(table->language(), 0x0102);
  EXPECT_EQ(std::memcmp(table->entry(1)->sound(), "LONGNAME", 8), 0);
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), bytes);
}

TEST_F(TalkTable, NormalizesSharedGappedAndUnorderedStrings) {
  // Entry 0 and 2 share one string, entry 1 lies before them, an empty
  // string points somewhere, and there is a gap of junk.
  std::vector<record> records(4);
  records[0].offset = 6, records[0].length = 3;   // "two"
  records[1].offset = 0, records[1].length = 3;   // "one"
  records[2].offset = 6, records[2].length = 3;   // "two" again
  records[3].offset = 99, records[3].length = 0;  // empty
  std::string bytes = testkit::tlk_bytes(records, "one...two", 200);
  bytes.resize(200, 'J');
  bytes += "one...two";
  bool loaded = false;
  auto table = load_bytes(bytes, loaded);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(texts(*table), (std::vector<std::string>{"two", "one", "two", ""}));
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), testkit::packed_tlk({"two", "one", "two", ""}));
  EXPECT_EQ(table->entry(2)->offset(), 6u);
  EXPECT_EQ(table->entry(3)->offset(), 0u);
}

// Records that name one stored string share its text, held once, until one
// of them is changed: through the modifiable text or with `set_text`.
TEST_F(TalkTable, EntriesNamingOneStringShareItUntilOneIsChanged) {
  std::vector<record> records(3);
  for (record& r : records) r.offset = 2, r.length = 3;
  bool loaded = false;
  auto table = load_bytes(testkit::tlk_bytes(records, "..two", 18 + 26 * 3), loaded);
  ASSERT_TRUE(loaded);
  const ie_res_talk_entry& first = *table->entry(0);
  EXPECT_EQ(&first.text(), &std::as_const(*table->entry(2)).text()) << "held once";
  table->entry(0)->text() += "!";
  table->entry(1)->set_text("2");
  EXPECT_EQ(texts(*table), (std::vector<std::string>{"two!", "2", "two"}));
}

TEST_F(TalkTable, ATextEndsAtItsFirstNulAndKeepsItsStoredLength) {
  std::vector<record> records(1);
  records[0].length = 7;
  std::string bytes = testkit::tlk_bytes(records, std::string("ab\0cdef", 7), 44);
  bool loaded = false;
  auto table = load_bytes(bytes, loaded);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(table->entry(0)->text(), "ab");
  EXPECT_EQ(table->entry(0)->length(), 7u);
  // Saved unchanged: the text, then NUL bytes up to the length.
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_),
            testkit::tlk_bytes(records, std::string("ab\0\0\0\0\0", 7), 44));
  table->entry(0)->set_text(table->entry(0)->text());
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), testkit::packed_tlk({"ab"}));
}

TEST_F(TalkTable, AcceptsAnyLanguageAndStringsOffset) {
  std::vector<record> records(1);
  records[0].length = 2;
  // strings_offset far beyond the records, with filler between.
  std::string bytes = testkit::tlk_bytes(records, std::string(30, '-') + "ok", 74, 9);
  bool loaded = false;
  auto table = load_bytes(bytes, loaded);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(table->entry(0)->text(), "ok");
  ASSERT_TRUE(table->save(path_));
  std::string saved = testkit::read_bytes(path_);
  EXPECT_EQ(saved.substr(8, 2), le16(9));
  EXPECT_EQ(saved.substr(14, 4), le32(44));
}

TEST_F(TalkTable, RejectsEveryFileWithoutTheExactSignature) {
  for (std::string signature : {"TLK V2  ", "tlk v1  ", "TLK V1 X", "TLK V1\0\0", "XLK V1  "}) {
    signature.resize(8);
    bool loaded = true;
    auto table = load_bytes(signature + le16(0) + le32(0) + le32(18), loaded);
    EXPECT_FALSE(loaded) << signature;
    EXPECT_EQ(err_, "Stream is not a valid TLK V1 resource.\n");
    EXPECT_TRUE(table->entries().empty());
  }
}

TEST_F(TalkTable, RejectsAFileShorterThanTheHeader) {
  for (std::string bytes : {std::string(), std::string("TLK V1  "),
                            std::string("TLK V1  ") + le16(0) + le32(0) + "\x12"}) {
    bool loaded = true;
    auto table = load_bytes(bytes, loaded);
    EXPECT_FALSE(loaded) << bytes.size() << " bytes";
    EXPECT_EQ(err_, "Stream is not a valid TLK V1 resource.\n");
    EXPECT_TRUE(table->entries().empty());
  }
}

TEST_F(TalkTable, AnEmptyTableFileLoadsAndSavesAsTheSameEighteenBytes) {
  std::string bytes = "TLK V1  " + le16(0) + le32(0) + le32(18);
  bool loaded = false;
  auto table = load_bytes(bytes, loaded);
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(table->entries().empty());
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), bytes);
}

// Every proper prefix of a valid table is damaged or not a table at all: the
// load fails, says why, and builds no entry.
TEST_F(TalkTable, EveryCutOfAValidTableFailsToLoad) {
  std::string whole = testkit::packed_tlk({"First", "", "Second string", "x"});
  for (std::size_t size = 0; size < whole.size(); ++size) {
    bool loaded = true;
    auto table = load_bytes(whole.substr(0, size), loaded);
    EXPECT_FALSE(loaded) << "cut at " << size;
    EXPECT_TRUE(table->entries().empty()) << "cut at " << size;
    if (size < 18)
      EXPECT_EQ(err_, "Stream is not a valid TLK V1 resource.\n");
    else
      EXPECT_EQ(err_, "TLK file is truncated or damaged.\n") << "cut at " << size;
  }
  bool loaded = false;
  load_bytes(whole, loaded);
  EXPECT_TRUE(loaded);
}

TEST_F(TalkTable, AnEmptyStringIsValidWhereverItPoints) {
  std::vector<record> records(2);
  records[0].offset = 0xffffff00u;  // length 0
  records[1].length = 1;
  bool loaded = false;
  auto table = load_bytes(testkit::tlk_bytes(records, "z", 70), loaded);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(texts(*table), (std::vector<std::string>{"", "z"}));
}

TEST_F(TalkTable, RejectsCountsAndStringsBeyondTheEndOfTheFile) {
  std::vector<record> one(1);
  one[0].length = 2;
  struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"huge entry count", testkit::tlk_bytes(one, "ab", 44, 0, 0xffffffffLL)},
      {"one record too many", testkit::tlk_bytes(one, "ab", 44, 0, 2)},
      {"huge length",
       [] {
         std::vector<record> r(1);
         r[0].length = 0xffffffffu;
         return testkit::tlk_bytes(r, "ab", 44);
       }()},
      {"offset past the end",
       [] {
         std::vector<record> r(1);
         r[0].length = 2, r[0].offset = 1;
         return testkit::tlk_bytes(r, "ab", 44);
       }()},
      {"strings offset past the end", testkit::tlk_bytes(one, "ab", 0xfffffff0u)},
      // Records of empty strings, the last cut short: no string to miss.
      {"cut inside the last record",
       testkit::tlk_bytes(std::vector<record>(2), "", 70).substr(0, 54)},
  };
  for (const auto& c : cases) {
    bool loaded = true;
    auto table = load_bytes(c.bytes, loaded);
    EXPECT_FALSE(loaded) << c.what;
    EXPECT_EQ(err_, "TLK file is truncated or damaged.\n") << c.what;
    EXPECT_TRUE(table->entries().empty()) << c.what;
  }
}

TEST_F(TalkTable, ReportsAMissingFileAndADirectory) {
  ie_res_talk table;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(table.load(dir_.file("missing.tlk")));
  EXPECT_FALSE(table.load(dir_.path().string()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "TLK file couldn't be opened for reading.\n"
            "TLK file couldn't be opened for reading.\n");
  EXPECT_TRUE(table.entries().empty());
}

TEST_F(TalkTable, TheLoadingConstructorLeavesAFailedTableEmpty) {
  testkit::write_bytes(path_, "not a table at all");
  ::testing::internal::CaptureStderr();
  ie_res_talk table(path_);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Stream is not a valid TLK V1 resource.\n");
  EXPECT_TRUE(table.entries().empty());
}

TEST_F(TalkTable, SavingATableWhoseLoadFailedWritesTheEntriesItHolds) {
  std::string bytes = testkit::packed_tlk({"a", "b"});
  bool loaded = true;
  auto table = load_bytes(bytes.substr(0, bytes.size() - 1), loaded);
  ASSERT_FALSE(loaded);
  EXPECT_EQ(table->entry_count(), 2u) << "the header still announces two";
  std::string other = dir_.file("other.tlk");
  ASSERT_TRUE(table->save(other));
  EXPECT_EQ(testkit::read_bytes(other), testkit::packed_tlk({}));
}

TEST_F(TalkTable, SavesOverTheFileItLoadedEvenWhenTheNewFileIsShorter) {
  bool loaded = false;
  auto table = load_bytes(testkit::packed_tlk({"a long first string", "and a second"}), loaded);
  ASSERT_TRUE(loaded);
  table->entry(0)->set_text("short");
  table->entry(1)->set_text("");
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), testkit::packed_tlk({"short", ""}));
  // Saved again: the layout is laid out afresh each time.
  table->entry(1)->set_text("back");
  ASSERT_TRUE(table->save(path_));
  EXPECT_EQ(testkit::read_bytes(path_), testkit::packed_tlk({"short", "back"}));
}

// Offsets and the strings' start are four bytes: a table whose texts add up
// past 4 GiB cannot be saved, and nothing is written. Records that name one
// string share it, so the table costs 64 KiB of memory.
TEST_F(TalkTable, ATableOfMoreThanFourGibibytesOfTextIsNotSaved) {
  std::vector<testkit::record> records(65537);
  for (testkit::record& r : records) r.length = 65536;
  const std::string bytes = testkit::tlk_bytes(records, std::string(65536, 'w'), 18 + 26 * 65537);
  bool loaded = false;
  auto table = load_bytes(bytes, loaded);
  ASSERT_TRUE(loaded);
  ::testing::internal::CaptureStderr();
  bool saved = table->save(path_);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "TLK file couldn't be written.\n");
  ASSERT_FALSE(saved);
  EXPECT_EQ(testkit::read_bytes(path_), bytes);
}

TEST_F(TalkTable, AFailedSaveLeavesTheFileAsItWasAndSaysSo) {
  bool loaded = false;
  std::string original = testkit::packed_tlk({"keep me"});
  auto table = load_bytes(original, loaded);
  ASSERT_TRUE(loaded);

  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(table->save(dir_.file("no-such-dir/dialog.tlk")));
  EXPECT_FALSE(table->save(dir_.path().string()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "TLK file couldn't be opened for writing.\n"
            "TLK file couldn't be opened for writing.\n");

#ifndef _WIN32
  // A file-size limit makes the write fail part-way.
  table->entry(0)->set_text(std::string(200000, 'x'));
  rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &small);
  ::testing::internal::CaptureStderr();
  bool saved = table->save(path_);
  std::string err = ::testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(saved);
  EXPECT_EQ(err, "TLK file couldn't be written.\n");
  EXPECT_EQ(testkit::read_bytes(path_), original);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
#endif
}

#ifndef _WIN32
TEST_F(TalkTable, SavingKeepsPermissionBitsAndSymbolicLinks) {
  testkit::write_bytes(path_, testkit::packed_tlk({"x"}));
  chmod(path_.c_str(), 0600);
  fs::create_symlink(path_, dir_.path() / "link.tlk");
  auto table = std::make_unique<ie_res_talk>();
  ASSERT_TRUE(table->load(dir_.file("link.tlk")));
  table->entry(0)->set_text("y");
  ASSERT_TRUE(table->save(dir_.file("link.tlk")));
  EXPECT_TRUE(fs::is_symlink(dir_.path() / "link.tlk"));
  EXPECT_EQ(testkit::read_bytes(path_), testkit::packed_tlk({"y"}));
  struct stat status;
  ASSERT_EQ(stat(path_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
}
#endif

TEST_F(TalkTable, NewEntriesCarryDefaultFieldsAndTheirTexts) {
  ie_res_talk table;
  table.add_entry("first")->set_sound("VOICE");
  table.add_entry(std::string("a\0b", 3));
  ASSERT_TRUE(table.save(path_));
  bool loaded = false;
  auto again = load_bytes(testkit::read_bytes(path_), loaded);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(again->language(), 0);
  EXPECT_EQ(texts(*again), (std::vector<std::string>{"first", "a"}));
  EXPECT_EQ(again->entry(1)->length(), 3u);
  for (const ie_res_talk_entry* entry : again->entries()) {
    EXPECT_EQ(entry->flags(), 3);
    EXPECT_EQ(entry->volume_variance(), 0u);
    EXPECT_EQ(entry->pitch_variance(), 0u);
  }
  EXPECT_EQ(std::memcmp(again->entry(0)->sound(), "VOICE\0\0\0", 8), 0);
}

// Random valid tables, strings scattered and shared: a load and a save give
// the packed layout, and loading that gives the same texts.
TEST_F(TalkTable, RandomTablesSurviveALoadAndASave) {
  std::mt19937 random(11);
  for (int round = 0; round < 200; ++round) {
    std::string pool;
    int pool_size = static_cast<int>(random() % 200);
    for (int i = 0; i < pool_size; ++i) pool.push_back(static_cast<char>(random() % 256));
    int count = static_cast<int>(random() % 12);
    std::vector<record> records(count);
    std::vector<std::string> expected;
    for (record& r : records) {
      r.offset = pool.empty() ? 0 : static_cast<std::uint32_t>(random() % pool.size());
      r.length = static_cast<std::uint32_t>(random() % (pool.size() - r.offset + 1));
      std::string stored = pool.substr(r.offset, r.length);
      expected.push_back(stored.substr(0, stored.find('\0')));
    }
    bool loaded = false;
    auto table = load_bytes(testkit::tlk_bytes(records, pool, 18 + 26 * count), loaded);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(texts(*table), expected);
    for (ie_res_talk_entry* entry : table->entries()) entry->set_text(entry->text());
    ASSERT_TRUE(table->save(path_));
    ASSERT_EQ(testkit::read_bytes(path_), testkit::packed_tlk(expected));
  }
}

}  // namespace
