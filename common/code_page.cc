// SPDX-License-Identifier: MIT
#include "common/code_page.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <utility>

#include "common/code_page_system.h"

namespace {

// The pages the classic games were made and localised in. Windows-1258 is
// left out: glibc composes and decomposes Vietnamese letters where Windows
// does not, so the two systems could not agree on its bytes.
constexpr std::array<code_page, 14> k_pages = {{
    {"utf-8", 65001},
    {"cp1250", 1250},
    {"cp1251", 1251},
    {"cp1252", 1252},
    {"cp1253", 1253},
    {"cp1254", 1254},
    {"cp1255", 1255},
    {"cp1256", 1256},
    {"cp1257", 1257},
    {"cp874", 874},
    {"cp932", 932, true},
    {"cp936", 936, true},
    {"cp949", 949, true},
    {"cp950", 950, true},
}};

std::string lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

// glibc maps some bytes that a page leaves undefined to C1 controls or to
// private use (cp950 80 to U+0080, cp932 F0 40 to U+E000), and Windows maps
// the undefined bytes of its single-byte pages to C1 controls: no text of
// a game holds either, and refusing both makes the systems agree.
// Windows also maps cp1255 CA to a Hebrew point that glibc leaves out.
bool refused_character(const code_page& page, std::uint32_t character) {
  return (character >= 0x80 && character <= 0x9f) || (character >= 0xe000 && character <= 0xf8ff) ||
         (page.number == 1255 && character == 0x5ba);
}

// The first byte from `at` on that is not ASCII, eight bytes at a time:
// most texts of most tables are ASCII all through.
std::size_t skip_ascii(std::string_view text, std::size_t at) {
  for (; at + 8 <= text.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    if ((word & 0x8080808080808080u) != 0) break;
  }
  while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80) ++at;
  return at;
}

// The first character of `utf8` (checked) that the kit refuses in a code
// page, and where it stands.
std::optional<std::pair<std::size_t, std::uint32_t>> first_refused(const code_page& page,
                                                                   std::string_view utf8) {
  for (std::size_t at = skip_ascii(utf8, 0); at < utf8.size(); at = skip_ascii(utf8, at)) {
    const auto [length, character] = utf8_character(utf8, at);
    if (refused_character(page, character)) return std::pair{at, character};
    at += length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<code_page> find_code_page(std::string_view name) {
  std::string wanted = lower(name);
  if (wanted == "utf8") wanted = "utf-8";
  if (wanted.rfind("windows-", 0) == 0) wanted = "cp" + wanted.substr(8);
  for (const code_page& page : k_pages)
    if (page.name == wanted) return page;
  return std::nullopt;
}

std::string code_page_names() {
  std::string names;
  for (const code_page& page : k_pages) {
    if (!names.empty()) names += ", ";
    names += page.name;
  }
  return names;
}

result<code_page> page_named(const std::string& name, std::string_view program) {
  if (std::optional<code_page> page = find_code_page(name)) return *page;
  return refusal("Cannot proceed, '" + name + "' is not a code page that " + std::string(program) +
                 " converts; it converts " + code_page_names() + ".");
}

result<text_converter> converter_for(const code_page& page) {
  if (std::optional<text_converter> converter = text_converter::open(page))
    return std::move(*converter);
  return refusal("Cannot proceed, this system cannot convert " + std::string(page.name) + ".");
}

result<page_decoder> page_decoder::open(const code_page& page) {
  page_decoder decoder;
  if (page.number == 65001) {
    decoder.utf8_ = true;
    return decoder;
  }
  result<text_converter> converter = converter_for(page);
  if (!converter.ok()) return converter.error();
  conversion_failure failure;
  // The one character that `bytes` decode to, or `k_none`.
  auto character_of = [&](const std::string& bytes) {
    std::optional<std::string> utf8 = converter->decode(bytes, failure);
    if (!utf8 || utf8->empty()) return k_none;
    const auto [length, character] = utf8_character(*utf8, 0);
    return length == utf8->size() ? character : k_none;
  };
  decoder.single_.assign(256, k_none);
  decoder.single_[0] = 0;
  for (int first = 1; first < 256; ++first) {
    decoder.single_[first] = character_of(std::string(1, static_cast<char>(first)));
    if (decoder.single_[first] != k_none || !page.double_byte || first < 0x81) continue;
    decoder.double_.resize(256 * 256, k_none);
    bool lead = false;
    for (int second = 1; second < 256; ++second) {
      const std::uint32_t character =
          character_of({static_cast<char>(first), static_cast<char>(second)});
      decoder.double_[(std::size_t(first) << 8) | std::size_t(second)] = character;
      lead = lead || character != k_none;
    }
    if (lead) decoder.single_[first] = k_lead;
  }
  for (std::uint32_t c = 1; c < 0x80; ++c)
    decoder.ascii_as_is_ = decoder.ascii_as_is_ && decoder.single_[c] == c;
  return decoder;
}

std::string character_name(std::uint32_t character) {
  static constexpr char k_digits[] = "0123456789ABCDEF";
  std::string digits;
  for (; character != 0 || digits.size() < 4; character >>= 4)
    digits.insert(digits.begin(), k_digits[character & 0xfu]);
  return "U+" + digits;
}

std::pair<std::size_t, std::uint32_t> utf8_character(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(at);
  if (first < 0x80) return {1, first};
  std::size_t length = 0;
  std::uint32_t character = 0;
  std::uint32_t lowest = 0;
  if (first >= 0xc2 && first <= 0xdf) {
    length = 2, character = first & 0x1fu, lowest = 0x80;
  } else if (first >= 0xe0 && first <= 0xef) {
    length = 3, character = first & 0x0fu, lowest = 0x800;
  } else if (first >= 0xf0 && first <= 0xf4) {
    length = 4, character = first & 0x07u, lowest = 0x10000;
  } else {
    return {0, 0};
  }
  if (text.size() - at < length) return {0, 0};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0u) != 0x80) return {0, 0};
    character = character << 6 | (byte(at + i) & 0x3fu);
  }
  // Overlong forms, surrogates and what lies past Unicode are no text.
  if (character < lowest || character > 0x10ffff || (character >= 0xd800 && character <= 0xdfff))
    return {0, 0};
  return {length, character};
}

