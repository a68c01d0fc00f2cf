// SPDX-License-Identifier: MIT
// lexglean: every distinct word of a talk table, one per line, in byte order.
// A word is a maximal run of the ASCII letters A-Z and a-z; every other byte,
// those from 0x80 up included, ends a word.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "common/byte_set.h"

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

// The distinct words of the texts given to it. A word of up to 64 bytes is
// copied into blocks of its own, where the set's look-ups and the sort find
// the words close together; a longer one is kept as a view into the text
// it first came in, so the texts must last as long as the words are used.
// Copies of long words could cost far more than the table: records may
// overlap, so that one file of 100 KB gives 20,000 texts of 80,000 letters,
// each one word.
class word_collector {
 public:
  word_collector();
  word_collector(const word_collector&) = delete;
  word_collector& operator=(const word_collector&) = delete;

  // Takes every word of `text`; a word never runs on from one text into
  // the next.
  void add_text(std::string_view text);

  // The words, each once, sorted by unsigned byte value, a word that is a
  // prefix of another first.
  std::vector<std::string_view> sorted();

 private:
  static constexpr std::size_t k_longest_copied = 64;
  static constexpr std::size_t k_block_size = std::size_t{1} << 16;

  // A copy of a short word in blocks that never move, so that the views in
  // the keys stay valid; a long word as it stands.
  std::string_view keep(std::string_view word);

  key_list words_;
  byte_set set_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;
  std::size_t room_ = 0;
};

// Runs the command on its command line and returns the exit status.
int run_lexglean(int argc, char** argv);
