// SPDX-License-Identifier: MIT
#include "lexswap/one_pass.h"

#include <algorithm>
#include <cstring>
#include <limits>

template <typename State>
bool one_pass<State>::apply(std::string& text, text_scan<State>& scan) {
  // Most texts of a table hold no search string at all.
  if (scan.occurrences.empty()) return true;
  for (const occurrence& found : scan.occurrences)
    if (rules_.holds_later[found.rule]) return false;
  choose_places(scan.occurrences, text.size());
  if (!forms_nothing(text, scan.states)) return false;
  write_places(text);
  return true;
}

template <typename State>
void one_pass<State>::choose_places(std::vector<occurrence>& occurrences, std::size_t text_size) {
  places_.clear();
  if (covered_.size() < text_size) covered_.resize(text_size);
  auto start_of = [&](const occurrence& found) {
    return found.end - rules_.list.search_strings[found.rule].size();
  };
  // Only occurrences that overlap, directly or through others, compete for
  // their bytes; one that overlaps none (a word between blanks, mostly) is a
  // place whatever the order of the rules. The occurrences stand in the
  // order of their ends, so taken from the last, those that overlap come
  // one after another: each one joins the group of those after it when it
  // ends after the group's lowest start. The places come from the right.
  const auto all = occurrences.begin();
  for (std::size_t last = occurrences.size(); last > 0;) {
    std::size_t first = last - 1;
    std::size_t low = start_of(occurrences[first]);
    while (first > 0 && occurrences[first - 1].end > low)
      low = std::min(low, start_of(occurrences[--first]));
    if (first + 1 == last) {
      places_.push_back({low, occurrences[first].end, occurrences[first].rule});
      last = first;
      continue;
    }
    // Rule after rule, leftmost first: a byte that an earlier rule, or an
    // earlier place of this rule, has taken is gone from the text a rule
    // sees.
    const auto from = all + static_cast<std::ptrdiff_t>(first);
    const auto to = all + static_cast<std::ptrdiff_t>(last);
    std::memset(covered_.data() + low, 0, occurrences[last - 1].end - low);
    std::sort(from, to, [](const occurrence& a, const occurrence& b) {
      return a.rule != b.rule ? a.rule < b.rule : a.end < b.end;
    });
    const std::size_t chosen = places_.size();
    for (auto found = from; found != to; ++found) {
      const std::size_t start = start_of(*found);
      const std::size_t size = found->end - start;
      if (std::memchr(covered_.data() + start, 1, size) != nullptr) continue;
      std::memset(covered_.data() + start, 1, size);
      places_.push_back({start, found->end, found->rule});
    }
    std::sort(places_.begin() + static_cast<std::ptrdiff_t>(chosen), places_.end(),
              [](const site& a, const site& b) { return a.start > b.start; });
    last = first;
  }
  std::reverse(places_.begin(), places_.end());
}

template <typename State>
State one_pass<State>::state_before(std::string_view text, const std::vector<State>& states,
                                    std::size_t at) {
  const matcher_type& matcher = rules_.matcher;
  const site& here = places_[at];
  const std::size_t reach = rules_.longest_search;
  // After a byte that no search string holds (a blank, mostly), the state
  // is the start; the byte before the place is the old one unless the place
  // before ends there and its replacement is made by now.
  const bool just_after = at > 0 && places_[at - 1].end == here.start;
  if (here.start > 0 && !(just_after && places_[at - 1].rule <= here.rule) &&
      matcher.in_no_search_string(static_cast<unsigned char>(text[here.start - 1])))
    return matcher_type::k_start;
  // Unless a place of this rule or an earlier one ends within reach before
  // it, with no byte that no search string holds after it, the bytes that
  // decide the state are the old ones.
  bool changed = false;
  std::size_t changed_up_to = 0;
  for (std::size_t other = at; other-- > 0 && places_[other].end + reach > here.start;) {
    if (places_[other].rule > here.rule) continue;
    changed = true;
    changed_up_to = std::max(changed_up_to, places_[other].end);
  }
  auto no_search = [&matcher](char c) {
    return matcher.in_no_search_string(static_cast<unsigned char>(c));
  };
  if (!changed || std::any_of(text.begin() + static_cast<std::ptrdiff_t>(changed_up_to),
                              text.begin() + static_cast<std::ptrdiff_t>(here.start), no_search))
    return as_state(states[here.start]);
  // Otherwise the state is read anew from the last bytes of the text as it
  // stands, gathered backwards: at most `reach` of them, none before a byte
  // that no search string holds.
  behind_.clear();
  std::size_t x = here.start;
  std::size_t other = at;
  while (behind_.size() < reach && x > 0) {
    if (other > 0 && places_[other - 1].end == x && places_[other - 1].rule <= here.rule) {
      const std::string& replacement = rules_.list.replacement_strings[places_[other - 1].rule];
      const auto stop = std::find_if(replacement.rbegin(), replacement.rend(), no_search);
      behind_.append(replacement.rbegin(), stop);
      if (stop != replacement.rend()) break;
      x = places_[--other].start;
    } else {
      if (no_search(text[x - 1])) break;
      behind_.push_back(text[--x]);
      if (other > 0 && x <= places_[other - 1].start) --other;
    }
  }
  State current = matcher_type::k_start;
  for (auto c = behind_.rbegin(); c != behind_.rend(); ++c)
    current = as_state(matcher.step(current, static_cast<unsigned char>(*c)));
  return current;
}

