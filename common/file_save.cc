// SPDX-License-Identifier: MIT
#include "common/file_save.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/file_names.h"
#include "common/save_system.h"

namespace fs = std::filesystem;
using namespace save_system;

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

constexpr std::size_t k_copy_block_size = std::size_t{1} << 20;

// Copies the file at `from` into the open descriptor `to`, from its start,
// cut to the copied size and synced.
bool copy_file_into(const std::string& from, int to, std::uint64_t size, char* block) {
  int source = open_existing(from, false);
  if (source < 0) return false;
  bool ok =
      copy_bytes(source, to, block, k_copy_block_size) && truncate_fd(to, size) && sync_fd(to);
  close_fd(source);
  return ok;
}

// Creates a new file under a name from `make_name` (tried again while the
// name is taken) and names it to the signal handlers. Returns its
// descriptor, or -1 with `path` empty.
template <typename Names>
int create_named(std::string& path, unsigned mode, Names make_name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = make_name();
    int fd = without_signals([&] {
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

// Gives the unnamed file `fd` a name from `make_name` and names it to the
// signal handlers. Returns false, with `path` empty, when it cannot be
// named.
template <typename Names>
bool link_unnamed(int fd, std::string& path, Names make_name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = make_name();
    bool linked = without_signals([&] {
                    bool made = name_unnamed(fd, path);
                    if (made) remove_on_signal(&path);
                    return made ? 1 : 0;
                  }) != 0;
    if (linked) return true;
    if (errno != EEXIST) break;
  }
  path.clear();
  return false;
}

// A new file in `folder` for the save's bytes: without a name where the
// system allows it and `unnamed` asks for it (`path` is then left empty),
// else under a name from `make_name`. -1 when neither can be made.
template <typename Names>
int create_private(const std::string& folder, unsigned mode, bool unnamed, std::string& path,
                   Names make_name) {
  if (unnamed) {
    int fd = create_unnamed(folder, mode);
    if (fd >= 0) return fd;
  }
  return create_named(path, mode, make_name);
}

}  // namespace

// --- The save -------------------------------------------------------------------

file_save::file_save(std::string target) : file_save(std::move(target), options{}) {}

file_save::file_save(std::string target, options settings)
    : target_(std::move(target)), settings_(settings) {}

file_save::~file_save() {
  // Nothing in the unwinding allocates on POSIX systems; Windows' names
  // are made wide for each call, and a destructor must not throw.
  try {
    discard();
  } catch (...) {
  }
}

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
  // `wordloom -s /dev/stdout > out.txt`: reopening the name would write the
  // model over the words that follow it, so both go through one descriptor.
  if (settings_.write_special_files) {
    if (int output = standard_output_if(facts); output >= 0) return open_stream(output);
  }

  final_path_ = resolve_links(target_);
  folder_ = folder_of(final_path_);
  if (facts.exists && !writable_in_place(final_path_, facts)) return false;
  old_size_ = facts.size;
  old_ = facts;
  // Each way sets the signal handlers up afresh: a way that failed may have
  // let them go, and the backup of a rewrite in place must not be made
  // without them.
  bool opened = false;
  if (facts.links <= 1) {
    catch_signals();
    opened = !settings_.keep_old_bytes || !facts.exists || make_backup(facts, false);
    opened = opened && open_for_rename(facts.exists);
    if (!opened) {
      if (!backup_path_.empty()) remove_file(backup_path_);
      backup_path_.clear();
      release_signals();
    }
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
  file_ = save_system::open_stream(fd);
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
  bool alike = exists ? make_like(fd, final_path_, old) : give_new_file_mode(fd);
  if (!alike) {
    close_fd(fd);
    discard();
    return false;
  }
  route_ = route::rename;
  if (temp_path_.empty()) {
    // The unnamed file is linked from its descriptor, which stays open.
    temp_fd_ = duplicate(fd);
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
  const bool whole = make_backup(old, true);
  route_ = route::in_place;
  if (whole) {
    int fd = start_rewrite() ? open_existing(final_path_, true) : -1;
    if (fd >= 0 && start_buffered(fd)) return true;
    // The mark may be written already: the backup puts the old bytes back.
    discard();
    return false;
  }
  route_ = route::none;
  release_signals();
  return false;
}

// Copies the old bytes to a backup beside the target. From the moment the
// backup is whole, signals wait when `hold` asks for it (the target is
// about to change). False, with nothing left behind, when it cannot be made.
bool file_save::make_backup(const file_facts& old, bool hold) {
  copy_block_.reset(new char[k_copy_block_size]);
  // A backup beside a file tells later runs that a rewrite of it was cut
  // short, so it gets its backup name only once it holds the whole of the
  // old bytes, synced: until then it has no name, or a temporary one.
  int backup = create_private(folder_, private_mode(old), settings_.unnamed_temporary, temp_path_,
                              [&] { return temporary_name(folder_); });
  if (backup < 0) return false;
  bool whole = copy_file_into(final_path_, backup, old_size_, copy_block_.get());
  if (whole && hold) hold_signals();
  if (whole && temp_path_.empty())
    whole = link_unnamed(backup, backup_path_, [&] { return backup_name(final_path_); });
  close_fd(backup);
  if (whole && !temp_path_.empty()) whole = rename_to_backup();
  remove_on_signal(nullptr);
  if (whole) {
    sync_folder(folder_);
    return true;
  }
  if (!temp_path_.empty()) remove_file(temp_path_);
  temp_path_.clear();
  if (!backup_path_.empty()) remove_file(backup_path_);
  backup_path_.clear();
  return false;
}

// Readers wait, from here until the rewrite is done or undone, rather than
// read bytes that are neither the old nor the new ones; the mark keeps out
// whoever reads the file without the lock, or after a kill.
bool file_save::start_rewrite() {
  rewrite_fd_ = open_existing(final_path_, true);
  if (rewrite_fd_ < 0) return false;
  // Where the file system keeps no such locks, readers take none either.
  lock_rewrite(rewrite_fd_, true, true);
  std::string_view mark = settings_.unfinished_mark;
  if (mark.empty()) return true;
  first_bytes_.reserve(mark.size());
  return write_at(rewrite_fd_, 0, mark) && sync_fd(rewrite_fd_);
}

void file_save::end_rewrite() {
  if (rewrite_fd_ >= 0) close_fd(rewrite_fd_);  // which lets go of the lock
  rewrite_fd_ = -1;
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
  const auto* next = static_cast<const char*>(bytes);
  std::string_view mark = settings_.unfinished_mark;
  if (route_ == route::in_place && first_bytes_.size() < mark.size()) {
    // The mark stays in the file until the commit writes these bytes.
    std::size_t held = std::min(size, mark.size() - first_bytes_.size());
    if (std::fwrite(mark.data() + first_bytes_.size(), 1, held, file_) != held) failed_ = true;
    first_bytes_.append(next, held);
    next += held;
    size -= held;
  }
  if (size > 0 && std::fwrite(next, 1, size, file_) != size) failed_ = true;
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
  bool ok = sync_fd(stream_fd(file_));
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok) return false;
  if (temp_path_.empty()) {
    // Linked under a short dot-name first: a rename is the only way to put
    // a file over an existing one.
    bool linked = link_unnamed(temp_fd_, temp_path_, [&] { return temporary_name(folder_); });
    close_fd(temp_fd_);
    temp_fd_ = -1;
    if (!linked) return false;
  }
  if (!replace_file(temp_path_, final_path_)) return false;
  remove_on_signal(nullptr);
  temp_path_.clear();
  after_replace(final_path_, old_);
  sync_folder(folder_);
  return true;
}

bool file_save::finish_in_place() {
  int fd = stream_fd(file_);
  bool ok = truncate_fd(fd, stream_position(file_)) && sync_fd(fd);
  // The true first bytes, only over a whole and synced rest.
  if (ok && !first_bytes_.empty()) ok = write_at(fd, 0, first_bytes_) && sync_fd(fd);
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok) return false;
  end_rewrite();
  remove_on_signal(nullptr);
  if (!settings_.keep_old_bytes) forget_old_bytes();
  return true;
}

