// SPDX-License-Identifier: MIT
// What a replacement list makes of each word, remembered. Where no search
// string holds a blank, the rules change each word of a text (a run of
// bytes that search strings hold) on its own, and a table repeats a few
// tens of thousands of words millions of times: a list whose replacements
// feed later rules then costs one run of the rules per distinct word, not
// one per rule and text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class word_memo {
 public:
  // What is known of a word: whether the rules leave it as it is, and
  // otherwise what they make of it (valid until the next `keep`).
  struct known {
    bool same;
    std::string_view result;
  };

  std::optional<known> find(std::string_view word) const;
  // Remembers what the rules make of `word`, unless the word or its result
  // is too long to be worth it, or the memo has reached its size.
  void keep(std::string_view word, std::string_view result);

  // Words longer than this are not kept: they hardly repeat.
  static constexpr std::size_t k_longest_word = 64;
  // Nor results longer than this, which would fill the memo in few words.
  static constexpr std::size_t k_longest_result = std::size_t{64} << 10;
  // The memo's bytes, words and results together, stay below this.
  static constexpr std::size_t k_most_bytes = std::size_t{8} << 20;

 private:
  struct entry {
    std::uint64_t hash;
    std::uint32_t word_at;
    std::uint32_t word_size;
    std::uint32_t result_at;
    // k_same where the word stays as it is.
    std::uint32_t result_size;
  };
  static constexpr std::uint32_t k_same = 0xffffffffu;

  void place(std::size_t index);

  std::vector<entry> entries_;
  // Open addressing: index + 1 into `entries_`, or 0 for a free slot; a
  // power of two, at most half full.
  std::vector<std::uint32_t> slots_ = std::vector<std::uint32_t>(1024, 0);
  std::string bytes_;
};
