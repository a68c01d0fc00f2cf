// SPDX-License-Identifier: MIT
#include "common/file_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "common/file_names.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace fs = std::filesystem;

namespace {

// --- Names -------------------------------------------------------------------

// Follows a chain of symbolic links to the file that is really replaced, so
// that a link to the table stays a link. A dangling link yields the path it
// points at. The hop limit stops a loop of links.
std::string resolve_links(const std::string& name) {
  fs::path path = native_path(name);
  std::error_code error;
  for (int hop = 0; hop < 40 && fs::is_symlink(path, error); ++hop) {
    fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return name_of(path);
}

std::string folder_of(const std::string& path) {
  std::string folder = name_of(native_path(path).parent_path());
  return folder.empty() ? "." : folder;
}

std::string random_tag() {
  static std::mt19937_64 generator{std::random_device{}()};
  static const char digits[] = "0123456789abcdef";
  std::string tag;
  std::uint64_t bits = generator();
  for (int i = 0; i < 8; ++i, bits >>= 4) tag += digits[bits & 15];
  return tag;
}

// Short, so that it fits beside a target whose own name is as long as the
// file system allows, and hidden from a plain listing.
std::string temporary_name(const std::string& folder) {
  return name_of(native_path(folder) / native_path(".lexkit-" + random_tag()));
}

// A backup says what it holds, should a crash leave it behind: the target's
// name (cut short where it is very long), ".backup-" and eight hex digits.
constexpr std::string_view k_backup_mark = ".backup-";
constexpr std::size_t k_tag_size = 8;

// The part of a backup's name before its tag.
std::string backup_stem(const std::string& path) {
  std::string name = name_of(native_path(path).filename());
  constexpr std::size_t k_longest_name = 255;
  constexpr std::size_t k_suffix_size = k_backup_mark.size() + k_tag_size;
  if (name.size() + k_suffix_size > k_longest_name) {
    std::size_t cut = k_longest_name - k_suffix_size;
    // Not inside a character of a UTF-8 name.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80) --cut;
    name.resize(cut);
  }
  return name.append(k_backup_mark);
}

std::string backup_name(const std::string& path) {
  return name_of(native_path(folder_of(path)) / native_path(backup_stem(path) + random_tag()));
}

// --- What the target is --------------------------------------------------------

struct file_facts {
  bool exists = false;
  bool regular = false;
  bool directory = false;
  std::uint64_t size = 0;
  std::uint64_t links = 1;
#ifdef _WIN32
  DWORD attributes = 0;
#else
  struct stat status {};
#endif
};

// False when the name cannot be looked at, for a reason other than that
// nothing of that name exists.
bool look_at(const std::string& path, file_facts& facts) {
#ifdef _WIN32
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
  }
  return true;
#else
  if (::stat(path.c_str(), &facts.status) != 0) return errno == ENOENT;
  facts.exists = true;
  facts.regular = S_ISREG(facts.status.st_mode);
  facts.directory = S_ISDIR(facts.status.st_mode);
  facts.size = static_cast<std::uint64_t>(facts.status.st_size);
  facts.links = facts.status.st_nlink;
  return true;
#endif
}

// Whether the file could be written in place: it is opened for writing,
// without truncating, and closed again at once. Under wine run as root the
// open succeeds on a read-only file, so Windows looks at the attribute too.
bool writable_in_place(const std::string& path, const file_facts& facts) {
#ifdef _WIN32
  if (facts.attributes & FILE_ATTRIBUTE_READONLY) return false;
  int fd = _wopen(wide_name(path).c_str(), _O_WRONLY | _O_BINARY);
  if (fd < 0) return false;
  _close(fd);
  return true;
#else
  (void)facts;
  int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
#endif
}

// --- Descriptors -----------------------------------------------------------------

void close_fd(int fd) {
#ifdef _WIN32
  _close(fd);
#else
  ::close(fd);
#endif
}

bool remove_file(const std::string& path) {
#ifdef _WIN32
  return DeleteFileW(wide_name(path).c_str()) != 0;
#else
  return ::unlink(path.c_str()) == 0;
#endif
}

// Renames `from` to `to`, which must not exist yet (errno EEXIST if it
// does), so that a stray file of that name is never overwritten.
bool rename_to_new_name(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExW(wide_name(from).c_str(), wide_name(to).c_str(), MOVEFILE_WRITE_THROUGH))
    return true;
  DWORD error = GetLastError();
  errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? EEXIST : EACCES;
  return false;
#else
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  // A file system without hard links: a rename, once the name is seen free.
  struct stat status;
  if (::lstat(to.c_str(), &status) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Creates a file that did not exist before, so that a stray file of the
// same name is never overwritten. On Windows others may delete it while it
// is open, which is what the console handler needs.
int create_new_file(const std::string& path, unsigned mode) {
#ifdef _WIN32
  (void)mode;
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
#else
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                static_cast<mode_t>(mode));
#endif
}

int open_existing(const std::string& path, bool for_writing) {
#ifdef _WIN32
  return _wopen(wide_name(path).c_str(), (for_writing ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
#else
  return ::open(path.c_str(), (for_writing ? O_WRONLY : O_RDONLY) | O_NOCTTY | O_CLOEXEC);
#endif
}

// Some file systems (a few network mounts) cannot sync; only a real I/O
// error counts as a failed write.
bool sync_fd(int fd) {
#ifdef _WIN32
  return _commit(fd) == 0;
#else
#ifdef F_FULLFSYNC
  // On macOS fsync stops at the drive's cache.
  if (::fcntl(fd, F_FULLFSYNC) == 0) return true;
#endif
  return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
#endif
}

// Makes a rename or a removal in the folder last. By then the file itself
// is safe, so a folder that cannot be synced is no reason to call a save
// failed.
void sync_folder(const std::string& folder) {
#ifdef _WIN32
  (void)folder;  // MoveFileEx was asked to write through
#else
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  [[maybe_unused]] bool synced = sync_fd(fd);
  ::close(fd);
#endif
}

bool truncate_fd(int fd, std::uint64_t size) {
#ifdef _WIN32
  return _chsize_s(fd, static_cast<__int64>(size)) == 0;
#else
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
#endif
}

bool copy_bytes(int from, int to) {
  std::vector<char> block(std::size_t{1} << 20);
  for (;;) {
#ifdef _WIN32
    int got = _read(from, block.data(), static_cast<unsigned>(block.size()));
#else
    ssize_t got = ::read(from, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
#endif
    if (got < 0) return false;
    if (got == 0) return true;
    const char* next = block.data();
    auto left = static_cast<std::size_t>(got);
    while (left > 0) {
#ifdef _WIN32
      int put = _write(to, next, static_cast<unsigned>(left));
#else
      ssize_t put = ::write(to, next, left);
      if (put < 0 && errno == EINTR) continue;
#endif
      if (put <= 0) return false;
      next += put;
      left -= static_cast<std::size_t>(put);
    }
  }
}

// Copies the file at `from` into the open descriptor `to`, from its start,
// cut to the copied size and synced.
bool copy_file_into(const std::string& from, int to, std::uint64_t size) {
  int source = open_existing(from, false);
  if (source < 0) return false;
  bool ok = copy_bytes(source, to) && truncate_fd(to, size) && sync_fd(to);
  close_fd(source);
  return ok;
}

// --- The new file is the old one ------------------------------------------------

#ifndef _WIN32
unsigned current_umask() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

#ifdef __linux__
// The attributes that belong to the file's owner: `user.*` and its access
// control list. Other namespaces are the system's to set on a new file.
bool owners_attribute(std::string_view name) {
  return name.starts_with("user.") || name == "system.posix_acl_access";
}

// Copies the owner's extended attributes of `from` to `to`. False when one
// of them cannot be copied.
bool copy_attributes(const std::string& from, int to) {
  ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
  if (size < 0) return errno == ENOTSUP;
  std::vector<char> names(static_cast<std::size_t>(size) + 1);
  size = ::listxattr(from.c_str(), names.data(), names.size());
  if (size < 0) return false;
  for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
    std::string name(names.data() + at);
    at += name.size() + 1;
    if (!owners_attribute(name)) continue;
    ssize_t length = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
    if (length < 0) return false;
    std::vector<char> value(static_cast<std::size_t>(length) + 1);
    length = ::getxattr(from.c_str(), name.c_str(), value.data(), value.size());
    if (length < 0 ||
        ::fsetxattr(to, name.c_str(), value.data(), static_cast<std::size_t>(length), 0) != 0)
      return false;
  }
  return true;
}
#endif

// Gives the new file the old one's owner, group, attributes and permission
// bits, in that order: a change of owner clears the set-id bits, and an
// access control list sets the group bits. False when any of them cannot
// be given.
bool make_like(int fd, const std::string& old_path, const struct stat& old_status) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return false;
  if ((status.st_uid != old_status.st_uid || status.st_gid != old_status.st_gid) &&
      ::fchown(fd, old_status.st_uid, old_status.st_gid) != 0)
    return false;
#ifdef __linux__
  if (!copy_attributes(old_path, fd)) return false;
#else
  (void)old_path;
#endif
  mode_t mode = old_status.st_mode & 07777;
  return ::fchmod(fd, mode) == 0 && ::fstat(fd, &status) == 0 && (status.st_mode & 07777) == mode;
}
#endif

// --- Signals ----------------------------------------------------------------------

// What a signal handler removes before the process ends: the temporary
// file or the backup while it is being made. One save runs at a time.
std::atomic<const char*> g_remove_on_signal{nullptr};
#ifdef _WIN32
// The same name in UTF-16 for the console handler, which runs on a thread
// of its own: a name is written to the slot not in use, then published.
std::atomic<const wchar_t*> g_remove_on_signal_wide{nullptr};
std::wstring g_wide_slots[2];
int g_wide_slot = 0;
#endif

// Names the file that a signal removes; none with nullptr.
void remove_on_signal(const std::string* path) {
  g_remove_on_signal = path != nullptr ? path->c_str() : nullptr;
#ifdef _WIN32
  if (path == nullptr) {
    g_remove_on_signal_wide = nullptr;
    return;
  }
  g_wide_slot ^= 1;
  g_wide_slots[g_wide_slot] = wide_name(*path);
  g_remove_on_signal_wide = g_wide_slots[g_wide_slot].c_str();
#endif
}

#ifdef _WIN32
std::atomic<bool> g_holding{false};
std::atomic<bool> g_held_event{false};

BOOL WINAPI on_console_event(DWORD) {
  if (g_holding.load()) {
    g_held_event = true;
    return TRUE;
  }
  if (const wchar_t* path = g_remove_on_signal_wide.load()) DeleteFileW(path);
  return FALSE;  // the next handler ends the process, as it would have
}

void catch_signals() { SetConsoleCtrlHandler(on_console_event, TRUE); }
void hold_signals() { g_holding = true; }
void release_signals() {
  remove_on_signal(nullptr);
  SetConsoleCtrlHandler(on_console_event, FALSE);
  bool held = g_holding.exchange(false) && g_held_event.exchange(false);
  if (held) ExitProcess(STATUS_CONTROL_C_EXIT);
}
#else
constexpr int k_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_old_actions[3];
bool g_caught = false;
bool g_held = false;
sigset_t g_old_mask;

sigset_t save_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : k_signals) sigaddset(&set, number);
  return set;
}

