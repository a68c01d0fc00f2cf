// SPDX-License-Identifier: MIT
#include "common/save_system.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "common/file_names.h"

namespace save_system {

bool look_at(const std::string& path, file_facts& facts) {
  DWORD attributes = GetFileAttributesW(wide_name(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  facts.exists = true;
  facts.attributes = attributes;
  facts.directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.regular = !facts.directory && (attributes & FILE_ATTRIBUTE_DEVICE) == 0;
  if (facts.regular) {
    HANDLE handle = CreateFileW(wide_name(path).c_str(), 0,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    bool known = GetFileInformationByHandle(handle, &information) != 0;
    CloseHandle(handle);
    if (!known) return false;
    facts.links = information.nNumberOfLinks;
    facts.size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    facts.device = information.dwVolumeSerialNumber;
    facts.number = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  }
  return true;
}

// Under wine run as root the open succeeds on a read-only file, so the
// attribute is looked at too.
bool writable_in_place(const std::string& path, const file_facts& facts) {
  if (facts.attributes & FILE_ATTRIBUTE_READONLY) return false;
  int fd = _wopen(wide_name(path).c_str(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return false;
  _close(fd);
  return true;
}

int standard_output_if(const file_facts&) { return -1; }

// Others may delete the file while it is open, which is what the console
// handler needs.
int create_new_file(const std::string& path, unsigned) {
  HANDLE handle = CreateFileW(wide_name(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return -1;
  }
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), 0);
  if (fd < 0) {
    CloseHandle(handle);
    return -1;
  }
  _setmode(fd, _O_BINARY);
  return fd;
}

int create_unnamed(const std::string&, unsigned) { return -1; }

bool name_unnamed(int, const std::string&) { return false; }

int open_existing(const std::string& path, bool for_writing) {
  return _wopen(wide_name(path).c_str(), (for_writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
}

int duplicate(int fd) { return _dup(fd); }

void close_fd(int fd) { _close(fd); }

bool remove_file(const std::string& path) { return DeleteFileW(wide_name(path).c_str()) != 0; }

bool rename_to_new_name(const std::string& from, const std::string& to) {
  if (MoveFileExW(wide_name(from).c_str(), wide_name(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return true;
  DWORD error = GetLastError();
  errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST : EACCES;
  return false;
}

bool replace_file(const std::string& from, const std::string& to) {
  return MoveFileExW(wide_name(from).c_str(), wide_name(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool sync_fd(int fd) { return _commit(fd) == 0; }

// MoveFileEx was asked to write through.
void sync_folder(const std::string&) {}

bool truncate_fd(int fd, std::uint64_t size) {
  return _chsize_s(fd, static_cast<__int64>(size)) == 0;
}

bool copy_bytes(int from, int to, char* block, std::size_t size) {
  for (;;) {
    int got = _read(from, block, static_cast<unsigned>(size));
    if (got < 0) return false;
    if (got == 0) return true;
    const char* next = block;
    auto left = static_cast<std::size_t>(got);
    while (left > 0) {
      int put = _write(to, next, static_cast<unsigned>(left));
      if (put <= 0) return false;
      next += put;
      left -= static_cast<std::size_t>(put);
    }
  }
}

bool write_at(int fd, std::uint64_t offset, std::string_view bytes) {
  if (_lseeki64(fd, static_cast<__int64>(offset), SEEK_SET) < 0) return false;
  while (!bytes.empty()) {
    int put = _write(fd, bytes.data(), static_cast<unsigned>(bytes.size()));
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

bool lock_rewrite(int fd, bool exclusive, bool wait) {
  auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  OVERLAPPED at{};
  at.OffsetHigh = 1u << 30;  // byte 2^62, as on POSIX systems
  DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
  if (LockFileEx(handle, flags, 0, 1, 0, &at)) return true;
  DWORD error = GetLastError();
  errno = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? EWOULDBLOCK : ENOLCK;
  return false;
}

std::FILE* open_stream(int fd) { return _fdopen(fd, "wb"); }

int stream_fd(std::FILE* stream) { return _fileno(stream); }

std::uint64_t stream_position(std::FILE* stream) {
  return static_cast<std::uint64_t>(_ftelli64(stream));
}

unsigned private_mode(const file_facts&) { return 0; }

bool make_like(int, const std::string&, const file_facts&) { return true; }

bool give_new_file_mode(int) { return true; }

// Attributes belong to a name, so the new file takes them once it has the
// old one's.
void after_replace(const std::string& path, const file_facts& old) {
  file_facts now;
  if (old.attributes != 0 && look_at(path, now))
    SetFileAttributesW(wide_name(path).c_str(), static_cast<DWORD>(old.attributes));
}

// --- Signals -------------------------------------------------------------------

namespace {

// The name the console handler removes, in UTF-16, for the handler runs on
// a thread of its own: a name is written to the slot not in use, then
// published.
std::atomic<const wchar_t*> g_remove_on_signal{nullptr};
std::wstring g_slots[2];
int g_slot = 0;
std::atomic<bool> g_holding{false};
std::atomic<bool> g_held_event{false};

BOOL WINAPI on_console_event(DWORD) {
  if (g_holding.load()) {
    g_held_event = true;
    return TRUE;
  }
  if (const wchar_t* path = g_remove_on_signal.load()) DeleteFileW(path);
  return FALSE;  // the next handler ends the process, as it would have
}

}  // namespace

void remove_on_signal(const std::string* path) {
  if (path == nullptr) {
    g_remove_on_signal = nullptr;
    return;
  }
  g_slot ^= 1;
  g_slots[g_slot] = wide_name(*path);
  g_remove_on_signal = g_slots[g_slot].c_str();
}

void catch_signals() { SetConsoleCtrlHandler(on_console_event, TRUE); }

void hold_signals() { g_holding = true; }

void release_signals() {
  remove_on_signal(nullptr);
  SetConsoleCtrlHandler(on_console_event, FALSE);
  bool held = g_holding.exchange(false) && g_held_event.exchange(false);
  if (held) ExitProcess(STATUS_CONTROL_C_EXIT);
}

int without_signals(const std::function<int()>& step) { return step(); }

}  // namespace save_system
