// SPDX-License-Identifier: MIT
// Texts between a game's code page and UTF-8, through the system's own
// converters: iconv in the C library on POSIX systems, the Win32 code-page
// functions on Windows. Both give the same bytes for the same input: what
// one of them maps and the other leaves undefined is refused on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/outcome.h"

// A code page the kit converts: its name as users write it ("cp1252"), and
// its number in Windows' terms (65001 for UTF-8).
struct code_page {
  std::string_view name;
  unsigned number;
  // Whether a character may take two bytes (cp932, cp936, cp949, cp950).
  bool double_byte = false;
};

// The code page of `name`, any case, written as "cp1252", "windows-1252",
// "utf-8" or "utf8"; nothing for a page the kit does not convert.
std::optional<code_page> find_code_page(std::string_view name);
// The names of every page the kit converts, for a message.
std::string code_page_names();
// The page called `name`, or the refusal that lists the pages `program`
// converts.
result<code_page> page_named(const std::string& name, std::string_view program);

// Why a text could not be converted.
struct conversion_failure {
  // Where in the input the failure starts, in bytes.
  std::size_t offset = 0;
  // In encoding, the character the page cannot hold or that the kit refuses
  // (a control of U+0080 to U+009F, or one of private use, U+E000 to
  // U+F8FF, which the two systems map differently); a page holds only the
  // characters whose bytes read back as themselves. Nothing for bytes that
  // are no character: in decoding, bytes that the page leaves undefined or
  // that only one system maps (to those characters) are no text, whichever
  // system reads them.
  std::optional<std::uint32_t> character;
};

// "U+00E9": how a message names a character.
std::string character_name(std::uint32_t character);

// Converts texts of one code page, each on its own. Not for two threads at
// once.
class text_converter {
 public:
  // A converter for `page`; nothing where the system lacks it.
  static std::optional<text_converter> open(const code_page& page);
  text_converter(text_converter&&) noexcept;
  text_converter& operator=(text_converter&&) noexcept;
  ~text_converter();

  // The text in UTF-8; `failure` tells why there is none.
  std::optional<std::string> decode(std::string_view bytes, conversion_failure& failure);
  // UTF-8 text (checked) in the page's bytes; `failure` tells why there are
  // none.
  std::optional<std::string> encode(std::string_view utf8, conversion_failure& failure);

  const code_page& page() const { return page_; }

  // The system's converter, one file for each kind of system.
  class system;

 private:
  text_converter(code_page page, std::unique_ptr<system> converter);

  code_page page_;
  std::unique_ptr<system> system_;
};

// The converter of `page`, or "Cannot proceed, this system cannot convert
// PAGE."
result<text_converter> converter_for(const code_page& page);

// The length of the UTF-8 sequence at `at`, below the size of `text`, and
// its character; length 0 where the bytes are no character (overlong forms,
// surrogates and what lies past U+10FFFF included).
std::pair<std::size_t, std::uint32_t> utf8_character(std::string_view text, std::size_t at);

// Appends `character` (below U+110000, no surrogate) to `out` in UTF-8.
void append_utf8(std::string& out, std::uint32_t character);

// Reads the characters of one code page one at a time, from tables made
// once through the page's converter: a character is what `decode` makes of
// its bytes alone, so that the two agree on every text (the pages the kit
// converts are read a character at a time, each of one or two bytes that its
// first byte tells), and a scan needs no call into the system for each text.
class page_decoder {
 public:
  static result<page_decoder> open(const code_page& page);

  // Whether every byte below 0x80 is its own ASCII character, as in
  // almost every text of almost every table: a scan then takes such bytes
  // without a look-up.
  bool ascii_as_is() const { return ascii_as_is_; }

  // The length of the character at `at`, below the size of `text`, and the
  // character; length 0 where the bytes are no text of the page.
  std::pair<std::size_t, std::uint32_t> next(std::string_view text, std::size_t at) const {
    if (utf8_) return utf8_character(text, at);
    const auto first = static_cast<unsigned char>(text[at]);
    const std::uint32_t single = single_[first];
    if (single != k_lead) return {single == k_none ? 0 : 1, single};
    if (at + 1 >= text.size()) return {0, 0};
    const std::uint32_t pair =
        double_[(std::size_t{first} << 8) | static_cast<unsigned char>(text[at + 1])];
    return {pair == k_none ? 0 : 2, pair};
  }

 private:
  static constexpr std::uint32_t k_none = 0xffffffff;
  static constexpr std::uint32_t k_lead = 0xfffffffe;

  bool utf8_ = false;
  bool ascii_as_is_ = true;
  std::vector<std::uint32_t> single_;
  std::vector<std::uint32_t> double_;
};

// Whether every byte of `text` is ASCII, which reads alike in every page
// the kit converts.
bool is_ascii(std::string_view text);

// Whether `text` is UTF-8 that a PO file may hold: no byte sequence that is
// not a character, no surrogate, nothing past U+10FFFF. The offset of the
// first fault where it is not.
std::optional<std::size_t> first_non_utf8(std::string_view text);

// The first character of `text` (UTF-8, checked) at `offset`.
std::uint32_t character_at(std::string_view text, std::size_t offset);
