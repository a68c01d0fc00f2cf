// SPDX-License-Identifier: MIT
#include "wordloom/wordloom.h"

#include <cstdlib>
#include <ctime>
#include <iostream>

#include "common/command.h"
#include "common/text_lines.h"
#include "common/writer_lock.h"
#include "markov/markovchain.h"
#include "wordloom/getopt.h"

namespace {

[[noreturn]] void usage() {
  print_usage({"Usage: wordloom [-hrlscb]", "Options:", "  -h               This help page",
               "  -r filename      Read list of words into state",
               "  -l filename      Load state from file", "  -s filename      Save state to file",
               "  -c count         Number of words to generate",
               "  -b character     Starting character of generated words",
               "  -d               Debug. Display model statistics."});
}

// Reads a list the user gave, or ends the run with the message that
// refuses it.
std::string_view read_list_or_end(const std::string& file_name, list_file& list,
                                  const std::string& missing) {
  if (!file_exists(file_name)) exit_with_message(missing);
  if (std::optional<std::string> refusal = read_list(file_name, list, missing))
    exit_with_message(*refusal);
  return list.text;
}

void learn_word_list(markovchain& model, const std::string& file_name) {
  list_file list;
  line_reader lines(
      read_list_or_end(file_name, list, "Cannot read source, file '" + file_name + "' not found."));
  std::string_view line;
  while (lines.next(line)) model.add_word(line);
}

void print_words(const markovchain& model, const wordloom_settings& settings) {
  line_writer output(std::cout);
  for (std::int32_t i = 0; i < settings.word_count; ++i)
    output.write(model.generate_word(settings.start_character));
}

}  // namespace

wordloom_settings read_settings(const GetOpt& options) {
  wordloom_settings settings;
  settings.load_file = options.option_argument("l");
  settings.save_file = options.option_argument("s");
  settings.word_list_file = options.option_argument("r");
  if (options.has_option("c"))
    settings.word_count = std::atoi(options.option_argument("c").c_str());
  if (options.has_option("b")) settings.start_character = options.option_argument("b")[0];
  settings.statistics = options.has_option("d");
  return settings;
}

int run_wordloom(int argc, char** argv) {
  markovchain model;
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (argc <= 1) usage();
  GetOpt options(argc, argv);
  if (options.has_option("h")) usage();
  const wordloom_settings settings = read_settings(options);

  // A model loaded, trained further and saved over itself (`-l m -s m`)
  // must not lose what another run saved meanwhile: the save's lock is
  // taken before anything is read.
  writer_lock lock;
  if (!settings.save_file.empty()) {
    if (std::optional<std::string> refusal = start_writing(settings.save_file, lock))
      exit_with_message(*refusal);
  }
  if (!settings.load_file.empty() && settings.load_file != settings.save_file)
    warn_of_cut_save(settings.load_file);
  if (!settings.load_file.empty()) {
    list_file list;
    [[maybe_unused]] std::int32_t items = model.merge_state(
        read_list_or_end(settings.load_file, list,
                         "Cannot read model, file '" + settings.load_file + "' not found."));
  }
  if (!settings.word_list_file.empty()) learn_word_list(model, settings.word_list_file);
  std::string kept_backup;
  if (!settings.save_file.empty() && !model.save_state(settings.save_file, &kept_backup)) {
    // The model the user asked to keep would be lost without a word.
    std::string message =
        "Cannot save model, file '" + settings.save_file + "' couldn't be written.";
    if (!kept_backup.empty()) message += "\nIts old content is kept in '" + kept_backup + "'.";
    exit_with_message(message);
  }
  if (settings.statistics) {
    flush_standard_output();
    model.display_statistics(std::cerr);
  }
  print_words(model, settings);
  return 0;
}
