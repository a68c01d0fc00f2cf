// SPDX-License-Identifier: MIT
#include "common/writer_lock.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "testing/run_program.h"
#include "testing/testkit.h"

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// Two writers of one file, as two runs would be (two threads hold the lock
// as two processes do: by file description, or by mutex owner on Windows).
// The second waits, and is told so, until the first lets go, and then holds
// the lock of the file that the first run's save renamed over the name.
TEST(WriterLock, ASecondWriterWaitsForTheFirstAndThenLocksTheFileItSaved) {
  testkit::scratch_dir dir;
  std::string name = dir.put("table.tlk", "old");
  writer_lock first;
  ASSERT_EQ(first.take(name, nullptr), writer_lock::result::held);
  // Every name of the file shares its lock: a hard link in another folder.
  fs::create_directory(dir.path() / "mods");
  fs::create_hard_link(name, dir.path() / "mods" / "table.tlk");
  // (Asked from another thread: a Windows mutex is its owner thread's.)
  bool link_held = false;
  std::thread([&] { link_held = writer_lock::held_elsewhere(dir.file("mods/table.tlk")); }).join();
  EXPECT_TRUE(link_held);

  std::atomic<bool> told{false}, second_holds{false}, looked{false};
  std::thread second_run([&] {
    writer_lock second;
    EXPECT_EQ(second.take(name, [&] { told = true; }), writer_lock::result::held);
    second_holds = true;
    while (!looked) std::this_thread::sleep_for(1ms);
  });
  std::this_thread::sleep_for(1500ms);
  EXPECT_FALSE(second_holds);
  EXPECT_TRUE(told);
  fs::rename(dir.put("new.tlk", "new"), name);
  first.release();
  while (!second_holds) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(writer_lock::held_elsewhere(name));
  looked = true;
  second_run.join();
  EXPECT_FALSE(writer_lock::held_elsewhere(name));

  // A file that does not exist yet needs no lock, and gets no file.
  writer_lock none;
  EXPECT_EQ(none.take(dir.file("new.model"), nullptr), writer_lock::result::no_file);
  EXPECT_FALSE(fs::exists(dir.file("new.model")));
}

#ifndef _WIN32
// A model that its user may write but not read (mode 0200) is still one
// that `wordloom -s` rewrites, so it is locked all the same.
TEST(WriterLock, AFileThatMayOnlyBeWrittenIsLockedToo) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can act as another user here";
  testkit::scratch_dir dir;
  std::string name = dir.put("model.txt", "[a:b1\n");
  ASSERT_EQ(chown(name.c_str(), testkit::k_other_uid, testkit::k_other_uid), 0);
  ASSERT_EQ(chmod(name.c_str(), 0200), 0);
  pid_t child = fork();
  if (child == 0) {
    if (setegid(testkit::k_other_uid) != 0 || seteuid(testkit::k_other_uid) != 0) _exit(2);
    writer_lock lock;
    _exit(lock.take(name, nullptr) == writer_lock::result::held ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
