#include "lexswap/rule_matcher.h"

#include <algorithm>
#include <deque>
#include <stdexcept>

rule_matcher::rule_matcher(const std::vector<std::string>& search_strings) {
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
  next_ = trie;
  std::deque<std::int32_t> queue;
  for (std::size_t c = 0; c < classes_; ++c) {
    if (next_[c] < 0) {
      next_[c] = 0;
    } else {
      queue.push_back(next_[c]);
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
      std::int32_t& move = next_[from * classes_ + c];
      std::int32_t fallback = next_[static_cast<std::size_t>(fail) * classes_ + c];
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
  //
  // A state is stored as the start of its row in the table of moves, and a
  // row is a power of two wide, so that a move costs one addition and one
  // load: the scan of a text is a chain of moves, each waiting for the one
  // before it.
  while ((std::size_t{1} << shift_) < classes_) ++shift_;
  if (states > (std::size_t{1} << (31 - shift_)))
    throw std::length_error("too many search strings for one automaton");
  auto row = [&](std::size_t node) { return static_cast<state>(node << shift_); };
  std::vector<std::int32_t> renumbered(states << shift_, 0);
  std::vector<std::int32_t> renumbered_links(states);
  std::vector<std::vector<std::uint32_t>> renumbered_ends(states);
  for (std::size_t node = 0; node < states; ++node) {
    auto to = static_cast<std::size_t>(number[node]);
    for (std::size_t c = 0; c < classes_; ++c)
      renumbered[(to << shift_) + c] =
          row(static_cast<std::size_t>(number[static_cast<std::size_t>(next_[node * classes_ + c])]));
    renumbered_links[to] =
        output_link_[node] < 0
            ? -1
            : row(static_cast<std::size_t>(number[static_cast<std::size_t>(output_link_[node])]));
    renumbered_ends[to] = std::move(ends[node]);
  }
  next_.swap(renumbered);
  output_link_.swap(renumbered_links);
  ends.swap(renumbered_ends);
  for (std::int32_t node : terminal) {
    auto at = static_cast<std::size_t>(node);
    string_states_.emplace_back(row(static_cast<std::size_t>(number[at])),
                                row(static_cast<std::size_t>(run_end[at])));
  }

  // A move into a state where a search string ends, itself or down its
  // output links, is stored negated, so that the scan needs one test per
  // byte to know whether there is anything to collect.
  for (std::int32_t& move : next_) {
    auto to = static_cast<std::size_t>(move) >> shift_;
    if (!ends[to].empty() || output_link_[to] >= 0) move = ~move;
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

void rule_matcher::begin_collection() {
  if (++scan_ == 0) {
    // The stamps went round: start them afresh.
    std::fill(state_seen_.begin(), state_seen_.end(), 0);
    std::fill(string_seen_.begin(), string_seen_.end(), 0);
    scan_ = 1;
  }
}

void rule_matcher::collect(state at, std::size_t first, std::vector<std::size_t>& found) {
  // Once a state's strings have been collected, so have those down its
  // output links.
  for (; at >= 0 && state_seen_[node_of(at)] != scan_; at = output_link_[node_of(at)]) {
    std::size_t index = node_of(at);
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

void rule_matcher::find(std::string_view text, std::size_t first,
                        std::vector<std::size_t>& found) {
  begin_collection();
  std::size_t before = found.size();
  state current = k_start;
  collect(current, first, found);
  for (char c : text) {
    current = step(current, static_cast<unsigned char>(c));
    if (current < 0) {
      current = ~current;
      collect(current, first, found);
    }
  }
  std::sort(found.begin() + static_cast<std::ptrdiff_t>(before), found.end());
}
