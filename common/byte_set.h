// SPDX-License-Identifier: MIT
// The set of distinct byte strings that lexglean and wordsift keep while
// they read: word lists and talk tables repeat their words many times, so
// the set is probed millions of times and holds far fewer strings. An
// open-addressing table of four-byte indexes into a list of keys, whose
// first eight bytes, held in the key as a number, settle most comparisons
// without a look at the string's bytes. (Slots with part of the hash as
// well were twice the size and slower on both programs' lists.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/big_allocator.h"
#include "common/hash_bytes.h"

// A byte string with its first eight bytes read as a big-endian number
// (missing bytes as 0): comparing two numbers orders and tells apart most
// pairs of strings without touching their bytes again.
struct sort_key {
  std::uint64_t prefix;
  std::string_view line;

  explicit sort_key(std::string_view text) : prefix(0), line(text) {
    for (std::size_t i = 0; i < 8; ++i) {
      prefix <<= 8;
      if (i < text.size()) prefix |= static_cast<unsigned char>(text[i]);
    }
  }
  // By unsigned byte value, a string that is a prefix of another first.
  friend bool operator<(const sort_key& a, const sort_key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    // Equal first eight bytes: a string of at most eight bytes is a prefix
    // of the other string, so the shorter one comes first.
    if (a.line.size() <= 8 || b.line.size() <= 8) return a.line.size() < b.line.size();
    return a.line.substr(8) < b.line.substr(8);
  }
  friend bool operator==(const sort_key& a, const sort_key& b) {
    // Missing bytes read as 0, so the sizes tell "ab" from "ab\0".
    return a.prefix == b.prefix && a.line.size() == b.line.size() &&
           (a.line.size() <= 8 || a.line.substr(8) == b.line.substr(8));
  }
};

using key_list = big_vector<sort_key>;

// The distinct strings go to a list of keys that the caller owns, in the
// order they first came; the set holds their places in it, so nothing else
// may be added to the keys while the set is in use. `Hash` is the
// hash of a string (tests give one under which all strings collide).
template <std::uint64_t (*Hash)(std::string_view) = hash_bytes>
class basic_byte_set {
 public:
  // `slots`, a power of two, is the table's first size.
  explicit basic_byte_set(key_list& keys, std::size_t slots = std::size_t{1} << 16)
      : keys_(keys), slots_(slots, k_empty) {}

  // Whether `bytes` is new to the set; a new string is appended to the keys
  // as `keep(bytes)` gives it (a view that lives as long as the keys).
  template <typename Keep>
  bool insert(std::string_view bytes, Keep&& keep) {
    const sort_key key(bytes);
    const std::uint64_t hash = Hash(bytes);
    for (std::size_t i = hash & mask();; i = (i + 1) & mask()) {
      const std::uint32_t at = slots_[i];
      if (at == k_empty) {
        slots_[i] = static_cast<std::uint32_t>(keys_.size());
        // A kept copy has the same bytes, and so the same prefix.
        keys_.push_back(key);
        keys_.back().line = keep(bytes);
        if (keys_.size() * 2 > slots_.size()) grow();
        return true;
      }
      if (keys_[at] == key) return false;
    }
  }
  bool insert(std::string_view bytes) {
    return insert(bytes, [](std::string_view same) { return same; });
  }

 private:
  static constexpr std::uint32_t k_empty = 0xffffffffu;

  std::size_t mask() const { return slots_.size() - 1; }

  void grow() {
    slots_.assign(slots_.size() * 2, k_empty);
    for (std::size_t index = 0; index < keys_.size(); ++index) {
      std::size_t i = Hash(keys_[index].line) & mask();
      while (slots_[i] != k_empty) i = (i + 1) & mask();
      slots_[i] = static_cast<std::uint32_t>(index);
    }
  }

  key_list& keys_;
  // A power of two, at most half full.
  big_vector<std::uint32_t> slots_;
};

using byte_set = basic_byte_set<>;