extern "C" void on_signal(int number) {
  if (const char* path = g_remove_on_signal.load()) ::unlink(path);
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(number, &plain, nullptr);
  // Blocked while the handler runs: it ends the process on return.
  raise(number);
}

void catch_signals() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  action.sa_mask = save_signals();
  for (int i = 0; i < 3; ++i) {
    sigaction(k_signals[i], nullptr, &g_old_actions[i]);
    // A signal the user chose to ignore (nohup) stays ignored.
    if (g_old_actions[i].sa_handler != SIG_IGN) sigaction(k_signals[i], &action, nullptr);
  }
  g_caught = true;
}

void hold_signals() {
  sigset_t set = save_signals();
  pthread_sigmask(SIG_BLOCK, &set, &g_old_mask);
  g_held = true;
}

// A signal that came while they were held takes effect here.
void release_signals() {
  remove_on_signal(nullptr);
  if (g_caught) {
    for (int i = 0; i < 3; ++i) sigaction(k_signals[i], &g_old_actions[i], nullptr);
    g_caught = false;
  }
  if (g_held) {
    pthread_sigmask(SIG_SETMASK, &g_old_mask, nullptr);
    g_held = false;
  }
}
#endif

// Runs `step` with the save's signals blocked, so that a handler never
// sees a file half-way between made and named to it.
template <typename Step>
auto unsplit(Step step) {
#ifndef _WIN32
  sigset_t set = save_signals();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  auto result = step();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  return result;
#else
  return step();
#endif
}

