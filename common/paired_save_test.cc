// SPDX-License-Identifier: MIT
#include "common/paired_save.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "common/file_names.h"
#include "testing/testkit.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir))
    names.insert(name_of(entry.path().filename()));
  return names;
}

// Both or neither, whichever way each file is saved (by rename, or in place
// where it has a second link): a second commit that fails gives the first
// file its old bytes back, and nothing is left beside either.
TEST(PairedSave, TheSecondFailingPutsTheFirstBack) {
  for (bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "in place" : "by rename");
    testkit::scratch_dir dir;
    const std::string first = dir.put("dialog.tlk", "old male");
    const std::string second = dir.put("dialogf.tlk", "old female");
    if (in_place) fs::create_hard_link(first, dir.file("link.tlk"));
    std::set<std::string> before = names_in(dir.path());
    file_save::options keep;
    keep.keep_old_bytes = true;
    {
      paired_save pair(first, second, "a test of");
      file_save one(first, keep), other(second, keep);
      ASSERT_TRUE(pair.begin());
      ASSERT_TRUE(one.open());
      ASSERT_TRUE(other.open());
      one.write("new male");
      other.write("new female");
      ASSERT_TRUE(pair.commit(one, other));
    }
    EXPECT_EQ(testkit::read_bytes(first), "new male");
    EXPECT_EQ(testkit::read_bytes(second), "new female");
    EXPECT_EQ(names_in(dir.path()), before);

    {
      paired_save pair(first, second, "a test of");
      file_save one(first, keep), other(second, keep);
      ASSERT_TRUE(pair.begin());
      ASSERT_TRUE(one.open());
      ASSERT_TRUE(other.open());
      one.write("newer male");
      other.write("newer female");
      // Nothing can be renamed over a folder that holds a file.
      fs::remove(second);
      fs::create_directory(second);
      dir.put("dialogf.tlk/x", "");
      EXPECT_FALSE(pair.commit(one, other));
    }
    EXPECT_EQ(testkit::read_bytes(first), "new male");
    EXPECT_EQ(names_in(dir.path()), before);
  }
}

}  // namespace
