// SPDX-License-Identifier: MIT
#include "lexglean/lexglean.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "common/command.h"
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
  // Blocks of 64 KiB, or one of its own for a longer word.
  if (word.size() > room_) {
    room_ = std::max<std::size_t>(word.size(), 1 << 16);
    blocks_.push_back(std::make_unique<char[]>(room_));
    free_ = blocks_.back().get();
  }
  char* copy = free_;
  std::memcpy(copy, word.data(), word.size());
  free_ += word.size();
  room_ -= word.size();
  return {copy, word.size()};
}

int run_lexglean(int argc, char** argv) {
  if (argc != 2) {
    print_usage({"Usage: lexglean <filename>", "",
                 "Given a TALK V1 resource file (dialog.tlk), will extract each "
                 "unique word and send to stdout."});
  }
  // The texts are scanned straight from the file, without building the
  // table's entries: the words are all the command needs.
  word_collector words;
  bool loaded =
      ie_res_talk::read_texts(argv[1], [&words](std::string_view text) { words.add_text(text); });
  // The table has said what went wrong; an empty list would pass for a
  // table without words.
  if (!loaded) return 1;
  write_lines(std::cout, words.sorted());
  return 0;
}
