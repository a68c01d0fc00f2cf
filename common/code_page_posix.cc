// SPDX-License-Identifier: MIT
// The text converter's system half on POSIX systems: iconv.
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>

#include "common/code_page_system.h"

struct text_converter::system::handles {
  iconv_t from_page;
  iconv_t to_page;
  // For a single-byte page, what each byte is in UTF-8 on its own (empty
  // for a byte the page leaves undefined), and the way back, by character.
  std::array<std::string, 256> by_byte;
  std::unordered_map<std::uint32_t, char> by_character;
  // The same, for the loops: each byte's UTF-8 (up to three bytes) and its
  // length, 0 where it has none; each ASCII character's byte, or -1.
  std::array<std::array<char, 4>, 256> utf8_of{};
  std::array<unsigned char, 256> length_of{};
  std::array<int, 128> byte_of_ascii{};
  // Whether ASCII stays ASCII (on every Windows page): runs of it are copied.
  bool ascii_same = false;
  ~handles() {
    iconv_close(from_page);
    iconv_close(to_page);
  }
};

namespace {

// Converts all of `in` with `converter`, appending to `out`; false, with the
// offset in `in` where it stopped, at bytes that are no character of the
// source or a character the target cannot hold (glibc's iconv never puts
// anything in its place unless asked to).
bool convert(iconv_t converter, std::string_view in, std::string& out, std::size_t& bad_offset) {
  // Each text starts from the converter's first state.
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char* source = const_cast<char*>(in.data());
  std::size_t source_left = in.size();
  const std::size_t start = out.size();
  // UTF-8 takes at most three bytes for a byte of a code page, and a code
  // page at most two for a character of UTF-8's one to four: a first guess
  // that is seldom grown.
  out.resize(start + in.size() * 3 + 16);
  std::size_t used = start;
  // The input, then the flush of what a converter holds back (cp1255 waits
  // for a combining mark after a letter), each grown into as it needs.
  for (bool flushing = false;;) {
    char* target = out.data() + used;
    std::size_t target_left = out.size() - used;
    const std::size_t done = flushing
                                 ? iconv(converter, nullptr, nullptr, &target, &target_left)
                                 : iconv(converter, &source, &source_left, &target, &target_left);
    used = out.size() - target_left;
    if (done != static_cast<std::size_t>(-1)) {
      if (flushing) break;
      flushing = true;
      continue;
    }
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    out.resize(start);
    bad_offset = in.size() - source_left;
    return false;
  }
  out.resize(used);
  return true;
}

}  // namespace

std::unique_ptr<text_converter::system> text_converter::system::open(const code_page& page) {
  // glibc's own names of the Windows pages: CP932, never SHIFT_JIS, whose
  // 5C is a yen sign where the game's is a backslash.
  const std::string name = "CP" + std::to_string(page.number);
  iconv_t from_page = iconv_open("UTF-8", name.c_str());
  if (from_page == reinterpret_cast<iconv_t>(-1)) return nullptr;
  iconv_t to_page = iconv_open(name.c_str(), "UTF-8");
  if (to_page == reinterpret_cast<iconv_t>(-1)) {
    iconv_close(from_page);
    return nullptr;
  }
  auto opened = std::unique_ptr<handles>(new handles{from_page, to_page, {}, {}});
  // A single-byte page is converted a byte at a time, as Windows does:
  // glibc's cp1255 would join a Hebrew letter and the points after it into
  // one character of presentation form, which Windows never makes.
  if (!page.double_byte) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      std::string& utf8 = opened->by_byte[byte];
      std::size_t ignored = 0;
      if (!convert(from_page, std::string(1, static_cast<char>(byte)), utf8, ignored)) continue;
      opened->by_character.emplace(character_at(utf8, 0), static_cast<char>(byte));
      std::copy(utf8.begin(), utf8.end(), opened->utf8_of[byte].begin());
      opened->length_of[byte] = static_cast<unsigned char>(utf8.size());
    }
    for (std::uint32_t character = 0; character < 128; ++character) {
      const auto found = opened->by_character.find(character);
      opened->byte_of_ascii[character] =
          found == opened->by_character.end() ? -1 : static_cast<unsigned char>(found->second);
    }
    opened->ascii_same = true;
    for (int character = 0; character < 128; ++character)
      opened->ascii_same = opened->ascii_same && opened->byte_of_ascii[character] == character;
  }
  return std::unique_ptr<system>(new system(std::move(opened)));
}

text_converter::system::system(std::unique_ptr<handles> opened) : handles_(std::move(opened)) {}
text_converter::system::~system() = default;

bool text_converter::system::decode(std::string_view bytes, std::string& utf8,
                                    std::size_t& bad_offset) {
  if (handles_->by_character.empty()) return convert(handles_->from_page, bytes, utf8, bad_offset);
  // Written through a pointer into room for the longest result: a talk
  // table's texts are converted by the hundred thousand.
  const std::size_t start = utf8.size();
  utf8.resize(start + bytes.size() * 3 + 1);
  char* out = utf8.data() + start;
  const handles& table = *handles_;
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    const unsigned length = table.length_of[byte];
    if (length == 0) {
      utf8.resize(start);
      bad_offset = at;
      return false;
    }
    std::memcpy(out, table.utf8_of[byte].data(), 4);
    out += length;
  }
  utf8.resize(static_cast<std::size_t>(out - utf8.data()));
  return true;
}

bool text_converter::system::encode(std::string_view utf8, std::string& bytes,
                                    std::size_t& bad_offset) {
  if (handles_->by_character.empty()) return convert(handles_->to_page, utf8, bytes, bad_offset);
  const std::size_t start = bytes.size();
  bytes.reserve(start + utf8.size());
  for (std::size_t at = 0; at < utf8.size();) {
    if (handles_->ascii_same) {
      std::size_t end = at;
      while (end < utf8.size() && static_cast<unsigned char>(utf8[end]) < 0x80) ++end;
      bytes.append(utf8, at, end - at);
      at = end;
      if (at == utf8.size()) break;
    }
    if (const auto c = static_cast<unsigned char>(utf8[at]);
        c < 0x80 && handles_->byte_of_ascii[c] >= 0) {
      bytes += static_cast<char>(handles_->byte_of_ascii[c]);
      ++at;
      continue;
    }
    const auto found = handles_->by_character.find(character_at(utf8, at));
    if (found == handles_->by_character.end()) {
      bytes.resize(start);
      bad_offset = at;
      return false;
    }
    bytes += found->second;
    // The length of the character: its first byte and those that go on.
    ++at;
    while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xc0u) == 0x80) ++at;
  }
  return true;
}
