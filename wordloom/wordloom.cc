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

int usage() {
  return print_usage({"Usage: wordloom [-hrlscb]", "Options:", "  -h               This help page",
                      "  -r filename      Read list of words into state",
                      "  -l filename      Load state from file",
                      "  -s filename      Save state to file",
                      "  -c count         Number of words to generate",
                      "  -b character     Starting character of generated words",
                      "  -d               Debug. Display model statistics."});
}

// False when standard output has failed, which ends the run.
bool print_words(const markovchain& model, const wordloom_settings& settings) {
  line_writer output(std::cout);
  for (std::int32_t i = 0; i < settings.word_count; ++i)
    if (!output.write(model.generate_word(settings.start_character))) return false;
  return output.flush();
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
  if (argc <= 1 || only_argument(argc, argv, "--help")) return usage();
  if (only_argument(argc, argv, "--version")) return print_version("wordloom");
  GetOpt options(argc, argv);
  if (options.has_option("h")) return usage();
  const wordloom_settings settings = read_settings(options);

  // A model loaded, trained further and saved over itself (`-l m -s m`)
  // must not lose what another run saved meanwhile: the save's lock is
  // taken before anything is read.
  writer_lock lock;
  if (!settings.save_file.empty()) {
    if (std::optional<std::string> refusal = start_writing(settings.save_file, lock))
      return exit_with_message(*refusal);
  }
  if (!settings.load_file.empty()) {
    if (settings.load_file != settings.save_file) warn_of_cut_save(settings.load_file);
    std::string refusal;
    // An empty model file reads no item, and is no failure.
    [[maybe_unused]] std::int32_t items = model.load_state(settings.load_file, &refusal);
    if (!refusal.empty()) return exit_with_message(refusal);
  }
  if (!settings.word_list_file.empty()) {
    const std::string& name = settings.word_list_file;
    list_file list;
    if (std::optional<std::string> refusal =
            read_list(name, list, "Cannot read source, file '" + name + "' not found."))
      return exit_with_message(*refusal);
    line_reader lines(list.text);
    for (std::string_view line; lines.next(line);) model.add_word(line);
  }
  std::string kept_backup;
  if (!settings.save_file.empty() && !model.save_state(settings.save_file, &kept_backup)) {
    // The model the user asked to keep would be lost without a word.
    std::string message =
        "Cannot save model, file '" + settings.save_file + "' couldn't be written.";
    if (!kept_backup.empty()) message += "\nIts old content is kept in '" + kept_backup + "'.";
    return exit_with_message(message);
  }
  if (settings.statistics) {
    if (!flush_standard_output()) return 1;
    model.display_statistics(std::cerr);
  }
  return print_words(model, settings) ? 0 : 1;
}
