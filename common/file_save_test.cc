// SPDX-License-Identifier: MIT
#include "common/file_save.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <set>
#include <thread>

#include "common/code_page.h"
#include "common/save_system.h"
#include "common/text_lines.h"
#include "testing/testkit.h"

namespace fs = std::filesystem;

namespace {
// Set, every allocation fails: the memory a save has when it has run out.
std::atomic<bool> g_out_of_memory{false};
}  // namespace

// gcc takes the pair for a mismatch where it inlines them; they match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (g_out_of_memory) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace {

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

unsigned mode_of(const std::string& name) {
  struct stat status;
  if (stat(name.c_str(), &status) != 0) return 01000000;
  return status.st_mode & 07777;
}

// Runs `body` in a child process and returns how it ended: its exit status,
// or 128 + the signal that ended it.
int in_child(const std::function<void()>& body) {
  pid_t child = fork();
  if (child == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

file_save::options named_temporary() {
  file_save::options settings;
  settings.unnamed_temporary = false;
  return settings;
}

TEST(FileSave, CreatesANewFileOnCommitWithTheModeOfAPlainCreate) {
  for (mode_t mask : {mode_t{027}, mode_t{0}}) {
    testkit::scratch_dir dir;
    std::string name = dir.file("new.tlk");
    mode_t old_mask = umask(mask);
    {
      file_save file(name);
      ASSERT_TRUE(file.open());
      file.write("hello ");
      file.write("world");
      EXPECT_FALSE(fs::exists(name)) << "nothing may appear before the commit";
      ASSERT_TRUE(file.commit());
    }
    umask(old_mask);
    EXPECT_EQ(testkit::read_bytes(name), "hello world");
    EXPECT_EQ(mode_of(name), 0664u & ~mask) << "rw-rw-r-- less the umask";
    EXPECT_EQ(names_in(dir.path()).size(), 1u);
  }
}

TEST(FileSave, LeavesTheTargetAloneWithoutACommitOnEitherWay) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  testkit::write_bytes(name, "old content");
  fs::create_hard_link(name, dir.path() / "other.tlk");
  // A second link makes the save rewrite the file in place.
  for (const std::string& target : {name, dir.file("single.tlk")}) {
    if (target != name) testkit::write_bytes(target, "old content");
    {
      file_save file(target);
      ASSERT_TRUE(file.open());
      file.write(std::string(3000000, 'n'));
    }
    EXPECT_EQ(testkit::read_bytes(target), "old content");
  }
  EXPECT_EQ(testkit::read_bytes(dir.file("other.tlk")), "old content");
  EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{"table.tlk", "other.tlk", "single.tlk"}));
}

// The checks before a save cannot foresee everything: here the target
// turns into a folder with a file in it while the save is under way, so
// the last step, the rename, fails. Both ways of naming the temporary file.
TEST(FileSave, ARenameThatFailsIsAFailedSaveAndLeavesNothingBehind) {
  for (const file_save::options& settings : {file_save::options{}, named_temporary()}) {
    testkit::scratch_dir dir;
    std::string name = dir.file("table.tlk");
    testkit::write_bytes(name, "old content");
    file_save file(name, settings);
    ASSERT_TRUE(file.open());
    file.write("new content");
    fs::remove(name);
    fs::create_directory(name);
    testkit::write_bytes(dir.file("table.tlk/inside"), "kept");
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(testkit::read_bytes(dir.file("table.tlk/inside")), "kept");
    EXPECT_EQ(names_in(dir.path()), std::set<std::string>{"table.tlk"});
  }
}

TEST(FileSave, ReplacesAnExistingFileAndKeepsItsPermissionBits) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  testkit::write_bytes(name, "a much longer old content");
  ASSERT_EQ(chmod(name.c_str(), 0640), 0);
  file_save file(name);
  ASSERT_TRUE(file.open());
  file.write("short");
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(testkit::read_bytes(name), "short");
  EXPECT_EQ(mode_of(name), 0640u);
}

TEST(FileSave, AHardLinkedFileIsRewrittenForBothNames) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  testkit::write_bytes(name, "a much longer old content");
  fs::create_hard_link(name, dir.path() / "other.tlk");
  file_save file(name);
  ASSERT_TRUE(file.open());
  file.write("new");
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(testkit::read_bytes(name), "new");
  EXPECT_EQ(testkit::read_bytes(dir.file("other.tlk")), "new");
  EXPECT_EQ(names_in(dir.path()).size(), 2u) << "the backup is removed";
}

TEST(FileSave, ReplacesTheFileBehindASymbolicLink) {
  testkit::scratch_dir dir;
  fs::create_directory(dir.path() / "real");
  std::string real = dir.file("real/table.tlk");
  testkit::write_bytes(real, "old");
  fs::create_symlink("real/table.tlk", dir.path() / "link.tlk");

  file_save file(dir.file("link.tlk"));
  ASSERT_TRUE(file.open());
  file.write("new");
  ASSERT_TRUE(file.commit());
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.tlk"));
  EXPECT_EQ(testkit::read_bytes(real), "new");
  EXPECT_EQ(names_in(dir.path() / "real").size(), 1u);
}

