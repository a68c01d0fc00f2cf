// SPDX-License-Identifier: MIT
#include "common/writer_lock.h"

#include <windows.h>

#include <chrono>
#include <cstdint>

#include "common/file_names.h"

namespace {

// The mutex's name for the file `name` leads to, empty when there is no
// such regular file. Every name of one file (a hard link in another folder,
// a symbolic link, another case, a path through another folder) leads to
// the one volume serial number and file index that the name is made of.
std::wstring mutex_name(const std::string& name) {
  HANDLE file = CreateFileW(wide_name(name).c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION information;
  bool regular = GetFileType(file) == FILE_TYPE_DISK &&
                 GetFileInformationByHandle(file, &information) &&
                 (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(file);
  if (!regular) return {};
  std::uint64_t index =
      (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring tag;
  for (int i = 0; i < 8; ++i)
    tag += digits[(information.dwVolumeSerialNumber >> (28 - 4 * i)) & 15];
  tag += L'-';
  for (int i = 0; i < 16; ++i) tag += digits[(index >> (60 - 4 * i)) & 15];
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
  bool told = false;
  for (;;) {
    std::wstring key = mutex_name(name);
    if (key.empty()) return result::no_file;
    HANDLE mutex = make_mutex(key);
    if (mutex == nullptr) return result::unsupported;
    auto wait_ms = static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(k_long_wait).count());
    DWORD waited = WaitForSingleObject(mutex, told ? INFINITE : wait_ms);
    if (waited == WAIT_TIMEOUT) {
      told = true;
      if (on_long_wait) on_long_wait();
      waited = WaitForSingleObject(mutex, INFINITE);
    }
    // An abandoned mutex is one whose holder died: it is this run's now.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
      CloseHandle(mutex);
      return result::unsupported;
    }
    // The run that held it may have renamed a new file over this one, which
    // is another file with a mutex of its own: that is the one to take.
    if (mutex_name(name) == key) {
      mutex_ = mutex;
      return result::held;
    }
    ReleaseMutex(mutex);
    CloseHandle(mutex);
  }
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
