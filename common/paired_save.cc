// SPDX-License-Identifier: MIT
#include "common/paired_save.h"

#include <filesystem>
#include <utility>
#include <vector>

#include "common/command.h"
#include "common/file_names.h"
#include "common/text_lines.h"

namespace {

constexpr std::string_view k_first_line = "lexkit: two files saved together\n";
constexpr std::string_view k_saving = "saving";
constexpr std::string_view k_saved = "saved";

// A name that still leads to the file from another folder.
std::string absolute_name(const std::string& name) {
  std::error_code ignored;
  std::filesystem::path path = std::filesystem::absolute(native_path(name), ignored);
  return name_of(path.lexically_normal());
}

// The record's lines after its first: the state, what the run was, the
// two files' names.
std::optional<std::vector<std::string>> read_record(const std::string& record) {
  file_bytes bytes;
  if (!read_file(record, bytes) || !std::string_view(bytes).starts_with(k_first_line))
    return std::nullopt;
  std::vector<std::string> lines;
  std::string_view rest = std::string_view(bytes).substr(k_first_line.size());
  while (!rest.empty()) {
    std::size_t end = rest.find('\n');
    lines.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  if (lines.size() != 4) return std::nullopt;
  return lines;
}

bool same_bytes(const std::string& one, const std::string& other) {
  file_bytes a, b;
  return read_file(one, a) && read_file(other, b) && a == b;
}

// What the file `name` holds, for a pair in `state`.
std::string holds(const std::string& name, std::string_view state) {
  std::vector<std::string> backups = leftover_backups(name);
  std::string said = "'" + name + "' ";
  if (state == k_saved)
    return said + "was saved" +
           (backups.empty() ? "" : ", and '" + backups.front() + "' holds its old bytes");
  if (backups.empty()) return said + "holds its old bytes";
  if (same_bytes(name, backups.front()))
    return said + "holds its old bytes, as '" + backups.front() + "' does";
  return said + "was saved, and '" + backups.front() + "' holds its old bytes";
}

}  // namespace

std::string pair_record_name(const std::string& first) { return first + ".lexkit-pair"; }

paired_save::paired_save(std::string first, std::string second, std::string what)
    : first_(std::move(first)),
      second_(std::move(second)),
      what_(std::move(what)),
      record_(pair_record_name(first_)) {}

paired_save::~paired_save() {
  std::error_code ignored;
  if (begun_ && !keep_record_) std::filesystem::remove(native_path(record_), ignored);
}

bool paired_save::write_record(const char* state) {
  file_save file(record_);
  if (!file.open()) return false;
  file.write(k_first_line);
  file.write(std::string(state) + "\n" + what_ + "\n" + absolute_name(first_) + "\n" +
             absolute_name(second_) + "\n");
  return file.commit();
}

bool paired_save::begin() {
  begun_ = write_record(k_saving.data());
  return begun_;
}

bool paired_save::commit(file_save& first, file_save& second) {
  if (!begun_ || !first.ready() || !second.ready() || !first.commit()) return false;
  if (!second.commit()) {
    // The second has its old bytes back; the first gets them too, and
    // where it cannot, the record stays to say so.
    keep_record_ = !first.undo();
    return false;
  }
  // Once the record says so, the backups are only old bytes to delete.
  write_record(k_saved.data());
  first.forget_old_bytes();
  second.forget_old_bytes();
  std::error_code ignored;
  std::filesystem::remove(native_path(record_), ignored);
  return true;
}

std::optional<std::string> cut_pair_report(const std::string& name) {
  const std::string record = pair_record_name(name);
  if (!file_exists(record)) return std::nullopt;
  std::optional<std::vector<std::string>> lines = read_record(record);
  if (!lines)
    return "Cannot proceed, '" + record +
           "' says that a save of two files together was cut short, but it cannot be read; "
           "compare each file with its backup, keep the one you want, and delete the other and '" +
           record + "'.";
  const std::string& state = (*lines)[0];
  return "Cannot proceed, " + (*lines)[1] + " '" + (*lines)[2] + "' and '" + (*lines)[3] +
         "' was cut short ('" + record + "' says so): " + holds((*lines)[2], state) + "; " +
         holds((*lines)[3], state) +
         ". To start again, put each backup back over its file; to keep the files as they are, "
         "delete the backups; then delete '" +
         record + "'.";
}
