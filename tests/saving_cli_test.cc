// SPDX-License-Identifier: MIT
// Saving over the user's file as users and the other accounts of a machine
// meet it: lexswap's table and wordloom's model must be written only where
// writing them in place would be allowed, and must come out as the same
// file with new bytes (owner, links, permissions, attributes), with nothing
// left beside them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "testing/run_program.h"

namespace fs = std::filesystem;

namespace {

using testkit::run;

struct stat status_of(const std::string& name) {
  struct stat status {};
  stat(name.c_str(), &status);
  return status;
}

std::size_t files_in(const fs::path& dir) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

class Saving : public ::testing::Test {
 protected:
  void SetUp() override {
    testkit::write_bytes(table_, old_table_);
    testkit::write_bytes(rules_, "old = new\n");
  }

  // A folder that the unprivileged user may write, so that only the file's
  // own permissions stand between it and a save.
  void open_folder_to_others() {
    if (geteuid() == 0) {
      ASSERT_EQ(chown(dir_.path().c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
    }
  }

  // Whether the programs can be run without root's powers here: as another
  // user, they must be reachable by that user (a clone in root's home is
  // not).
  static bool unprivileged_runs_work() {
    testkit::run_options unprivileged;
    unprivileged.unprivileged = true;
    return testkit::can_run_unprivileged() && run(LEXSWAP, {}, unprivileged).status == 0;
  }

  testkit::scratch_dir dir_;
  std::string table_ = dir_.file("dialog.tlk");
  std::string rules_ = dir_.file("rules.txt");
  std::string old_table_ = testkit::packed_tlk({"the old words", "old"});
  std::string new_table_ = testkit::packed_tlk({"the new words", "new"});
};

TEST_F(Saving, AReadOnlyTableOrModelIsRefusedAndKeptAsItWas) {
  if (!testkit::under_wine() && !unprivileged_runs_work())
    GTEST_SKIP() << "root, and user " << testkit::k_other_uid
                 << " cannot run the programs here (no setpriv, no such user, or no way in)";
  open_folder_to_others();
  std::string model = dir_.file("model.txt");
  std::string words = dir_.file("words.txt");
  testkit::write_bytes(model, "[a:b1\n");
  testkit::write_bytes(words, "cab\n");
  // The user's own files in the user's own folder: nothing but their
  // read-only mode stands in the way.
  if (geteuid() == 0) {
    ASSERT_EQ(chown(table_.c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
    ASSERT_EQ(chown(model.c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
  }
  ASSERT_EQ(chmod(table_.c_str(), 0444), 0);
  ASSERT_EQ(chmod(model.c_str(), 0444), 0);
  testkit::run_options unprivileged;
  unprivileged.unprivileged = true;

  testkit::run_result result = run(LEXSWAP, {table_, rules_}, unprivileged);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be opened for writing.\n");
  EXPECT_EQ(testkit::read_bytes(table_), old_table_);

  result = run(WORDLOOM, {"-r", words, "-s", model, "-c", "0"}, unprivileged);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Cannot save model, file '" + model + "' couldn't be written.\n");
  EXPECT_EQ(testkit::read_bytes(model), "[a:b1\n");

  // As the female table of a pair: the table beside it stays as it was,
  // and nothing of the pair's save is left behind.
  const std::string male = dir_.put("male.tlk", old_table_);
  const std::string po = dir_.put("de.po", "msgctxt \"1\"\nmsgid \"old\"\nmsgstr \"new\"\n");
  if (geteuid() == 0) {
    ASSERT_EQ(chown(male.c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
  }
  result =
      run(LEXPORT, {"import", male, po, "--female", table_, "--encoding", "cp1252"}, unprivileged);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be opened for writing.\nNeither table was changed: '" +
                            table_ + "' cannot be saved where it is.\n");
  EXPECT_EQ(testkit::read_bytes(male), old_table_);

  EXPECT_EQ(status_of(table_).st_mode & 07777, 0444u);
  EXPECT_EQ(status_of(model).st_mode & 07777, 0444u);
  EXPECT_EQ(files_in(dir_.path()), 6u);
}

// The table of another user that this user may write through its group: the
// save rewrites it, and it still belongs to its owner.
TEST_F(Saving, AnotherUsersTableKeepsItsOwnerAndGroup) {
  if (testkit::under_wine()) GTEST_SKIP() << "Windows has no owners of this kind";
  if (geteuid() != 0 || !unprivileged_runs_work())
    GTEST_SKIP() << "needs root to make a file of another user, and user " << testkit::k_other_uid
                 << " able to run the programs";
  open_folder_to_others();
  ASSERT_EQ(chown(table_.c_str(), 0, testkit::k_other_uid), 0);
  ASSERT_EQ(chmod(table_.c_str(), 0664), 0);
  testkit::run_options unprivileged;
  unprivileged.unprivileged = true;
  testkit::run_result result = run(LEXSWAP, {table_, rules_}, unprivileged);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(testkit::read_bytes(table_), new_table_);
  struct stat status = status_of(table_);
  EXPECT_EQ(status.st_uid, 0u);
  EXPECT_EQ(status.st_gid, testkit::k_other_uid);
  EXPECT_EQ(status.st_mode & 07777, 0664u);
  EXPECT_EQ(files_in(dir_.path()), 2u) << "the backup is removed";
}

TEST_F(Saving, AHardLinkedTableChangesUnderBothNames) {
  std::string other = dir_.file("copy-for-the-game.tlk");
  fs::create_hard_link(table_, other);
  testkit::run_result result = run(LEXSWAP, {table_, rules_});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(testkit::read_bytes(table_), new_table_);
  EXPECT_EQ(testkit::read_bytes(other), new_table_);
  EXPECT_EQ(files_in(dir_.path()), 3u);
}

#ifdef __linux__
// The file's access control list in the kernel's form: the owner, user
// k_other_uid, the group and the others, the mask letting the group write.
std::string access_list() {
  std::string bytes;
  auto put = [&](std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  };
  put(2, 4);  // version
  const std::uint32_t nobody = 0xffffffff;
  const std::uint32_t entries[][3] = {{0x01, 6, nobody},
                                      {0x02, 6, testkit::k_other_uid},
                                      {0x04, 4, nobody},
                                      {0x10, 6, nobody},
                                      {0x20, 4, nobody}};
  for (const auto& entry : entries) {
    put(entry[0], 2);
    put(entry[1], 2);
    put(entry[2], 4);
  }
  return bytes;
}

std::string attribute(const std::string& file, const char* name) {
  char value[256];
  ssize_t size = getxattr(file.c_str(), name, value, sizeof value);
  return size < 0 ? "<none>" : std::string(value, static_cast<std::size_t>(size));
}

TEST_F(Saving, TheTablesAccessListAndUserAttributesAreKept) {
  if (testkit::under_wine()) GTEST_SKIP() << "Windows keeps no Linux attributes";
  const std::string note = "translated by the guild";
  if (setxattr(table_.c_str(), "user.note", note.data(), note.size(), 0) != 0)
    GTEST_SKIP() << "no user.* attributes on this file system: " << std::strerror(errno);
  std::string list = access_list();
  if (setxattr(table_.c_str(), "system.posix_acl_access", list.data(), list.size(), 0) != 0)
    GTEST_SKIP() << "no access control lists on this file system: " << std::strerror(errno);
  mode_t mode = status_of(table_).st_mode & 07777;

  testkit::run_result result = run(LEXSWAP, {table_, rules_});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(testkit::read_bytes(table_), new_table_);
  EXPECT_EQ(attribute(table_, "user.note"), note);
  EXPECT_EQ(attribute(table_, "system.posix_acl_access"), list);
  EXPECT_EQ(status_of(table_).st_mode & 07777, mode);
}
#endif

TEST_F(Saving, ATableWithTheLongestNameASystemAllows) {
  if (testkit::under_wine()) GTEST_SKIP() << "Windows paths stop at 260 characters";
  std::string table = dir_.file(std::string(251, 'n') + ".tlk");
  testkit::write_bytes(table, old_table_);
  fs::create_hard_link(table, dir_.file("short.tlk"));
  // Both ways through the save: a rename, and in place with a backup.
  for (int round = 0; round < 2; ++round) {
    testkit::write_bytes(table, old_table_);
    testkit::run_result result = run(LEXSWAP, {table, rules_});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(testkit::read_bytes(table), new_table_);
    fs::remove(dir_.file("short.tlk"));
  }
  EXPECT_EQ(files_in(dir_.path()), 3u);
}

// Writes that fail part-way and folders that cannot be written.
const std::string k_fault_table = testkit::packed_tlk({"First words", "", "Second, and more", "x"});

TEST_F(Saving, ASaveThatFailsPartWayLeavesTheModelFileWhole) {
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
TEST_F(Saving, ARewriteInPlaceThatFailsPartWayPutsTheTableBack) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  std::string rules = dir.file("rules.txt");
  testkit::write_bytes(table, k_fault_table);
  fs::create_hard_link(table, dir.file("linked.tlk"));
  testkit::write_bytes(rules, "words = " + std::string(20000, 'w') + "\n");
  testkit::run_options limited;
  limited.file_size_limit = 8192;
  testkit::run_result result = run(LEXSWAP, {table, rules}, limited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be written.\n");
  EXPECT_EQ(testkit::read_bytes(table), k_fault_table);
  EXPECT_EQ(testkit::read_bytes(dir.file("linked.tlk")), k_fault_table);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

// A table the user may write, in a folder the user may not: there is no
// room beside it for a new file or a backup, so it is not saved at all.
TEST_F(Saving, AFolderWithoutWritePermissionKeepsTheTable) {
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
  testkit::write_bytes(table, k_fault_table);
  testkit::write_bytes(rules, "words = things\n");
  if (geteuid() == 0) {
    ASSERT_EQ(chown(table.c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
  }
  chmod((dir.path() / "locked").c_str(), 0555);
  testkit::run_result result = run(LEXSWAP, {table, rules}, unprivileged);
  chmod((dir.path() / "locked").c_str(), 0755);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "TLK file couldn't be opened for writing.\n");
  EXPECT_EQ(testkit::read_bytes(table), k_fault_table);
}

// Holds a file's writers' lock as another run of the kit would (`flock`).
class held_lock {
 public:
  explicit held_lock(const std::string& file) : fd_(open(file.c_str(), O_RDONLY | O_CLOEXEC)) {
    EXPECT_EQ(flock(fd_, LOCK_EX), 0);
  }
  ~held_lock() { release(); }
  void release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// A run that saves a file waits while another holds it, then works on what
// that run saved: by a new file renamed over the table, by the table
// rewritten in place (a hard link), and a model loaded and saved over
// itself. Without the wait the second run's save would drop the first's.
TEST_F(Saving, ASecondRunWaitsForTheFirstAndWorksOnWhatItSaved) {
  if (testkit::under_wine()) GTEST_SKIP() << "Windows runs take turns through a named mutex";
  std::string words = dir_.put("words.txt", "ab\n");
  std::string model = dir_.file("model.txt");
  std::string expected_model = dir_.file("expected.txt");
  const std::string first_table = testkit::packed_tlk({"the older words", "old"});
  const std::string first_model = "[c:d1\ncd:]1\n";
  for (int round = 0; round < 3; ++round) {
    std::string target = round < 2 ? table_ : model;
    testkit::write_bytes(target, round < 2 ? old_table_ : "[x:y1\nxy:]1\n");
    if (round == 1) fs::create_hard_link(table_, dir_.file("linked.tlk"));
    held_lock lock(target);
    testkit::run_result result;
    std::thread second([&] {
      result = round < 2 ? run(LEXSWAP, {table_, rules_})
                         : run(WORDLOOM, {"-l", model, "-r", words, "-s", model, "-c", "0"});
    });
    // Long enough for the second run to say that it waits.
    std::this_thread::sleep_for(std::chrono::milliseconds(round == 0 ? 2500 : 300));
    std::string first_saved = round < 2 ? first_table : first_model;
    if (round == 1) {
      testkit::write_bytes(target, first_saved);
    } else {
      fs::rename(dir_.put("saved", first_saved), target);
    }
    lock.release();
    second.join();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    if (round == 0) {
      EXPECT_EQ(result.err, "Waiting for another run to finish with '" + table_ + "' ...\n");
    }
    if (round < 2) {
      EXPECT_EQ(testkit::read_bytes(table_), testkit::packed_tlk({"the newer words", "new"}));
    } else {
      testkit::write_bytes(expected_model, first_model);
      run(WORDLOOM, {"-l", expected_model, "-r", words, "-s", expected_model, "-c", "0"});
      EXPECT_EQ(testkit::read_bytes(model), testkit::read_bytes(expected_model));
    }
  }
}

// A backup beside a file is what a rewrite in place cut short (`kill -9`,
// a power cut) leaves: the file may be damaged, and only the user can tell
// which of the two to keep. Writers refuse to go on; readers warn and go
// on, but not while a writer holds the lock, whose save made the backup.
TEST_F(Saving, ABackupLeftBesideAFileStopsWritersAndWarnsReaders) {
  const std::string damaged = testkit::packed_tlk({"the new", "old"});
  testkit::write_bytes(table_, damaged);
  std::string backup = dir_.put("dialog.tlk.backup-0123abcd", old_table_);
  auto cut_short = [](const std::string& kept, const std::string& file) {
    return "'" + kept + "' holds the bytes of '" + file + "' from before a save that was cut short";
  };
  testkit::run_result result = run(LEXSWAP, {table_, rules_});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Cannot proceed, " + cut_short(backup, table_) +
                            "; keep the one you want and delete the other.\n");
  EXPECT_EQ(testkit::read_bytes(table_), damaged);
  // Through a symbolic link in another folder, the backup beside the table
  // it leads to counts.
  if (!testkit::under_wine()) {
    fs::create_directory(dir_.path() / "mods");
    fs::create_symlink(table_, dir_.path() / "mods" / "dialog.tlk");
    result = run(LEXSWAP, {dir_.file("mods/dialog.tlk"), rules_});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.out.find("holds the bytes of"), std::string::npos) << result.out;
    EXPECT_EQ(testkit::read_bytes(table_), damaged);
  }

  result = run(LEXGLEAN, {table_});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "new\nold\nthe\n");
  EXPECT_EQ(result.err,
            "Warning: " + cut_short(backup, table_) + "; '" + table_ + "' may be damaged.\n");
  if (!testkit::under_wine()) {
    held_lock writer(table_);
    EXPECT_EQ(run(LEXGLEAN, {table_}).err, "");
  }
  result = run(LEXPORT, {"export", table_, "-o", dir_.file("dialog.po")});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "Warning: " + cut_short(backup, table_) + "; '" + table_ + "' may be damaged.\n");

  std::string model = dir_.put("model.txt", "[a:b1\n");
  std::string model_backup = dir_.put("model.txt.backup-89abcdef", "[a:c1\n");
  result = run(WORDLOOM, {"-r", dir_.put("words.txt", "cab\n"), "-s", model, "-c", "0"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Cannot proceed, " + cut_short(model_backup, model) +
                            "; keep the one you want and delete the other.\n");
  EXPECT_EQ(testkit::read_bytes(model), "[a:b1\n");

  // Near the system's 255-byte limit the backup's name is cut short.
  if (testkit::under_wine()) return;
  std::string long_table = dir_.put(std::string(251, 'n') + ".tlk", old_table_);
  std::string long_backup = dir_.put(std::string(239, 'n') + ".backup-0123abcd", old_table_);
  result = run(LEXSWAP, {long_table, rules_});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.out.find(cut_short(long_backup, long_table)), std::string::npos) << result.out;
}

// A rewrite in place that dies half-way (here killed as it syncs the new
// bytes) leaves its backup beside the name it was given only; through
// another link, in another folder, the table itself says that it is no
// whole table, so no program reads it or saves it as one.
TEST_F(Saving, ARewriteCutShortIsRefusedThroughEveryName) {
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "strace follows only this system's own programs";
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace is not installed, or may not trace here";
  fs::create_directory(dir_.path() / "mods");
  const std::string other = dir_.file("mods/dialog.tlk");
  fs::create_hard_link(table_, other);
  // The backup's sync, the folder's, the unfinished mark's, then the new
  // bytes': the fourth.
  testkit::run_result result = run(
      "strace", {"-f", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e", "trace=fsync",
                 "-e", "inject=fsync:signal=SIGKILL:when=4", LEXSWAP, table_, rules_});
  ASSERT_NE(result.status, 0);
  ASSERT_EQ(files_in(dir_.path()), 4u) << "the table, its backup, the rules and mods/";
  const std::string cut = testkit::read_bytes(other);
  ASSERT_NE(cut, old_table_);

  const std::string refusal = "Stream is not a valid TLK V1 resource.\nA rewrite of '" + other +
                              "' was cut short: its old bytes are in a backup named like the "
                              "table, with '.backup-' and eight hex digits after it, beside the "
                              "name that run was given.\n";
  std::string po = dir_.put("fr.po", "msgctxt \"0\"\nmsgid \"old\"\nmsgstr \"new\"\n");
  for (const auto& args :
       {std::vector<std::string>{LEXGLEAN, other}, std::vector<std::string>{LEXSWAP, other, rules_},
        std::vector<std::string>{LEXPORT, "export", other},
        std::vector<std::string>{LEXPORT, "import", other, po}}) {
    result = run(args.front(), std::vector<std::string>(args.begin() + 1, args.end()));
    EXPECT_EQ(result.status, 1) << args[1];
    EXPECT_EQ(result.err.substr(0, refusal.size()), refusal) << args[1];
    EXPECT_EQ(testkit::read_bytes(other), cut);
  }
}

// A table and its female table are saved together: killed between the two
// commits, a run leaves one saved and the other not, and every later writer
// of the pair says which holds what, rather than take it for one table
// whose save was cut short.
TEST_F(Saving, AKillBetweenTwoTablesSavedTogetherIsReportedByTheNextRun) {
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "strace follows only this system's own programs";
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace is not installed, or may not trace here";
  const std::string female = dir_.put("dialogf.tlk", old_table_);
  const std::string po = dir_.put("de.po", "msgctxt \"1\"\nmsgid \"old\"\nmsgstr \"new\"\n");
  // The record's rename, the table's, then the female table's: the third.
  testkit::run_result result =
      run("strace", {"-f", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e",
                     "trace=rename", "-e", "inject=rename:signal=SIGKILL:when=3", LEXPORT, "import",
                     table_, po, "--female", female, "--encoding", "cp1252"});
  ASSERT_NE(result.status, 0);
  const std::string saved = testkit::packed_tlk({"the old words", "new"});
  ASSERT_EQ(testkit::read_bytes(table_), saved);
  ASSERT_EQ(testkit::read_bytes(female), old_table_);

  const std::string record = table_ + ".lexkit-pair";
  const std::string report = "Cannot proceed, a lexport import into '" + table_ + "' and '" +
                             female + "' was cut short ('" + record + "' says so): '" + table_ +
                             "' was saved, and '";
  for (const auto& args : {std::vector<std::string>{LEXPORT, "import", table_, po, "--female",
                                                    female, "--encoding", "cp1252"},
                           std::vector<std::string>{LEXSWAP, table_, rules_}}) {
    result = run(args.front(), std::vector<std::string>(args.begin() + 1, args.end()));
    EXPECT_EQ(result.status, 1) << args[1];
    const std::string err = result.out + result.err;
    EXPECT_EQ(err.substr(0, report.size()), report) << err;
    EXPECT_NE(err.find("' holds its old bytes; '" + female + "' holds its old bytes, as '" +
                       female + ".backup-"),
              std::string::npos)
        << err;
    EXPECT_EQ(testkit::read_bytes(table_), saved);
    EXPECT_EQ(testkit::read_bytes(female), old_table_);
  }
}

// A disk that fails every sync from some point of a rewrite in place on
// cannot take the old bytes back either: they stay in the backup, and the
// message names it, whether the sync failed as the save began or as it
// ended.
TEST_F(Saving, OldBytesThatCannotBePutBackAreNamedWhereTheyAre) {
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "strace follows only this system's own programs";
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace is not installed, or may not trace here";
  fs::create_hard_link(table_, dir_.file("linked.tlk"));
  // The backup's sync, the folder's, the unfinished mark's, the new bytes'.
  for (const char* from : {"3+", "4+"}) {
    SCOPED_TRACE(from);
    testkit::write_bytes(table_, old_table_);
    testkit::run_result result =
        run("strace",
            {"-f", "-o", "/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e", "trace=fsync",
             "-e", std::string("inject=fsync:error=EIO:when=") + from, LEXSWAP, table_, rules_});
    EXPECT_EQ(result.status, 1);
    std::vector<std::string> backups;
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      if (entry.path().filename().string().starts_with("dialog.tlk.backup-"))
        backups.push_back(dir_.file(entry.path().filename().string()));
    ASSERT_EQ(backups.size(), 1u) << result.err;
    EXPECT_EQ(testkit::read_bytes(backups[0]), old_table_);
    EXPECT_NE(result.err.find("\nThe old table is kept in '" + backups[0] + "'.\n"),
              std::string::npos)
        << result.err;
    fs::remove(backups[0]);
  }
}

// The system calls of a save, as strace sees them, one letter each: F a
// file synced, D the folder synced, R the rename over the table, B the
// backup named, U the backup removed.
std::string save_calls(const std::string& trace, const std::string& folder) {
  std::string calls;
  std::istringstream lines(testkit::read_bytes(trace));
  for (std::string line; std::getline(lines, line);) {
    if (line.find("fsync(") != std::string::npos) {
      calls += line.find("<" + folder + ">") != std::string::npos ? 'D' : 'F';
    } else if (line.find("rename") != std::string::npos) {
      calls += 'R';
    } else if (line.find(".backup-") != std::string::npos) {
      calls += line.find("unlink") != std::string::npos ? 'U' : 'B';
    }
  }
  return calls;
}

// Only a power cut shows a sync left out, so the order of the calls is
// checked instead: the new bytes are synced before the rename puts them
// under the table's name, the backup before it gets its name; in place,
// the unfinished mark before the first new byte, the rest of the new bytes
// before the true signature, that before the backup goes; and the folder
// after each change of names.
TEST_F(Saving, EveryFileIsSyncedBeforeItIsNamedAndTheFolderAfter) {
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "strace follows only this system's own programs";
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace is not installed, or may not trace here";
  const std::string trace = dir_.file("trace.txt");
  const std::string folder = fs::canonical(dir_.path()).string();
  auto traced = [&] {
    testkit::write_bytes(table_, old_table_);
    // LeakSanitizer cannot work under a tracer: the sanitizer build's runs
    // leave it out.
    testkit::run_result result =
        run("strace", {"-f", "-y", "-o", trace, "-E", "ASAN_OPTIONS=detect_leaks=0", "-e",
                       "trace=fsync,fdatasync,rename,renameat,renameat2,linkat,unlink,unlinkat",
                       LEXSWAP, table_, rules_});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(testkit::read_bytes(table_), new_table_);
    return save_calls(trace, folder);
  };
  EXPECT_EQ(traced(), "FRD") << "a new file renamed over the table";
  fs::create_hard_link(table_, dir_.file("linked.tlk"));
  EXPECT_EQ(traced(), "FBDFFFUD") << "the table rewritten in place";
}

// `wordloom -s /dev/stdout > out.txt`: the model and then the words.
TEST_F(Saving, AModelSavedToStandardOutputComesBeforeTheWords) {
  if (testkit::under_wine() || !fs::exists("/dev/stdout")) GTEST_SKIP() << "no /dev/stdout here";
  std::string words = dir_.file("words.txt");
  std::string out = dir_.file("out.txt");
  testkit::write_bytes(words, "ab\nabb\n");
  testkit::write_bytes(out, "");
  testkit::run_options to_file;
  to_file.stdout_file = out;
  testkit::run_result result =
      run(WORDLOOM, {"-r", words, "-s", "/dev/stdout", "-c", "3"}, to_file);
  EXPECT_EQ(result.status, 0);
  std::string model = "[a:b2\nab:]1,b1\nbb:]1\n";
  std::string written = testkit::read_bytes(out);
  EXPECT_EQ(written.substr(0, model.size()), model);
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 6);
  EXPECT_TRUE(fs::is_regular_file(out));
}

}  // namespace
