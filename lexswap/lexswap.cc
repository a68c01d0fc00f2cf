#include "lexswap/lexswap.h"

#include <algorithm>
#include <bit>
#include <iostream>
#include <memory>

#include "common/command.h"
#include "lexswap/replace.h"
#include "talk/ie_res_talk.h"

namespace {

std::string line_message(const std::string& list_name, std::size_t line,
                         const std::string& what) {
  return "Cannot proceed, line " + std::to_string(line) + " of '" + list_name +
         "': " + what;
}

}  // namespace

std::optional<std::string> refuse_rules(const replacement_list& list,
                                        const std::string& list_name) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& search = list.search_strings[i];
    if (search.empty())
      return line_message(list_name, list.line_numbers[i],
                          "the search string is empty.");
    if (list.replacement_strings[i].find(search) != std::string::npos)
      return line_message(list_name, list.line_numbers[i],
                          "the replacement contains the search string.");
  }
  return std::nullopt;
}

rule_applier::rule_applier(const replacement_list& list)
    : list_(list), matcher_(list.search_strings), pending_((list.size() + 63) / 64, 0) {}

void rule_applier::mark_found() {
  for (std::size_t rule : found_) pending_[rule / 64] |= std::uint64_t{1} << (rule % 64);
  found_.clear();
}

void rule_applier::scan(std::string_view text, std::size_t from, std::size_t to,
                        std::size_t rule) {
  rule_matcher::state current = states_[from];
  for (std::size_t i = from; i < to; ++i) {
    current = matcher_.step(current, static_cast<unsigned char>(text[i]));
    if (current < 0) {
      current = ~current;
      matcher_.collect(current, rule + 1, found_);
    }
    states_[i + 1] = current;
  }
}

void rule_applier::rescan(std::string_view text, std::size_t rule) {
  old_states_.swap(states_);
  states_.resize(text.size() + 1);
  matcher_.begin_collection();
  // `shift`: how much further on the new text stands than the old one,
  // in the unchanged part being walked.
  std::ptrdiff_t shift = 0;
  std::size_t position = 0;
  auto walk_unchanged = [&](std::size_t to) {
    // The states run as before once one of them is as before.
    while (position < to) {
      std::size_t old_position = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) - shift);
      if (states_[position] == old_states_[old_position]) {
        std::copy(old_states_.begin() + static_cast<std::ptrdiff_t>(old_position) + 1,
                  old_states_.begin() + static_cast<std::ptrdiff_t>(old_position + to - position) + 1,
                  states_.begin() + static_cast<std::ptrdiff_t>(position) + 1);
        position = to;
        return;
      }
      scan(text, position, position + 1, rule);
      ++position;
    }
  };
  states_[0] = rule_matcher::k_start;
  for (const changed_region& region : changes_) {
    walk_unchanged(region.start);
    scan(text, region.start, region.end, rule);
    position = region.end;
    shift += static_cast<std::ptrdiff_t>(region.end - region.start) -
             static_cast<std::ptrdiff_t>(region.old_size);
  }
  walk_unchanged(text.size());
  mark_found();
}

std::optional<std::size_t> rule_applier::apply(std::string& text) {
  states_.resize(text.size() + 1);
  states_[0] = rule_matcher::k_start;
  matcher_.begin_collection();
  matcher_.collect(rule_matcher::k_start, 0, found_);
  scan(text, 0, text.size(), std::size_t(0) - 1);
  mark_found();
  for (std::size_t word = 0; word < pending_.size(); ++word) {
    while (pending_[word] != 0) {
      std::size_t rule = word * 64 + static_cast<std::size_t>(std::countr_zero(pending_[word]));
      pending_[word] &= pending_[word] - 1;
      // A pending rule may have lost its search string to a rule before it;
      // then it finds nothing and changes nothing.
      if (!replace_all(text, list_.search_strings[rule], list_.replacement_strings[rule],
                       &changes_)) {
        std::fill(pending_.begin(), pending_.end(), 0);
        return rule;
      }
      if (!changes_.empty()) rescan(text, rule);
    }
  }
  return std::nullopt;
}

int run_lexswap(int argc, char** argv) {
  if (argc != 3) {
    print_usage({"Usage: lexswap <dialog.tlk> <source file>", "",
                 "The source file contains a list of 'some-string = replace-with' "
                 "entries which will be applied to the dialog.tlk resource. Make "
                 "sure you have a good backup of the dialog.tlk!"});
  }
  const std::string table_name = argv[1];
  const std::string list_name = argv[2];
  if (!file_exists(table_name))
    exit_with_message("Cannot read TALK V1 resource, file '" + table_name + "' not found.");
  if (!file_exists(list_name))
    exit_with_message("Cannot proceed, file '" + list_name + "' not found.");

  // A table that failed to load must never be saved: its missing entries
  // would replace the file's.
  auto table = std::make_unique<ie_res_talk>();
  if (!table->load(table_name)) return 1;

  replacement_list list;
  if (!read_replacement_list(list_name, list))
    exit_with_message("Cannot proceed, file '" + list_name + "' not found.");
  if (std::optional<std::string> refusal = refuse_rules(list, list_name))
    exit_with_message(*refusal);
  std::cout << list.size() << " replacements read." << std::endl;

  std::cout << "Processing: " << std::flush;
  rule_applier rules(list);
  std::string working;
  std::size_t counter = 0;
  for (ie_res_talk_entry* entry : table->entries()) {
    if (entry == nullptr) continue;
    working = entry->text();
    if (std::optional<std::size_t> rule = rules.apply(working)) {
      std::cout << std::endl;
      exit_with_message(line_message(list_name, list.line_numbers[*rule],
                                     "the rule never stops matching in entry " +
                                         std::to_string(counter) + "."));
    }
    entry->set_text(working);
    if (++counter % 2000 == 1) std::cout << '#' << std::flush;
  }
  std::cout << std::endl;

  if (!table->save(table_name)) return 1;
  return 0;
}
