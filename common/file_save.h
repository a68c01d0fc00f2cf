// SPDX-License-Identifier: MIT
// Saving over a user's file. The kit rewrites talk tables and model files
// that are often their users' only copies, so a save keeps these promises:
//
// 1. It is allowed only where writing the file in place would be. The target
//    (links followed) must be a regular file that this process may open for
//    writing (on Windows, without the read-only attribute), or a name that
//    does not exist yet in a folder where the file can be created. Otherwise
//    `open` fails and nothing anywhere has changed. A new file gets the mode
//    an in-place create would give it: rw-rw-r-- less the umask.
// 2. The new file is the old file with new bytes: it keeps the permission
//    bits, owner and group, `user.*` extended attributes and access control
//    lists (on Windows, the file attributes). Other attributes (`security.*`
//    labels, `trusted.*`) are the system's, which labels a new file itself.
//    The new bytes go to a temporary file that is renamed over the target
//    once they are synced. Where that file could not be the old one (the
//    target has more than one hard link, this process cannot give away the
//    owner or group, an attribute cannot be copied), the target is rewritten
//    in place instead: its old bytes are first copied to a backup beside it
//    and synced, and the backup goes once the new bytes are synced. After a
//    failure the old bytes are copied back and the backup goes too; only
//    when even that fails does the backup stay, and `kept_backup` names it.
//    So after any failure the target holds its old bytes (or, in that last
//    case, its backup does); after `kill -9` the target holds the old or the
//    new bytes, except during an in-place rewrite, when the old bytes are in
//    the target or in its backup. The backup is written under a temporary
//    name (or none) and gets its backup name only once it is whole and
//    synced, so a backup found beside a file always holds the old bytes
//    and always means that a rewrite was cut short (`leftover_backups`).
// 3. Private stays private: the temporary file is created with mode 0600 or
//    narrower, never wider than the target, and receives the target's mode
//    before it appears under the target's name. On Linux it is a file
//    without a name (O_TMPFILE) until the commit, so that `kill -9` leaves
//    nothing behind; elsewhere it has a short name starting with a dot.
// 4. SIGINT, SIGTERM and SIGHUP (on Windows, Ctrl+C and its kin) during a
//    save remove the temporary file or the backup, then end the process as
//    the signal would have. While the target is rewritten in place they wait
//    until the backup is gone or the old bytes are back.
// 5. A commit syncs the new file and then its folder.
// 6. Runs that save one file take turns through `writer_lock`
//    (common/writer_lock.h), which the caller holds from before it reads
//    the file until the save is done; the save removes its backup before
//    that.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/save_system.h"

class file_save {
 public:
  struct options {
    // A device or a FIFO (`wordloom -s /dev/stdout`) is written as a stream
    // when true, refused when false; so is a name that leads to the very
    // file this process writes its standard output to, which is then written
    // through standard output itself so that later output follows it.
    bool write_special_files = false;
    // Tests turn this off to take the way of the systems without unnamed
    // temporary files.
    bool unnamed_temporary = true;
    // Bytes that a rewrite in place puts at the start of the file while
    // the rest is being rewritten, and replaces with the true first bytes
    // only once the rest is synced. A file format's reader that refuses
    // this mark then never takes a rewrite cut short for a whole file,
    // through whichever of its names it is read. Empty for none.
    std::string_view unfinished_mark;
    // For a save that goes with another's (common/paired_save.h): the old
    // bytes are copied to a backup beside the target when the save opens,
    // and kept there after the commit, until `forget_old_bytes` removes them
    // or `undo` puts them back.
    bool keep_old_bytes = false;
  };

  // Names the file to save; nothing is touched until `open`.
  explicit file_save(std::string target);
  file_save(std::string target, options settings);
  // Without a successful `commit`, removes the temporary file or puts the
  // old bytes back.
  ~file_save();

  file_save(const file_save&) = delete;
  file_save& operator=(const file_save&) = delete;

  // Checks that the save is allowed and gets it ready. Returns false when it
  // is not allowed or cannot be got ready; then nothing has changed.
  [[nodiscard]] bool open();

  // Appends bytes. A failure is remembered and reported by `commit`.
  void write(std::string_view bytes);
  void write(const void* bytes, std::size_t size);

  // Makes the new bytes the target's, synced to disk. Returns false when
  // any step fails; the target then holds its old bytes, unless
  // `kept_backup` names the file that does.
  [[nodiscard]] bool commit();

  // Makes the bytes written so far whole and synced, short of the commit,
  // so that a save that goes with another fails before either commits.
  [[nodiscard]] bool ready();
  // With `keep_old_bytes`, after the commit: puts the old bytes back over
  // the new ones. False when they cannot be; `kept_backup` then names them.
  [[nodiscard]] bool undo();
  // With `keep_old_bytes`, after the commit: removes the old bytes' backup.
  void forget_old_bytes();

  // After a failed in-place rewrite whose old bytes could not be put back:
  // the backup that holds them. Empty otherwise.
  const std::string& kept_backup() const { return kept_backup_; }

 private:
  enum class route { none, stream, rename, in_place };

  bool open_stream(int fd);
  bool open_for_rename(bool exists);
  bool open_in_place();
  bool rename_to_backup();
  bool make_backup(const save_system::file_facts& old, bool hold);
  bool start_buffered(int fd);
  bool finish_rename();
  bool finish_in_place();
  bool start_rewrite();
  void end_rewrite();
  void restore_old_bytes();
  void discard();

  std::string target_;  // the name as given
  options settings_;
  route route_ = route::none;
  std::string final_path_;   // the file that is replaced, links resolved
  std::string folder_;       // the folder it is in
  std::string temp_path_;    // the temporary file's name, when it has one
                             // (the backup's until it is whole)
  std::string backup_path_;  // the in-place route's copy of the old bytes
  std::string kept_backup_;
  std::FILE* file_ = nullptr;
  int temp_fd_ = -1;  // an unnamed temporary file, linked at commit
  std::uint64_t old_size_ = 0;
  save_system::file_facts old_;  // what the new file takes over
  // The stream's buffer: big enough that a table goes out in few writes.
  std::unique_ptr<char[]> buffer_;
  // A rewrite in place copies the old bytes through this block, to the
  // backup and back: made before the first byte is overwritten, so that
  // putting the old bytes back never needs memory.
  std::unique_ptr<char[]> copy_block_;
  int rewrite_fd_ = -1;      // holds the rewrite lock while the bytes change
  std::string first_bytes_;  // the new bytes that the unfinished mark stands for
  bool failed_ = false;
  bool committed_ = false;
};

// The backups that rewrites in place left beside the file `target` leads to
// (links followed) when they were cut short (`kill -9`, a crash, a power
// cut), in name order; names near the system's 255-byte limit are
// recognised in their shortened form. Empty when there are none or the
// folder cannot be read. A backup has its name only once it is whole, so
// each holds the file's bytes from before its save.
std::vector<std::string> leftover_backups(const std::string& target);
