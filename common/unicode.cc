// SPDX-License-Identifier: MIT
#include "common/unicode.h"

#include <algorithm>
#include <iterator>

#include "common/code_page.h"

namespace {

struct code_range {
  std::uint32_t first, last;
};
struct case_pair {
  std::uint32_t from, to;
};

#include "common/unicode_tables.inc"

template <std::size_t N>
bool in_ranges(const code_range (&ranges)[N], std::uint32_t character) {
  const code_range* end = ranges + N;
  const code_range* at = std::upper_bound(
      ranges, end, character, [](std::uint32_t c, const code_range& r) { return c < r.first; });
  return at != ranges && character <= std::prev(at)->last;
}

}  // namespace

std::string_view unicode_version() { return k_unicode_version; }

bool is_unicode_letter(std::uint32_t character) {
  if (character < 0x80) return (character | 0x20) >= 'a' && (character | 0x20) <= 'z';
  return in_ranges(k_letters, character);
}

bool is_unicode_mark(std::uint32_t character) {
  return character >= 0x300 && in_ranges(k_marks, character);
}

std::uint32_t unicode_lower(std::uint32_t character) {
  if (character < 0x80) return character >= 'A' && character <= 'Z' ? character + 32 : character;
  const case_pair* end = std::end(k_lower);
  const case_pair* at =
      std::lower_bound(std::begin(k_lower), end, character,
                       [](const case_pair& pair, std::uint32_t c) { return pair.from < c; });
  return at != end && at->from == character ? at->to : character;
}

std::string fold_case(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      folded += static_cast<char>(byte >= 'A' && byte <= 'Z' ? byte + 32 : byte);
      ++at;
      continue;
    }
    const auto [length, character] = utf8_character(text, at);
    if (length == 0) {
      folded += static_cast<char>(byte);
      ++at;
      continue;
    }
    append_utf8(folded, unicode_lower(character));
    at += length;
  }
  return folded;
}
