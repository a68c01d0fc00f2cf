// SPDX-License-Identifier: MIT
#include "common/writer_lock.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <thread>
#include <vector>

#include "common/command.h"
#include "common/file_names.h"
#include "common/file_save.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

// How long a run waits before it says that it waits.
constexpr auto k_long_wait = std::chrono::seconds(1);

}  // namespace

writer_lock::~writer_lock() { release(); }

#ifdef _WIN32

namespace {

// The mutex's name for the file `name` leads to, empty when there is no
// such regular file. Two names of one file (a link, another case, a path
// through another folder) lead to one final path; upper case stands for
// the case folding of the file system. The path is hashed, since a mutex's
// name may hold no backslash and no more than MAX_PATH characters.
std::wstring mutex_name(const std::string& name) {
  HANDLE file = CreateFileW(wide_name(name).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION information;
  bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                 GetFileInformationByHandle(file, &information) &&
                 (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  std::vector<wchar_t> path(32768);
  DWORD size = regular
                   ? GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                               FILE_NAME_NORMALIZED | VOLUME_NAME_DOS)
                   : 0;
  CloseHandle(file);
  if (!regular) return {};
  if (size == 0 || size >= path.size()) {
    size = GetFullPathNameW(wide_name(name).c_str(), static_cast<DWORD>(path.size()), path.data(),
                            nullptr);
    if (size == 0 || size >= path.size()) return {};
  }
  CharUpperBuffW(path.data(), size);
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (DWORD i = 0; i < size; ++i) {
    hash ^= static_cast<std::uint16_t>(path[i]);
    hash *= 1099511628211ull;
  }
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring tag;
  for (int i = 0; i < 16; ++i, hash >>= 4) tag += digits[hash & 15];
  return L"lexkit-writer-" + tag;
}

// Every session's runs see a mutex of the global namespace; a system that
// refuses it there gets one of the session's own.
HANDLE make_mutex(const std::wstring& name) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str());
  if (mutex == nullptr) mutex = CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str());
  return mutex;
}

HANDLE open_mutex(const std::wstring& name) {
  HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, (L"Global\\" + name).c_str());
  if (mutex == nullptr) mutex = OpenMutexW(SYNCHRONIZE, FALSE, (L"Local\\" + name).c_str());
  return mutex;
}

}  // namespace

writer_lock::result writer_lock::take(const std::string& name,
                                      const std::function<void()>& on_long_wait) {
  release();
  std::wstring key = mutex_name(name);
  if (key.empty()) return result::no_file;
  HANDLE mutex = make_mutex(key);
  if (mutex == nullptr) return result::unsupported;
  auto wait_ms = static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(k_long_wait).count());
  DWORD waited = WaitForSingleObject(mutex, wait_ms);
  if (waited == WAIT_TIMEOUT) {
    if (on_long_wait) on_long_wait();
    waited = WaitForSingleObject(mutex, INFINITE);
  }
  // An abandoned mutex is one whose holder died: it is this run's now.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return result::unsupported;
  }
  mutex_ = mutex;
  return result::held;
}

void writer_lock::release() {
  if (mutex_ == nullptr) return;
  ReleaseMutex(static_cast<HANDLE>(mutex_));
  CloseHandle(static_cast<HANDLE>(mutex_));
  mutex_ = nullptr;
}

bool writer_lock::held_elsewhere(const std::string& name) {
  std::wstring key = mutex_name(name);
  if (key.empty()) return false;
  HANDLE mutex = open_mutex(key);
  if (mutex == nullptr) return false;
  DWORD waited = WaitForSingleObject(mutex, 0);
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) ReleaseMutex(mutex);
  CloseHandle(mutex);
  return waited == WAIT_TIMEOUT;
}

#else

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

#endif

std::optional<std::string> start_writing(const std::string& name, writer_lock& lock) {
  writer_lock::result taken = lock.take(name, [&name] {
    flush_standard_output();
    std::cerr << "Waiting for another run to finish with '" << name << "' ..." << std::endl;
  });
  if (taken == writer_lock::result::unsupported) {
    flush_standard_output();
    std::cerr << "The file system cannot lock '" << name
              << "' against other runs; going on without." << std::endl;
  }
  // Looked for only under the lock: a writer's own backup is gone before it
  // lets go.
  std::vector<std::string> backups = leftover_backups(name);
  if (backups.empty()) return std::nullopt;
  return "Cannot proceed, '" + backups.front() + "' holds the bytes of '" + name +
         "' from before a save that was cut short; keep the one you want and delete the other.";
}

void warn_of_cut_save(const std::string& name) {
  std::vector<std::string> backups = leftover_backups(name);
  if (backups.empty() || writer_lock::held_elsewhere(name)) return;
  // The writer may have finished, and removed its backup, since the look.
  backups = leftover_backups(name);
  if (backups.empty()) return;
  flush_standard_output();
  std::cerr << "Warning: '" << backups.front() << "' holds the bytes of '" << name
            << "' from before a save that was cut short; '" << name << "' may be damaged."
            << std::endl;
}
