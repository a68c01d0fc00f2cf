// SPDX-License-Identifier: MIT
#include "lexswap/rule_matcher.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <stdexcept>

std::size_t automaton_states(const std::vector<std::string>& search_strings) {
  // In sorted order, each string adds the bytes past what it shares with
  // the one before it.
  std::vector<std::string_view> sorted(search_strings.begin(), search_strings.end());
  std::sort(sorted.begin(), sorted.end());
  std::size_t states = 1;
  std::string_view before;
  for (std::string_view search : sorted) {
    std::size_t shared = 0;
    while (shared < before.size() && shared < search.size() && before[shared] == search[shared])
      ++shared;
    states += search.size() - shared;
    before = search;
  }
  return states;
}

template <typename State>
basic_rule_matcher<State>::basic_rule_matcher(const std::vector<std::string>& search_strings) {
  for (const std::string& search : search_strings) {
    for (char c : search) {
      auto byte = static_cast<unsigned char>(c);
      if (class_of_[byte] == 0) class_of_[byte] = static_cast<std::uint16_t>(classes_++);
    }
  }

  // The trie of the search strings; -1 marks a missing move.
  std::vector<std::int32_t> trie(classes_, -1);
  std::vector<std::vector<std::uint32_t>> ends(1);
  std::vector<std::int32_t> terminal;
  for (std::size_t index = 0; index < search_strings.size(); ++index) {
    std::int32_t node = 0;
    for (char c : search_strings[index]) {
      std::size_t slot = static_cast<std::size_t>(node) * classes_ +
                         class_of_[static_cast<unsigned char>(c)];
      if (trie[slot] < 0) {
        trie[slot] = static_cast<std::int32_t>(ends.size());
        ends.emplace_back();
        trie.resize(trie.size() + classes_, -1);
      }
      node = trie[slot];
    }
    ends[static_cast<std::size_t>(node)].push_back(static_cast<std::uint32_t>(index));
    terminal.push_back(node);
  }
  const std::size_t states = ends.size();

  // Breadth first, each state's failure link is known before its children
  // need it; missing moves become the moves of the failure state.
  std::vector<std::int32_t> failure(states, 0);
  output_link_.assign(states, -1);
  std::vector<std::int32_t> moves = trie;
  std::deque<std::int32_t> queue;
  for (std::size_t c = 0; c < classes_; ++c) {
    if (moves[c] < 0) {
      moves[c] = 0;
    } else {
      queue.push_back(moves[c]);
    }
  }
  while (!queue.empty()) {
    std::int32_t node = queue.front();
    queue.pop_front();
    auto from = static_cast<std::size_t>(node);
    std::int32_t fail = failure[from];
    output_link_[from] = !ends[static_cast<std::size_t>(fail)].empty()
                             ? fail
                             : output_link_[static_cast<std::size_t>(fail)];
    for (std::size_t c = 0; c < classes_; ++c) {
      std::int32_t& move = moves[from * classes_ + c];
      std::int32_t fallback = moves[static_cast<std::size_t>(fail) * classes_ + c];
      if (move < 0) {
        move = fallback;
      } else {
        failure[static_cast<std::size_t>(move)] = fallback;
        queue.push_back(move);
      }
    }
  }

  // Numbered in depth-first order of the tree that the failure links make,
  // the states whose text read so far ends with a given search string are
  // one run of numbers: the search string's own state and those below it.
  // So the places where a search string ends can be read off the states of
  // a scan with one comparison each.
  std::vector<std::vector<std::int32_t>> below(states);
  for (std::size_t node = 1; node < states; ++node)
    below[static_cast<std::size_t>(failure[node])].push_back(static_cast<std::int32_t>(node));
  std::vector<std::int32_t> number(states), run_end(states);
  std::int32_t next_number = 0;
  std::vector<std::pair<std::int32_t, std::size_t>> path{{0, 0}};
  number[0] = next_number++;
  while (!path.empty()) {
    auto [node, visited] = path.back();
    auto at = static_cast<std::size_t>(node);
    if (visited < below[at].size()) {
      path.back().second++;
      std::int32_t child = below[at][visited];
      number[static_cast<std::size_t>(child)] = next_number++;
      path.emplace_back(child, 0);
    } else {
      run_end[at] = next_number;
      path.pop_back();
    }
  }
  // Every state and the end of the last run must fit in a state.
  if (states > static_cast<std::size_t>(std::numeric_limits<state>::max()))
    throw std::length_error("too many search strings for one automaton");
  while ((std::size_t{1} << shift_) < classes_) ++shift_;
  std::vector<state> renumbered(states << shift_, 0);
  std::vector<std::int32_t> renumbered_links(states);
  std::vector<std::vector<std::uint32_t>> renumbered_ends(states);
  for (std::size_t node = 0; node < states; ++node) {
    auto to = static_cast<std::size_t>(number[node]);
    for (std::size_t c = 0; c < classes_; ++c)
      renumbered[(to << shift_) + c] =
          static_cast<state>(number[static_cast<std::size_t>(moves[node * classes_ + c])]);
    renumbered_links[to] =
        output_link_[node] < 0 ? -1 : number[static_cast<std::size_t>(output_link_[node])];
    renumbered_ends[to] = std::move(ends[node]);
  }
  next_.swap(renumbered);
  output_link_.swap(renumbered_links);
  ends.swap(renumbered_ends);
  for (std::int32_t node : terminal) {
    auto at = static_cast<std::size_t>(node);
    string_states_.emplace_back(static_cast<state>(number[at]), static_cast<state>(run_end[at]));
  }

  // A move into a state where a search string ends, itself or down its
  // output links, is stored negated, so that the scan needs one test per
  // byte to know whether there is anything to collect.
  for (state& move : next_) {
    auto to = static_cast<std::size_t>(move);
    if (!ends[to].empty() || output_link_[to] >= 0) move = static_cast<state>(~move);
  }

  first_end_.reserve(states + 1);
  for (const std::vector<std::uint32_t>& at : ends) {
    first_end_.push_back(static_cast<std::uint32_t>(ends_.size()));
    ends_.insert(ends_.end(), at.begin(), at.end());
  }
  first_end_.push_back(static_cast<std::uint32_t>(ends_.size()));
  state_seen_.assign(states, 0);
  string_seen_.assign(search_strings.size(), 0);
}

