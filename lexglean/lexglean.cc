#include "lexglean/lexglean.h"

#include <algorithm>
#include <iostream>
#include <cstdint>
#include <cstring>

#include "common/command.h"
#include "talk/ie_res_talk.h"

void split_words(std::string_view text, std::vector<std::string_view>& words) {
  for_each_word(text, [&words](std::string_view word) { words.push_back(word); });
}

namespace {

// The set of distinct words while a table is scanned. Most words of a table
// repeat many times, so the set is probed millions of times and holds only
// tens of thousands of words: an open-addressing table of views, each slot
// with the word's hash and length to reject most mismatches at once.
class word_set {
 public:
  word_set() : slots_(1 << 16) {}

  void insert(std::string_view word) {
    std::uint64_t hash = hash_of(word);
    auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = hash & mask();; i = (i + 1) & mask()) {
      slot& s = slots_[i];
      if (s.data == nullptr) {
        s = {word.data(), static_cast<std::uint32_t>(word.size()), tag};
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

  static std::uint64_t hash_of(std::string_view word) {
    std::uint64_t hash = 0x9e3779b97f4a7c15ULL ^ word.size();
    std::size_t i = 0;
    for (; i + 8 <= word.size(); i += 8) {
      std::uint64_t chunk;
      std::memcpy(&chunk, word.data() + i, 8);
      hash = (hash ^ chunk) * 0xff51afd7ed558ccdULL;
      hash ^= hash >> 29;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, word.data() + i, word.size() - i);
    hash = (hash ^ tail) * 0xc4ceb9fe1a85ec53ULL;
    return hash ^ (hash >> 31);
  }

  void grow() {
    std::vector<slot> old(slots_.size() * 2);
    old.swap(slots_);
    count_ = 0;
    for (const slot& s : old)
      if (s.data != nullptr) insert(std::string_view(s.data, s.size));
  }

  std::vector<slot> slots_;
  std::size_t count_ = 0;
};

}  // namespace

std::vector<std::string_view> unique_words(const ie_res_talk& table) {
  word_set words;
  for (const ie_res_talk_entry* entry : table.entries()) {
    if (entry == nullptr) continue;
    for_each_word(entry->text(), [&words](std::string_view word) { words.insert(word); });
  }
  return words.sorted();
}

int run_lexglean(int argc, char** argv) {
  if (argc != 2) {
    print_usage({"Usage: lexglean <filename>", "",
                 "Given a TALK V1 resource file (dialog.tlk), will extract each "
                 "unique word and send to stdout."});
  }
  auto* table = new ie_res_talk();
  if (!table->load(argv[1])) {
    // The table has said what went wrong; an empty list would pass for a
    // table without words.
    delete table;
    return 1;
  }
  std::string output;
  for (std::string_view word : unique_words(*table)) {
    output.append(word);
    output.push_back('\n');
  }
  delete table;
  std::cout.write(output.data(), static_cast<std::streamsize>(output.size()));
  return 0;
}
