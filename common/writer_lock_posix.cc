// SPDX-License-Identifier: MIT
#include "common/writer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

// A descriptor of the regular file `name` leads to, on which to lock it;
// -1 when there is none. Locking needs no access to the bytes, so a file
// this run may only write is opened for writing, never truncated.
int open_to_lock(const std::string& name) {
  constexpr int k_flags = O_NOCTTY | O_CLOEXEC | O_NONBLOCK;
  int fd = ::open(name.c_str(), O_RDONLY | k_flags);
  if (fd < 0 && errno == EACCES) fd = ::open(name.c_str(), O_WRONLY | k_flags);
  if (fd < 0) return -1;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool unsupported_here(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS ||
         error == EINVAL;
}

// Whether `fd` still is the file that `name` leads to.
bool still_named(int fd, const std::string& name) {
  struct stat open_file, named;
  return ::fstat(fd, &open_file) == 0 && ::stat(name.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

}  // namespace

writer_lock::result writer_lock::take(const std::string& name,
                                      const std::function<void()>& on_long_wait) {
  release();
  const auto start = std::chrono::steady_clock::now();
  bool told = false;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int fd = open_to_lock(name);
    if (fd < 0) return result::no_file;
    // Asked without blocking, so that the run can say that it waits; the
    // pause between asks grows to a twentieth of a second.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) {
        int error = errno;
        ::close(fd);
        return unsupported_here(error) ? result::unsupported : result::no_file;
      }
      if (!told && std::chrono::steady_clock::now() - start >= k_long_wait) {
        told = true;
        if (on_long_wait) on_long_wait();
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    // The run that held the lock may have renamed a new file over this
    // one: then the new file is the one to lock and read.
    if (still_named(fd, name)) {
      fd_ = fd;
      return result::held;
    }
    ::close(fd);
  }
}

void writer_lock::release() {
  if (fd_ < 0) return;
  ::close(fd_);  // which lets go of the lock
  fd_ = -1;
}

bool writer_lock::held_elsewhere(const std::string& name) {
  int fd = open_to_lock(name);
  if (fd < 0) return false;
  bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}
