// SPDX-License-Identifier: MIT
#include "wordloom/wordloom.h"

#include <cstdlib>
#include <ctime>
#include <iostream>

#include "common/command.h"
#include "common/file_to_rewrite.h"
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
  // taken before anything is read. The save may create the file, and
  // writes a FIFO or a device as a stream.
  file_to_rewrite save_file;
  if (!settings.save_file.empty()) {
    file_to_rewrite::options rewrite;
    rewrite.save = markovchain::save_options();
    if (outcome taken = save_file.open(settings.save_file, rewrite); !taken.ok())
      return exit_with(taken.error(), message_stream::standard_output);
  }
  if (!settings.load_file.empty()) {
    if (settings.load_file != settings.save_file) warn_of_cut_save(settings.load_file);
    // An empty model file reads no item, and is no failure.
    if (result<std::int32_t> items = model.read_state(settings.load_file); !items.ok())
      return exit_with_message(items.message());
  }
  if (!settings.word_list_file.empty()) {
    const std::string& name = settings.word_list_file;
    list_file list;
    if (outcome read = read_list(name, list, "Cannot read source, file '" + name + "' not found.");
        !read.ok())
      return exit_with_message(read.message());
    line_reader lines(list.text);
    for (std::string_view line; lines.next(line);) model.add_word(line);
  }
  // The model the user asked to keep would be lost without a word.
  if (!settings.save_file.empty()) {
    if (outcome saved = model.write_state(save_file.save(), settings.save_file); !saved.ok())
      return exit_with_message(saved.message());
  }
  if (settings.statistics) {
    if (!flush_standard_output()) return 1;
    model.display_statistics(std::cerr);
  }
  return print_words(model, settings) ? 0 : 1;
}
