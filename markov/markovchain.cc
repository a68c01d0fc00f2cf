// SPDX-License-Identifier: MIT
#include "markov/markovchain.h"

#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <utility>

#include "common/big_allocator.h"
#include "common/file_save.h"
#include "common/text_lines.h"

namespace {

constexpr std::size_t k_slots = 256 * 256;

// Counters are unsigned 32-bit numbers, but weights and totals are signed
// 32-bit sums; the sums wrap instead of overflowing.
std::int32_t as_signed(std::uint32_t value) { return static_cast<std::int32_t>(value); }

bool is_c_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a number the way atoi does (leading white space, a sign, digits up
// to the first other byte, none giving 0), but modulo 2^32 instead of
// overflowing: every unsigned 32-bit counter comes back exactly, and numbers
// that fit a signed int give atoi's value.
std::uint32_t read_number(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::uint32_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
  return negative ? 0u - value : value;
}

}  // namespace

markovchain::markovchain() : transitions_(k_slots, nullptr), totals_(k_slots, 0) {}

markovchain::~markovchain() = default;

namespace {

constexpr std::size_t k_block = 4096;

}  // namespace

void markovchain::block_release::operator()(count_table* block) const {
  release_big(block, k_block * sizeof(count_table));
}

markovchain::count_table& markovchain::table_for(std::size_t index) {
  count_table*& table = transitions_[index];
  if (table == nullptr) {
    if (free_in_block_ == 0) {
      blocks_.emplace_back(static_cast<count_table*>(allocate_big(k_block * sizeof(count_table))));
      free_in_block_ = k_block;
    }
    table = &blocks_.back()[k_block - free_in_block_--];
    table->fill(0);
  }
  return *table;
}

void markovchain::refresh_totals() const {
  if (!totals_stale_) return;
  for (std::size_t index = 0; index < k_slots; ++index) {
    const count_table* table = transitions_[index];
    if (table == nullptr) continue;
    std::uint32_t sum = 0;
    for (std::uint32_t count : *table) sum += count;
    totals_[index] = sum;
  }
  totals_stale_ = false;
}

void markovchain::add_word(std::string_view word) {
  if (word.empty()) return;
  totals_stale_ = true;
  char before = k_start_marker;
  char last = word[0];
  for (std::size_t i = 1; i <= word.size(); ++i) {
    char next = i < word.size() ? word[i] : k_end_marker;
    ++table_for(slot(before, last))[static_cast<unsigned char>(next)];
    before = last;
    last = next;
  }
}

void markovchain::add_transition(std::string_view pair, char next) {
  ++table_for(slot(pair[0], pair[1]))[static_cast<unsigned char>(next)];
  totals_stale_ = true;
}

std::int32_t markovchain::transition_total(std::string_view pair) const {
  refresh_totals();
  return as_signed(totals_[slot(pair[0], pair[1])]);
}

char markovchain::first_character() const {
  // Only the pairs that begin with the start marker carry weight, and they
  // are the 256 slots from "[" x 256 on, already in byte order.
  refresh_totals();
  std::int32_t weights[256] = {};
  std::uint32_t total = 0;
  const std::size_t base = slot(k_start_marker, 0);
  for (std::size_t c = 0; c < 256; ++c) {
    if (!transitions_[base + c]) continue;
    weights[c] = as_signed(totals_[base + c]);
    total += totals_[base + c];
  }
  if (as_signed(total) == 0) return 0;
  std::int64_t threshold = std::rand() % as_signed(total) + std::int64_t{1};
  std::uint32_t running = 0;
  for (int c = 0; c < 256; ++c) {
    running += static_cast<std::uint32_t>(weights[c]);
    if (weights[c] != 0 && as_signed(running) >= threshold) return static_cast<char>(c);
  }
  return 0;
}

char markovchain::next_character(std::string_view pair) const {
  refresh_totals();
  std::size_t index = slot(pair[0], pair[1]);
  const count_table* table = transitions_[index];
  std::int32_t total = as_signed(totals_[index]);
  if (table == nullptr || total <= 0) return 0;
  std::int32_t position = std::rand() % total;
  std::uint32_t running = 0;
  for (int c = 0; c < 256; ++c) {
    running += (*table)[c];
    if (as_signed(running) > position) return static_cast<char>(c);
  }
  return 0;
}

std::string markovchain::generate_word(char start) const {
  std::string word;
  char first = start != 0 ? start : first_character();
  word.push_back(first);
  char before = k_start_marker;
  char last = first;
  while (word.size() < k_max_word_length) {
    const char pair[2] = {before, last};
    char next = next_character(std::string_view(pair, 2));
    if (next == 0 || next == k_end_marker) break;
    word.push_back(next);
    before = last;
    last = next;
  }
  if (word.size() < 2) return {};
  return word;
}

std::string markovchain::state_text() const {
  std::string text;
  for (std::size_t index = 0; index < k_slots; ++index) {
    const count_table* table = transitions_[index];
    if (table == nullptr) continue;
    text.push_back(static_cast<char>(index >> 8));
    text.push_back(static_cast<char>(index & 0xff));
    text.push_back(':');
    bool first_item = true;
    for (int c = 0; c < 256; ++c) {
      if ((*table)[c] == 0) continue;
      if (!first_item) text.push_back(',');
      first_item = false;
      text.push_back(static_cast<char>(c));
      text += std::to_string((*table)[c]);
    }
    text.push_back('\n');
  }
  return text;
}

file_save::options markovchain::save_options() {
  file_save::options settings;
  settings.write_special_files = true;
  return settings;
}

bool markovchain::save_state(const std::string& file_name) const {
  file_save file(file_name, save_options());
  return write_state(file, file_name).ok();
}

outcome markovchain::write_state(file_save& file, const std::string& file_name) const {
  const std::string message = "Cannot save model, file '" + file_name + "' couldn't be written.";
  if (!file.open()) return refusal(message);
  file.write(state_text());
  if (file.commit()) return {};
  if (file.kept_backup().empty()) return refusal(message);
  return refusal(message + "\nIts old content is kept in '" + file.kept_backup() + "'.");
}

std::int32_t markovchain::merge_state(std::string_view text) {
  std::int32_t items = 0;
  // Lines end at a line feed only: a carriage return stays in the line,
  // where it ends a number like any other byte that is not a digit.
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (line.size() <= 4 || line[2] != ':') continue;
    count_table& table = table_for(slot(line[0], line[1]));
    totals_stale_ = true;
    std::size_t position = 3;
    while (position < line.size()) {
      auto character = static_cast<unsigned char>(line[position]);
      std::uint32_t value = read_number(line.substr(position + 1));
      table[character] = value;
      if (items < std::numeric_limits<std::int32_t>::max()) ++items;
      std::size_t comma = line.find(',', position + 1);
      if (comma == std::string_view::npos) break;
      position = comma + 1;
    }
  }
  return items;
}

