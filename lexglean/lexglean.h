// SPDX-License-Identifier: MIT
// lexglean: every distinct word of a talk table, one per line, in byte order.
// A word is a maximal run of the ASCII letters A-Z and a-z; every other byte,
// those from 0x80 up included, ends a word.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/byte_set.h"
#include "common/code_page.h"

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
  // Takes one word, which must last as long as the collector where it is
  // longer than 64 bytes.
  void add_word(std::string_view word);

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

// The distinct words of texts in a code page (lexglean --encoding), or of
// texts whose letters are A-Z folded to lower case (--lower alone). With a
// page, a word is a run of letters (Unicode's category L) with the
// combining marks (category M) that follow a letter inside it, written in
// UTF-8, in lower case with `lower`. A word whose UTF-8 takes up to 64
// bytes is kept as UTF-8; a longer one as its bytes in the text, made UTF-8
// again where it is compared or written, so that long words cost no more
// than they do as the table's own bytes (see `word_collector`).
class page_word_collector {
 public:
  // `decoder` null: bytes, with A-Z and a-z the letters, as without options.
  page_word_collector(const page_decoder* decoder, bool lower);

  // Takes every word of `text`, which must last as long as the collector;
  // false where it holds bytes that are no text of the page, `bad_at` the
  // first of them.
  bool add_text(std::string_view text, std::size_t& bad_at);

  // Writes the words, each once, in byte order, a line each; false when
  // standard output failed.
  bool write_sorted(std::ostream& out);

 private:
  // The character at `at` of a text: its length (0 for bytes that are no
  // text) and the character.
  std::pair<std::size_t, std::uint32_t> next(std::string_view text, std::size_t at) const;
  bool is_word_start(std::uint32_t character) const;
  bool is_word_rest(std::uint32_t character) const;
  std::uint32_t written(std::uint32_t character) const;
  // A long word (the text's bytes) against another, or against a short one
  // (UTF-8), by the UTF-8 they are written as: below, equal or above 0.
  int compare_long(std::string_view a, std::string_view b) const;
  int compare_long_short(std::string_view source, std::string_view utf8) const;
  std::string utf8_of(std::string_view source) const;

  // What Unicode's tables say of the characters below U+3000, which hold
  // every script of the single-byte pages, looked up once: their kind
  // (letter, mark, other) and what they are written as.
  static constexpr std::uint32_t k_cached = 0x3000;
  std::vector<std::uint8_t> kind_;
  std::vector<std::uint32_t> written_;

  const page_decoder* decoder_;
  bool lower_;
  word_collector short_words_;  // UTF-8
  word_collector long_words_;   // the text's bytes
  std::string word_;
};

// Runs the command on its command line and returns the exit status.
int run_lexglean(int argc, char** argv);
