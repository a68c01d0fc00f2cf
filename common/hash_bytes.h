// SPDX-License-Identifier: MIT
// A fast hash of short byte strings, for the kit's sets of words and lines:
// eight bytes at a time, mixed with multiplications. Not for anything that
// must resist chosen inputs.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

inline std::uint64_t hash_bytes(std::string_view bytes) {
  std::uint64_t hash = 0x9e3779b97f4a7c15ULL ^ bytes.size();
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, bytes.data() + i, 8);
    hash = (hash ^ chunk) * 0xff51afd7ed558ccdULL;
    hash ^= hash >> 29;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
  hash = (hash ^ tail) * 0xc4ceb9fe1a85ec53ULL;
  return hash ^ (hash >> 31);
}
