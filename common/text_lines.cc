// SPDX-License-Identifier: MIT
#include "common/text_lines.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "common/command.h"
#include "common/file_names.h"
#include "common/save_system.h"

namespace {

struct file_closer {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The fewest characters of a list without a mark that can show it is of
// two- or four-byte characters.
constexpr std::size_t k_fewest_wide_characters = 5;

// A file that another run rewrites in place holds neither its old bytes nor
// its new ones until that run is done: the rewrite lock, taken shared,
// waits for it. Held until the file is closed, and only by readers, so a
// reader never waits for a writer's whole run, only for its rewrite.
void wait_for_rewrite(const std::string& file_name, std::FILE* file) {
  int fd = save_system::stream_fd(file);
  if (save_system::lock_rewrite(fd, false, false) || errno != EWOULDBLOCK) return;
  flush_standard_output();
  std::cerr << "Waiting for another run to finish rewriting '" << file_name << "' ..." << std::endl;
  save_system::lock_rewrite(fd, false, true);
}

}  // namespace

bool read_file(const std::string& file_name, file_bytes& bytes) {
  bytes.clear();
  // A directory opens like a file on some systems and then fails to read,
  // or reports a size that is no size at all.
  std::error_code error;
  const std::filesystem::path path = native_path(file_name);
  std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) return false;
  std::unique_ptr<std::FILE, file_closer> file(open_file(file_name, "rb"));
  if (!file) return false;
  if (std::filesystem::is_regular_file(status)) wait_for_rewrite(file_name, file.get());
  // The size only sizes the first read: the loop after it reads on until the
  // end, so a file that grows meanwhile is still read whole, and a pipe or
  // a device, which has no size, is read all the same.
  std::size_t filled = 0;
  if (std::filesystem::is_regular_file(status)) {
    std::uintmax_t size = std::filesystem::file_size(path, error);
    // A file larger than this system's memory can address (4 GiB on a
    // 32-bit one) is out of memory, not a size to cut short.
    if (!error && size > bytes.max_size()) throw std::length_error("file too large");
    if (!error && size > 0) {
      bytes.resize(static_cast<std::size_t>(size));
      filled = std::fread(bytes.data(), 1, bytes.size(), file.get());
    }
  }
  // Growing the buffer copies it, so first make sure there is more to read.
  int more = filled == bytes.size() ? std::fgetc(file.get()) : EOF;
  if (more != EOF) {
    bytes.resize(filled);
    bytes.push_back(static_cast<char>(more));
    filled++;
    for (;;) {
      bytes.resize(filled + (1 << 16));
      std::size_t got = std::fread(bytes.data() + filled, 1, bytes.size() - filled, file.get());
      filled += got;
      if (filled < bytes.size()) break;
    }
  }
  bytes.resize(filled);
  if (std::ferror(file.get())) {
    bytes.clear();
    return false;
  }
  return true;
}

text_kind kind_of_text(std::string_view bytes) {
  using namespace std::string_view_literals;
  if (bytes.starts_with("\xff\xfe\0\0"sv) || bytes.starts_with("\0\0\xfe\xff"sv))
    return text_kind::utf32;
  if (bytes.starts_with("\xff\xfe"sv) || bytes.starts_with("\xfe\xff"sv)) return text_kind::utf16;
  // Without a mark (iconv and many scripts write none), the NUL bytes tell:
  // text of one-byte characters holds hardly any, while Latin text of two-
  // or four-byte characters holds one in every high byte. Most lists hold no
  // NUL at all, which one quick search finds.
  if (bytes.find('\0') == std::string_view::npos) return text_kind::plain;
  // A few bytes cannot tell: a list of four characters or fewer, and one of
  // an odd length, is taken as one-byte text, whose NUL is then its own
  // fault to report.
  if (bytes.size() < 2 * k_fewest_wide_characters || bytes.size() % 2 != 0) return text_kind::plain;
  std::size_t nuls[4] = {}, places[4] = {};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    places[i % 4]++;
    nuls[i % 4] += bytes[i] == '\0';
  }
  // A character's top byte is always NUL in UTF-32, and its next one is
  // for every Latin letter.
  if (bytes.size() % 4 == 0) {
    if (nuls[3] == places[3] && nuls[2] * 2 >= places[2]) return text_kind::utf32;
    if (nuls[0] == places[0] && nuls[1] * 2 >= places[1]) return text_kind::utf32;
  }
  // In UTF-16 one byte of each pair is NUL for every Latin letter, the other
  // hardly ever.
  std::size_t even_nuls = nuls[0] + nuls[2], odd_nuls = nuls[1] + nuls[3];
  std::size_t evens = places[0] + places[2], odds = places[1] + places[3];
  if (odd_nuls * 2 >= odds && even_nuls * 4 <= odd_nuls) return text_kind::utf16;
  if (even_nuls * 2 >= evens && odd_nuls * 4 <= even_nuls) return text_kind::utf16;
  return text_kind::plain;
}

std::string_view list_text(std::string_view bytes) {
  constexpr std::string_view utf8_mark = "\xef\xbb\xbf";
  if (bytes.starts_with(utf8_mark)) bytes.remove_prefix(utf8_mark.size());
  return bytes;
}

std::string wide_text_message(const std::string& file_name, text_kind kind) {
  return "Cannot proceed, file '" + file_name + "' is " +
         (kind == text_kind::utf32 ? "UTF-32" : "UTF-16") + " text; save it as UTF-8 or ANSI.";
}

std::string line_message(const std::string& file_name, std::size_t line, std::string_view what) {
  return "Cannot proceed, line " + std::to_string(line) + " of '" + file_name +
         "': " + std::string(what);
}

outcome read_list(const std::string& file_name, list_file& list, const std::string& missing) {
  list.text = {};
  if (!read_file(file_name, list.bytes)) return refusal(missing);
  if (text_kind kind = kind_of_text(list.bytes); kind != text_kind::plain)
    return refusal(wide_text_message(file_name, kind));
  list.text = list_text(list.bytes);
  return {};
}

bool line_reader::next(std::string_view& line) {
  if (position_ >= text_.size()) return false;
  std::size_t end = text_.find('\n', position_);
  std::size_t next = end + 1;
  if (end == std::string_view::npos) {
    end = text_.size();
    next = end;
  } else if (end > position_ && text_[end - 1] == '\r') {
    --end;
  }
  line = text_.substr(position_, end - position_);
  position_ = next;
  return true;
}
