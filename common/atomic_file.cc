#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Follows a chain of symbolic links to the file that is really replaced, so
// that a link to the table stays a link. A dangling link yields the path it
// points at. The hop limit stops a loop of links.
std::string resolve_links(const std::string& name) {
  fs::path path(name);
  std::error_code error;
  for (int hop = 0; hop < 40 && fs::is_symlink(path, error); ++hop) {
    fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path.string();
}

std::string random_suffix() {
  static std::mt19937_64 generator{std::random_device{}()};
  static const char digits[] = "0123456789abcdef";
  std::string suffix;
  std::uint64_t bits = generator();
  for (int i = 0; i < 12; ++i, bits >>= 4) suffix += digits[bits & 15];
  return suffix;
}

// Creates a file that did not exist before, so that a stray file of the same
// name is never overwritten.
int create_new_file(const std::string& path) {
#ifdef _WIN32
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
               _S_IREAD | _S_IWRITE);
#else
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
#endif
}

bool sync_to_disk(std::FILE* file) {
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  // Some file systems (pipes, a few network mounts) cannot sync; only a real
  // I/O error counts as a failed write.
  return fsync(fileno(file)) == 0 || errno == EINVAL || errno == ENOTSUP;
#endif
}

#ifndef _WIN32
// Hands the new file the old one's owner and permission bits, so that the
// table keeps them across the rename. A failure to change the owner is not
// an error: only root may do it, and a user's own file needs no change.
void copy_owner_and_mode(std::FILE* file, const std::string& from) {
  struct stat old_status;
  if (stat(from.c_str(), &old_status) != 0) return;
  int fd = fileno(file);
  [[maybe_unused]] int ignored =
      fchown(fd, old_status.st_uid, old_status.st_gid);
  fchmod(fd, old_status.st_mode & 07777);
}
#endif

}  // namespace

atomic_file::atomic_file(std::string target) : target_(std::move(target)) {}

atomic_file::~atomic_file() { discard(); }

bool atomic_file::open() {
  std::error_code error;
  fs::file_status status = fs::status(target_, error);
  if (fs::is_directory(status)) return false;
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // A device, a pipe or a terminal (wordloom -s /dev/stdout) cannot be
    // replaced by a rename; it is written in place, as a stream.
    file_ = std::fopen(target_.c_str(), "wb");
    return file_ != nullptr;
  }

  final_path_ = resolve_links(target_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = final_path_ + ".tmp-" + random_suffix();
    int fd = create_new_file(candidate);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
#ifdef _WIN32
    file_ = _fdopen(fd, "wb");
#else
    file_ = fdopen(fd, "wb");
#endif
    if (file_ == nullptr) {
#ifdef _WIN32
      _close(fd);
#else
      ::close(fd);
#endif
      std::remove(candidate.c_str());
      return false;
    }
    temp_path_ = candidate;
    // A buffer of our own: given none, the C library keeps to its own size
    // (4 KiB here), a write call for every 4 KiB of the table.
    constexpr std::size_t k_buffer_size = std::size_t{1} << 20;
    buffer_ = std::make_unique_for_overwrite<char[]>(k_buffer_size);
    std::setvbuf(file_, buffer_.get(), _IOFBF, k_buffer_size);
    return true;
  }
  return false;
}

void atomic_file::write(std::string_view bytes) {
  write(bytes.data(), bytes.size());
}

void atomic_file::write(const void* bytes, std::size_t size) {
  if (file_ == nullptr || failed_ || size == 0) return;
  if (std::fwrite(bytes, 1, size, file_) != size) failed_ = true;
}

bool atomic_file::commit() {
  if (file_ == nullptr || committed_) return false;
  bool ok = !failed_ && std::fflush(file_) == 0 && !std::ferror(file_);
  if (ok && !temp_path_.empty()) {
    ok = sync_to_disk(file_);
#ifndef _WIN32
    if (ok) copy_owner_and_mode(file_, final_path_);
#endif
  }
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) {
    discard();
    return false;
  }
  if (!temp_path_.empty()) {
    std::error_code error;
    fs::rename(temp_path_, final_path_, error);
    if (error) {
      discard();
      return false;
    }
  }
  temp_path_.clear();
  committed_ = true;
  return true;
}

void atomic_file::discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
}
