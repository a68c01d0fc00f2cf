// SPDX-License-Identifier: MIT
#include "lexglean/lexglean.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <tuple>

#include "common/command.h"
#include "common/unicode.h"
#include "common/writer_lock.h"
#include "talk/ie_res_talk.h"

word_collector::word_collector() : set_(words_) {}

void word_collector::add_text(std::string_view text) {
  for_each_word(text, [this](std::string_view word) { add_word(word); });
}

void word_collector::add_word(std::string_view word) {
  set_.insert(word, [this](std::string_view new_word) { return keep(new_word); });
}

std::vector<std::string_view> word_collector::sorted() {
  std::sort(words_.begin(), words_.end());
  std::vector<std::string_view> words;
  words.reserve(words_.size());
  for (const sort_key& key : words_) words.push_back(key.line);
  return words;
}

std::string_view word_collector::keep(std::string_view word) {
  if (word.size() > k_longest_copied) return word;
  if (word.size() > room_) {
    blocks_.push_back(std::make_unique<char[]>(k_block_size));
    free_ = blocks_.back().get();
    room_ = k_block_size;
  }
  char* copy = free_;
  std::memcpy(copy, word.data(), word.size());
  free_ += word.size();
  room_ -= word.size();
  return {copy, word.size()};
}

page_word_collector::page_word_collector(const page_decoder* decoder, bool lower)
    : kind_(k_cached), written_(k_cached), decoder_(decoder), lower_(lower) {
  for (std::uint32_t c = 0; c < k_cached; ++c) {
    if (decoder_ == nullptr) {
      kind_[c] = c < 0x80 && is_letter(static_cast<char>(c)) ? 1 : 0;
    } else {
      kind_[c] = is_unicode_letter(c) ? 1 : is_unicode_mark(c) ? 2 : 0;
    }
    written_[c] = lower_ ? unicode_lower(c) : c;
  }
}

std::pair<std::size_t, std::uint32_t> page_word_collector::next(std::string_view text,
                                                                std::size_t at) const {
  if (decoder_ == nullptr) return {1, static_cast<unsigned char>(text[at])};
  return decoder_->next(text, at);
}

bool page_word_collector::is_word_start(std::uint32_t character) const {
  if (character < k_cached) return kind_[character] == 1;
  return decoder_ != nullptr && is_unicode_letter(character);
}

bool page_word_collector::is_word_rest(std::uint32_t character) const {
  if (character < k_cached) return kind_[character] != 0;
  return decoder_ != nullptr && (is_unicode_letter(character) || is_unicode_mark(character));
}

std::uint32_t page_word_collector::written(std::uint32_t character) const {
  if (character < k_cached) return written_[character];
  return lower_ ? unicode_lower(character) : character;
}

bool page_word_collector::add_text(std::string_view text, std::size_t& bad_at) {
  constexpr std::size_t k_short = 64;
  const bool ascii_as_is = decoder_ == nullptr || decoder_->ascii_as_is();
  // Most characters of most texts are ASCII: they are read, told and
  // folded here, the rest through the decoder and Unicode's tables.
  auto read = [&](std::size_t at) -> std::pair<std::size_t, std::uint32_t> {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80 && ascii_as_is) return {1, byte};
    return next(text, at);
  };
  auto starts = [&](std::uint32_t c) {
    return c < 0x80 ? is_letter(static_cast<char>(c)) : is_word_start(c);
  };
  auto continues = [&](std::uint32_t c) {
    return c < 0x80 ? is_letter(static_cast<char>(c)) : is_word_rest(c);
  };
  for (std::size_t at = 0; at < text.size();) {
    auto [length, character] = read(at);
    if (length == 0) {
      bad_at = at;
      return false;
    }
    if (!starts(character)) {
      at += length;
      continue;
    }
    const std::size_t start = at;
    word_.clear();
    while (true) {
      // Only as much UTF-8 as tells a short word from a long one.
      if (word_.size() <= k_short) {
        if (character < 0x80) {
          word_ += static_cast<char>(lower_ && character <= 'Z' ? character + 32 : character);
        } else {
          append_utf8(word_, written(character));
        }
      }
      at += length;
      if (at >= text.size()) break;
      std::tie(length, character) = read(at);
      if (length == 0) {
        bad_at = at;
        return false;
      }
      if (!continues(character)) break;
    }
    if (word_.size() <= k_short) {
      short_words_.add_word(word_);
    } else {
      long_words_.add_word(text.substr(start, at - start));
    }
  }
  return true;
}

int page_word_collector::compare_long(std::string_view a, std::string_view b) const {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const auto [a_length, a_character] = next(a, i);
    const auto [b_length, b_character] = next(b, j);
    const std::uint32_t x = written(a_character), y = written(b_character);
    if (x != y) return x < y ? -1 : 1;
    i += a_length;
    j += b_length;
  }
  return (i < a.size()) - (j < b.size());
}