template <typename State>
bool one_pass<State>::forms_nothing(std::string_view text, const std::vector<State>& states) {
  const matcher_type& matcher = rules_.matcher;
  for (std::size_t at = 0; at < places_.size(); ++at) {
    const State before = state_before(text, states, at);
    // The common case, a word between blanks: read from the start, the
    // replacement holds no search string that counts (see `holds_later`),
    // and a byte that no search string holds follows it.
    const std::size_t end = places_[at].end;
    if (before == matcher_type::k_start &&
        (end == text.size() ||
         (matcher.in_no_search_string(static_cast<unsigned char>(text[end])) &&
          !(at + 1 < places_.size() && places_[at + 1].start == end))))
      continue;
    if (forms(forming::later_rules, text, at, before)) return false;
    // A rule that could form its own search string anew forms none here
    // where its own replacements, made from left to right, form none with
    // what stands beside them when each is made.
    if (rules_.forms_anew[places_[at].rule] && forms(forming::own_rule, text, at, before))
      return false;
  }
  return true;
}

// Whether the replacement at place `at`, read from `before`, forms with
// what stands after it when it is made a search string of `whose`.
template <typename State>
bool one_pass<State>::forms(forming whose, std::string_view text, std::size_t at, State before) {
  const matcher_type& matcher = rules_.matcher;
  const std::size_t rule = places_[at].rule;
  // The search strings that count are those of rules `counted_from` to
  // before `counted_to`; the replacements that stand after this one when it
  // is made are those of the rules before `counted_from`: for later rules,
  // every rule up to this one; for this rule itself, the rules before it
  // (its own later places are still to be made).
  const std::size_t counted_from = whose == forming::own_rule ? rule : rule + 1;
  const std::size_t counted_to =
      whose == forming::own_rule ? rule + 1 : std::numeric_limits<std::size_t>::max();
  const auto step = matcher.moves();
  State current = before;
  // Reads one byte; true when a search string that counts ends there and
  // reaches back into the replacement (`after`: the bytes read past it).
  std::size_t after = 0;
  auto formed_at = [&](char c) {
    bool formed = false;
    step_and_collect(step, current, static_cast<unsigned char>(c), [&](State ends) {
      matcher.for_each_end(ends, [&](std::uint32_t other) {
        formed = formed || (other >= counted_from && other < counted_to &&
                            rules_.list.search_strings[other].size() > after);
      });
    });
    return formed;
  };
  // Once the states fall in step with those of the replacement read alone,
  // which holds neither its own nor a later rule's search string, nothing
  // more that counts ends inside it.
  const std::string& replacement = rules_.list.replacement_strings[rule];
  const std::vector<State>& alone = rules_.alone_states[rule];
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    if (formed_at(replacement[i])) return true;
    if (current == as_state(alone[i])) {
      current = as_state(alone.back());
      break;
    }
  }
  // The text after it, until no search string found later could begin
  // inside the replacement.
  std::size_t x = places_[at].end;
  std::size_t next = at + 1;
  while (matcher.depth(current) > after) {
    if (next < places_.size() && places_[next].start == x && places_[next].rule < counted_from) {
      for (char c : rules_.list.replacement_strings[places_[next].rule]) {
        ++after;
        if (formed_at(c)) return true;
      }
      x = places_[next++].end;
    } else if (x < text.size()) {
      ++after;
      if (formed_at(text[x++])) return true;
      if (next < places_.size() && x >= places_[next].end) ++next;
    } else {
      break;
    }
  }
  return false;
}

template <typename State>
void one_pass<State>::write_places(std::string& text) {
  written_.clear();
  std::size_t x = 0;
  for (const site& here : places_) {
    written_.append(text, x, here.start - x);
    written_.append(rules_.list.replacement_strings[here.rule]);
    x = here.end;
  }
  written_.append(text, x);
  text.swap(written_);
}

// Only `apply` is made here for each width, so that the compiler can inline
// the steps it calls.
template bool one_pass<std::int16_t>::apply(std::string&, text_scan<std::int16_t>&);
template bool one_pass<std::int32_t>::apply(std::string&, text_scan<std::int32_t>&);
