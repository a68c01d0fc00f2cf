// SPDX-License-Identifier: MIT
#include "common/side_task.h"

#include <gtest/gtest.h>

#include <cstdint>

#include <atomic>
#include <stdexcept>

namespace {

TEST(SideTask, TheWorkIsDoneWhenWaitReturns) {
  std::int64_t sum = 0;
  side_task task([&sum] {
    for (std::int64_t i = 1; i <= 1000000; ++i) sum += i;
  });
  std::int64_t other = 0;
  for (std::int64_t i = 1; i <= 1000; ++i) other += i;
  task.wait();
  EXPECT_EQ(sum, 500000500000L);
  EXPECT_EQ(other, 500500L);
}

TEST(SideTask, WaitThrowsWhatTheWorkThrew) {
  side_task task([] { throw std::runtime_error("no room"); });
  EXPECT_THROW(
      {
        try {
          task.wait();
        } catch (const std::runtime_error& error) {
          EXPECT_STREQ(error.what(), "no room");
          throw;
        }
      },
      std::runtime_error);
}

TEST(SideTask, LeavingTheScopeWaitsForTheWork) {
  std::atomic<int> done{0};
  {
    side_task task([&done] { done = 1; });
  }
  // Without a second processor the work never ran, which is allowed only
  // there: wait was not called.
  if (std::thread::hardware_concurrency() > 1) {
    EXPECT_EQ(done.load(), 1);
  }
}

}  // namespace
