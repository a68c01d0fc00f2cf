// SPDX-License-Identifier: MIT
// make_workload <seed> <folder> [dictionary]: writes the benchmark inputs,
// the same bytes for the same seed on every machine.
// make_workload --big <seed> <folder>: writes only big.tlk, a table of
// 600,000 entries (115 MiB) whose texts are spread evenly from 20 to 330
// bytes, and big-rules.txt, 200 rules drawn as rules.txt draws them: the
// inputs of the Windows build's run under wine (bench/wine).
//
//   dialog.tlk      100,000 entries, about 12 MB of English-like text
//   texts.txt       the same strings, one per line (for the peers)
//   rules.txt       1,000 replacement rules that finish
//   rules.sed       the same rules as fixed-string sed commands
//   empty-rules.txt no rules at all
//   dict-words.txt  1,000,000 lines drawn from the dictionary (many repeats)
//   dict-exclude.txt 500,000 lines drawn the same way
//   distinct-words.txt 1,000,000 distinct lines
//   distinct-exclude.txt 500,000 lines, half of them in distinct-words.txt
//   glossary.txt    650 of the table's most frequent words of four letters or
//                   more, each renamed to a made-up word that holds no search
//                   string of the list: nearly every word of the text changes
//   names.txt       300 rarer words of four letters or more written as names
//                   (capitalised), renamed
//   cascade.txt     1,000 rules whose replacements hold later rules' search
//                   strings, so that the table grows many times over
//   *.sed           each list as fixed-string sed commands
#include <cstdint>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/text_lines.h"
#include "talk/ie_res_talk.h"

namespace {

// The share of the cascading list's replacements that hold a later rule's
// search string.
constexpr std::uint64_t k_cascade_percent = 55;

// splitmix64: tiny, and fixed by its definition rather than by a library's
// choice of distribution, so that every platform makes the same workload.
class generator {
 public:
  explicit generator(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }
  // Small indexes much more often than large ones, as words in a text.
  std::size_t skewed(std::size_t bound) {
    double u = static_cast<double>(next() >> 11) / 9007199254740992.0;
    return static_cast<std::size_t>(u * u * u * static_cast<double>(bound));
  }

