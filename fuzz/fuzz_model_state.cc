// SPDX-License-Identifier: MIT
// Any bytes as a model state file: the model generates words that all end,
// and the file it saves loads into a new model with the same counters.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_files.h"
#include "markov/markovchain.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = fuzz_file("model.txt");
  static const std::string saved = fuzz_file("saved.txt");
  write_fuzz_file(input, data, size);

  markovchain model;
  model.load_state(input);
  std::srand(1);
  for (int i = 0; i < 2; ++i) {
    std::string word = model.generate_word(0);
    if (word.size() > markovchain::k_max_word_length) std::abort();
    // The end marker ends a word; only a first character may be one (when
    // a training word began with it, the model begins words with it too).
    if (word.find(markovchain::k_end_marker, 1) != std::string::npos) std::abort();
  }
  if (!model.save_state(saved)) std::abort();

  markovchain loaded;
  loaded.load_state(saved);
  for (const std::string& pair : model.pairs()) {
    const markovchain::count_table* counts = model.counts(pair);
    const markovchain::count_table* reloaded = loaded.counts(pair);
    bool any = false;
    for (std::uint32_t count : *counts) any = any || count != 0;
    // A pair without counters is written bare and not made again.
    if (!any) {
      if (reloaded != nullptr) std::abort();
      continue;
    }
    if (reloaded == nullptr || *reloaded != *counts) std::abort();
    if (loaded.transition_total(pair) != model.transition_total(pair)) std::abort();
  }
  return 0;
}
