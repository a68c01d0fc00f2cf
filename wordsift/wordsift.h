// SPDX-License-Identifier: MIT
// wordsift <source-file> <exclude-file>: every distinct word of the source
// list that the exclude list does not hold, one per line, in byte order.
#pragma once

#include <string_view>
#include <vector>

#include "common/byte_set.h"

// The lines of a list, each with its first eight bytes as a number.
using line_list = key_list;

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
