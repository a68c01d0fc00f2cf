// SPDX-License-Identifier: MIT
#include "talk/ie_res_talk.h"

#include <cstring>
#include <iostream>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

#include "common/file_save.h"
#include "common/text_lines.h"
#include "talk/byte_order.h"
#include "talk/tlk_v1.h"

namespace {

using tlk_v1::k_header_size;
using tlk_v1::k_record_size;

bool report(std::string_view message) {
  std::cerr << message << std::endl;
  return false;
}

// After a rewrite in place whose old bytes could not be put back (a save
// can fail so even as it opens, once the table is marked), the second line
// names the backup that holds them.
bool report_kept_backup(const file_save& file) {
  if (!file.kept_backup().empty())
    std::cerr << "The old table is kept in '" << file.kept_backup() << "'." << std::endl;
  return false;
}

}  // namespace

ie_res_talk::ie_res_talk() {
  header_.fill(0);
  std::memcpy(header_.data(), k_signature.data(), k_signature.size());
  set_strings_offset(k_header_size);
}

ie_res_talk::ie_res_talk(const std::string& file_name) : ie_res_talk() {
  [[maybe_unused]] bool loaded = load(file_name);
}

ie_res_talk::~ie_res_talk() {
  for (ie_res_talk_entry* entry : entries_) delete entry;
}

namespace {

enum class load_status { ok, cannot_open, not_tlk, cut_short, truncated };

bool report_load(load_status status, const std::string& file_name) {
  switch (status) {
    case load_status::ok: return true;
    case load_status::cannot_open: return report(ie_res_talk::k_cannot_read);
    case load_status::not_tlk: return report(ie_res_talk::k_not_a_table);
    case load_status::cut_short:
      // The backup lies beside the name that run was given, which may be
      // another link of the file in another folder.
      report(ie_res_talk::k_not_a_table);
      return report(
          "A rewrite of '" + file_name +
          "' was cut short: its old bytes are in a backup named like the table, with "
          "'.backup-' and eight hex digits after it, beside the name that run was given.");
    case load_status::truncated: return report(ie_res_talk::k_damaged);
  }
  return false;
}

// Reads `file_name` whole and checks it before anything is built from it:
// the signature, and that every record and every string lies inside the
// file. Counts and offsets are compared with the file's size in 64 bits, so
// a damaged header can neither make the kit allocate more than the file
// holds nor build an entry from bytes that are not there.
load_status read_table_file(const std::string& file_name, file_bytes& file) {
  if (!read_file(file_name, file)) return load_status::cannot_open;
  const tlk_v1::file_view view(file);
  if (view.bytes(0, tlk_v1::k_signature.size()) == ie_res_talk::k_unfinished_signature)
    return load_status::cut_short;
  if (!view.has_header()) return load_status::not_tlk;
  if (!view.has_records()) return load_status::truncated;
  for (std::uint32_t i = 0; i < view.entry_count(); ++i) {
    std::optional<tlk_v1::record_ref> record = view.record(i);
    if (!record || !view.holds_string(*record)) return load_status::truncated;
  }
  return load_status::ok;
}

// Tells the records that name the very same stored string (offset and
// length) as an earlier record, so that it is held and scanned once: a
// hostile table can point 200,000 records at one long string. Tables laid
// out in order, each string after the one before (all that the kit and the
// games write), cannot share, and are told so without a look-up.
class shared_strings {
 public:
  explicit shared_strings(const tlk_v1::file_view& file) : file_(file) {}

  // The earlier record whose string record `index` names too, if any.
  std::optional<std::uint32_t> earlier(std::uint32_t index) {
    const tlk_v1::record_ref record = *file_.record(index);
    std::uint64_t offset = record.offset();
    std::uint64_t length = record.length();
    if (length == 0) return std::nullopt;
    if (in_order_) {
      if (offset >= end_) {
        end_ = offset + length;
        return std::nullopt;
      }
      // The first string out of order: from here on, look them up. The
      // strings before it were all distinct, and non-empty where they count.
      in_order_ = false;
      for (std::uint32_t i = 0; i < index; ++i) first_.try_emplace(key_of(i), i);
    }
    auto [at, added] = first_.try_emplace(record.string_key(), index);
    if (added) return std::nullopt;
    return at->second;
  }