// Creates a new file under a name from `make_name` (tried again while the
// name is taken) and names it to the signal handlers. Returns its
// descriptor, or -1 with `path` empty.
template <typename Names>
int create_named(std::string& path, unsigned mode, Names make_name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = make_name();
    int fd = unsplit([&] {
      int made = create_new_file(path, mode);
      if (made >= 0) remove_on_signal(&path);
      return made;
    });
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  path.clear();
  return -1;
}

#ifdef O_TMPFILE
// A file without a name in `folder`, which `kill -9` cannot leave behind;
// -1 where the file system cannot make one, or where it could never be
// linked: that goes through its name under /proc.
int create_unnamed(const std::string& folder, unsigned mode) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd >= 0 && ::access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) != 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
}

// Gives the unnamed file `fd` a name from `make_name` and names it to the
// signal handlers. A user without privileges can link it only through
// /proc (AT_EMPTY_PATH needs a capability). Returns false, with `path`
// empty, when it cannot be linked.
template <typename Names>
bool link_unnamed(int fd, std::string& path, Names make_name) {
  std::string proc_name = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = make_name();
    bool linked = unsplit([&] {
      bool made =
          ::linkat(AT_FDCWD, proc_name.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
      if (made) remove_on_signal(&path);
      return made;
    });
    if (linked) return true;
    if (errno != EEXIST) break;
  }
  path.clear();
  return false;
}
#endif