 private:
  std::uint64_t state_;
};

std::string made_up_word(generator& random) {
  static const char* const onsets[] = {"b", "c", "d", "f", "g", "h", "k",  "l",  "m",  "n",
                                       "p", "r", "s", "t", "v", "w", "th", "st", "br", "gr"};
  static const char* const vowels[] = {"a", "e", "i", "o", "u", "ea", "ou", "ai"};
  static const char* const codas[] = {"", "", "n", "r", "s", "t", "ll", "nd", "ck", "ng"};
  std::string word;
  for (std::size_t n = 1 + random.below(2) + (random.below(4) == 0); n > 0; --n) {
    word += onsets[random.below(20)];
    word += vowels[random.below(8)];
    word += codas[random.below(10)];
  }
  return word;
}

bool write(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// A vocabulary in frequency order: the talk table draws from its front far
// more often than from its back.
std::vector<std::string> make_vocabulary(generator& random) {
  std::vector<std::string> vocabulary;
  for (int i = 0; i < 20000; ++i) vocabulary.push_back(made_up_word(random));
  return vocabulary;
}

// Rule `rule` of the ordinary list: a frequent word or two renamed; nothing
// (both empty) when the new name would hold the old one.
std::pair<std::string, std::string> ordinary_rule(generator& random,
                                                  const std::vector<std::string>& vocabulary,
                                                  int rule) {
  std::string search = vocabulary[random.skewed(2000) + (rule % 3 == 0 ? 0 : 500)];
  if (rule % 7 == 0) search += " " + vocabulary[random.below(200)];
  std::string replacement = made_up_word(random);
  if (replacement.find(search) != std::string::npos) replacement = "X" + replacement;
  if (replacement.find(search) != std::string::npos) return {};
  return {search, replacement};
}

// The big table: sizes spread evenly, the way long and short lines of a real
// game's table mix, rather than the workload's sentences of a few words.
int write_big_table(std::uint64_t seed, const std::string& folder) {
  generator random(seed);
  const std::vector<std::string> vocabulary = make_vocabulary(random);
  auto table = std::make_unique<ie_res_talk>();
  std::string text;
  for (int entry = 0; entry < 600000; ++entry) {
    const std::size_t size = 20 + random.below(311);
    text.clear();
    while (text.size() < size) {
      if (!text.empty()) text += ' ';
      text += vocabulary[random.skewed(vocabulary.size())];
    }
    text.resize(size);
    table->add_entry(text);
  }
  std::string rules;
  for (int rule = 0; rule < 200; ++rule) {
    auto [search, replacement] = ordinary_rule(random, vocabulary, rule);
    if (!search.empty()) rules += search + " = " + replacement + "\n";
  }
  return table->save(folder + "/big.tlk") && write(folder + "/big-rules.txt", rules) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--big")
    return write_big_table(std::stoull(argv[2]), argv[3]);
  if (argc < 3) {
    std::cerr << "Usage: make_workload <seed> <folder> [dictionary]\n"
                 "       make_workload --big <seed> <folder>"
              << std::endl;
    return 2;
  }
  generator random(std::stoull(argv[1]));
  const std::string folder = argv[2];

  std::vector<std::string> dictionary;
  file_bytes dictionary_bytes;
  if (argc > 3 && read_file(argv[3], dictionary_bytes)) {
    line_reader lines(dictionary_bytes);
    std::string_view line;
    while (lines.next(line))
      if (!line.empty()) dictionary.emplace_back(line);
  }
  if (dictionary.empty()) {
    std::cerr << "no dictionary: drawing word lists from made-up words" << std::endl;
    for (int i = 0; i < 100000; ++i) dictionary.push_back(made_up_word(random));
  }

  const std::vector<std::string> vocabulary = make_vocabulary(random);

  auto table = std::make_unique<ie_res_talk>();
  std::string texts;
  static const char* const sounds[] = {"GREET01", "BATTLE02", "QUEST_A", "LAUGH", "SIGH01"};
  static const char* const stops[] = {".", ".", ".", "!", "?", "..."};
  for (int entry = 0; entry < 100000; ++entry) {
    std::string text;
    if (random.below(50) != 0) {
      std::size_t words = 3 + random.below(30);
      bool capital = true;
      for (std::size_t w = 0; w < words; ++w) {
        std::string word = vocabulary[random.skewed(vocabulary.size())];
        if (capital || random.below(30) == 0) word[0] = static_cast<char>(word[0] - 'a' + 'A');
        text += word;
        capital = false;
        if (w + 1 == words) {
          text += stops[random.below(6)];
        } else if (random.below(12) == 0) {
          text += stops[random.below(6)];
          text += ' ';
          capital = true;
        } else {
          text += random.below(10) == 0 ? ", " : " ";
        }
      }
    }
    ie_res_talk_entry* added = table->add_entry(text);
    if (random.below(10) == 0) added->set_sound(sounds[random.below(5)]);
    texts += text;
    texts += '\n';
  }
  if (!table->save(folder + "/dialog.tlk")) return 1;

  std::string rules, sed;
  for (int rule = 0; rule < 1000; ++rule) {
    auto [search, replacement] = ordinary_rule(random, vocabulary, rule);
    if (search.empty()) continue;
    rules += search + " = " + replacement + "\n";
    sed += "s/" + search + "/" + replacement + "/g\n";
  }

  std::string dict_words, dict_exclude;
  for (int i = 0; i < 1000000; ++i)
    dict_words += dictionary[random.below(dictionary.size())] + "\n";
  for (int i = 0; i < 500000; ++i)
    dict_exclude += dictionary[random.below(dictionary.size())] + "\n";

  // Distinct lines: a number written in letters, shuffled by multiplying
  // with an odd constant, so that the lines come in no order.
  auto distinct_line = [](std::uint64_t n) {
    std::uint64_t x = (n * 0x9e3779b97f4a7c15ULL) & ((1ULL << 40) - 1);
    std::string line;
    for (int i = 0; i < 9; ++i, x /= 26) line.push_back(static_cast<char>('a' + x % 26));
    return line;
  };
  std::string distinct_words, distinct_exclude;
  for (std::uint64_t i = 0; i < 1000000; ++i) distinct_words += distinct_line(i) + "\n";
  for (std::uint64_t i = 0; i < 500000; ++i)
    distinct_exclude += distinct_line(i % 2 == 0 ? i * 2 : 2000000 + i) + "\n";

  // The lists below draw from a generator of their own, so that the inputs
  // above stay the same bytes as before they were added.
  generator lists_random(std::stoull(argv[1]) ^ 0x6c697374ULL);
  auto holds_any = [](const std::string& text, const std::vector<std::string>& searches) {
    for (const std::string& search : searches)
      if (text.find(search) != std::string::npos) return true;
    return false;
  };
  auto write_list = [&](const std::string& name, const std::vector<std::string>& searches,
                        const std::vector<std::string>& replacements) {
    std::string list, list_sed;
    for (std::size_t i = 0; i < searches.size(); ++i) {
      list += searches[i] + " = " + replacements[i] + "\n";
      list_sed += "s/" + searches[i] + "/" + replacements[i] + "/g\n";
    }
    return write(folder + "/" + name + ".txt", list) &&
           write(folder + "/" + name + ".sed", list_sed);
  };
  auto renamed = [&](const std::vector<std::string>& searches, bool capital) {
    std::vector<std::string> replacements;
    for (std::size_t i = 0; i < searches.size(); ++i) {
      std::string replacement;
      do {
        replacement = made_up_word(lists_random) + made_up_word(lists_random);
        if (capital) replacement[0] = static_cast<char>(replacement[0] - 'a' + 'A');
      } while (holds_any(replacement, searches));
      replacements.push_back(replacement);
    }
    return replacements;
  };

  std::vector<std::string> glossary;
  for (std::size_t i = 0; i < vocabulary.size() && glossary.size() < 650; ++i) {
    const std::string& word = vocabulary[i];
    bool known = false;
    for (const std::string& other : glossary) known = known || other == word;
    if (word.size() >= 4 && !known) glossary.push_back(word);
  }

  std::vector<std::string> names;
  while (names.size() < 300) {
    std::string name = vocabulary[3000 + lists_random.below(vocabulary.size() - 3000)];
    if (name.size() < 4) continue;
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
    bool known = false;
    for (const std::string& other : names) known = known || other == name;
    if (!known) names.push_back(name);
  }

  // Rule i renames a frequent word and puts a word that a later rule renames
  // beside it: each occurrence sets off a few rules after it.
  std::vector<std::string> cascade_searches, cascade_replacements;
  for (std::size_t i = 0; i < 1000; ++i) cascade_searches.push_back(vocabulary[i]);
  for (std::size_t i = 0; i < 1000; ++i) {
    std::string replacement;
    do {
      replacement = made_up_word(lists_random);
      if (i + 1 < 1000 && lists_random.below(100) < k_cascade_percent)
        replacement +=
            " " + cascade_searches[i + 1 + lists_random.below(std::min<std::size_t>(40, 999 - i))];
    } while (replacement.find(cascade_searches[i]) != std::string::npos);
    cascade_replacements.push_back(replacement);
  }

  if (!write_list("glossary", glossary, renamed(glossary, false)) ||
      !write_list("names", names, renamed(names, true)) ||
      !write_list("cascade", cascade_searches, cascade_replacements))
    return 1;

  bool ok = write(folder + "/texts.txt", texts) && write(folder + "/rules.txt", rules) &&
            write(folder + "/rules.sed", sed) && write(folder + "/empty-rules.txt", "") &&
            write(folder + "/dict-words.txt", dict_words) &&
            write(folder + "/dict-exclude.txt", dict_exclude) &&
            write(folder + "/distinct-words.txt", distinct_words) &&
            write(folder + "/distinct-exclude.txt", distinct_exclude);
  return ok ? 0 : 1;
}
