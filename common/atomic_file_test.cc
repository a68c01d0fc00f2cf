#include "common/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/testkit.h"

namespace fs = std::filesystem;

namespace {

std::size_t files_in(const fs::path& dir) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(AtomicFile, CreatesANewFileOnCommit) {
  testkit::scratch_dir dir;
  std::string name = dir.file("new.tlk");
  {
    atomic_file file(name);
    ASSERT_TRUE(file.open());
    file.write("hello ");
    file.write("world");
    EXPECT_FALSE(fs::exists(name)) << "nothing may appear before the commit";
    ASSERT_TRUE(file.commit());
  }
  EXPECT_EQ(testkit::read_bytes(name), "hello world");
  EXPECT_EQ(files_in(dir.path()), 1u);
}

TEST(AtomicFile, LeavesTheTargetAloneWithoutACommit) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  testkit::write_bytes(name, "old content");
  {
    atomic_file file(name);
    ASSERT_TRUE(file.open());
    file.write("new");
  }
  EXPECT_EQ(testkit::read_bytes(name), "old content");
  EXPECT_EQ(files_in(dir.path()), 1u) << "the temporary file must be removed";
}

TEST(AtomicFile, ReplacesAnExistingFileAndKeepsItsPermissionBits) {
  testkit::scratch_dir dir;
  std::string name = dir.file("table.tlk");
  testkit::write_bytes(name, "a much longer old content");
  ASSERT_EQ(chmod(name.c_str(), 0640), 0);
  atomic_file file(name);
  ASSERT_TRUE(file.open());
  file.write("short");
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(testkit::read_bytes(name), "short");
  struct stat status;
  ASSERT_EQ(stat(name.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(AtomicFile, ReplacesTheFileBehindASymbolicLink) {
  testkit::scratch_dir dir;
  fs::create_directory(dir.path() / "real");
  std::string real = dir.file("real/table.tlk");
  testkit::write_bytes(real, "old");
  fs::create_symlink("real/table.tlk", dir.path() / "link.tlk");

  atomic_file file(dir.file("link.tlk"));
  ASSERT_TRUE(file.open());
  file.write("new");
  ASSERT_TRUE(file.commit());
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.tlk"));
  EXPECT_EQ(testkit::read_bytes(real), "new");
  EXPECT_EQ(files_in(dir.path() / "real"), 1u);
}

TEST(AtomicFile, CannotOpenInAMissingDirectoryOrOverADirectory) {
  testkit::scratch_dir dir;
  atomic_file in_missing(dir.file("no/such/dir/file"));
  EXPECT_FALSE(in_missing.open());
  EXPECT_FALSE(in_missing.commit());
  fs::create_directory(dir.path() / "sub");
  atomic_file over_directory(dir.file("sub"));
  EXPECT_FALSE(over_directory.open());
  EXPECT_TRUE(fs::is_directory(dir.path() / "sub"));
}

TEST(AtomicFile, WritesADeviceInPlace) {
  atomic_file file("/dev/null");
  ASSERT_TRUE(file.open());
  file.write("discarded");
  EXPECT_TRUE(file.commit());
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(AtomicFile, ReportsAFullDeviceOnCommit) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  atomic_file file("/dev/full");
  ASSERT_TRUE(file.open());
  file.write(std::string(100000, 'x'));
  EXPECT_FALSE(file.commit());
}

}  // namespace
