// SPDX-License-Identifier: MIT
#include "lexswap/text_scan.h"

#include <algorithm>
#include <utility>

#include "lexswap/replace.h"

template <typename State>
compiled_rules<State>::compiled_rules(replacement_list rules)
    : list(std::move(rules)),
      matcher(list.search_strings),
      start(matcher.has_ends(matcher_type::k_start) ? negated(matcher_type::k_start)
                                                    : matcher_type::k_start) {
  word_by_word = matcher.in_no_search_string(' ');
  for (std::size_t i = 0; i < list.size(); ++i) {
    word_by_word = word_by_word && !list.search_strings[i].empty();
    forms_anew.push_back(list.search_strings[i].empty() ||
                         can_form_anew(list.search_strings[i], list.replacement_strings[i]));
    longest_search = std::max(longest_search, list.search_strings[i].size());
  }
  for (std::size_t rule = 0; rule < list.size(); ++rule) {
    std::vector<State>& alone = alone_states.emplace_back();
    // An empty search string stands in every text, the replacement too.
    bool later = list.search_strings[rule].empty();
    State current = matcher_type::k_start;
    for (char c : list.replacement_strings[rule])
      alone.push_back(step_and_collect(
          matcher.moves(), current, static_cast<unsigned char>(c), [&](State ends) {
            matcher.for_each_end(ends,
                                 [&](std::uint32_t other) { later = later || other >= rule; });
          }));
    holds_later.push_back(later);
  }
}

template <typename State>
void text_scan<State>::run(const compiled_rules<State>& rules, std::string_view text) {
  using matcher_type = basic_rule_matcher<State>;
  const matcher_type& matcher = rules.matcher;
  states.resize(text.size() + 1);
  states[0] = rules.start;
  occurrences.clear();
  if (rules.start < 0)
    matcher.for_each_end(matcher_type::k_start, [this](std::uint32_t rule) {
      occurrences.push_back({rule, 0});
    });
  // Reads the byte at `at` from `current`, keeping the state and what ends;
  // inlined into each loop below, which are the whole time of a scan.
  const auto step = matcher.moves();
  State* const kept = states.data();
  auto read = [&matcher, text, step, kept](State& current, std::size_t at,
                                           std::vector<occurrence>& found) KIT_ALWAYS_INLINE {
    kept[at + 1] =
        step_and_collect(step, current, static_cast<unsigned char>(text[at]), [&](State ends) {
          matcher.for_each_end(ends, [&found, at](std::uint32_t rule) {
            found.push_back({rule, at + 1});
          });
        });
  };
  const std::size_t size = text.size();
  const std::size_t reach = rules.longest_search;
  State first = matcher_type::k_start;
  std::size_t i = 0;
  // Each move waits for the one before it: two scans at once, over the two
  // halves of a long text, keep the processor about twice as busy. The
  // second starts `reach` bytes before the middle, from the start state, and
  // is in step with the text from the middle on, since no state depends on
  // more bytes than that. Its occurrences come after the first one's, so
  // that they all stand in the order of their ends.
  if (size >= 2 * reach + 64) {
    const std::size_t middle = size / 2;
    State second = matcher_type::k_start;
    std::size_t j = middle - reach;
    for (; j < middle; ++i, ++j) {
      read(first, i, occurrences);
      second = as_state(step(second, static_cast<unsigned char>(text[j])));
    }
    second_half_.clear();
    for (; i < middle; ++i, ++j) {
      read(first, i, occurrences);
      read(second, j, second_half_);
    }
    for (; j < size; ++j) read(second, j, second_half_);
    occurrences.insert(occurrences.end(), second_half_.begin(), second_half_.end());
    return;
  }
  for (; i < size; ++i) read(first, i, occurrences);
}

template struct compiled_rules<std::int16_t>;
template struct compiled_rules<std::int32_t>;
template struct text_scan<std::int16_t>;
template struct text_scan<std::int32_t>;
