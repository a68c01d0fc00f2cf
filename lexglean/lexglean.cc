// SPDX-License-Identifier: MIT
#include "lexglean/lexglean.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "common/command.h"
#include "common/writer_lock.h"
#include "talk/ie_res_talk.h"

word_collector::word_collector() : set_(words_) {}

void word_collector::add_text(std::string_view text) {
  for_each_word(text, [this](std::string_view word) {
    set_.insert(word, [this](std::string_view new_word) { return keep(new_word); });
  });
}

std::vector<std::string_view> word_collector::sorted() {
  std::sort(words_.begin(), words_.end());
  std::vector<std::string_view> words;
  words.reserve(words_.size());
  for (const sort_key& key : words_) words.push_back(key.line);
  return words;
}

std::string_view word_collector::keep(std::string_view word) {
  if (word.size() > k_longest_copied) return word;
  if (word.size() > room_) {
    blocks_.push_back(std::make_unique<char[]>(k_block_size));
    free_ = blocks_.back().get();
    room_ = k_block_size;
  }
  char* copy = free_;
  std::memcpy(copy, word.data(), word.size());
  free_ += word.size();
  room_ -= word.size();
  return {copy, word.size()};
}

int run_lexglean(int argc, char** argv) {
  if (only_argument(argc, argv, "--version")) return print_version("lexglean");
  if (argc != 2 || only_argument(argc, argv, "--help")) {
    return print_usage({"Usage: lexglean <filename>", "",
                        "Given a TALK V1 resource file (dialog.tlk), will extract each "
                        "unique word and send to stdout."});
  }
  warn_of_cut_save(argv[1]);
  // The texts are scanned straight from the file, without building the
  // table's entries: the words are all the command needs.
  file_bytes file;
  word_collector words;
  bool loaded = ie_res_talk::read_texts(argv[1], file,
                                        [&words](std::string_view text) { words.add_text(text); });
  // The table has said what went wrong; an empty list would pass for a
  // table without words.
  if (!loaded) return 1;
  return write_lines(std::cout, words.sorted()) ? 0 : 1;
}
