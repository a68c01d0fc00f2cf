#include "lexglean/lexglean.h"

#include <algorithm>
#include <iostream>
#include <unordered_set>

#include "common/command.h"
#include "talk/ie_res_talk.h"

namespace {

// Letters as the C locale classifies them; a table keeps the scan free of
// locale lookups and makes bytes from 0x80 up non-letters on every platform.
struct letter_table {
  bool is_letter[256] = {};
  constexpr letter_table() {
    for (int c = 'A'; c <= 'Z'; ++c) is_letter[c] = true;
    for (int c = 'a'; c <= 'z'; ++c) is_letter[c] = true;
  }
};
constexpr letter_table k_letters;

bool is_letter(char c) {
  return k_letters.is_letter[static_cast<unsigned char>(c)];
}

}  // namespace

void split_words(std::string_view text, std::vector<std::string_view>& words) {
  std::size_t i = 0;
  const std::size_t size = text.size();
  while (i < size) {
    while (i < size && !is_letter(text[i])) ++i;
    std::size_t start = i;
    while (i < size && is_letter(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
}

std::vector<std::string_view> unique_words(const ie_res_talk& table) {
  // Most words of a table repeat many times; a hash set keeps one copy of
  // each, and only the few distinct words are sorted at the end.
  std::unordered_set<std::string_view> seen;
  seen.reserve(1 << 16);
  std::vector<std::string_view> words;
  for (const ie_res_talk_entry* entry : table.entries()) {
    if (entry == nullptr) continue;
    words.clear();
    split_words(entry->text(), words);
    seen.insert(words.begin(), words.end());
  }
  std::vector<std::string_view> sorted(seen.begin(), seen.end());
  // string_view compares its bytes as unsigned char, which is the kit's
  // byte order.
  std::sort(sorted.begin(), sorted.end());
  return sorted;
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
