// SPDX-License-Identifier: MIT
// A piece of work that runs on a second thread while the caller goes on
// with another: the kit's programs use it to read two inputs at once, or to
// work on two halves of one.
#pragma once

#include <exception>
#include <functional>
#include <thread>

class side_task {
 public:
  // Starts `work` on a thread of its own where the machine has a second
  // processor and a thread can be started; otherwise `wait` runs it.
  explicit side_task(std::function<void()> work);
  // Waits for the work if it runs on its thread and `wait` was not called
  // (what it threw is then lost); work left for `wait` is not done.
  ~side_task();
  side_task(const side_task&) = delete;
  side_task& operator=(const side_task&) = delete;

  // Returns once the work has ended, and throws what it threw. Call it
  // once.
  void wait();

 private:
  std::function<void()> work_;
  std::thread thread_;
  std::exception_ptr error_;
};
