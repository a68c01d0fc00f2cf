// SPDX-License-Identifier: MIT
// The rule applier's general way: every rule in turn over the whole text,
// for the texts the faster ways decline.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lexswap/replace.h"
#include "lexswap/text_scan.h"

// Which of a rule's limits (see replace.h) a run keeps to: those of a whole
// text, or a word's share of them.
enum class turn_limits { whole_text, word_share };

// How the rules in turn ended on a text.
struct turn_result {
  enum class outcome {
    done,
    // `rule` was stopped in the text after `replacements` replacements.
    rule_stopped,
    // With `turn_limits::word_share`: `rule` went past the word's share.
    past_word_share,
  };
  outcome how = outcome::done;
  std::size_t rule = 0;
  std::uint64_t replacements = 0;
};

// Only the rules whose search strings occur run: the counts of the first
// scan tell which. A rule that cannot form its search string anew finds its
// occurrences among the scan's states and replaces them in one pass; one
// that can goes through `replace_all`. After a rule has changed the text
// only the changed parts are read again: from the state before a changed
// part, until the states fall in step with the old ones after it. The counts
// then lose the occurrences of the old parts and gain those of the new ones,
// and stay exact.
template <typename State>
class rules_in_turn {
 public:
  explicit rules_in_turn(const compiled_rules<State>& rules)
      : rules_(rules), counts_(rules.list.size(), 0), touched_((rules.list.size() + 63) / 64, 0) {}

  // Applies the rules one after another to `text`, which `scan` has read,
  // keeping the scan's states up to date; after a failure `text` holds a
  // partly replaced text.
  turn_result apply(std::string& text, text_scan<State>& scan, turn_limits limits);

 private:
  turn_result run(std::string& text, const std::vector<occurrence>& occurrences,
                  turn_limits limits);
  // Adds `delta` to the count of every search string that ends at `at`.
  void count(State at, int delta);
  // Forgets the search strings that end at a state that is being replaced.
  void forget(State kept) {
    if (kept < 0) count(negated(kept), -1);
  }
  // Scans text[from, to) from the state before `from`, keeping the states
  // and counting what ends there.
  void scan_part(std::string_view text, std::size_t from, std::size_t to);
  // Reads again the changed parts of `text` after a rule changed it.
  void rescan(std::string_view text);
  // Replaces every occurrence of a rule that cannot form its search string
  // anew, finding them in the states of the last scan: where the rule
  // replaces, in `starts_`; the text and its states made room for the
  // replacements; each replacement written and read.
  void replace_known(std::string& text, std::size_t rule);
  void find_places(std::size_t text_size, std::size_t rule);
  void make_room(std::string& text, std::size_t size, std::size_t length);
  void read_replacements(std::string& text, std::size_t rule);

  const compiled_rules<State>& rules_;
  // The text's states, borrowed from its scan while the rules run (see
  // text_scan.h), and those before the last rule changed it.
  std::vector<State> states_;
  std::vector<State> old_states_;
  // Occurrences of each rule's search string in the current text, and one
  // bit per rule that has had any in it: the rules to look at, and the
  // counts to clear before the next text. Counting stays free of branches
  // that depend on the text.
  std::vector<std::uint32_t> counts_;
  std::vector<std::uint64_t> touched_;
  std::vector<changed_region> changes_;
  // Where the current rule replaces, in the text before it.
  std::vector<std::size_t> starts_;
};
