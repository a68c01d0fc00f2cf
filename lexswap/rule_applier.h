// SPDX-License-Identifier: MIT
// Applying a whole replacement list to one text after another, fast.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "lexswap/replacement_list.h"

// Why a replacement list could not be applied.
enum class apply_error {
  // The automaton over the search strings has more states than four bytes
  // can number.
  too_many_states,
  // A rule was stopped in a text (see replace.h).
  rule_stopped,
  out_of_memory,
};

struct apply_failure {
  apply_error error;
  // For a stopped rule: its index in the list, and the replacements it had
  // made in the text.
  std::size_t rule = 0;
  std::uint64_t replacements = 0;
};

// Applies every rule of a list, in list order, to one text after another,
// with the result of running every rule in turn on the whole text.
//
// An automaton over all search strings runs once over the text and keeps
// its state after every byte (text_scan.h). From that scan the fastest way
// that can take the text gives the result: the whole list in one pass, where
// no replacement forms a search string anew (one_pass.h); else, where no
// search string holds a blank, each word on its own, with what the rules
// made of each distinct word kept for the texts that follow (word_path.h);
// else the rules whose strings occur, one after another, each reading again
// only what the last one changed (rules_in_turn.h).
//
// Nothing here throws: memory that runs out is a failure like the others.
class rule_applier {
 public:
  // The list's rules, compiled; the applier keeps its own copy of the list.
  static std::variant<rule_applier, apply_failure> compile(replacement_list list);

  // A copy applies the same rules, sharing the compiled rules but none of
  // the memory of a text's work (made at its first text): copies may work
  // on different threads at once.
  rule_applier(const rule_applier& other) noexcept;
  rule_applier(rule_applier&&) noexcept;
  rule_applier& operator=(const rule_applier&) = delete;
  rule_applier& operator=(rule_applier&&) noexcept;
  ~rule_applier();

  // Applies the rules to `text`; the failure, if any (a stopped rule, or
  // memory that ran out), after which `text` holds a partly replaced text.
  std::optional<apply_failure> apply(std::string& text) noexcept;

 private:
  class compiled;
  class engine;
  explicit rule_applier(std::shared_ptr<const compiled> rules) noexcept;

  std::shared_ptr<const compiled> rules_;
  std::unique_ptr<engine> engine_;
};
