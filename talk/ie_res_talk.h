// SPDX-License-Identifier: MIT
// A whole talk table (a TLK V1 file, usually dialog.tlk) in memory: its
// header and every entry with its text. It loads a file, hands out its
// entries in file order and writes the table back with its strings laid out
// afresh. Failures are reported as one line on standard error and a false
// result.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/big_allocator.h"
#include "common/file_save.h"
#include "talk/ie_res_talk_entry.h"
#include "talk/tlk_v1.h"

// The file's layout is talk/tlk_v1.h's.
class ie_res_talk {
 public:
  static constexpr std::size_t k_header_size = tlk_v1::k_header_size;
  static constexpr std::string_view k_signature = tlk_v1::k_signature;
  // What a save that rewrites a table in place (a file with other hard
  // links) puts in place of the signature until the rest is on disk: a
  // rewrite cut short then reads as no table at all, through any name.
  static constexpr std::string_view k_unfinished_signature{"TLK~CUT~"};
  using header_bytes = std::array<std::uint8_t, k_header_size>;

  // An empty table: signature "TLK V1  ", language 0, no entries,
  // strings_offset 18.
  ie_res_talk();
  // Builds the table and loads `file_name`. The result of the load is not
  // passed on; a table whose load failed has no entries. Callers that must
  // know use the constructor without arguments and call `load`.
  explicit ie_res_talk(const std::string& file_name);
  // Deletes every entry.
  virtual ~ie_res_talk();

  ie_res_talk(const ie_res_talk&) = delete;
  ie_res_talk& operator=(const ie_res_talk&) = delete;

  // Reads the whole table, every text included. On failure writes one of
  // these lines to standard error and returns false, with no entry added:
  //   "TLK file couldn't be opened for reading."  (missing, unreadable, a directory)
  //   "Stream is not a valid TLK V1 resource."    (no "TLK V1  " signature)
  //   "TLK file is truncated or damaged."         (records or strings past the end)
  // A file that a rewrite cut short left with `k_unfinished_signature` gets
  // the second line, after the first, and a second line that says so.
  // The file is read whole and closed before `load` returns, so the table
  // can be saved over it at once.
  [[nodiscard]] bool load(const std::string& file_name);
  static constexpr std::string_view k_cannot_read = "TLK file couldn't be opened for reading.";
  static constexpr std::string_view k_not_a_table = "Stream is not a valid TLK V1 resource.";
  static constexpr std::string_view k_damaged = "TLK file is truncated or damaged.";

  // What `load_to_save` found.
  enum class load_result { loaded, failed, too_large_to_save };
  // `load`, for a table that is to be saved: one whose save would pass
  // `k_largest_file` is refused before a byte of text is copied, with
  // `too_large_to_save` and no message (the caller says why). Records may
  // share or overlap their strings, and a save gives each its own copy, so
  // a small file can claim far more text than it holds; loading it whole
  // would cost as much memory as the save could never write.
  [[nodiscard]] load_result load_to_save(const std::string& file_name);

  // Reads a talk table file with the checks and messages of `load`, but
  // hands the text of each entry, in order, to `visit` instead of keeping
  // the entries: for callers that only read the texts once. Every record is
  // checked before the first text is visited, so a damaged file visits none.
  // A stored string is visited once, however many records name it (the same
  // offset and length), with the number of the first entry that names it;
  // `visit` returns false to stop. The texts are views into `file`, which
  // holds the file's bytes afterwards, so they last as long as it does.
  [[nodiscard]] static bool read_texts(
      const std::string& file_name, file_bytes& file,
      const std::function<bool(std::uint32_t entry, std::string_view)>& visit);

  // A record as `read_records` hands it out: its 26 bytes and its text (up
  // to the first NUL), both in the bytes of the file.
  struct record_view {
    tlk_v1::record_ref record;
    std::string_view text;
  };
  // Reads a talk table file with the checks and messages of `load`, and
  // lists every record, in file order, without copying a text: however its
  // records overlap, a table costs its file's bytes (in `file`, which the
  // views point into) and a small view per record. A table whose records
  // claim more text than a saved table could hold (`k_largest_file`) is
  // `too_large_to_save`, without a message, as in `load_to_save`.
  [[nodiscard]] static load_result read_records(const std::string& file_name, file_bytes& file,
                                                std::vector<record_view>& records);

  // Said when a table cannot be saved where it is; lexswap says it too of a
  // table that could never be written back (a pipe, a device).
  static constexpr std::string_view k_cannot_write = "TLK file couldn't be opened for writing.";

  // Writes the table to `file_name` in the packed layout: strings one after
  // another in entry order, empty strings at offset 0, through the kit's save
  // (common/file_save.h), which keeps the file's owner, permissions and
  // attributes. On failure writes one of these lines to standard error and
  // returns false, the old file holding its old bytes:
  //   "TLK file couldn't be opened for writing."  (not a regular file that
  //                                               may be written, or cannot
  //                                               be created)
  //   "TLK file couldn't be written."             (a write, sync or rename failed)
  // In the rare case that the old bytes could not even be put back after a
  // failed rewrite in place, a second line names the backup that holds them.
  [[nodiscard]] bool save(const std::string& file_name);
  // `save`, through a save made with `save_options` that has not been
  // opened yet: for a caller that holds the file's save already
  // (common/file_to_rewrite.h).
  [[nodiscard]] bool save(file_save& file);
  // The first half of `save(file)`: opens the save and gives it every
  // byte, short of the commit, with the same lines on failure. For two
  // tables saved together (common/paired_save.h).
  [[nodiscard]] bool write_to(file_save& file);
  // After a failed commit of a save that `write_to` wrote (or of two saved
  // together): its lines. Returns false.
  static bool report_failed_save(const file_save& file, const file_save* other = nullptr);
  // How a table's save writes its file: with `k_unfinished_signature`.
  static file_save::options save_options();
  // Said when a write, sync or rename of a save failed.
  static constexpr std::string_view k_cannot_save = "TLK file couldn't be written.";

  // The size of the file that a save would write now. The format's 32-bit
  // offsets address at most `k_largest_file` bytes; a larger table cannot be
  // saved.
  std::uint64_t save_size() const;
  static constexpr std::uint64_t k_largest_file = 0xffffffff;

  // The entries in file order. The table owns them; a caller that adds or
  // removes entries through this list must keep `entry_count` in step.
  std::vector<ie_res_talk_entry*>& entries() { return entries_; }
  const std::vector<ie_res_talk_entry*>& entries() const { return entries_; }
  // The entry at `index`, which must be below the number of entries.
  ie_res_talk_entry* entry(std::uint32_t index) { return entries_[index]; }
  // Appends a new entry with `text` and raises `entry_count` by one.
  ie_res_talk_entry* add_entry(std::string_view text);

  const header_bytes& header() const { return header_; }
  std::uint16_t language() const;
  std::uint32_t entry_count() const;
  std::uint32_t strings_offset() const;

 private:
  void set_entry_count(std::uint32_t value);
  void set_strings_offset(std::uint32_t value);
  load_result load_table(const std::string& file_name, bool refuse_unsavable);
  // Lays the strings out one after another; returns false when they do not
  // fit the format's 32-bit offsets.
  bool update_offsets();

  header_bytes header_;
  std::vector<ie_res_talk_entry*> entries_;
};