TEST(FileSave, RefusesWhatCannotBeWrittenAsAFile) {
  testkit::scratch_dir dir;
  file_save in_missing(dir.file("no/such/dir/file"));
  EXPECT_FALSE(in_missing.open());
  EXPECT_FALSE(in_missing.commit());
  fs::create_directory(dir.path() / "sub");
  file_save over_directory(dir.file("sub"));
  EXPECT_FALSE(over_directory.open());
  EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
  file_save device("/dev/null");
  EXPECT_FALSE(device.open()) << "a table is never a device";
}

TEST(FileSave, WritesADeviceInPlaceWhenAskedAndReportsAFullOne) {
  file_save::options settings;
  settings.write_special_files = true;
  file_save null_device("/dev/null", settings);
  ASSERT_TRUE(null_device.open());
  null_device.write("discarded");
  EXPECT_TRUE(null_device.commit());
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  file_save full("/dev/full", settings);
  ASSERT_TRUE(full.open());
  full.write(std::string(100000, 'x'));
  EXPECT_FALSE(full.commit());
}

// Other users must never see a private file's bytes: while the new bytes
// are written, nothing beside the file is wider than it, whether the
// temporary file has a name or not.
TEST(FileSave, APrivateFileHasNoWiderFileBesideIt) {
  for (bool unnamed : {true, false}) {
    testkit::scratch_dir dir;
    std::string name = dir.file("private.tlk");
    testkit::write_bytes(name, "secret");
    ASSERT_EQ(chmod(name.c_str(), 0600), 0);
    file_save::options settings;
    settings.unnamed_temporary = unnamed;
    file_save file(name, settings);
    ASSERT_TRUE(file.open());
    file.write(std::string(5000000, 's'));
    for (const std::string& other : names_in(dir.path()))
      EXPECT_EQ(mode_of(dir.file(other)) & 077, 0u) << other;
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(mode_of(name), 0600u);
    EXPECT_EQ(names_in(dir.path()).size(), 1u);
  }
  // The backup of a rewrite in place holds the old bytes for this run
  // alone: it is private, however widely the file may be read.
  for (bool unnamed : {true, false}) {
    testkit::scratch_dir dir;
    std::string name = dir.file("shared.tlk");
    testkit::write_bytes(name, "old");
    ASSERT_EQ(chmod(name.c_str(), 0644), 0);
    fs::create_hard_link(name, dir.path() / "other.tlk");
    file_save::options settings;
    settings.unnamed_temporary = unnamed;
    file_save file(name, settings);
    ASSERT_TRUE(file.open());
    std::vector<std::string> backups = leftover_backups(name);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(mode_of(backups[0]), 0600u);
    ASSERT_TRUE(file.commit());
    EXPECT_TRUE(leftover_backups(name).empty());
  }
}

// A file-size limit makes the rewrite in place fail half-way: the old
// bytes are put back from the backup, which then goes.
// Until a rewrite in place is whole on disk, the file begins with the
// unfinished mark under every name, in every folder, and a reader waits for
// the rewrite rather than read it; undone, it is the old file again.
TEST(FileSave, ARewriteInPlaceIsMarkedAndWaitedForUntilItIsWhole) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  const std::string old_bytes = "TLK V1  old bytes";
  const std::string new_bytes = "TLK V1  new bytes, longer than the old";
  testkit::write_bytes(name, old_bytes);
  fs::create_directory(dir.path() / "mods");
  std::string other = dir.file("mods/table.tlk");
  fs::create_hard_link(name, other);
  file_save::options settings;
  settings.unfinished_mark = "CUT!";
  {
    file_save file(name, settings);
    ASSERT_TRUE(file.open());
    file.write("TL");
    file.write(new_bytes.substr(2));
    EXPECT_EQ(testkit::read_bytes(other), "CUT!" + old_bytes.substr(4));
    int probe = ::open(other.c_str(), O_RDONLY);
    bool locks = save_system::lock_rewrite(probe, false, false) || errno == EWOULDBLOCK;
    ::close(probe);
    file_bytes seen;
    std::thread reader;
    if (locks) reader = std::thread([&] { read_file(other, seen); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(file.commit());
    if (locks) {
      reader.join();
      EXPECT_EQ(std::string(seen), new_bytes) << "the reader waited for the whole rewrite";
    }
  }
  EXPECT_EQ(testkit::read_bytes(other), new_bytes);
  {
    file_save file(other, settings);
    ASSERT_TRUE(file.open());
    file.write("CUT short");
    EXPECT_EQ(testkit::read_bytes(name).substr(0, 4), "CUT!");
  }
  EXPECT_EQ(testkit::read_bytes(name), new_bytes);
  EXPECT_EQ(names_in(dir.path()).size(), 2u) << "no backup is left";
}

// A table's save that runs out of memory after the rewrite has begun
// unwinds through the save, which puts the old bytes back and removes its
// backup without asking for memory it would not get.
TEST(FileSave, ARewriteInPlaceUndoneForWantOfMemoryNeedsNone) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  const std::string old_bytes(3000000, 'o');
  testkit::write_bytes(name, old_bytes);
  fs::create_hard_link(name, dir.path() / "other.tlk");
  int status = in_child([&] {
    try {
      file_save file(name);
      if (!file.open()) _exit(2);
      file.write(std::string(2000000, 'n'));
      g_out_of_memory = true;
      throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
      g_out_of_memory = false;
      _exit(0);
    }
  });
  EXPECT_EQ(status, 0) << "not ended by std::terminate";
  EXPECT_TRUE(testkit::read_bytes(name) == old_bytes) << "the old bytes are back";
  EXPECT_EQ(names_in(dir.path()).size(), 2u) << "no backup is left";
}