void append_utf8(std::string& out, std::uint32_t character) {
  if (character < 0x80) {
    out += static_cast<char>(character);
    return;
  }
  const int length = character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
  static constexpr unsigned char k_lead[] = {0, 0, 0xc0, 0xe0, 0xf0};
  char bytes[4];
  bytes[0] = static_cast<char>(k_lead[length] | (character >> (6 * (length - 1))));
  for (int i = 1; i < length; ++i)
    bytes[i] = static_cast<char>(0x80 | ((character >> (6 * (length - 1 - i))) & 0x3f));
  out.append(bytes, static_cast<std::size_t>(length));
}

bool is_ascii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::optional<std::size_t> first_non_utf8(std::string_view text) {
  for (std::size_t at = skip_ascii(text, 0); at < text.size(); at = skip_ascii(text, at)) {
    const std::size_t length = utf8_character(text, at).first;
    if (length == 0) return at;
    at += length;
  }
  return std::nullopt;
}

std::uint32_t character_at(std::string_view text, std::size_t offset) {
  return utf8_character(text, offset).second;
}

text_converter::text_converter(code_page page, std::unique_ptr<system> converter)
    : page_(page), system_(std::move(converter)) {}
text_converter::text_converter(text_converter&&) noexcept = default;
text_converter& text_converter::operator=(text_converter&&) noexcept = default;
text_converter::~text_converter() = default;

std::optional<text_converter> text_converter::open(const code_page& page) {
  if (page.number == 65001) return text_converter(page, nullptr);
  std::unique_ptr<system> converter = system::open(page);
  if (!converter) return std::nullopt;
  return text_converter(page, std::move(converter));
}

std::optional<std::string> text_converter::decode(std::string_view bytes,
                                                  conversion_failure& failure) {
  failure = {};
  if (!system_) {
    if (std::optional<std::size_t> bad = first_non_utf8(bytes)) {
      failure.offset = *bad;
      return std::nullopt;
    }
    return std::string(bytes);
  }
  std::string utf8;
  if (!system_->decode(bytes, utf8, failure.offset)) return std::nullopt;
  if (auto refused = first_refused(page_, utf8)) {
    // Where the refused character stands in the page's bytes: the length
    // of what the text before it encodes to.
    std::string before;
    std::size_t ignored = 0;
    system_->encode(std::string_view(utf8).substr(0, refused->first), before, ignored);
    failure.offset = before.size();
    return std::nullopt;
  }
  return utf8;
}

std::optional<std::string> text_converter::encode(std::string_view utf8,
                                                  conversion_failure& failure) {
  failure = {};
  if (std::optional<std::size_t> bad = first_non_utf8(utf8)) {
    failure.offset = *bad;
    return std::nullopt;
  }
  if (!system_) return std::string(utf8);
  if (auto refused = first_refused(page_, utf8)) {
    failure.offset = refused->first;
    failure.character = refused->second;
    return std::nullopt;
  }
  std::string bytes;
  // Big5 has two codes for each of four box-drawing characters, and glibc
  // writes the first where Windows writes the second: the kit writes the
  // first, on both, between the parts that the system converts.
  std::size_t from = 0;
  const auto encode_up_to = [&](std::size_t to) {
    if (system_->encode(utf8.substr(from, to - from), bytes, failure.offset)) return true;
    failure.offset += from;
    failure.character = character_at(utf8, failure.offset);
    return false;
  };
  if (page_.number == 950) {
    for (std::size_t at = 0; at + 3 <= utf8.size(); ++at) {
      const std::uint32_t character = character_at(utf8, at);
      static constexpr std::pair<std::uint32_t, std::string_view> k_first[] = {
          {0x2550, "\xa2\xa4"}, {0x255e, "\xa2\xa5"}, {0x256a, "\xa2\xa6"}, {0x2561, "\xa2\xa7"}};
      for (const auto& [twice, code] : k_first) {
        if (character != twice) continue;
        if (!encode_up_to(at)) return std::nullopt;
        bytes += code;
        from = at + 3;
      }
    }
  }
  if (!encode_up_to(utf8.size())) return std::nullopt;
  // A page holds a character only if its bytes read back as that character:
  // glibc's cp932 writes U+00A5 as the byte of a backslash, and the double-
  // byte pages drop tag characters without a word.
  if (std::optional<std::string> back = decode(bytes, failure); back && *back == utf8) return bytes;
  failure = {};
  for (std::size_t at = skip_ascii(utf8, 0); at < utf8.size(); at = skip_ascii(utf8, at)) {
    const std::size_t length = utf8_character(utf8, at).first;
    std::string_view one = utf8.substr(at, length);
    std::string alone;
    std::size_t ignored = 0;
    conversion_failure unused;
    std::optional<std::string> back;
    if (system_->encode(one, alone, ignored)) back = decode(alone, unused);
    if (!back || *back != one) {
      failure.offset = at;
      failure.character = character_at(utf8, at);
      return std::nullopt;
    }
    at += length;
  }
  // Each character reads back alone, but not the whole (no page the kit
  // converts does this): refused all the same, at its start.
  failure.offset = 0;
  failure.character = character_at(utf8, 0);
  return std::nullopt;
}
