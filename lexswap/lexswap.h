// lexswap <dialog.tlk> <source file>: rewrites every string of a talk table
// with a replacement list and saves the table over the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lexswap/replace.h"
#include "lexswap/replacement_list.h"
#include "lexswap/rule_matcher.h"

class ie_res_talk;

// The message for the first rule of `list` that can never finish whatever
// the text (an empty search string, or a replacement that holds its search
// string), or nothing when every rule may finish. `list_name` is the list
// file's name as given.
std::optional<std::string> refuse_rules(const replacement_list& list,
                                        const std::string& list_name);

// Applies every rule of a list, in list order, to one text after another,
// with the result of running every rule in turn on the whole text.
//
// An automaton over all search strings, run once over the text, counts the
// occurrences of every search string; only the rules whose strings occur
// run. The automaton's state after every byte is kept, so that after a rule
// has changed the text only the changed parts are read again: from the
// state before a changed part, until the states fall in step with the old
// ones after it. The counts then lose the occurrences of the old parts and
// gain those of the new ones, and stay exact.
class rule_applier {
 public:
  explicit rule_applier(const replacement_list& list);

  // Applies the rules to `text`. Returns the index of a rule that never
  // stops matching in this text, or nothing when all finished.
  std::optional<std::size_t> apply(std::string& text);

 private:
  // Adds `delta` to the count of every search string that ends at `at`.
  void count(rule_matcher::state at, int delta);
  // Scans text[from, to) from the state before `from`, keeping the states
  // and counting what ends there.
  void scan(std::string_view text, std::size_t from, std::size_t to);
  // Reads again the changed parts of `text` after a rule changed it.
  void rescan(std::string_view text);
  // Replaces every occurrence of a rule that cannot form its search string
  // anew, finding them in the states of the last scan; one pass.
  void replace_known(std::string& text, std::size_t rule);

  static rule_matcher::state as_state(rule_matcher::state kept) { return kept < 0 ? ~kept : kept; }

  const replacement_list& list_;
  rule_matcher matcher_;
  // The start state as `states_` keeps it.
  rule_matcher::state start_;
  // Whether each rule can form its search string anew (see replace.h).
  std::vector<bool> forms_anew_;
  // Occurrences of each rule's search string in the current text, and one
  // bit per rule that has any.
  std::vector<std::uint32_t> counts_;
  std::vector<std::uint64_t> present_;
  // Rules whose counts may not be 0, to clear before the next text.
  std::vector<std::uint32_t> counted_;
  std::vector<changed_region> changes_;
  std::string replaced_;
  // states_[i]: the automaton's state after the first i bytes of the text,
  // negated (~state) where search strings end, as the moves give it: so
  // telling whether anything ends there needs no look into the automaton.
  std::vector<rule_matcher::state> states_;
  std::vector<rule_matcher::state> old_states_;
};

// Runs the command on its command line and returns the exit status.
int run_lexswap(int argc, char** argv);