// A new file in `folder` for the save's bytes: without a name where the
// system allows it and `unnamed` asks for it (`path` is then left empty),
// else under a name from `make_name`. -1 when neither can be made.
template <typename Names>
int create_private(const std::string& folder, unsigned mode, bool unnamed, std::string& path,
                   Names make_name) {
#ifdef O_TMPFILE
  if (unnamed) {
    int fd = create_unnamed(folder, mode);
    if (fd >= 0) return fd;
  }
#else
  (void)folder;
  (void)unnamed;
#endif
  return create_named(path, mode, make_name);
}

// Never wider than the target, and private whatever the target allows.
unsigned private_mode([[maybe_unused]] const file_facts& target) {
#ifdef _WIN32
  return 0;
#else
  return target.exists ? 0600 & target.status.st_mode : 0600;
#endif
}

}  // namespace

// --- The save -------------------------------------------------------------------

file_save::file_save(std::string target) : file_save(std::move(target), options{}) {}

file_save::file_save(std::string target, options settings)
    : target_(std::move(target)), settings_(settings) {}

file_save::~file_save() { discard(); }

bool file_save::open() {
  if (route_ != route::none || target_.empty()) return false;
  file_facts facts;
  if (!look_at(target_, facts) || facts.directory) return false;

  if (facts.exists && !facts.regular) {
    if (!settings_.write_special_files) return false;
    // A device, a FIFO or a terminal cannot be replaced by a rename; it is
    // written in place, as a stream.
    return open_stream(open_existing(target_, true));
  }
#ifndef _WIN32
  // `wordloom -s /dev/stdout > out.txt`: reopening the name would write the
  // model over the words that follow it, so both go through one descriptor.
  struct stat output;
  if (settings_.write_special_files && facts.exists && ::fstat(1, &output) == 0 &&
      output.st_dev == facts.status.st_dev && output.st_ino == facts.status.st_ino)
    return open_stream(::dup(1));
#endif

  final_path_ = resolve_links(target_);
  folder_ = folder_of(final_path_);
  if (facts.exists && !writable_in_place(final_path_, facts)) return false;
  old_size_ = facts.size;
#ifdef _WIN32
  old_attributes_ = facts.exists ? facts.attributes : 0;
#endif
  // Each way sets the signal handlers up afresh: a way that failed may have
  // let them go, and the backup of a rewrite in place must not be made
  // without them.
  bool opened = false;
  if (facts.links <= 1) {
    catch_signals();
    opened = open_for_rename(facts.exists);
    if (!opened) release_signals();
  }
  if (!opened && facts.exists) {
    catch_signals();
    opened = open_in_place();
    if (!opened) release_signals();
  }
  return opened;
}

