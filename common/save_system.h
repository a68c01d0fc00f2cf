// SPDX-License-Identifier: MIT
// What the kit's save (common/file_save.h) asks of the system, one file for
// each kind of system, chosen by CMake: save_system_posix.cc and
// save_system_windows.cc. The save's ways (a rename, a rewrite in place
// after a backup, a stream) are written once, above these calls.
//
// Files are plain descriptors here, as the C library hands them out on
// both kinds of system; names are the kit's (common/file_names.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace save_system {

// What a name leads to, links followed.
struct file_facts {
  bool exists = false;
  bool regular = false;
  bool directory = false;
  std::uint64_t size = 0;
  std::uint64_t links = 1;
  // What a new file takes over from the old one besides its bytes: the
  // permission bits, owner and group on POSIX systems, the attributes on
  // Windows. The device and file number tell one file from another.
  unsigned mode = 0;
  unsigned owner = 0;
  unsigned group = 0;
  unsigned long attributes = 0;
  std::uint64_t device = 0;
  std::uint64_t number = 0;
};

// False when the name cannot be looked at, for a reason other than that
// nothing of that name exists.
bool look_at(const std::string& path, file_facts& facts);

// Whether the file could be written in place: it is opened for writing,
// without truncating, and closed again at once.
bool writable_in_place(const std::string& path, const file_facts& facts);

// Whether `facts` are those of the file this process writes its standard
// output to, and a descriptor of it; -1 where that cannot be.
int standard_output_if(const file_facts& facts);

// Creates a file that did not exist before (errno EEXIST if it did), so
// that a stray file of the same name is never overwritten; its descriptor
// or -1. `mode` is the POSIX permission bits.
int create_new_file(const std::string& path, unsigned mode);
// A file without a name in `folder`, which `kill -9` cannot leave behind;
// -1 where the system cannot make one that could be named later.
int create_unnamed(const std::string& folder, unsigned mode);
// Gives the unnamed file `fd` the name `path` (errno EEXIST if taken).
bool name_unnamed(int fd, const std::string& path);

int open_existing(const std::string& path, bool for_writing);
int duplicate(int fd);
void close_fd(int fd);
bool remove_file(const std::string& path);
// Renames `from` to `to`, which must not exist yet (errno EEXIST if it
// does).
bool rename_to_new_name(const std::string& from, const std::string& to);
// Puts `from` in the place of the existing file `to`, in one step.
bool replace_file(const std::string& from, const std::string& to);

// Syncs the file to disk. Some file systems (a few network mounts) cannot
// sync; only a real I/O error counts as a failure.
bool sync_fd(int fd);
// Makes a rename or a removal in the folder last; nothing is reported, as
// by then the file itself is safe.
void sync_folder(const std::string& folder);
bool truncate_fd(int fd, std::uint64_t size);
// Copies what is left of `from` into `to` through the caller's `block`, so
// that a restore under a memory limit needs no memory of its own.
bool copy_bytes(int from, int to, char* block, std::size_t size);
// Writes `bytes` at `offset`, wherever the descriptor's position is; the
// position may move.
bool write_at(int fd, std::uint64_t offset, std::string_view bytes);

// The lock that a rewrite in place holds, exclusive, while the file's bytes
// are neither the old nor the new ones; readers take it shared while they
// read a file into memory. It lies on a byte far past any file's end, so
// that it keeps no run from the bytes themselves (Windows' locks would), and
// it is apart from the writers' `writer_lock`. `fd` must be open for
// writing to take it exclusive, for reading to take it shared. Closing the
// descriptor lets go of it. False when it is not held: `errno` is
// EWOULDBLOCK when another run holds it and `wait` is false, anything else
// where the system or the file system keeps no such locks.
bool lock_rewrite(int fd, bool exclusive, bool wait);

// A buffered stream over `fd` (which it then owns), its descriptor, and
// how far it has written.
std::FILE* open_stream(int fd);
int stream_fd(std::FILE* stream);
std::uint64_t stream_position(std::FILE* stream);

// The mode of a save's private files: never wider than the target, and
// private whatever the target allows.
unsigned private_mode(const file_facts& target);
// Makes the new file `fd` what the old file at `old_path` is but for its
// bytes: owner, group, the owner's extended attributes, permission bits.
// False when any of them cannot be given.
bool make_like(int fd, const std::string& old_path, const file_facts& old);
// Gives a file that did not exist before the mode an in-place create would
// give it: rw-rw-r-- less the umask.
bool give_new_file_mode(int fd);
// After the new file has taken the old one's place: what only a named file
// can take (on Windows, the old file's attributes).
void after_replace(const std::string& path, const file_facts& old);

// Ctrl+C, SIGINT, SIGTERM and SIGHUP (Windows: the console's events)
// during a save remove the file named by `remove_on_signal`, then end the
// process as they would have; a signal the user chose to ignore (nohup)
// stays ignored. While signals are held, they wait until `release_signals`.
void catch_signals();
void hold_signals();
void release_signals();
// Names the file that a signal removes; none with nullptr. The string must
// live until the next call.
void remove_on_signal(const std::string* path);
// Runs `step` with the save's signals blocked, so that a handler never
// sees a file half-way between made and named to it.
int without_signals(const std::function<int()>& step);

}  // namespace save_system
