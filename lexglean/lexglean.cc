// SPDX-License-Identifier: MIT
#include "lexglean/lexglean.h"

#include <algorithm>
#include <iostream>
#include <cstdint>
#include <cstring>
#include <memory>

#include "common/command.h"
#include "common/hash_bytes.h"
#include "talk/ie_res_talk.h"

void split_words(std::string_view text, std::vector<std::string_view>& words) {
  for_each_word(text, [&words](std::string_view word) { words.push_back(word); });
}

namespace {

// The set of distinct words while a table is scanned. Most words of a table
// repeat many times, so the set is probed millions of times and holds only
// tens of thousands of words: an open-addressing table, each slot with the
// word's hash and length to reject most mismatches at once. The set keeps
// its own copy of each distinct word, so the texts may go as soon as they
// are scanned.
class word_set {
 public:
  word_set() : slots_(1 << 16) {}

  void insert(std::string_view word) {
    std::uint64_t hash = hash_bytes(word);
    auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = hash & mask();; i = (i + 1) & mask()) {
      slot& s = slots_[i];
      if (s.data == nullptr) {
        s = {keep(word), static_cast<std::uint32_t>(word.size()), tag};
        if (++count_ * 2 > slots_.size()) grow();
        return;
      }
      if (s.tag == tag && s.size == word.size() &&
          std::memcmp(s.data, word.data(), word.size()) == 0)
        return;
    }
  }

  std::vector<std::string_view> sorted() const {
    std::vector<std::string_view> words;
    words.reserve(count_);
    for (const slot& s : slots_)
      if (s.data != nullptr) words.emplace_back(s.data, s.size);
    // string_view compares its bytes as unsigned char, the kit's byte order.
    std::sort(words.begin(), words.end());
    return words;
  }

 private:
  struct slot {
    const char* data = nullptr;
    std::uint32_t size = 0;
    std::uint32_t tag = 0;
  };

  std::size_t mask() const { return slots_.size() - 1; }

  void grow() {
    std::vector<slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (const slot& s : old) {
      if (s.data == nullptr) continue;
      std::size_t i = hash_bytes(std::string_view(s.data, s.size)) & mask();
      while (slots_[i].data != nullptr) i = (i + 1) & mask();
      slots_[i] = s;
    }
  }

  // Copies a new word into blocks that never move, so that the views in the
  // slots stay valid.
  const char* keep(std::string_view word) {
    if (word.size() > room_) {
      room_ = std::max<std::size_t>(word.size(), 1 << 16);
      blocks_.push_back(std::make_unique<char[]>(room_));
      free_ = blocks_.back().get();
    }
    char* copy = free_;
    std::memcpy(copy, word.data(), word.size());
    free_ += word.size();
    room_ -= word.size();
    return copy;
  }

  std::vector<slot> slots_;
  std::size_t count_ = 0;
  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;
  std::size_t room_ = 0;
};

}  // namespace

std::vector<std::string> unique_words(const ie_res_talk& table) {
  word_set words;
  for (const ie_res_talk_entry* entry : table.entries()) {
    if (entry == nullptr) continue;
    for_each_word(entry->text(), [&words](std::string_view word) { words.insert(word); });
  }
  std::vector<std::string_view> sorted = words.sorted();
  return {sorted.begin(), sorted.end()};
}

int run_lexglean(int argc, char** argv) {
  if (argc != 2) {
    print_usage({"Usage: lexglean <filename>", "",
                 "Given a TALK V1 resource file (dialog.tlk), will extract each "
                 "unique word and send to stdout."});
  }
  // The texts are scanned straight from the file, without building the
  // table's entries: the words are all the command needs.
  word_set words;
  bool loaded = ie_res_talk::read_texts(argv[1], [&words](std::string_view text) {
    for_each_word(text, [&words](std::string_view word) { words.insert(word); });
  });
  // The table has said what went wrong; an empty list would pass for a
  // table without words.
  if (!loaded) return 1;
  write_lines(std::cout, words.sorted());
  return 0;
}
