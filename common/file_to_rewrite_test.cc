// SPDX-License-Identifier: MIT
#include "common/file_to_rewrite.h"

#include <gtest/gtest.h>

#include <thread>

#include "testing/testkit.h"

namespace {

// Asked from another thread: a Windows mutex is its owner thread's.
bool held(const std::string& name) {
  bool result = false;
  std::thread([&] { result = writer_lock::held_elsewhere(name); }).join();
  return result;
}

// A run that rewrites two files (a table and its female twin) holds both
// at once; `check` holds nothing, so that a run can look at its other
// inputs before it waits; each file is held until its object goes, or
// until its save has put a new file in its place.
TEST(FileToRewrite, HoldsEachOfTwoFilesFromTakeUntilItGoes) {
  testkit::scratch_dir dir;
  const std::string first = dir.put("dialog.tlk", "old");
  const std::string second = dir.put("dialogf.tlk", "old f");
  file_to_rewrite::options settings;
  settings.missing_message = "missing";
  {
    file_to_rewrite male, female;
    ASSERT_TRUE(male.check(first, settings).ok());
    EXPECT_FALSE(held(first));
    ASSERT_TRUE(male.take().ok());
    ASSERT_TRUE(female.open(second, settings).ok());
    EXPECT_TRUE(held(first));
    EXPECT_TRUE(held(second));
    file_save& save = male.save();
    ASSERT_TRUE(save.open());
    save.write("new");
    ASSERT_TRUE(save.commit());
    EXPECT_EQ(testkit::read_bytes(first), "new");
    EXPECT_TRUE(held(second));
  }
  EXPECT_FALSE(held(first));
  EXPECT_FALSE(held(second));

  file_to_rewrite refused;
  outcome missing = refused.open(dir.file("none.tlk"), settings);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.message(), "missing");
  // A backup left beside the file refuses it, and nothing stays held.
  dir.put("dialog.tlk.backup-0123abcd", "older");
  outcome backup = refused.open(first, settings);
  ASSERT_FALSE(backup.ok());
  EXPECT_NE(backup.message().find("dialog.tlk.backup-0123abcd"), std::string::npos);
  EXPECT_FALSE(held(first));
}

}  // namespace
