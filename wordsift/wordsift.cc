#include "wordsift/wordsift.h"

#include <algorithm>
#include <iostream>
#include <iterator>

#include "common/command.h"
#include "common/text_lines.h"

std::vector<std::string_view> distinct_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  line_reader reader(text);
  std::string_view line;
  while (reader.next(line)) lines.push_back(line);
  // string_view compares its bytes as unsigned char: the kit's byte order.
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  return lines;
}

std::vector<std::string_view> sorted_difference(const std::vector<std::string_view>& source,
                                                const std::vector<std::string_view>& exclude) {
  std::vector<std::string_view> result;
  std::set_difference(source.begin(), source.end(), exclude.begin(), exclude.end(),
                      std::back_inserter(result));
  return result;
}

namespace {

// Reads one word list whole; a file that cannot be read after all ends the
// run with the message of its argument.
std::vector<std::string_view> read_word_list(const std::string& file_name,
                                             std::string& bytes,
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

  std::string source_bytes;
  std::vector<std::string_view> source = read_word_list(source_name, source_bytes, source_missing);
  report_count(source.size(), " words read from source file.");
  std::string exclude_bytes;
  std::vector<std::string_view> exclude =
      read_word_list(exclude_name, exclude_bytes, exclude_missing);
  report_count(exclude.size(), " words read from exclude file.");

  std::string output;
  for (std::string_view word : sorted_difference(source, exclude)) {
    output.append(word);
    output.push_back('\n');
  }
  std::cout.write(output.data(), static_cast<std::streamsize>(output.size()));
  return 0;
}
