// SPDX-License-Identifier: MIT
// The letter-transition model of wordloom: for every pair of characters, how
// often each character followed it in the training words. Characters are
// bytes; "[" and "]" mark the start and the end of a word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_save.h"
#include "common/outcome.h"

class markovchain {
 public:
  static constexpr char k_start_marker = '[';
  static constexpr char k_end_marker = ']';
  // Generation stops at the end marker; a model edited by hand may never
  // reach it, so a word is cut at this length, far beyond any real word.
  static constexpr std::size_t k_max_word_length = 65536;

  // The 256 counters of one pair, indexed by the follower's unsigned byte
  // value.
  using count_table = std::array<std::uint32_t, 256>;

  markovchain();
  virtual ~markovchain();
  markovchain(const markovchain&) = delete;
  markovchain& operator=(const markovchain&) = delete;

  // Records one training word: "[", the word, "]", and every character of
  // that after the first two counted as the follower of the two before it.
  // The empty word records nothing.
  void add_word(std::string_view word);
  // Raises the counter of `next` under `pair` (two bytes), creating the pair
  // with 256 zero counters when it is new. Counters wrap at 2^32.
  void add_transition(std::string_view pair, char next);
  // The sum of the pair's counters as a signed 32-bit number (wrapping), 0
  // for a pair that does not exist.
  std::int32_t transition_total(std::string_view pair) const;

  // A first character drawn with one `rand` value, weighted by the totals of
  // the pairs that begin with "["; 0 when there is none.
  char first_character() const;
  // A follower of `pair` drawn with one `rand` value, weighted by its
  // counters; 0 when the pair has no follower.
  char next_character(std::string_view pair) const;
  // One word: `start` (or a drawn first character when `start` is 0), then
  // drawn followers until the end marker. Words shorter than two characters
  // come back empty.
  std::string generate_word(char start) const;

  // Merges a model state file into the model, read as the kit reads every
  // list (common/text_lines.h), and returns the number of items read; 0 when
  // the file is missing, cannot be read or holds two- or four-byte text.
  std::int32_t load_state(const std::string& file_name);
  // `load_state`, with the refusal that says why a file could not be read.
  result<std::int32_t> read_state(const std::string& file_name);
  // Writes the model state file through the kit's save (common/file_save.h):
  // a device or FIFO is written as a stream. Returns false when it may not
  // or cannot be written; the old file then holds its old bytes.
  bool save_state(const std::string& file_name) const;
  // How `save_state` writes its file.
  static file_save::options save_options();
  // `save_state`, through a save made with `save_options` and not yet
  // opened; its refusal names the file, and the backup that holds the old
  // bytes when they could not be put back.
  outcome write_state(file_save& file, const std::string& file_name) const;
  // The model state file's bytes: one line per pair in byte order, the pair,
  // ":", then character-and-count items separated by ",".
  std::string state_text() const;
  // Merges model state text, the bytes of a file after its byte-order mark,
  // into the model; the parsing half of `load_state`.
  std::int32_t merge_state(std::string_view text);

  // Lists every pair with its total and its followers on `out`.
  void display_statistics(std::ostream& out) const;

  // The counters of `pair`, or null when the pair does not exist.
  const count_table* counts(std::string_view pair) const;
  // Every pair that exists, in unsigned byte order.
  std::vector<std::string> pairs() const;

 private:
  static std::size_t slot(char first, char second) {
    return static_cast<std::size_t>(static_cast<unsigned char>(first)) << 8 |
           static_cast<unsigned char>(second);
  }
  count_table& table_for(std::size_t index);
  // Sums the counters of every pair again after training or loading.
  void refresh_totals() const;

  // One slot per pair, indexed by first byte x 256 + second byte: lookup is
  // direct, and walking the slots in order is the pairs' byte order. The
  // tables themselves live in `blocks_`, 4,096 (4 MiB) to a block: a real
  // model fits in one, which the system may back with huge pages instead
  // of touching hundreds of small ones as training fills it.
  std::vector<count_table*> transitions_;
  struct block_release {
    void operator()(count_table* block) const;
  };
  std::vector<std::unique_ptr<count_table[], block_release>> blocks_;
  std::size_t free_in_block_ = 0;
  // Each pair's counters summed modulo 2^32, so that generation does not
  // add 256 counters for every character. Training only marks them stale:
  // it changes millions of counters and asks for no total.
  mutable std::vector<std::uint32_t> totals_;
  mutable bool totals_stale_ = false;
};
