// SPDX-License-Identifier: MIT
#include "lexswap/rule_matcher.h"

#include <algorithm>
#include <deque>

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

namespace {

// The trie of the search strings over byte classes: a row of `classes`
// moves per node, -1 where a move is missing.
struct trie {
  std::size_t classes;
  std::vector<std::int32_t> moves;
  // The search strings that end at each node, and the node of each.
  std::vector<std::vector<std::uint32_t>> ends;
  std::vector<std::int32_t> terminal;
  // How many bytes lead from the root to each node.
  std::vector<std::uint32_t> depth;

  std::size_t nodes() const { return ends.size(); }
};

trie build_trie(const std::vector<std::string>& search_strings, const std::uint16_t* class_of,
                std::size_t classes) {
  trie built{classes,
             std::vector<std::int32_t>(classes, -1),
             std::vector<std::vector<std::uint32_t>>(1),
             {},
             std::vector<std::uint32_t>(1, 0)};
  for (std::size_t index = 0; index < search_strings.size(); ++index) {
    std::int32_t node = 0;
    for (char c : search_strings[index]) {
      std::size_t slot =
          static_cast<std::size_t>(node) * classes + class_of[static_cast<unsigned char>(c)];
      if (built.moves[slot] < 0) {
        built.moves[slot] = static_cast<std::int32_t>(built.nodes());
        built.depth.push_back(built.depth[static_cast<std::size_t>(node)] + 1);
        built.ends.emplace_back();
        built.moves.resize(built.moves.size() + classes, -1);
      }
      node = built.moves[slot];
    }
    built.ends[static_cast<std::size_t>(node)].push_back(static_cast<std::uint32_t>(index));
    built.terminal.push_back(node);
  }
  return built;
}

// Turns the trie into the automaton: every missing move becomes the move of
// the node's failure state. Gives the failure link of every node and fills
// `output_link` (see the header).
std::vector<std::int32_t> link_failures(trie& automaton, std::vector<std::int32_t>& output_link) {
  const std::size_t classes = automaton.classes;
  std::vector<std::int32_t> failure(automaton.nodes(), 0);
  output_link.assign(automaton.nodes(), -1);
  std::vector<std::int32_t>& moves = automaton.moves;
  // Breadth first, each node's failure link is known before its children
  // need it.
  std::deque<std::int32_t> queue;
  for (std::size_t c = 0; c < classes; ++c) {
    if (moves[c] < 0) {
      moves[c] = 0;
    } else {
      queue.push_back(moves[c]);
    }
  }
  while (!queue.empty()) {
    auto from = static_cast<std::size_t>(queue.front());
    queue.pop_front();
    auto fail = static_cast<std::size_t>(failure[from]);
    output_link[from] =
        !automaton.ends[fail].empty() ? static_cast<std::int32_t>(fail) : output_link[fail];
    for (std::size_t c = 0; c < classes; ++c) {
      std::int32_t& move = moves[from * classes + c];
      std::int32_t fallback = moves[fail * classes + c];
      if (move < 0) {
        move = fallback;
      } else {
        failure[static_cast<std::size_t>(move)] = fallback;
        queue.push_back(move);
      }
    }
  }
  return failure;
}

// Numbered in depth-first order of the tree that the failure links make,
// the states whose text read so far ends with a given search string are one
// run of numbers: the search string's own state and those below it. So the
// places where a search string ends can be read off the states of a scan
// with one comparison each.
struct numbering {
  std::vector<std::int32_t> number;
  // The number after the last one below each node.
  std::vector<std::int32_t> run_end;
};

numbering number_depth_first(const std::vector<std::int32_t>& failure) {
  const std::size_t nodes = failure.size();
  std::vector<std::vector<std::int32_t>> below(nodes);
  for (std::size_t node = 1; node < nodes; ++node)
    below[static_cast<std::size_t>(failure[node])].push_back(static_cast<std::int32_t>(node));
  numbering result{std::vector<std::int32_t>(nodes), std::vector<std::int32_t>(nodes)};
  std::int32_t next_number = 0;
  std::vector<std::pair<std::int32_t, std::size_t>> path{{0, 0}};
  result.number[0] = next_number++;
  while (!path.empty()) {
    auto [node, visited] = path.back();
    auto at = static_cast<std::size_t>(node);
    if (visited < below[at].size()) {
      path.back().second++;
      std::int32_t child = below[at][visited];
      result.number[static_cast<std::size_t>(child)] = next_number++;
      path.emplace_back(child, 0);
    } else {
      result.run_end[at] = next_number;
      path.pop_back();
    }
  }
  return result;
}

}  // namespace

template <typename State>
void basic_rule_matcher<State>::assign_byte_classes(
    const std::vector<std::string>& search_strings) {
  for (const std::string& search : search_strings) {
    for (char c : search) {
      auto byte = static_cast<unsigned char>(c);
      if (class_of_[byte] == 0) class_of_[byte] = static_cast<std::uint16_t>(classes_++);
    }
  }
  while ((std::size_t{1} << shift_) < classes_) ++shift_;
}

template <typename State>
basic_rule_matcher<State>::basic_rule_matcher(const std::vector<std::string>& search_strings) {
  assign_byte_classes(search_strings);
  trie automaton = build_trie(search_strings, class_of_, classes_);
  std::vector<std::int32_t> links;
  const numbering order = number_depth_first(link_failures(automaton, links));
  const std::size_t states = automaton.nodes();

  // The rows, the output links and the ends, each state under its number.
  next_.assign(states << shift_, 0);
  output_link_.assign(states, -1);
  depth_.assign(states, 0);
  std::vector<std::vector<std::uint32_t>> ends(states);
  auto number_of = [&](std::int32_t node) { return order.number[static_cast<std::size_t>(node)]; };
  for (std::size_t node = 0; node < states; ++node) {
    auto to = static_cast<std::size_t>(order.number[node]);
    for (std::size_t c = 0; c < classes_; ++c)
      next_[(to << shift_) + c] =
          static_cast<state>(number_of(automaton.moves[node * classes_ + c]));
    if (links[node] >= 0) output_link_[to] = number_of(links[node]);
    depth_[to] = automaton.depth[node];
    ends[to] = std::move(automaton.ends[node]);
  }
  for (std::int32_t node : automaton.terminal)
    string_states_.emplace_back(static_cast<state>(number_of(node)),
                                static_cast<state>(order.run_end[static_cast<std::size_t>(node)]));

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
}

template class basic_rule_matcher<std::int16_t>;
template class basic_rule_matcher<std::int32_t>;