 private:
  std::uint64_t key_of(std::uint32_t index) const { return file_.record(index)->string_key(); }

  const tlk_v1::file_view& file_;
  bool in_order_ = true;
  std::uint64_t end_ = 0;
  std::unordered_map<std::uint64_t, std::uint32_t> first_;
};

// The size of the file that saving the table in `file` would write: every
// record gets its own copy of its string, shared or not.
std::uint64_t claimed_save_size(const tlk_v1::file_view& file) {
  std::uint32_t count = file.entry_count();
  std::uint64_t size = k_header_size + std::uint64_t{count} * k_record_size;
  for (std::uint32_t i = 0; i < count; ++i) size += file.record(i)->length();
  return size;
}

}  // namespace

bool ie_res_talk::load(const std::string& file_name) {
  return load_table(file_name, false) == load_result::loaded;
}

ie_res_talk::load_result ie_res_talk::load_to_save(const std::string& file_name) {
  return load_table(file_name, true);
}

ie_res_talk::load_result ie_res_talk::load_table(const std::string& file_name,
                                                 bool refuse_unsavable) {
  file_bytes file;
  load_status status = read_table_file(file_name, file);
  if (file.size() >= k_header_size) std::memcpy(header_.data(), file.data(), k_header_size);
  if (status != load_status::ok) {
    report_load(status, file_name);
    return load_result::failed;
  }
  const tlk_v1::file_view view(file);
  if (refuse_unsavable && claimed_save_size(view) > k_largest_file)
    return load_result::too_large_to_save;

  std::uint32_t count = entry_count();
  const std::size_t first = entries_.size();
  entries_.reserve(first + count + 10);
  // The entries first, then their texts: the texts then lie side by side,
  // as in the file. A pass that gives every text a longer copy frees them in
  // that order, so the old texts run together into one growing gap that the
  // new ones fill. Made in turn with the entries, each text would leave a
  // gap of its own between two entries, too small for any longer text; on
  // some heaps (wine's, for one) every allocation then searches a list of
  // such gaps that grows with the table, and the pass slows down as it goes.
  for (std::uint32_t i = 0; i < count; ++i)
    entries_.push_back(new ie_res_talk_entry(view.record(i)->data()));
  shared_strings sharing(view);
  for (std::uint32_t i = 0; i < count; ++i) {
    ie_res_talk_entry& entry = *entries_[first + i];
    if (std::optional<std::uint32_t> earlier = sharing.earlier(i)) {
      entry.share_text(*entries_[first + *earlier]);
    } else {
      [[maybe_unused]] bool inside = entry.read_text(file, strings_offset());
    }
  }
  return load_result::loaded;
}

bool ie_res_talk::read_texts(
    const std::string& file_name, file_bytes& file,
    const std::function<bool(std::uint32_t entry, std::string_view)>& visit) {
  load_status status = read_table_file(file_name, file);
  if (status != load_status::ok) return report_load(status, file_name);
  const tlk_v1::file_view view(file);
  shared_strings sharing(view);
  for (std::uint32_t i = 0; i < view.entry_count(); ++i) {
    if (!sharing.earlier(i) && !visit(i, *view.text(*view.record(i)))) break;
  }
  return true;
}

ie_res_talk::load_result ie_res_talk::read_records(const std::string& file_name, file_bytes& file,
                                                   std::vector<record_view>& records) {
  records.clear();
  load_status status = read_table_file(file_name, file);
  if (status != load_status::ok) {
    report_load(status, file_name);
    return load_result::failed;
  }
  const tlk_v1::file_view view(file);
  if (claimed_save_size(view) > k_largest_file) return load_result::too_large_to_save;
  records.reserve(view.entry_count());
  for (std::uint32_t i = 0; i < view.entry_count(); ++i) {
    const tlk_v1::record_ref record = *view.record(i);
    records.push_back({record, *view.text(record)});
  }
  return load_result::loaded;
}

