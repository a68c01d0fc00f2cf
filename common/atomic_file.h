// Replacing a file whole or not at all. The kit rewrites a user's talk table,
// often their only copy, so a new file is written beside the old one and
// renamed over it only once every byte has reached the disk.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

class atomic_file {
 public:
  // Names the file to replace; nothing is touched until `open`.
  explicit atomic_file(std::string target);
  // Removes the temporary file unless `commit` has succeeded.
  virtual ~atomic_file();

  atomic_file(const atomic_file&) = delete;
  atomic_file& operator=(const atomic_file&) = delete;

  // Creates the temporary file in the directory of the file that the target
  // names (a symbolic link is followed, so the link stays a link). Returns
  // false when it cannot be created or the target is a directory; then
  // nothing has been written anywhere.
  bool open();

  // Appends bytes. A failure is remembered and reported by `commit`.
  void write(std::string_view bytes);
  void write(const void* bytes, std::size_t size);

  // Flushes, syncs and closes the temporary file, gives it the target's
  // permission bits and renames it over the target. Returns false, with the
  // target left as it was and the temporary file removed, when any step
  // fails.
  bool commit();

 private:
  void discard();

  std::string target_;      // the name as given
  std::string final_path_;  // the file that is replaced, links resolved
  std::string temp_path_;   // empty when writing straight to the target
  std::FILE* file_ = nullptr;
  // The stream's buffer: big enough that a table goes out in few writes.
  std::unique_ptr<char[]> buffer_;
  bool failed_ = false;
  bool committed_ = false;
};
