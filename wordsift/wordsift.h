// wordsift <source-file> <exclude-file>: every distinct word of the source
// list that the exclude list does not hold, one per line, in byte order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The distinct lines of `text`, sorted by unsigned byte value, a line that
// is a prefix of another first. The views point into `text`.
std::vector<std::string_view> distinct_lines(std::string_view text);

// The words of `source` that are not in `exclude`, both sorted and
// distinct, in their order.
std::vector<std::string_view> sorted_difference(const std::vector<std::string_view>& source,
                                                const std::vector<std::string_view>& exclude);

// Runs the command on its command line and returns the exit status.
int run_wordsift(int argc, char** argv);
