// SPDX-License-Identifier: MIT
// Any bytes as a command line (arguments separated by NUL bytes): the
// option scanner answers every question from within its joined text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "wordloom/getopt.h"
#include "wordloom/wordloom.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments{"wordloom"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      arguments.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());

  GetOpt options(static_cast<int>(argv.size()), argv.data());
  const std::string& joined = options.joined_arguments();
  for (const char* name : {"h", "r", "l", "s", "c", "b", "d", "", "-", "long"}) {
    std::string value = options.option_argument(name);
    if (!options.has_option(name) && !value.empty()) std::abort();
    if (joined.find(value) == std::string::npos) std::abort();
  }
  wordloom_settings settings = read_settings(options);
  (void)settings;
  return 0;
}