template <typename State>
void basic_rule_matcher<State>::begin_collection() {
  if (++scan_ == 0) {
    // The stamps went round: start them afresh.
    std::fill(state_seen_.begin(), state_seen_.end(), 0);
    std::fill(string_seen_.begin(), string_seen_.end(), 0);
    scan_ = 1;
  }
}

template <typename State>
void basic_rule_matcher<State>::collect(state at, std::size_t first,
                                        std::vector<std::size_t>& found) {
  // Once a state's strings have been collected, so have those down its
  // output links.
  for (std::int32_t link = at; link >= 0 && state_seen_[static_cast<std::size_t>(link)] != scan_;
       link = output_link_[static_cast<std::size_t>(link)]) {
    auto index = static_cast<std::size_t>(link);
    state_seen_[index] = scan_;
    for (std::uint32_t e = first_end_[index]; e < first_end_[index + 1]; ++e) {
      std::uint32_t string = ends_[e];
      if (string >= first && string_seen_[string] != scan_) {
        string_seen_[string] = scan_;
        found.push_back(string);
      }
    }
  }
}

template <typename State>
void basic_rule_matcher<State>::find(std::string_view text, std::size_t first,
                                     std::vector<std::size_t>& found) {
  begin_collection();
  std::size_t before = found.size();
  state current = k_start;
  collect(current, first, found);
  for (char c : text) {
    current = step(current, static_cast<unsigned char>(c));
    if (current < 0) {
      current = static_cast<state>(~current);
      collect(current, first, found);
    }
  }
  std::sort(found.begin() + static_cast<std::ptrdiff_t>(before), found.end());
}

template class basic_rule_matcher<std::int16_t>;
template class basic_rule_matcher<std::int32_t>;