int page_word_collector::compare_long_short(std::string_view source, std::string_view utf8) const {
  std::size_t i = 0, j = 0;
  while (i < source.size() && j < utf8.size()) {
    const auto [a_length, a_character] = next(source, i);
    const auto [b_length, b_character] = utf8_character(utf8, j);
    const std::uint32_t x = written(a_character);
    if (x != b_character) return x < b_character ? -1 : 1;
    i += a_length;
    j += b_length;
  }
  return (i < source.size()) - (j < utf8.size());
}

std::string page_word_collector::utf8_of(std::string_view source) const {
  std::string utf8;
  utf8.reserve(source.size() * 2);
  for (std::size_t at = 0; at < source.size();) {
    const auto [length, character] = next(source, at);
    const std::uint32_t out = written(character);
    if (out < 0x80) {
      utf8 += static_cast<char>(out);
    } else {
      append_utf8(utf8, out);
    }
    at += length;
  }
  return utf8;
}

bool page_word_collector::write_sorted(std::ostream& out) {
  std::vector<std::string_view> shorts = short_words_.sorted();
  // Long words of distinct bytes may still be one word once written (a
  // lower case, or a page with two codes for one character).
  std::vector<std::string_view> longs = long_words_.sorted();
  std::sort(longs.begin(), longs.end(),
            [this](std::string_view a, std::string_view b) { return compare_long(a, b) < 0; });
  longs.erase(std::unique(longs.begin(), longs.end(),
                          [this](std::string_view a, std::string_view b) {
                            return compare_long(a, b) == 0;
                          }),
              longs.end());
  line_writer output(out);
  std::size_t i = 0, j = 0;
  while (i < shorts.size() || j < longs.size()) {
    if (j == longs.size() || (i < shorts.size() && compare_long_short(longs[j], shorts[i]) > 0)) {
      if (!output.write(shorts[i++])) return false;
    } else if (!output.write(utf8_of(longs[j++]))) {
      return false;
    }
  }
  return output.flush();
}

namespace {

int usage() {
  return print_usage({"Usage: lexglean <filename>", "",
                      "Given a TALK V1 resource file (dialog.tlk), will extract each "
                      "unique word and send to stdout."});
}

int help() {
  if (int status = usage(); status != 0) return status;
  return print_usage(
      {"", "Options, before the file name:",
       "  --encoding PAGE  Read the texts in the code page PAGE (" + code_page_names() +
           "): words are then the letters of every script, written in UTF-8.",
       "  --lower          Write each word in lower case (A-Z alone without --encoding)."});
}

// The options before the file name; nothing when the command line is not
// one lexglean takes.
struct lexglean_command {
  std::string table;
  std::string encoding;
  bool lower = false;
};

std::optional<lexglean_command> read_command_line(int argc, char** argv) {
  lexglean_command command;
  std::vector<std::string> names;
  if (!read_options(argc, argv,
                    {{"--encoding", &command.encoding}, {"--lower", nullptr, &command.lower}}, 1,
                    names))
    return std::nullopt;
  command.table = names[0];
  return command;
}

// lexglean with an option: the texts decoded, or folded, word by word.
int run_with_options(const lexglean_command& command) {
  std::optional<page_decoder> decoder;
  std::string page_name;
  if (!command.encoding.empty()) {
    result<code_page> page = page_named(command.encoding, "lexglean");
    if (!page.ok()) return exit_with(page.error(), message_stream::standard_error);
    result<page_decoder> opened = page_decoder::open(*page);
    if (!opened.ok()) return exit_with(opened.error(), message_stream::standard_error);
    decoder.emplace(std::move(*opened));
    page_name = std::string(page->name);
  }
  warn_of_cut_save(command.table);
  file_bytes file;
  page_word_collector words(decoder ? &*decoder : nullptr, command.lower);
  std::string refused;
  bool loaded =
      ie_res_talk::read_texts(command.table, file, [&](std::uint32_t entry, std::string_view text) {
        std::size_t bad_at = 0;
        if (words.add_text(text, bad_at)) return true;
        refused = "Cannot proceed, entry " + std::to_string(entry) + " of '" + command.table +
                  "' holds bytes that are no " + page_name + " text, from byte " +
                  std::to_string(bad_at) + " on.";
        return false;
      });
  if (!loaded) return 1;
  if (!refused.empty()) return exit_with(refusal(refused), message_stream::standard_error);
  return words.write_sorted(std::cout) ? 0 : 1;
}

}  // namespace

int run_lexglean(int argc, char** argv) {
  if (only_argument(argc, argv, "--version")) return print_version("lexglean");
  if (only_argument(argc, argv, "--help")) return help();
  std::optional<lexglean_command> command = read_command_line(argc, argv);
  if (!command) return usage();
  if (!command->encoding.empty() || command->lower) return run_with_options(*command);
  warn_of_cut_save(command->table);
  // The texts are scanned straight from the file, without building the
  // table's entries: the words are all the command needs.
  file_bytes file;
  word_collector words;
  bool loaded =
      ie_res_talk::read_texts(command->table, file, [&words](std::uint32_t, std::string_view text) {
        words.add_text(text);
        return true;
      });
  // The table has said what went wrong; an empty list would pass for a
  // table without words.
  if (!loaded) return 1;
  return write_lines(std::cout, words.sorted()) ? 0 : 1;
}