bool file_save::open_stream(int fd) {
  if (fd < 0) return false;
  route_ = route::stream;
  if (start_buffered(fd)) return true;
  route_ = route::none;
  return false;
}

bool file_save::start_buffered(int fd) {
#ifdef _WIN32
  file_ = _fdopen(fd, "wb");
#else
  file_ = ::fdopen(fd, "wb");
#endif
  if (file_ == nullptr) {
    close_fd(fd);
    return false;
  }
  // A buffer of our own: given none, the C library keeps to its own size
  // (4 KiB here), a write call for every 4 KiB of the table.
  constexpr std::size_t k_buffer_size = std::size_t{1} << 20;
  buffer_.reset(new char[k_buffer_size]);
  std::setvbuf(file_, buffer_.get(), _IOFBF, k_buffer_size);
  return true;
}

// The new bytes go to a temporary file that already is what the target is,
// but for its content. False when it cannot be made so; the caller then
// rewrites the target in place.
bool file_save::open_for_rename(bool exists) {
  file_facts old;
  if (exists && !look_at(final_path_, old)) return false;
  int fd = create_private(folder_, private_mode(old), settings_.unnamed_temporary, temp_path_,
                          [&] { return temporary_name(folder_); });
  if (fd < 0) return false;
#ifndef _WIN32
  bool alike = exists ? make_like(fd, final_path_, old.status)
                      : ::fchmod(fd, static_cast<mode_t>(0664 & ~current_umask())) == 0;
  if (!alike) {
    ::close(fd);
    discard();
    return false;
  }
#endif
  route_ = route::rename;
  if (temp_path_.empty()) {
    // The unnamed file is linked from its descriptor, which stays open.
    temp_fd_ = ::dup(fd);
    if (temp_fd_ < 0) {
      close_fd(fd);
      route_ = route::none;
      return false;
    }
  }
  if (start_buffered(fd)) return true;
  discard();
  return false;
}

// Rewrites the target itself, after a synced backup of its old bytes.
bool file_save::open_in_place() {
  file_facts old;
  if (!look_at(final_path_, old) || !old.regular) return false;
  old_size_ = old.size;
  // A backup beside a file tells later runs that a rewrite of it was cut
  // short, so it gets its backup name only once it holds the whole of the
  // old bytes, synced: until then it has no name, or a temporary one.
  int backup = create_private(folder_, private_mode(old), settings_.unnamed_temporary, temp_path_,
                              [&] { return temporary_name(folder_); });
  if (backup < 0) return false;
  bool whole = copy_file_into(final_path_, backup, old_size_);
  // From here the target may not be whole: a signal waits until it is.
  if (whole) hold_signals();
#ifdef O_TMPFILE
  if (whole && temp_path_.empty())
    whole = link_unnamed(backup, backup_path_, [&] { return backup_name(final_path_); });
#endif
  close_fd(backup);
  if (whole && !temp_path_.empty()) whole = rename_to_backup();
  remove_on_signal(nullptr);
  int fd = -1;
  if (whole) {
    sync_folder(folder_);
    fd = open_existing(final_path_, true);
  }
  route_ = route::in_place;
  if (fd >= 0 && start_buffered(fd)) return true;
  if (!temp_path_.empty()) remove_file(temp_path_);
  temp_path_.clear();
  if (!backup_path_.empty()) remove_file(backup_path_);
  backup_path_.clear();
  route_ = route::none;
  release_signals();
  return false;
}

// Gives the whole backup, written under a temporary name, its backup name.
bool file_save::rename_to_backup() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    backup_path_ = backup_name(final_path_);
    if (rename_to_new_name(temp_path_, backup_path_)) {
      remove_on_signal(nullptr);
      temp_path_.clear();
      return true;
    }
    if (errno != EEXIST) break;
  }
  backup_path_.clear();
  return false;
}

void file_save::write(std::string_view bytes) { write(bytes.data(), bytes.size()); }

void file_save::write(const void* bytes, std::size_t size) {
  if (file_ == nullptr || failed_ || size == 0) return;
  if (std::fwrite(bytes, 1, size, file_) != size) failed_ = true;
}

