// SPDX-License-Identifier: MIT
#include "wordsift/wordsift.h"

#include <algorithm>
#include <cstring>
#include <iostream>

#include "common/command.h"
#include "common/side_task.h"
#include "common/text_lines.h"
#include "common/unicode.h"

namespace {

// Sorts lines[first, last), whose prefixes agree on their first `byte`
// bytes, by their prefixes one byte at a time from the first (most
// significant) one, in place: each pass counts the lines for every value of
// the byte and swaps each line straight into its value's part. A list sorted
// this way needs no second list of its size, which matters while two lists
// are sorted at once. Short runs, and lines whose eight prefix bytes all
// agree, go to std::sort.
void sort_by_prefix(sort_key* first, sort_key* last, int byte) {
  constexpr std::size_t k_short = 64;
  for (;;) {
    const auto size = static_cast<std::size_t>(last - first);
    if (size < k_short || byte == 8) {
      std::sort(first, last);
      return;
    }
    const int shift = 56 - 8 * byte;
    auto digit = [shift](const sort_key& key) {
      return static_cast<std::size_t>((key.prefix >> shift) & 0xff);
    };
    std::size_t ends[256] = {};
    for (const sort_key* key = first; key != last; ++key) ++ends[digit(*key)];
    // A byte that all lines share moves nothing.
    if (ends[digit(*first)] == size) {
      ++byte;
      continue;
    }
    std::size_t starts[256];
    std::size_t next[256];
    std::size_t sum = 0;
    for (std::size_t value = 0; value < 256; ++value) {
      starts[value] = next[value] = sum;
      sum += ends[value];
      ends[value] = sum;
    }
    for (std::size_t value = 0; value < 256; ++value) {
      while (next[value] < ends[value]) {
        sort_key moving = first[next[value]];
        // Each swap puts one line in its part for good.
        for (std::size_t to = digit(moving); to != value; to = digit(moving))
          std::swap(moving, first[next[to]++]);
        first[next[value]++] = moving;
      }
    }
    for (std::size_t value = 0; value < 256; ++value)
      if (ends[value] - starts[value] > 1)
        sort_by_prefix(first + starts[value], first + ends[value], byte + 1);
    return;
  }
}

void sort_lines(line_list& lines) { sort_by_prefix(lines.data(), lines.data() + lines.size(), 0); }

}  // namespace

line_list distinct_lines(std::string_view text) {
  line_list lines;
  // A line is at least its line feed, so this bounds the number of lines
  // and the list never moves while it is filled.
  lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  line_reader reader(text);
  std::string_view line;
  // Word lists repeat their words many times, and a line dropped here costs
  // no place in the sort.
  byte_set seen(lines);
  for (std::size_t count = 1; reader.next(line); ++count) {
    seen.insert(line);
    // A list whose first lines hardly repeat is sorted whole instead: for
    // it the set would cost more than the few lines it saves.
    if (count == (1 << 16) && lines.size() > count / 10 * 9) {
      while (reader.next(line)) lines.emplace_back(line);
      break;
    }
  }
  sort_lines(lines);
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

namespace {

// One word list, read whole and made distinct and sorted.
struct word_list {
  list_file file;
  line_list lines;
  outcome read;
  // With --lower, the list's text in lower case, which the lines view.
  std::string folded;

  void load(const std::string& file_name, const std::string& missing, bool lower) {
    read = read_list(file_name, file, missing);
    if (!read.ok()) return;
    if (!lower) {
      lines = distinct_lines(file.text);
      return;
    }
    folded = fold_case(file.text);
    file = {};
    lines = distinct_lines(folded);
  }
};

// Loads both lists, the exclude list on a second thread where there is a
// second processor: the two take about as long as the longer one.
void load_both(word_list& source, const std::string& source_name, const std::string& source_missing,
               word_list& exclude, const std::string& exclude_name,
               const std::string& exclude_missing, bool lower) {
  side_task exclude_task([&] { exclude.load(exclude_name, exclude_missing, lower); });
  source.load(source_name, source_missing, lower);
  exclude_task.wait();
}

// False when standard output has failed, which ends the run.
bool report_count(std::size_t count, const char* what) {
  if (!flush_standard_output()) return false;
  std::cerr << count << what << std::endl;
  return true;
}

int usage() {
  return print_usage({"Usage: wordsift <source-file> <exclude-file>", "",
                      "Outputs every word of source which does not occur in exclude file."});
}

}  // namespace

int run_wordsift(int argc, char** argv) {
  if (only_argument(argc, argv, "--version")) return print_version("wordsift");
  if (only_argument(argc, argv, "--help")) {
    if (int status = usage(); status != 0) return status;
    return print_usage({"", "Options, before the file names:",
                        "  --lower  Compare the lines of both files in lower case (UTF-8 "
                        "letters of every script, A-Z in other bytes), and write them so."});
  }
  // The one option stands before the file names; a file of that name is
  // ./--lower.
  bool lower = false;
  std::vector<std::string> names;
  if (!read_options(argc, argv, {{"--lower", nullptr, &lower}}, 2, names)) return usage();
  const std::string& source_name = names[0];
  const std::string& exclude_name = names[1];
  const std::string exclude_missing =
      "Cannot proceed, exclude-file '" + exclude_name + "' not found.";
  const std::string source_missing = "Cannot proceed, source-file '" + source_name + "' not found.";
  if (!file_exists(exclude_name)) return exit_with_message(exclude_missing);
  if (!file_exists(source_name)) return exit_with_message(source_missing);

  // The messages come as if the lists were read one after the other: a
  // source list that cannot be read ends the run before the exclude list
  // is spoken of.
  word_list source, exclude;
  load_both(source, source_name, source_missing, exclude, exclude_name, exclude_missing, lower);
  if (!source.read.ok()) return exit_with_message(source.read.message());
  if (!report_count(source.lines.size(), " words read from source file.")) return 1;
  if (!exclude.read.ok()) return exit_with_message(exclude.read.message());
  if (!report_count(exclude.lines.size(), " words read from exclude file.")) return 1;

  line_writer output(std::cout);
  for_each_difference(source.lines, exclude.lines,
                      [&output](std::string_view word) { output.write(word); });
  return output.flush() ? 0 : 1;
}
