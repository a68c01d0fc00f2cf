// SPDX-License-Identifier: MIT
#include "lexswap/lexswap.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/command.h"
#include "common/writer_lock.h"
#include "lexswap/text_pass.h"
#include "talk/ie_res_talk.h"

namespace {

std::string line_message(const std::string& list_name, std::size_t line, const std::string& what) {
  return "Cannot proceed, line " + std::to_string(line) + " of '" + list_name + "': " + what;
}

// What the user reads when the rules could not be applied to `entry`.
std::string failure_message(const apply_failure& failure, std::size_t entry,
                            const replacement_list& list, const std::string& list_name) {
  switch (failure.error) {
    case apply_error::too_many_states:
      return "Cannot proceed, file '" + list_name + "' holds more rules than fit in memory.";
    case apply_error::rule_stopped:
      return line_message(list_name, list.line_numbers[failure.rule],
                          "the rule was stopped after " + std::to_string(failure.replacements) +
                              " replacements in entry " + std::to_string(entry) + ".");
    case apply_error::out_of_memory: break;
  }
  return std::string(k_memory_message);
}

}  // namespace

std::optional<std::string> refuse_rules(const replacement_list& list,
                                        const std::string& list_name) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& search = list.search_strings[i];
    if (search.empty())
      return line_message(list_name, list.line_numbers[i], "the search string is empty.");
    if (list.replacement_strings[i].find(search) != std::string::npos)
      return line_message(list_name, list.line_numbers[i],
                          "the replacement contains the search string.");
    // A table's text ends at its first NUL: a NUL saved into one would cut
    // that text short at every later load, for good.
    if (search.find('\0') != std::string::npos ||
        list.replacement_strings[i].find('\0') != std::string::npos)
      return line_message(list_name, list.line_numbers[i], "a rule holds a NUL byte.");
  }
  return std::nullopt;
}

int run_lexswap(int argc, char** argv) {
  if (only_argument(argc, argv, "--version")) return print_version("lexswap");
  if (argc != 3) {
    return print_usage({"Usage: lexswap <dialog.tlk> <source file>", "",
                        "The source file contains a list of 'some-string = replace-with' "
                        "entries which will be applied to the dialog.tlk resource. Make "
                        "sure you have a good backup of the dialog.tlk!"});
  }
  const std::string table_name = argv[1];
  const std::string list_name = argv[2];
  // The table is written back over itself, which only a regular file allows;
  // asked first, since merely opening a FIFO would wait for a writer.
  if (is_special_file(table_name)) {
    std::cerr << ie_res_talk::k_cannot_write << std::endl;
    return 1;
  }
  if (!file_exists(table_name))
    return exit_with_message("Cannot read TALK V1 resource, file '" + table_name + "' not found.");
  const std::string list_missing = "Cannot proceed, file '" + list_name + "' not found.";
  if (!file_exists(list_name)) return exit_with_message(list_missing);

  // Held until the table is saved: a second run on the table waits here,
  // and then reads what this one saved.
  writer_lock lock;
  if (std::optional<std::string> refusal = start_writing(table_name, lock))
    return exit_with_message(*refusal);

  // A table that failed to load must never be saved: its missing entries
  // would replace the file's. Records may share or overlap their stored
  // strings, and saved, each takes a copy of its own: a table that could
  // not be saved as it is, is refused before its texts are copied and the
  // rules run for minutes.
  auto table = std::make_unique<ie_res_talk>();
  switch (table->load_to_save(table_name)) {
    case ie_res_talk::load_result::loaded: break;
    case ie_res_talk::load_result::failed: return 1;
    case ie_res_talk::load_result::too_large_to_save:
      return exit_with_message("Cannot proceed, file '" + table_name +
                               "' holds more text than a talk table can hold (4 GiB).");
  }

  replacement_list list;
  if (std::optional<std::string> refusal = read_replacement_list(list_name, list, list_missing))
    return exit_with_message(*refusal);
  if (std::optional<std::string> refusal = refuse_rules(list, list_name))
    return exit_with_message(*refusal);
  std::cout << list.size() << " replacements read." << std::endl;

  std::variant<rule_applier, apply_failure> compiled = rule_applier::compile(list);
  if (const auto* failure = std::get_if<apply_failure>(&compiled))
    return exit_with_message(failure_message(*failure, 0, list, list_name));
  const rule_applier& rules = std::get<rule_applier>(compiled);

  std::cout << "Processing: " << std::flush;
  std::vector<ie_res_talk_entry*> entries;
  for (ie_res_talk_entry* entry : table->entries())
    if (entry != nullptr) entries.push_back(entry);
  // A mark for the first entry and for every 2,000th after it.
  std::size_t marked = 0;
  auto mark = [&](std::size_t done) {
    for (; marked < done; ++marked)
      if (marked % 2000 == 0) std::cout << '#';
    std::cout << std::flush;
  };
  std::optional<pass_failure> failure = apply_to_texts(entries, rules, processor_count(), mark);
  std::cout << std::endl;
  if (failure)
    return exit_with_message(failure_message(failure->failure, failure->entry, list, list_name));

  // Status 1 must mean that the table is as it was: output that failed is
  // reported before the table is touched, not after it has been saved.
  if (!flush_standard_output()) return 1;
  if (!table->save(table_name)) return 1;
  return 0;
}
