// SPDX-License-Identifier: MIT
// Which rules of a replacement list can match a text at all, found in one
// pass over the text: an Aho-Corasick automaton over every search string.
// Most rules match few strings of a table, so lexswap runs a rule only where
// its search string occurs, and scans again only after a rule has changed
// the text; the rules still run in list order, one after another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The number of states of the automaton over `search_strings`: one for
// every distinct start of a search string, the empty one included.
std::size_t automaton_states(const std::vector<std::string>& search_strings);

// State is the type that holds a state: std::int16_t serves lists of up to
// 32,767 states (most lists; half the memory, so the automaton's table and a
// scan's states stay closer to the processor), std::int32_t any list.
template <typename State>
class basic_rule_matcher {
 public:
  // `automaton_states(search_strings)` must not exceed the largest State:
  // every state and the end of the last run of states are numbered in one.
  explicit basic_rule_matcher(const std::vector<std::string>& search_strings);

  // A state stands for the text read so far; a scan starts in `k_start`.
  using state = State;
  static constexpr state k_start = 0;

  // The state after `byte`. Negative (~state) when search strings end there.
  state step(state from, unsigned char byte) const {
    return next_[(static_cast<std::size_t>(from) << shift_) + class_of_[byte]];
  }
  // The moves with their tables as plain pointers, for a scan's inner loop:
  // there they stay in registers, where the members would be loaded again
  // after every state the scan stores.
  struct mover {
    const state* next;
    const std::uint16_t* class_of;
    unsigned shift;
    state operator()(state from, unsigned char byte) const {
      return next[(static_cast<std::size_t>(from) << shift) + class_of[byte]];
    }
  };
  mover moves() const { return {next_.data(), class_of_, shift_}; }
  // Calls `take` with the index of every search string that ends at `at`
  // (a state, not negated), as often as it ends there.
  template <typename Take>
  void for_each_end(state at, Take&& take) const {
    for (std::int32_t link = at; link >= 0; link = output_link_[static_cast<std::size_t>(link)]) {
      auto index = static_cast<std::size_t>(link);
      for (std::uint32_t e = first_end_[index]; e < first_end_[index + 1]; ++e) take(ends_[e]);
    }
  }
  // The states at which search string `index` ends: those from `first` to
  // before `second`.
  std::pair<state, state> states_of(std::size_t index) const { return string_states_[index]; }
  // Whether no search string holds `byte`: after it the scan is back at the
  // start, whatever came before.
  bool in_no_search_string(unsigned char byte) const { return class_of_[byte] == 0; }
  // How many of the last bytes read state `at` (not negated) stands for: no
  // search string found later can begin before them.
  std::uint32_t depth(state at) const { return depth_[static_cast<std::size_t>(at)]; }
  // Whether any search string ends at `at` (a state, not negated).
  bool has_ends(state at) const {
    auto index = static_cast<std::size_t>(at);
    return first_end_[index] != first_end_[index + 1] || output_link_[index] >= 0;
  }

 private:
  void assign_byte_classes(const std::vector<std::string>& search_strings);

  // Bytes that no search string holds share one class, so the table of
  // moves has a column per byte that matters, not 256.
  std::uint16_t class_of_[256] = {};
  std::size_t classes_ = 1;
  // A row of moves is 2^shift_ wide, so that a move costs a shift, an
  // addition and a load: a scan is a chain of moves, each waiting for the
  // one before it.
  unsigned shift_ = 0;
  // The move from each state on each byte class, a row per state; negated
  // (~state) where the new state has search strings to collect.
  std::vector<state> next_;
  // The search strings that end at each state: a run in `ends_` from
  // `first_end_[state]` to `first_end_[state + 1]`.
  std::vector<std::uint32_t> first_end_;
  std::vector<std::uint32_t> ends_;
  // The nearest state down the failure links where a search string ends,
  // or -1: the other strings that end where this state's string ends.
  std::vector<std::int32_t> output_link_;
  // The depth of each state (see `depth`).
  std::vector<std::uint32_t> depth_;
  // For each search string, the run of states where it ends.
  std::vector<std::pair<state, state>> string_states_;
};

using rule_matcher = basic_rule_matcher<std::int32_t>;

extern template class basic_rule_matcher<std::int16_t>;
extern template class basic_rule_matcher<std::int32_t>;