TEST(FileSave, AFailedRewriteInPlacePutsTheOldBytesBack) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  std::string old_bytes(10000, 'o');
  testkit::write_bytes(name, old_bytes);
  fs::create_hard_link(name, dir.path() / "other.tlk");
  int status = in_child([&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{20000, 20000};
    setrlimit(RLIMIT_FSIZE, &limit);
    file_save file(name);
    if (!file.open()) _exit(2);
    file.write(std::string(3000000, 'n'));
    _exit(file.commit() ? 3 : file.kept_backup().empty() ? 0 : 4);
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testkit::read_bytes(name), old_bytes);
  EXPECT_EQ(names_in(dir.path()).size(), 2u);
}

// A run that dies in the middle of a rewrite in place (here at a file-size
// limit, whose signal ends it) leaves the old bytes in a backup that the
// next run finds, also beside a name as long as the system allows; one that
// dies while the backup is still being written leaves none, whether or not
// the system has unnamed files: a backup that is found is always whole.
TEST(FileSave, ABackupIsFoundOnlyOnceItIsWhole) {
  testkit::scratch_dir dir;
  const std::string old_bytes(10000, 'o');
  std::string accented;  // 252 bytes of two-byte characters
  while (accented.size() < 248) accented += "\xc3\xa9";
  for (const std::string& base :
       {std::string("table.tlk"), std::string(251, 'n') + ".tlk", accented + ".tlk"}) {
    for (bool unnamed : {true, false}) {
      for (rlim_t limit : {rlim_t{5000}, rlim_t{20000}}) {
        for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove(entry.path());
        std::string name = dir.file(base);
        testkit::write_bytes(name, old_bytes);
        fs::create_hard_link(name, dir.path() / "other.tlk");
        int status = in_child([&] {
          signal(SIGXFSZ, SIG_DFL);
          rlimit limits{limit, limit};
          setrlimit(RLIMIT_FSIZE, &limits);
          file_save::options settings;
          settings.unnamed_temporary = unnamed;
          file_save file(name, settings);
          if (!file.open()) _exit(2);
          file.write(std::string(30000, 'n'));
          _exit(file.commit() ? 3 : 4);
        });
        EXPECT_EQ(status, 128 + SIGXFSZ);
        std::vector<std::string> backups = leftover_backups(name);
        if (limit < old_bytes.size()) {
          EXPECT_TRUE(backups.empty()) << "unnamed " << unnamed;
        } else {
          ASSERT_EQ(backups.size(), 1u) << "unnamed " << unnamed;
          EXPECT_EQ(testkit::read_bytes(backups[0]), old_bytes);
          // A name cut short is never cut inside a character.
          EXPECT_EQ(first_non_utf8(fs::path(backups[0]).filename().string()), std::nullopt);
        }
      }
    }
  }
}

// A signal during a save ends the process as the signal would; the
// temporary file goes with it, and a rewrite in place finishes first.
TEST(FileSave, ASignalDuringASaveLeavesNoFileHalfWritten) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  testkit::write_bytes(name, "old");
  int status = in_child([&] {
    file_save file(name, named_temporary());
    if (!file.open()) _exit(2);
    file.write("new");
    raise(SIGTERM);
    _exit(3);
  });
  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(testkit::read_bytes(name), "old");
  EXPECT_EQ(names_in(dir.path()).size(), 1u) << "the temporary file is removed";

  fs::create_hard_link(name, dir.path() / "other.tlk");
  for (bool commit : {true, false}) {
    status = in_child([&] {
      file_save file(name);
      if (!file.open()) _exit(2);
      file.write(commit ? "newer" : "lost");
      raise(SIGHUP);
      if (commit && !file.commit()) _exit(3);
    });
    EXPECT_EQ(status, 128 + SIGHUP);
    EXPECT_EQ(testkit::read_bytes(dir.file("other.tlk")), "newer");
    EXPECT_EQ(names_in(dir.path()).size(), 2u) << "the backup is removed";
  }

  // Under `nohup` a SIGHUP is ignored, during the save too, on either way.
  for (bool linked : {true, false}) {
    if (!linked) fs::remove(dir.path() / "other.tlk");
    status = in_child([&] {
      signal(SIGHUP, SIG_IGN);
      file_save file(name);
      if (!file.open()) _exit(2);
      file.write("kept");
      raise(SIGHUP);
      _exit(file.commit() ? 0 : 3);
    });
    EXPECT_EQ(status, 0) << linked;
    EXPECT_EQ(testkit::read_bytes(name), "kept");
  }
}

}  // namespace