std::int32_t markovchain::load_state(const std::string& file_name) {
  result<std::int32_t> items = read_state(file_name);
  return items.ok() ? *items : 0;
}

result<std::int32_t> markovchain::read_state(const std::string& file_name) {
  list_file list;
  if (!read_file(file_name, list.bytes))
    return refusal("Cannot read model, file '" + file_name + "' not found.");
  if (list.bytes.size() < 3 || list.bytes[2] != ':') {
    // Every line the kit saves begins with a pair and a colon, and any two
    // bytes may be a pair: FF FE, FE FF or NULs. Only a file that does not
    // begin so is looked at for the mark or the NULs of UTF-16 text.
    if (text_kind kind = kind_of_text(list.bytes); kind != text_kind::plain)
      return refusal(wide_text_message(file_name, kind));
  }
  return merge_state(list_text(list.bytes));
}

void markovchain::display_statistics(std::ostream& out) const {
  refresh_totals();
  for (std::size_t index = 0; index < k_slots; ++index) {
    const count_table* table = transitions_[index];
    if (table == nullptr) continue;
    std::string line;
    line.push_back(static_cast<char>(index >> 8));
    line.push_back(static_cast<char>(index & 0xff));
    line += " (";
    line += std::to_string(as_signed(totals_[index]));
    line += "): ";
    for (int c = 0; c < 256; ++c) {
      if ((*table)[c] == 0) continue;
      line.push_back(static_cast<char>(c));
      line.push_back('=');
      line += std::to_string((*table)[c]);
      line.push_back(' ');
    }
    out << line << std::endl;
  }
}

const markovchain::count_table* markovchain::counts(std::string_view pair) const {
  return transitions_[slot(pair[0], pair[1])];
}

std::vector<std::string> markovchain::pairs() const {
  std::vector<std::string> result;
  for (std::size_t index = 0; index < k_slots; ++index) {
    if (transitions_[index])
      result.push_back({static_cast<char>(index >> 8), static_cast<char>(index & 0xff)});
  }
  return result;
}
