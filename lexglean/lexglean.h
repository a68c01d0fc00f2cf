// SPDX-License-Identifier: MIT
// lexglean: every distinct word of a talk table, one per line, in byte order.
// A word is a maximal run of the ASCII letters A-Z and a-z; every other byte,
// those from 0x80 up included, ends a word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ie_res_talk;

// Letters as the C locale classifies them, A-Z and a-z. A table keeps the
// scan free of locale lookups and makes bytes from 0x80 up non-letters on
// every platform.
struct letter_table {
  bool is_letter[256] = {};
  constexpr letter_table() {
    for (int c = 'A'; c <= 'Z'; ++c) is_letter[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) is_letter[c] = true;
  }
  bool operator()(char c) const { return is_letter[static_cast<unsigned char>(c)]; }
};
inline constexpr letter_table is_letter;

// Calls `take` with every word of `text`, in the order they stand; the
// views point into `text`.
template <typename Take>
void for_each_word(std::string_view text, Take&& take) {
  std::size_t i = 0;
  const std::size_t size = text.size();
  while (i < size) {
    while (i < size && !is_letter(text[i])) ++i;
    std::size_t start = i;
    while (i < size && is_letter(text[i])) ++i;
    if (i > start) take(text.substr(start, i - start));
  }
}

// Appends every word of `text` to `words`, in the order they stand; the
// views point into `text`.
void split_words(std::string_view text, std::vector<std::string_view>& words);

// The distinct words of all texts of `table`, sorted by unsigned byte value,
// a word that is a prefix of another first.
std::vector<std::string> unique_words(const ie_res_talk& table);

// Runs the command on its command line and returns the exit status.
int run_lexglean(int argc, char** argv);
