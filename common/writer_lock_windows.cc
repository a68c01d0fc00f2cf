// SPDX-License-Identifier: MIT
#include "common/writer_lock.h"

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "common/file_names.h"

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
