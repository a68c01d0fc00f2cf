// SPDX-License-Identifier: MIT
#include "lexswap/word_path.h"

#include <optional>
#include <string_view>

template <typename State>
bool word_path<State>::work_on_word() {
  scan_.run(rules_, word_);
  if (pass_.apply(word_, scan_)) return true;
  return turns_.apply(word_, scan_, turn_limits::word_share).how == turn_result::outcome::done;
}

template <typename State>
bool word_path<State>::apply(std::string& text) {
  by_words_.clear();
  // The bytes before this have been written to the new text.
  std::size_t written = 0;
  const std::size_t size = text.size();
  auto in_word = [&](std::size_t at) {
    return !rules_.matcher.in_no_search_string(static_cast<unsigned char>(text[at]));
  };
  for (std::size_t at = 0; at < size;) {
    while (at < size && !in_word(at)) ++at;
    const std::size_t begin = at;
    while (at < size && in_word(at)) ++at;
    if (begin == at) break;
    const std::string_view word(text.data() + begin, at - begin);
    std::optional<word_memo::known> known = words_.find(word);
    if (!known) {
      word_.assign(word);
      if (!work_on_word()) return false;
      words_.keep(word, word_);
      known = word_memo::known{word_ == word, word_};
    }
    if (known->same) continue;
    by_words_.append(text, written, begin - written);
    by_words_.append(known->result);
    written = at;
  }
  if (written == 0) return true;
  by_words_.append(text, written);
  text.swap(by_words_);
  return true;
}

template bool word_path<std::int16_t>::apply(std::string&);
template bool word_path<std::int32_t>::apply(std::string&);