bool ie_res_talk::update_offsets() {
  std::uint64_t sum = 0;
  for (ie_res_talk_entry* entry : entries_) {
    if (entry == nullptr) continue;
    if (entry->length() == 0) {
      entry->set_offset(0);
      continue;
    }
    entry->set_offset(static_cast<std::uint32_t>(sum));
    sum += entry->length();
  }
  return save_size() <= k_largest_file;
}

std::uint64_t ie_res_talk::save_size() const {
  std::uint64_t size = k_header_size;
  for (const ie_res_talk_entry* entry : entries_)
    if (entry != nullptr) size += k_record_size + entry->length();
  return size;
}

file_save::options ie_res_talk::save_options() {
  file_save::options settings;
  settings.unfinished_mark = k_unfinished_signature;
  return settings;
}

bool ie_res_talk::save(const std::string& file_name) {
  file_save file(file_name, save_options());
  return save(file);
}

bool ie_res_talk::save(file_save& file) {
  if (!write_to(file)) return false;
  if (file.commit()) return true;
  return report_failed_save(file);
}

bool ie_res_talk::report_failed_save(const file_save& file, const file_save* other) {
  report(k_cannot_save);
  if (other) report_kept_backup(*other);
  return report_kept_backup(file);
}

bool ie_res_talk::write_to(file_save& file) {
  if (!file.open()) {
    report(k_cannot_write);
    return report_kept_backup(file);
  }

  // The count written is the number of entries held: after a failed load the
  // header may still announce the records that could not be read.
  std::uint32_t count = 0;
  for (ie_res_talk_entry* entry : entries_) count += entry != nullptr;
  if (!update_offsets()) return report(k_cannot_save);
  set_entry_count(count);
  set_strings_offset(static_cast<std::uint32_t>(k_header_size + k_record_size * count));

  std::string records;
  records.reserve(k_header_size + k_record_size * count);
  records.append(reinterpret_cast<const char*>(header_.data()), k_header_size);
  for (ie_res_talk_entry* entry : entries_) {
    if (entry == nullptr) continue;
    records.append(reinterpret_cast<const char*>(entry->record().data()), k_record_size);
  }
  file.write(records);
  records = std::string();

  static const char zeros[256] = {};
  for (ie_res_talk_entry* entry : entries_) {
    if (entry == nullptr) continue;
    // The record promises `length` bytes. A stored string that held a NUL
    // keeps its length; the bytes after the text were never part of it, so
    // they are written as NUL bytes.
    std::string_view text = std::as_const(*entry).text();
    std::size_t length = entry->length();
    file.write(text.substr(0, length));
    std::size_t padding = length > text.size() ? length - text.size() : 0;
    while (padding > 0) {
      std::size_t chunk = padding < sizeof zeros ? padding : sizeof zeros;
      file.write(zeros, chunk);
      padding -= chunk;
    }
  }
  return true;
}

ie_res_talk_entry* ie_res_talk::add_entry(std::string_view text) {
  auto* entry = new ie_res_talk_entry();
  entry->set_text(text);
  entries_.push_back(entry);
  set_entry_count(entry_count() + 1);
  return entry;
}

std::uint16_t ie_res_talk::language() const {
  return get_le16(header_.data() + tlk_v1::k_language_at);
}

std::uint32_t ie_res_talk::entry_count() const {
  return get_le32(header_.data() + tlk_v1::k_entry_count_at);
}

std::uint32_t ie_res_talk::strings_offset() const {
  return get_le32(header_.data() + tlk_v1::k_strings_offset_at);
}

void ie_res_talk::set_entry_count(std::uint32_t value) {
  put_le32(header_.data() + tlk_v1::k_entry_count_at, value);
}

void ie_res_talk::set_strings_offset(std::uint32_t value) {
  put_le32(header_.data() + tlk_v1::k_strings_offset_at, value);
}
