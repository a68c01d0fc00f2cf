// SPDX-License-Identifier: MIT
#include "common/side_task.h"

#include <system_error>
#include <utility>

side_task::side_task(std::function<void()> work) : work_(std::move(work)) {
  if (std::thread::hardware_concurrency() < 2) return;
  try {
    thread_ = std::thread([this] {
      try {
        work_();
      } catch (...) {
        error_ = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: the work runs in `wait`, on the caller's.
  }
}

side_task::~side_task() {
  if (thread_.joinable()) thread_.join();
}

void side_task::wait() {
  if (thread_.joinable()) {
    thread_.join();
    if (error_) std::rethrow_exception(error_);
  } else if (work_) {
    std::function<void()> work = std::move(work_);
    work_ = nullptr;
    work();
  }
}
