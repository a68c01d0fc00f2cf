// lexglean: every distinct word of a talk table, one per line, in byte order.
// A word is a maximal run of the ASCII letters A-Z and a-z; every other byte,
// those from 0x80 up included, ends a word.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class ie_res_talk;

// Appends every word of `text` to `words`, in the order they stand; the
// views point into `text`.
void split_words(std::string_view text, std::vector<std::string_view>& words);

// The distinct words of all texts of `table`, sorted by unsigned byte value,
// a word that is a prefix of another first. The views point into the texts
// of the table, which must outlive them.
std::vector<std::string_view> unique_words(const ie_res_talk& table);

// Runs the command on its command line and returns the exit status.
int run_lexglean(int argc, char** argv);
