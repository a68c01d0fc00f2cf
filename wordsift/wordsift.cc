#include "wordsift/wordsift.h"

#include <algorithm>
#include <iostream>

#include "common/command.h"
#include "common/text_lines.h"

sort_key::sort_key(std::string_view text) : prefix(0), line(text) {
  std::size_t size = std::min<std::size_t>(text.size(), 8);
  for (std::size_t i = 0; i < 8; ++i) {
    prefix <<= 8;
    if (i < size) prefix |= static_cast<unsigned char>(text[i]);
  }
}

line_list distinct_lines(std::string_view text) {
  line_list lines;
  // A line is at least its line feed, so the count of line feeds bounds
  // the number of lines and the list is sized once.
  lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  line_reader reader(text);
  std::string_view line;
  while (reader.next(line)) lines.emplace_back(line);
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

namespace {

// Reads one word list whole; a file that cannot be read after all ends the
// run with the message of its argument.
line_list read_word_list(const std::string& file_name, file_bytes& bytes,
                         const std::string& not_found) {
  if (!read_file(file_name, bytes)) exit_with_message(not_found);
  return distinct_lines(bytes);
}

void report_count(std::size_t count, const char* what) {
  flush_standard_output();
  std::cerr << count << what << std::endl;
}

}  // namespace

int run_wordsift(int argc, char** argv) {
  if (argc != 3) {
    print_usage({"Usage: wordsift <source-file> <exclude-file>", "",
                 "Outputs every word of source which does not occur in exclude file."});
  }
  const std::string source_name = argv[1];
  const std::string exclude_name = argv[2];
  const std::string exclude_missing =
      "Cannot proceed, exclude-file '" + exclude_name + "' not found.";
  const std::string source_missing =
      "Cannot proceed, source-file '" + source_name + "' not found.";
  if (!file_exists(exclude_name)) exit_with_message(exclude_missing);
  if (!file_exists(source_name)) exit_with_message(source_missing);

  file_bytes source_bytes;
  line_list source = read_word_list(source_name, source_bytes, source_missing);
  report_count(source.size(), " words read from source file.");
  file_bytes exclude_bytes;
  line_list exclude = read_word_list(exclude_name, exclude_bytes, exclude_missing);
  report_count(exclude.size(), " words read from exclude file.");

  line_writer output(std::cout);
  for_each_difference(source, exclude, [&output](std::string_view word) { output.write(word); });
  output.flush();
  return 0;
}
