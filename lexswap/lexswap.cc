// SPDX-License-Identifier: MIT
#include "lexswap/lexswap.h"

#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/command.h"
#include "lexswap/rule_pages.h"
#include "lexswap/text_pass.h"
#include "talk/table_rewrite.h"

namespace {

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

outcome refuse_rules(const replacement_list& list, const std::string& list_name) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& search = list.search_strings[i];
    if (search.empty())
      return refusal(line_message(list_name, list.line_numbers[i], "the search string is empty."));
    if (list.replacement_strings[i].find(search) != std::string::npos)
      return refusal(line_message(list_name, list.line_numbers[i],
                                  "the replacement contains the search string."));
    // A table's text ends at its first NUL: a NUL saved into one would cut
    // that text short at every later load, for good.
    if (search.find('\0') != std::string::npos ||
        list.replacement_strings[i].find('\0') != std::string::npos)
      return refusal(line_message(list_name, list.line_numbers[i], "a rule holds a NUL byte."));
  }
  return {};
}

namespace {

// The rules of the list, read, checked and compiled; "N replacements read."
// once they are read and checked.
struct rules_read {
  replacement_list list;
  std::optional<rule_applier> rules;
};

// The rules in the table's bytes, as `encoding` says the list holds them.
outcome rules_in_table_bytes(rules_read& read, const std::string& list_name,
                             const rule_encoding& encoding, const table_rewrite& rewrite) {
  if (encoding.bytes) return {};
  if (!encoding.page)
    return refuse_mixed_pages(read.list, list_name, rewrite.table().entries(), rewrite.name());
  result<text_converter> converter = converter_for(*encoding.page);
  if (!converter.ok()) return converter.error();
  return encode_rules(read.list, list_name, *encoding.page, *converter);
}

outcome read_rules(const std::string& list_name, const std::string& list_missing,
                   const rule_encoding& encoding, const table_rewrite& rewrite, rules_read& read) {
  if (outcome listed = read_replacement_list(list_name, read.list, list_missing); !listed.ok())
    return listed;
  if (outcome bytes = rules_in_table_bytes(read, list_name, encoding, rewrite); !bytes.ok())
    return bytes;
  if (outcome refused = refuse_rules(read.list, list_name); !refused.ok()) return refused;
  std::cout << read.list.size() << " replacements read." << std::endl;
  std::variant<rule_applier, apply_failure> compiled = rule_applier::compile(read.list);
  if (const auto* failure = std::get_if<apply_failure>(&compiled))
    return refusal(failure_message(*failure, 0, read.list, list_name));
  read.rules.emplace(std::move(std::get<rule_applier>(compiled)));
  return {};
}

// Runs the rules over every text of the table, with a mark for the first
// entry and for every 2,000th after it.
outcome apply_rules(ie_res_talk& table, const rules_read& read, const std::string& list_name) {
  std::cout << "Processing: " << std::flush;
  std::vector<ie_res_talk_entry*> entries;
  for (ie_res_talk_entry* entry : table.entries())
    if (entry != nullptr) entries.push_back(entry);
  std::size_t marked = 0;
  auto mark = [&](std::size_t done) {
    for (; marked < done; ++marked)
      if (marked % 2000 == 0) std::cout << '#';
    std::cout << std::flush;
  };
  std::optional<pass_failure> failure =
      apply_to_texts(entries, *read.rules, processor_count(), mark);
  std::cout << std::endl;
  if (failure)
    return refusal(failure_message(failure->failure, failure->entry, read.list, list_name));
  return {};
}

int usage() {
  return print_usage({"Usage: lexswap <dialog.tlk> <source file>", "",
                      "The source file contains a list of 'some-string = replace-with' "
                      "entries which will be applied to the dialog.tlk resource. Make "
                      "sure you have a good backup of the dialog.tlk!"});
}

// The usage text, then the options beside the file names.
int help() {
  if (int status = usage(); status != 0) return status;
  return print_usage(
      {"", "Options, before the file names:",
       "  --encoding PAGE  The source file is UTF-8: its rules are converted to the table's "
       "code page PAGE (" +
           code_page_names() + ").",
       "  --bytes          The source file is in the table's own code page: its bytes are "
       "taken as they are."});
}

// A command line: the options, then the two file names.
struct lexswap_command {
  std::string table;
  std::string list;
  std::string encoding;
  bool bytes = false;
};

// Nothing when the command line is not one lexswap takes.
std::optional<lexswap_command> read_command_line(int argc, char** argv) {
  lexswap_command command;
  std::vector<std::string> names;
  if (!read_options(argc, argv,
                    {{"--encoding", &command.encoding}, {"--bytes", nullptr, &command.bytes}}, 2,
                    names) ||
      (!command.encoding.empty() && command.bytes))
    return std::nullopt;
  command.table = names[0];
  command.list = names[1];
  return command;
}

}  // namespace

int run_lexswap(int argc, char** argv) {
  if (only_argument(argc, argv, "--version")) return print_version("lexswap");
  if (only_argument(argc, argv, "--help")) return help();
  std::optional<lexswap_command> command = read_command_line(argc, argv);
  if (!command) return usage();
  constexpr message_stream messages = message_stream::standard_output;
  rule_encoding encoding;
  encoding.bytes = command->bytes;
  if (!command->encoding.empty()) {
    result<code_page> page = page_named(command->encoding, "lexswap");
    if (!page.ok()) return exit_with(page.error(), messages);
    encoding.page = *page;
  }
  const std::string& table_name = command->table;
  const std::string& list_name = command->list;
  // Held until the table is saved: a second run on the table waits, and
  // then reads what this one saved.
  table_rewrite rewrite;
  if (outcome checked = rewrite.check(table_name); !checked.ok())
    return exit_with(checked.error(), messages);
  const std::string list_missing = "Cannot proceed, file '" + list_name + "' not found.";
  if (!file_exists(list_name)) return exit_with_message(list_missing);
  if (outcome opened = rewrite.open(); !opened.ok()) return exit_with(opened.error(), messages);

  rules_read rules;
  if (outcome read = read_rules(list_name, list_missing, encoding, rewrite, rules); !read.ok())
    return exit_with(read.error(), messages);
  if (outcome applied = apply_rules(rewrite.table(), rules, list_name); !applied.ok())
    return exit_with(applied.error(), messages);

  // Status 1 must mean that the table is as it was: output that failed is
  // reported before the table is touched, not after it has been saved.
  if (!flush_standard_output()) return 1;
  return rewrite.save() ? 0 : 1;
}
