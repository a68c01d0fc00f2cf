// SPDX-License-Identifier: MIT
#include "common/save_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string_view>
#include <vector>

#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace save_system {

bool look_at(const std::string& path, file_facts& facts) {
  struct stat status;
  if (::stat(path.c_str(), &status) != 0) return errno == ENOENT;
  facts.exists = true;
  facts.regular = S_ISREG(status.st_mode);
  facts.directory = S_ISDIR(status.st_mode);
  facts.size = static_cast<std::uint64_t>(status.st_size);
  facts.links = status.st_nlink;
  facts.mode = status.st_mode & 07777;
  facts.owner = status.st_uid;
  facts.group = status.st_gid;
  facts.device = status.st_dev;
  facts.number = status.st_ino;
  return true;
}

bool writable_in_place(const std::string& path, const file_facts&) {
  int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int standard_output_if(const file_facts& facts) {
  struct stat output;
  if (!facts.exists || ::fstat(1, &output) != 0 || output.st_dev != facts.device ||
      output.st_ino != facts.number)
    return -1;
  return ::dup(1);
}

int create_new_file(const std::string& path, unsigned mode) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                static_cast<mode_t>(mode));
}

int create_unnamed([[maybe_unused]] const std::string& folder, [[maybe_unused]] unsigned mode) {
#ifdef O_TMPFILE
  // It can be named only through /proc (AT_EMPTY_PATH needs a capability):
  // where that is missing, the file could never be named.
  int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, static_cast<mode_t>(mode));
  if (fd >= 0 && ::access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) != 0) {
    ::close(fd);
    fd = -1;
  }
  return fd;
#else
  return -1;
#endif
}

bool name_unnamed(int fd, const std::string& path) {
  std::string proc_name = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, proc_name.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

int open_existing(const std::string& path, bool for_writing) {
  return ::open(path.c_str(), (for_writing ? O_WRONLY : O_RDONLY) | O_NOCTTY | O_CLOEXEC);
}

int duplicate(int fd) { return ::dup(fd); }

void close_fd(int fd) { ::close(fd); }

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool rename_to_new_name(const std::string& from, const std::string& to) {
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
}

bool replace_file(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool sync_fd(int fd) {
#ifdef F_FULLFSYNC
  // On macOS fsync stops at the drive's cache.
  if (::fcntl(fd, F_FULLFSYNC) == 0) return true;
#endif
  return ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP;
}

void sync_folder(const std::string& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  [[maybe_unused]] bool synced = sync_fd(fd);
  ::close(fd);
}

bool truncate_fd(int fd, std::uint64_t size) {
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool copy_bytes(int from, int to, char* block, std::size_t size) {
  for (;;) {
    ssize_t got = ::read(from, block, size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    const char* next = block;
    auto left = static_cast<std::size_t>(got);
    while (left > 0) {
      ssize_t put = ::write(to, next, left);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      next += put;
      left -= static_cast<std::size_t>(put);
    }
  }
}

bool write_at(int fd, std::uint64_t offset, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t put = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(put));
    offset += static_cast<std::uint64_t>(put);
  }
  return true;
}

bool lock_rewrite([[maybe_unused]] int fd, [[maybe_unused]] bool exclusive,
                  [[maybe_unused]] bool wait) {
#ifdef F_OFD_SETLKW
  // A lock of the open file, as `flock` is, not of the process: the save
  // opens and closes the file while it holds it, which would let go of a
  // process's record lock.
  struct flock range {};
  range.l_type = exclusive ? F_WRLCK : F_RDLCK;
  range.l_whence = SEEK_SET;
  range.l_start = static_cast<off_t>(std::int64_t{1} << 62);
  range.l_len = 1;
  for (;;) {
    if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0) return true;
    if (errno == EINTR) continue;
    if (errno == EACCES || errno == EAGAIN) errno = EWOULDBLOCK;
    return false;
  }
#else
  errno = ENOSYS;
  return false;
#endif
}

std::FILE* open_stream(int fd) { return ::fdopen(fd, "wb"); }

int stream_fd(std::FILE* stream) { return fileno(stream); }

std::uint64_t stream_position(std::FILE* stream) {
  return static_cast<std::uint64_t>(ftello(stream));
}

unsigned private_mode(const file_facts& target) {
  return target.exists ? 0600 & target.mode : 0600;
}

namespace {

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

unsigned current_umask() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

// Owner and group first, then attributes, then permission bits: a change
// of owner clears the set-id bits, and an access control list sets the
// group bits.
bool make_like(int fd, [[maybe_unused]] const std::string& old_path, const file_facts& old) {
  struct stat status;
  if (::fstat(fd, &status) != 0) return false;
  if ((status.st_uid != old.owner || status.st_gid != old.group) &&
      ::fchown(fd, old.owner, old.group) != 0)
    return false;
#ifdef __linux__
  if (!copy_attributes(old_path, fd)) return false;
#endif
  auto mode = static_cast<mode_t>(old.mode);
  return ::fchmod(fd, mode) == 0 && ::fstat(fd, &status) == 0 && (status.st_mode & 07777) == mode;
}

bool give_new_file_mode(int fd) {
  return ::fchmod(fd, static_cast<mode_t>(0664 & ~current_umask())) == 0;
}

void after_replace(const std::string&, const file_facts&) {}

// --- Signals -------------------------------------------------------------------

namespace {

// What a signal handler removes before the process ends. One save runs at
// a time.
std::atomic<const char*> g_remove_on_signal{nullptr};
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

}  // namespace

void remove_on_signal(const std::string* path) {
  g_remove_on_signal = path != nullptr ? path->c_str() : nullptr;
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

int without_signals(const std::function<int()>& step) {
  sigset_t set = save_signals();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  int result = step();
  // The step's errno, not the mask's, is what the caller reads.
  int error = errno;
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = error;
  return result;
}

}  // namespace save_system
