// SPDX-License-Identifier: MIT
// wordsift <source-file> <exclude-file>: every distinct word of the source
// list that the exclude list does not hold, one per line, in byte order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/big_allocator.h"

// A line with its first eight bytes read as a big-endian number (missing
// bytes as 0): comparing two numbers orders most pairs of lines without
// touching their bytes again.
struct sort_key {
  std::uint64_t prefix;
  std::string_view line;

  explicit sort_key(std::string_view text);
  friend bool operator<(const sort_key& a, const sort_key& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    // Equal first eight bytes: a line of at most eight bytes is a prefix
    // of the other line, so the shorter one comes first.
    if (a.line.size() <= 8 || b.line.size() <= 8) return a.line.size() < b.line.size();
    return a.line.substr(8) < b.line.substr(8);
  }
  friend bool operator==(const sort_key& a, const sort_key& b) {
    return a.prefix == b.prefix && a.line == b.line;
  }
};

using line_list = big_vector<sort_key>;

// The distinct lines of `text`, sorted by unsigned byte value, a line that
// is a prefix of another first. The lines point into `text`.
line_list distinct_lines(std::string_view text);

// Calls `take` with every line of `source` that `exclude` does not hold, in
// order; both lists sorted and distinct.
template <typename Take>
void for_each_difference(const line_list& source, const line_list& exclude, Take&& take) {
  auto excluded = exclude.begin();
  for (const sort_key& key : source) {
    while (excluded != exclude.end() && *excluded < key) ++excluded;
    if (excluded == exclude.end() || !(*excluded == key)) take(key.line);
  }
}

// Runs the command on its command line and returns the exit status.
int run_wordsift(int argc, char** argv);
