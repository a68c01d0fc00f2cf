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
// One scan of the text with an automaton over all search strings tells
// which rules can match it; only those rules run. The automaton's state
// after every byte is kept, so that after a rule has changed the text only
// the changed parts need scanning again: from the state before a changed
// part, until the states fall in step with the old ones after it. Search
// strings that lie wholly in unchanged text were there before and are
// already known.
class rule_applier {
 public:
  explicit rule_applier(const replacement_list& list);

  // Applies the rules to `text`. Returns the index of a rule that never
  // stops matching in this text, or nothing when all finished.
  std::optional<std::size_t> apply(std::string& text);

 private:
  // Scans text[from, to) from the state before `from`, writing the states
  // and collecting the rules after `rule` that end there.
  void scan(std::string_view text, std::size_t from, std::size_t to, std::size_t rule);
  // Rescans the changed parts of `text` after `rule` changed it.
  void rescan(std::string_view text, std::size_t rule);
  void mark_found();

  const replacement_list& list_;
  rule_matcher matcher_;
  // Rules still to run on the current text, one bit each.
  std::vector<std::uint64_t> pending_;
  std::vector<std::size_t> found_;
  std::vector<changed_region> changes_;
  // states_[i]: the automaton's state after the first i bytes of the text.
  std::vector<rule_matcher::state> states_;
  std::vector<rule_matcher::state> old_states_;
};

// Runs the command on its command line and returns the exit status.
int run_lexswap(int argc, char** argv);
