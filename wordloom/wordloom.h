// SPDX-License-Identifier: MIT
// wordloom: trains a letter-level Markov chain on a word list, saves and
// loads it, and invents new words. The steps always run in the order load,
// learn, save, generate, whatever the order of the options.
#pragma once

#include <cstdint>
#include <string>

class GetOpt;

// What one run is asked to do, read from the command line.
struct wordloom_settings {
  std::string load_file;        // -l, empty: nothing is loaded
  std::string save_file;        // -s, empty: nothing is saved
  std::string word_list_file;   // -r, empty: nothing is learned
  std::int32_t word_count = 1;  // -c, atoi of its value
  char start_character = 0;     // -b, first byte of its value; 0 for none
  bool statistics = false;      // -d
};

wordloom_settings read_settings(const GetOpt& options);

// Runs the command on its command line and returns the exit status.
int run_wordloom(int argc, char** argv);
