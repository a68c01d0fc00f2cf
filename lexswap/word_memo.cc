// SPDX-License-Identifier: MIT
#include "lexswap/word_memo.h"

#include <cstring>

#include "common/hash_bytes.h"

std::optional<word_memo::known> word_memo::find(std::string_view word) const {
  const std::uint64_t hash = hash_bytes(word);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const std::uint32_t slot = slots_[i];
    if (slot == 0) return std::nullopt;
    const entry& kept = entries_[slot - 1];
    if (kept.hash != hash || kept.word_size != word.size() ||
        std::memcmp(bytes_.data() + kept.word_at, word.data(), word.size()) != 0)
      continue;
    if (kept.result_size == k_same) return known{true, {}};
    return known{false, std::string_view(bytes_).substr(kept.result_at, kept.result_size)};
  }
}

void word_memo::keep(std::string_view word, std::string_view result) {
  const bool same = result == word;
  if (word.size() > k_longest_word || result.size() > k_longest_result ||
      bytes_.size() + word.size() + (same ? 0 : result.size()) > k_most_bytes)
    return;
  entry kept{hash_bytes(word), static_cast<std::uint32_t>(bytes_.size()),
             static_cast<std::uint32_t>(word.size()), 0, k_same};
  bytes_.append(word);
  if (!same) {
    kept.result_at = static_cast<std::uint32_t>(bytes_.size());
    kept.result_size = static_cast<std::uint32_t>(result.size());
    bytes_.append(result);
  }
  entries_.push_back(kept);
  if (entries_.size() * 2 <= slots_.size()) {
    place(entries_.size() - 1);
    return;
  }
  slots_.assign(slots_.size() * 2, 0);
  for (std::size_t index = 0; index < entries_.size(); ++index) place(index);
}

void word_memo::place(std::size_t index) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = entries_[index].hash & mask;
  while (slots_[i] != 0) i = (i + 1) & mask;
  slots_[i] = static_cast<std::uint32_t>(index + 1);
}
