// SPDX-License-Identifier: MIT
// What the rule applier's ways of working share: the rules compiled for one
// width of automaton state, the step that reads one byte, and the first scan
// of a text, whose states and occurrences each way reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lexswap/replacement_list.h"
#include "lexswap/rule_matcher.h"

// The scan's steps, inlined into its loops where the compiler allows it.
#if defined(__GNUC__)
#define KIT_ALWAYS_INLINE __attribute__((always_inline))
#define KIT_FLATTEN __attribute__((flatten))
#else
#define KIT_ALWAYS_INLINE
#define KIT_FLATTEN
#endif

// A state as the automaton's moves give it is negated (~state) where search
// strings end; the state itself is the other form.
template <typename State>
State negated(State state) {
  return static_cast<State>(~state);
}
template <typename State>
State as_state(State kept) {
  return kept < 0 ? negated(kept) : kept;
}

// Reads one byte from `current` with `step` (the matcher, or its `mover`),
// leaves the new state in `current`, calls `ended(state)` where search
// strings end, and returns the move as a scan keeps it (negated there).
template <typename State, typename Step, typename Ended>
KIT_ALWAYS_INLINE inline State step_and_collect(const Step& step, State& current,
                                                unsigned char byte, Ended&& ended) {
  const State move = step(current, byte);
  current = move;
  if (move < 0) {
    current = negated(move);
    ended(current);
  }
  return move;
}

// What the rules compile to: read only while texts are worked on, so that
// the applier's copies on several threads share it.
template <typename State>
struct compiled_rules {
  using matcher_type = basic_rule_matcher<State>;

  explicit compiled_rules(replacement_list rules);

  const replacement_list list;
  const matcher_type matcher;
  // The start state as a scan keeps it.
  const State start;
  // Whether each rule can form its search string anew (see replace.h).
  std::vector<bool> forms_anew;
  // Whether each rule's replacement holds its own or a later rule's search
  // string.
  std::vector<bool> holds_later;
  // The automaton's state depends on no more bytes than this.
  std::size_t longest_search = 0;
  // Whether a text that the one pass cannot take goes word by word (see
  // word_path.h): where no search string holds a blank, and none is empty,
  // a text's words are short and repeat.
  bool word_by_word = true;
  // For each rule, the states of its replacement read from the start, kept
  // as a scan keeps them: a replacement read after other text comes to
  // these states once the text before it no longer matters.
  std::vector<std::vector<State>> alone_states;
};

// One search string that ends in a text: the rule, and the end's offset.
struct occurrence {
  std::size_t rule;
  std::size_t end;
};

// The first scan of a text: the automaton's state after every byte, and
// every occurrence of a search string in the order of their ends.
template <typename State>
struct text_scan {
  void run(const compiled_rules<State>& rules, std::string_view text);

  // states[i]: the state after the first i bytes of the text, as the moves
  // give it (negated where search strings end): so telling whether anything
  // ends there needs no look into the automaton.
  std::vector<State> states;
  std::vector<occurrence> occurrences;

 private:
  // The occurrences of a long text's second half, while the first is read.
  std::vector<occurrence> second_half_;
};

extern template struct compiled_rules<std::int16_t>;
extern template struct compiled_rules<std::int32_t>;
extern template struct text_scan<std::int16_t>;
extern template struct text_scan<std::int32_t>;