bool file_save::ready() {
  if (file_ == nullptr || committed_ || failed_) return false;
  failed_ = std::fflush(file_) != 0 || std::ferror(file_);
  if (failed_ || route_ == route::stream) return !failed_;
  const int fd = stream_fd(file_);
  if (route_ == route::in_place) failed_ = !truncate_fd(fd, stream_position(file_));
  failed_ = failed_ || !sync_fd(fd);
  return !failed_;
}

bool file_save::undo() {
  if (!committed_ || backup_path_.empty()) return false;
  // Readers wait, as they do for a rewrite in place.
  rewrite_fd_ = open_existing(final_path_, true);
  if (rewrite_fd_ >= 0) lock_rewrite(rewrite_fd_, true, true);
  restore_old_bytes();
  return kept_backup_.empty();
}

void file_save::forget_old_bytes() {
  if (backup_path_.empty()) return;
  remove_file(backup_path_);
  backup_path_.clear();
  sync_folder(folder_);
}

void file_save::restore_old_bytes() {
  int fd = open_existing(final_path_, true);
  bool restored = fd >= 0 && copy_file_into(backup_path_, fd, old_size_, copy_block_.get());
  if (fd >= 0) close_fd(fd);
  end_rewrite();
  if (restored) {
    forget_old_bytes();
  } else {
    kept_backup_.swap(backup_path_);  // a swap, which needs no memory
    backup_path_.clear();
  }
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
  // Before its commit, the rename's target still holds the old bytes.
  if (route_ == route::rename && !backup_path_.empty()) forget_old_bytes();
  end_rewrite();
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
