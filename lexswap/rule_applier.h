// SPDX-License-Identifier: MIT
// Applying a whole replacement list to one text after another, fast.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "lexswap/replacement_list.h"

// A rule that was stopped in a text: its index in the list, and the
// replacements it had made there.
struct rule_stop {
  std::size_t rule;
  std::uint64_t replacements;
};

// Applies every rule of a list, in list order, to one text after another,
// with the result of running every rule in turn on the whole text.
//
// An automaton over all search strings, run once over the text, counts the
// occurrences of every search string; only the rules whose strings occur
// run. The automaton's state after every byte is kept, so that a rule finds
// its occurrences among the states, and after a rule has changed the text
// only the changed parts are read again: from the state before a changed
// part, until the states fall in step with the old ones after it. The
// counts then lose the occurrences of the old parts and gain those of the
// new ones, and stay exact.
class rule_applier {
 public:
  // Throws std::bad_alloc when the automaton does not fit in memory, and
  // std::length_error when it has more states than four bytes can number.
  explicit rule_applier(const replacement_list& list);
  // A copy applies the same rules, sharing the automaton but none of the
  // memory of a text's work: copies may work on different threads at once.
  rule_applier(const rule_applier& other);
  rule_applier(rule_applier&&) noexcept = default;
  rule_applier& operator=(const rule_applier&) = delete;
  rule_applier& operator=(rule_applier&&) noexcept = default;
  ~rule_applier();

  // Applies the rules to `text`. Returns the rule that was stopped in this
  // text (see replace.h), or nothing when all finished.
  std::optional<rule_stop> apply(std::string& text);

  // The work itself, for one width of automaton state.
  class engine {
   public:
    virtual ~engine() = default;
    virtual std::optional<rule_stop> apply(std::string& text) = 0;
    virtual std::unique_ptr<engine> clone() const = 0;
  };

 private:
  std::unique_ptr<engine> engine_;
};