bool file_save::commit() {
  if (file_ == nullptr || committed_) return false;
  bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
  switch (route_) {
    case route::stream:
      ok = std::fclose(file_) == 0 && ok;
      file_ = nullptr;
      break;
    case route::rename: ok = ok && finish_rename(); break;
    case route::in_place: ok = ok && finish_in_place(); break;
    case route::none: ok = false; break;
  }
  if (!ok) {
    discard();
    return false;
  }
  committed_ = true;
  route_ = route::none;
  release_signals();
  return true;
}

bool file_save::finish_rename() {
  int fd =
#ifdef _WIN32
      _fileno(file_);
#else
      fileno(file_);
#endif
  bool ok = sync_fd(fd);
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok) return false;
#ifdef O_TMPFILE
  if (temp_path_.empty()) {
    // Linked under a short dot-name first: a rename is the only way to put
    // a file over an existing one.
    bool linked = link_unnamed(temp_fd_, temp_path_, [&] { return temporary_name(folder_); });
    ::close(temp_fd_);
    temp_fd_ = -1;
    if (!linked) return false;
  }
#endif
#ifdef _WIN32
  bool renamed = MoveFileExW(wide_name(temp_path_).c_str(), wide_name(final_path_).c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  bool renamed = ::rename(temp_path_.c_str(), final_path_.c_str()) == 0;
#endif
  if (!renamed) return false;
  remove_on_signal(nullptr);
  temp_path_.clear();
#ifdef _WIN32
  file_facts now;
  if (old_attributes_ != 0 && look_at(final_path_, now))
    SetFileAttributesW(wide_name(final_path_).c_str(), old_attributes_);
#endif
  sync_folder(folder_);
  return true;
}

bool file_save::finish_in_place() {
#ifdef _WIN32
  int fd = _fileno(file_);
  auto size = static_cast<std::uint64_t>(_ftelli64(file_));
#else
  int fd = fileno(file_);
  auto size = static_cast<std::uint64_t>(ftello(file_));
#endif
  bool ok = truncate_fd(fd, size) && sync_fd(fd);
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok) return false;
  remove_on_signal(nullptr);
  remove_file(backup_path_);
  backup_path_.clear();
  sync_folder(folder_);
  return true;
}

void file_save::restore_old_bytes() {
  int fd = open_existing(final_path_, true);
  bool restored = fd >= 0 && copy_file_into(backup_path_, fd, old_size_);
  if (fd >= 0) close_fd(fd);
  if (restored) {
    remove_file(backup_path_);
    sync_folder(folder_);
  } else {
    kept_backup_ = backup_path_;
  }
  backup_path_.clear();
}

void file_save::discard() {
  remove_on_signal(nullptr);
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (temp_fd_ >= 0) {
    close_fd(temp_fd_);
    temp_fd_ = -1;
  }
  if (!temp_path_.empty()) {
    remove_file(temp_path_);
    temp_path_.clear();
  }
  if (route_ == route::in_place && !backup_path_.empty()) restore_old_bytes();
  if (route_ != route::none && route_ != route::stream) release_signals();
  route_ = route::none;
}

std::vector<std::string> leftover_backups(const std::string& target) {
  std::vector<std::string> backups;
  if (target.empty()) return backups;
  const std::string final_path = resolve_links(target);
  const fs::path folder = native_path(final_path).parent_path();
  const std::string stem = backup_stem(final_path);
  // The backups are named as the file is, with the folder written as the
  // user wrote it ("C:/games/dialog.tlk" gives "C:/games/dialog.tlk.backup-...").
  const std::string file_name = name_of(native_path(final_path).filename());
  const std::string folder_as_written =
      final_path.ends_with(file_name) ? final_path.substr(0, final_path.size() - file_name.size())
                                      : name_of(folder / "");
  std::error_code error;
  fs::directory_iterator entries(folder.empty() ? fs::path(".") : folder, error);
  for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
    std::string name = name_of(entries->path().filename());
    if (name.size() != stem.size() + k_tag_size || !name.starts_with(stem)) continue;
    bool tagged = std::all_of(name.end() - k_tag_size, name.end(), [](char c) {
      return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
    if (tagged) backups.push_back(folder_as_written + name);
  }
  std::sort(backups.begin(), backups.end());
  return backups;
}
