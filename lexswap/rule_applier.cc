// SPDX-License-Identifier: MIT
#include "lexswap/rule_applier.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "common/command.h"
#include "lexswap/replace.h"
#include "lexswap/rule_matcher.h"
#include "lexswap/word_memo.h"

// The scan's steps, inlined into its loops where the compiler allows it.
#if defined(__GNUC__)
#define KIT_ALWAYS_INLINE __attribute__((always_inline))
#else
#define KIT_ALWAYS_INLINE
#endif

namespace {

// The first index from `from` on, before `to`, whose state lies in the run
// from `first` of `width` states; `to` when there is none. Every rule that
// runs reads the states up to its last occurrence, so this loop is much of
// lexswap's time on long lists: 32 bytes of states at a time (sixteen
// two-byte states or eight four-byte ones) where SSE2 is there (on every
// x86-64 processor), one state at a time elsewhere.
template <typename State>
std::size_t next_in_run(const State* states, std::size_t from, std::size_t to, State first,
                        std::uint32_t width) {
  using bits = std::make_unsigned_t<State>;
  const auto base = static_cast<bits>(first);
  std::size_t i = from;
#if defined(__SSE2__) || defined(_M_X64)
  // SSE2 compares signed numbers only; flipping the top bit of both sides
  // turns the unsigned test (state - base < width) into a signed one.
  constexpr bool narrow = sizeof(State) == 2;
  constexpr unsigned per_vector = 16 / sizeof(State);
  const __m128i offset =
      narrow ? _mm_set1_epi16(static_cast<short>(base)) : _mm_set1_epi32(static_cast<int>(base));
  const __m128i flip = narrow ? _mm_set1_epi16(static_cast<short>(0x8000))
                              : _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i limit = narrow ? _mm_set1_epi16(static_cast<short>(width ^ 0x8000u))
                               : _mm_set1_epi32(static_cast<int>(width ^ 0x80000000u));
  // Which bytes of sixteen hold states in the run: all bytes of such a state.
  auto hits_of = [&](std::size_t at) {
    __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(states + at));
    if constexpr (narrow)
      return static_cast<std::uint32_t>(_mm_movemask_epi8(
          _mm_cmplt_epi16(_mm_xor_si128(_mm_sub_epi16(value, offset), flip), limit)));
    else
      return static_cast<std::uint32_t>(_mm_movemask_epi8(
          _mm_cmplt_epi32(_mm_xor_si128(_mm_sub_epi32(value, offset), flip), limit)));
  };
  for (; i + 2 * per_vector <= to; i += 2 * per_vector) {
    std::uint32_t hits = hits_of(i) | hits_of(i + per_vector) << 16;
    if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits)) / sizeof(State);
  }
#endif
  for (; i < to; ++i)
    if (static_cast<bits>(static_cast<bits>(states[i]) - base) < width) return i;
  return to;
}

// What the rules compile to: read only while texts are worked on, so that
// engines on several threads share it.
template <typename State>
struct compiled_rules {
  using matcher_type = basic_rule_matcher<State>;

  explicit compiled_rules(replacement_list rules)
      : list(std::move(rules)),
        matcher(list.search_strings),
        start(matcher.has_ends(matcher_type::k_start) ? static_cast<State>(~matcher_type::k_start)
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
      for (char c : list.replacement_strings[rule]) {
        State move = matcher.step(current, static_cast<unsigned char>(c));
        alone.push_back(move);
        current = move < 0 ? static_cast<State>(~move) : move;
        if (move < 0)
          matcher.for_each_end(current,
                               [&](std::uint32_t other) { later = later || other >= rule; });
      }
      holds_later.push_back(later);
    }
  }

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
  // `apply_by_words`): where no search string holds a blank, and none is
  // empty, a text's words are short and repeat.
  bool word_by_word = true;
  // For each rule, the states of its replacement read from the start, kept
  // as a scan keeps them: a replacement read after other text comes to
  // these states once the text before it no longer matters.
  std::vector<std::vector<State>> alone_states;
};

// The work on one text after another, for one width of automaton state.
template <typename State>
class state_engine {
 public:
  using matcher_type = basic_rule_matcher<State>;

  explicit state_engine(const compiled_rules<State>& rules)
      : rules_(rules),
        list_(rules.list),
        matcher_(rules.matcher),
        counts_(list_.size(), 0),
        touched_((list_.size() + 63) / 64, 0) {}

  std::optional<apply_failure> apply(std::string& text);

 private:
  static State negated(State state) { return static_cast<State>(~state); }
  static State as_state(State kept) { return kept < 0 ? negated(kept) : kept; }

  // Forgets the search strings that end at a state that is being replaced.
  void forget(State kept) {
    if (kept < 0) count(negated(kept), -1);
  }
  // Clears the counts of the last text and scans `text` for the first time.
  void start(std::string_view text);
  // The rules one after another, each over the whole text, from the scan
  // that `start` made. For a word of a text, `past_word_limits` tells
  // whether a rule made more replacements than the word's share of the
  // whole text's limits (see replace.h).
  std::optional<apply_failure> apply_in_turn(std::string& text, bool* past_word_limits = nullptr);
  // The rules applied to each word of the text on its own, from what is
  // known of the word or else as to a text of its own; false (and the text
  // as it was) where that might not give the result of the whole text.
  bool apply_by_words(std::string& text);

  // Adds `delta` to the count of every search string that ends at `at`.
  void count(State at, int delta);
  // Scans text[from, to) from the state before `from`, keeping the states
  // and counting what ends there.
  void scan(std::string_view text, std::size_t from, std::size_t to);
  // Reads again the changed parts of `text` after a rule changed it.
  void rescan(std::string_view text);
  // Replaces every occurrence of a rule that cannot form its search string
  // anew, finding them in the states of the last scan; one pass.
  void replace_known(std::string& text, std::size_t rule);
  // The steps of `replace_known`: where the rule replaces, in `starts_`;
  // the text and its states made room for the replacements; each
  // replacement written and read.
  void find_places(std::size_t text_size, std::size_t rule);
  void make_room(std::string& text, std::size_t size, std::size_t length);
  void read_replacements(std::string& text, std::size_t rule);

  // The whole list in one pass over the text, where that gives the result
  // of the rules one after another; false (and the text as it was) where it
  // might not. See `apply_in_one_pass` below.
  bool apply_in_one_pass(std::string& text);
  // Its steps: the first scan, which keeps the states and every occurrence;
  // the places each rule replaces, in the order of the list; whether any
  // replacement forms, with the text around it as it stands when it is
  // made, the search string of its own or a later rule; the new text.
  void first_scan(std::string_view text);
  void choose_places(std::size_t text_size);
  bool forms_nothing(std::string_view text);
  bool forms_later(std::string_view text, std::size_t at, State before, bool own_rule);
  State state_before(std::string_view text, std::size_t at);
  void write_places(std::string& text);

  struct occurrence {
    std::size_t rule;
    std::size_t end;
  };
  // Bytes [start, end) of the text, replaced by the rule.
  struct site {
    std::size_t start;
    std::size_t end;
    std::size_t rule;
  };

  const compiled_rules<State>& rules_;
  const replacement_list& list_;
  const matcher_type& matcher_;
  // Occurrences of each rule's search string in the current text, and one
  // bit per rule that has had any in it: the rules to look at, and the
  // counts to clear before the next text. Counting stays free of branches
  // that depend on the text.
  std::vector<std::uint32_t> counts_;
  std::vector<std::uint64_t> touched_;
  std::vector<changed_region> changes_;
  // Where the current rule replaces, in the text before it.
  std::vector<std::size_t> starts_;
  // states_[i]: the automaton's state after the first i bytes of the text,
  // negated (~state) where search strings end, as the moves give it: so
  // telling whether anything ends there needs no look into the automaton.
  std::vector<State> states_;
  std::vector<State> old_states_;
  // The one pass's work: occurrences, places by position, which bytes of
  // the text are replaced, text read backwards, the new text.
  std::vector<occurrence> occurrences_;
  std::vector<occurrence> second_half_;
  std::vector<site> places_;
  std::vector<unsigned char> covered_;
  std::string behind_;
  std::string written_;
  // The work word by word: what is known of words, the word being worked
  // on, the new text.
  word_memo words_;
  std::string word_;
  std::string by_words_;
};

template <typename State>
void state_engine<State>::count(State at, int delta) {
  matcher_.for_each_end(at, [&](std::uint32_t rule) {
    counts_[rule] += static_cast<std::uint32_t>(delta);
    touched_[rule / 64] |= std::uint64_t{1} << (rule % 64);
  });
}

template <typename State>
void state_engine<State>::scan(std::string_view text, std::size_t from, std::size_t to) {
  State current = as_state(states_[from]);
  for (std::size_t i = from; i < to; ++i) {
    State move = matcher_.step(current, static_cast<unsigned char>(text[i]));
    states_[i + 1] = move;
    current = move;
    if (current < 0) {
      current = negated(current);
      count(current, +1);
    }
  }
}

template <typename State>
void state_engine<State>::rescan(std::string_view text) {
  old_states_.swap(states_);
  states_.resize(text.size() + 1);
  states_[0] = rules_.start;
  auto forget_old = [&](std::size_t old_index) { forget(old_states_[old_index]); };
  // How much further on the new text stands than the old one, in the
  // unchanged part being walked.
  std::ptrdiff_t shift = 0;
  std::size_t position = 0;
  auto walk_unchanged = [&](std::size_t to) {
    while (position < to) {
      auto old_position = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) - shift);
      // Once a state is as before, so are all that follow in this part.
      if (states_[position] == old_states_[old_position]) {
        std::copy(
            old_states_.begin() + static_cast<std::ptrdiff_t>(old_position) + 1,
            old_states_.begin() + static_cast<std::ptrdiff_t>(old_position + to - position) + 1,
            states_.begin() + static_cast<std::ptrdiff_t>(position) + 1);
        position = to;
        return;
      }
      forget_old(old_position + 1);
      scan(text, position, position + 1);
      ++position;
    }
  };
  for (const changed_region& region : changes_) {
    walk_unchanged(region.start);
    auto old_start = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(region.start) - shift);
    for (std::size_t i = 1; i <= region.old_size; ++i) forget_old(old_start + i);
    scan(text, region.start, region.end);
    position = region.end;
    shift += static_cast<std::ptrdiff_t>(region.end - region.start) -
             static_cast<std::ptrdiff_t>(region.old_size);
  }
  walk_unchanged(text.size());
}

template <typename State>
void state_engine<State>::find_places(std::size_t text_size, std::size_t rule) {
  const std::size_t size = list_.search_strings[rule].size();
  const auto [first, last] = matcher_.states_of(rule);
  // The search string ends at every state of its run, so each of them is
  // kept negated, and the run turns round: from ~(last - 1) up to ~first.
  const State lowest = negated(static_cast<State>(last - 1));
  const auto width = static_cast<std::uint32_t>(last - first);

  // Leftmost first; the occurrences that replacing removes are forgotten
  // while their states are still there.
  starts_.clear();
  std::size_t from = 0;
  // states_[end] stands for the state after the first `end` bytes; the
  // search string ends there when that state lies in its run.
  const std::size_t stop = text_size + 1;
  // The count is exact, so the search ends at the last occurrence rather
  // than at the end of the text.
  std::uint32_t left = counts_[rule];
  for (std::size_t end = size;
       left > 0 && (end = next_in_run(states_.data(), end, stop, lowest, width)) < stop; ++end) {
    --left;
    std::size_t start = end - size;
    // An occurrence that overlaps the one just replaced is gone with it.
    if (start < from) continue;
    starts_.push_back(start);
    for (std::size_t i = start + 1; i <= end; ++i) forget(states_[i]);
    from = end;
  }
}

template <typename State>
void state_engine<State>::make_room(std::string& text, std::size_t size, std::size_t length) {
  // The bytes between the places move by the growth of the places before
  // them, each once, towards the side that keeps them from overwriting
  // bytes still to move.
  const std::size_t places = starts_.size();
  const std::size_t old_size = text.size();
  const std::size_t new_size = old_size - places * size + places * length;
  auto move_gap = [&](std::size_t place) {
    // The unchanged bytes after place `place`, up to the next one.
    std::size_t begin = starts_[place] + size;
    std::size_t end = place + 1 < places ? starts_[place + 1] : old_size;
    std::size_t to = begin + (place + 1) * length - (place + 1) * size;
    std::memmove(text.data() + to, text.data() + begin, end - begin);
    std::memmove(states_.data() + to + 1, states_.data() + begin + 1,
                 (end - begin) * sizeof(State));
  };
  if (length < size) {
    for (std::size_t place = 0; place < places; ++place) move_gap(place);
    text.resize(new_size);
    states_.resize(new_size + 1);
  } else if (length > size) {
    text.resize(new_size);
    states_.resize(new_size + 1);
    for (std::size_t place = places; place-- > 0;) move_gap(place);
  }
}

template <typename State>
void state_engine<State>::read_replacements(std::string& text, std::size_t rule) {
  // Each replacement is read from the state before it, until its states
  // fall in step with those it has when read alone, and then the bytes
  // after it until their states fall in step with the old ones.
  const std::size_t size = list_.search_strings[rule].size();
  const std::string& replacement = list_.replacement_strings[rule];
  const std::size_t length = replacement.size();
  const State* alone = rules_.alone_states[rule].data();
  const std::size_t places = starts_.size();
  // Where place `place` starts in the new text.
  auto new_start = [&](std::size_t place) {
    return starts_[place] + place * length - place * size;
  };
  for (std::size_t place = 0; place < places; ++place) {
    std::size_t start = new_start(place);
    std::memcpy(text.data() + start, replacement.data(), length);
    State current = as_state(states_[start]);
    std::size_t i = 0;
    while (i < length) {
      State move = matcher_.step(current, static_cast<unsigned char>(replacement[i]));
      states_[start + i + 1] = move;
      current = as_state(move);
      if (move < 0) count(current, +1);
      if (move == alone[i++]) {
        for (; i < length; ++i) {
          states_[start + i + 1] = alone[i];
          if (alone[i] < 0) count(negated(alone[i]), +1);
        }
        current = as_state(alone[length - 1]);
      }
    }
    std::size_t limit = place + 1 < places ? new_start(place + 1) : text.size();
    for (std::size_t at = start + length; at < limit; ++at) {
      State move = matcher_.step(current, static_cast<unsigned char>(text[at]));
      if (move == states_[at + 1]) break;
      forget(states_[at + 1]);
      states_[at + 1] = move;
      current = as_state(move);
      if (move < 0) count(current, +1);
    }
  }
}

template <typename State>
void state_engine<State>::replace_known(std::string& text, std::size_t rule) {
  find_places(text.size(), rule);
  make_room(text, list_.search_strings[rule].size(), list_.replacement_strings[rule].size());
  read_replacements(text, rule);
}

// The one pass. Where no replacement forms a later rule's search string,
// the rules one after another replace, each in its turn, the occurrences of
// its search string in the text as it was that no earlier rule has taken a
// byte of, leftmost first: so every place can be chosen from the first scan
// and the new text written at once. Whether a replacement forms a later
// rule's search string is checked for every place, against the text as it
// stands when the place is replaced (the replacements of the rules up to
// its own, the old bytes elsewhere); if one does, the text goes the general
// way. So does a text where a rule forms its own search string anew.
template <typename State>
bool state_engine<State>::apply_in_one_pass(std::string& text) {
  // Most texts of a table hold no search string at all.
  if (occurrences_.empty()) return true;
  for (const occurrence& found : occurrences_)
    if (rules_.holds_later[found.rule]) return false;
  choose_places(text.size());
  if (!forms_nothing(text)) return false;
  write_places(text);
  return true;
}

template <typename State>
void state_engine<State>::first_scan(std::string_view text) {
  occurrences_.clear();
  if (rules_.start < 0)
    matcher_.for_each_end(matcher_type::k_start, [this](std::uint32_t rule) {
      occurrences_.push_back({rule, 0});
    });
  // Reads the byte at `at` from `current`, keeping the state and what ends;
  // inlined into each loop below, which are the whole time of a scan.
  const auto step = matcher_.moves();
  State* const states = states_.data();
  auto read = [this, text, step, states](State& current, std::size_t at,
                                         std::vector<occurrence>& found) KIT_ALWAYS_INLINE {
    State move = step(current, static_cast<unsigned char>(text[at]));
    states[at + 1] = move;
    current = move;
    if (current < 0) {
      current = negated(current);
      matcher_.for_each_end(current, [&found, at](std::uint32_t rule) {
        found.push_back({rule, at + 1});
      });
    }
  };
  const std::size_t size = text.size();
  const std::size_t reach = rules_.longest_search;
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
      read(first, i, occurrences_);
      second = as_state(step(second, static_cast<unsigned char>(text[j])));
    }
    second_half_.clear();
    for (; i < middle; ++i, ++j) {
      read(first, i, occurrences_);
      read(second, j, second_half_);
    }
    for (; j < size; ++j) read(second, j, second_half_);
    occurrences_.insert(occurrences_.end(), second_half_.begin(), second_half_.end());
    return;
  }
  for (; i < size; ++i) read(first, i, occurrences_);
}

template <typename State>
void state_engine<State>::choose_places(std::size_t text_size) {
  places_.clear();
  if (covered_.size() < text_size) covered_.resize(text_size);
  auto start_of = [&](const occurrence& found) {
    return found.end - list_.search_strings[found.rule].size();
  };
  // Only occurrences that overlap, directly or through others, compete for
  // their bytes; one that overlaps none (a word between blanks, mostly) is a
  // place whatever the order of the rules. The occurrences stand in the
  // order of their ends, so taken from the last, those that overlap come
  // one after another: each one joins the group of those after it when it
  // ends after the group's lowest start. The places come from the right.
  const auto all = occurrences_.begin();
  for (std::size_t last = occurrences_.size(); last > 0;) {
    std::size_t first = last - 1;
    std::size_t low = start_of(occurrences_[first]);
    while (first > 0 && occurrences_[first - 1].end > low)
      low = std::min(low, start_of(occurrences_[--first]));
    if (first + 1 == last) {
      places_.push_back({low, occurrences_[first].end, occurrences_[first].rule});
      last = first;
      continue;
    }
    // Rule after rule, leftmost first: a byte that an earlier rule, or an
    // earlier place of this rule, has taken is gone from the text a rule
    // sees.
    const auto from = all + static_cast<std::ptrdiff_t>(first);
    const auto to = all + static_cast<std::ptrdiff_t>(last);
    std::memset(covered_.data() + low, 0, occurrences_[last - 1].end - low);
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
State state_engine<State>::state_before(std::string_view text, std::size_t at) {
  const site& here = places_[at];
  const std::size_t reach = rules_.longest_search;
  // After a byte that no search string holds (a blank, mostly), the state
  // is the start; the byte before the place is the old one unless the place
  // before ends there and its replacement is made by now.
  const bool just_after = at > 0 && places_[at - 1].end == here.start;
  if (here.start > 0 && !(just_after && places_[at - 1].rule <= here.rule) &&
      matcher_.in_no_search_string(static_cast<unsigned char>(text[here.start - 1])))
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
  auto no_search = [this](char c) {
    return matcher_.in_no_search_string(static_cast<unsigned char>(c));
  };
  if (!changed || std::any_of(text.begin() + static_cast<std::ptrdiff_t>(changed_up_to),
                              text.begin() + static_cast<std::ptrdiff_t>(here.start), no_search))
    return as_state(states_[here.start]);
  // Otherwise the state is read anew from the last bytes of the text as it
  // stands, gathered backwards: at most `reach` of them, none before a byte
  // that no search string holds.
  behind_.clear();
  std::size_t x = here.start;
  std::size_t other = at;
  while (behind_.size() < reach && x > 0) {
    if (other > 0 && places_[other - 1].end == x && places_[other - 1].rule <= here.rule) {
      const std::string& replacement = list_.replacement_strings[places_[other - 1].rule];
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
    current = as_state(matcher_.step(current, static_cast<unsigned char>(*c)));
  return current;
}

template <typename State>
bool state_engine<State>::forms_nothing(std::string_view text) {
  for (std::size_t at = 0; at < places_.size(); ++at) {
    const State before = state_before(text, at);
    // The common case, a word between blanks: read from the start, the
    // replacement holds no search string that counts (see `holds_later`),
    // and a byte that no search string holds follows it.
    const std::size_t end = places_[at].end;
    if (before == matcher_type::k_start &&
        (end == text.size() ||
         (matcher_.in_no_search_string(static_cast<unsigned char>(text[end])) &&
          !(at + 1 < places_.size() && places_[at + 1].start == end))))
      continue;
    if (forms_later(text, at, before, false)) return false;
    // A rule that could form its own search string anew forms none here
    // where its own replacements, made from left to right, form none with
    // what stands beside them when each is made.
    if (rules_.forms_anew[places_[at].rule] && forms_later(text, at, before, true)) return false;
  }
  return true;
}

template <typename State>
bool state_engine<State>::forms_later(std::string_view text, std::size_t at, State before,
                                      bool own_rule) {
  const std::size_t rule = places_[at].rule;
  // The replacements that stand after this one when it is made: for a later
  // rule, those of every rule up to this one; for this rule itself, those of
  // the rules before it (its own later places are still to be made).
  auto made = [&](std::size_t other) { return own_rule ? other < rule : other <= rule; };
  auto counts = [&](std::size_t other) { return own_rule ? other == rule : other > rule; };
  State current = before;
  // Reads one byte; true when a search string that counts ends there and
  // reaches back into the replacement (`after`: the bytes read past it).
  std::size_t after = 0;
  auto formed_at = [&](char c) {
    State move = matcher_.step(current, static_cast<unsigned char>(c));
    current = as_state(move);
    if (move >= 0) return false;
    bool formed = false;
    matcher_.for_each_end(current, [&](std::uint32_t other) {
      formed = formed || (counts(other) && list_.search_strings[other].size() > after);
    });
    return formed;
  };
  // Once the states fall in step with those of the replacement read alone,
  // which holds neither its own nor a later rule's search string, nothing more
  // that counts ends inside it.
  const std::string& replacement = list_.replacement_strings[rule];
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
  while (matcher_.depth(current) > after) {
    if (next < places_.size() && places_[next].start == x && made(places_[next].rule)) {
      for (char c : list_.replacement_strings[places_[next].rule]) {
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
void state_engine<State>::write_places(std::string& text) {
  written_.clear();
  std::size_t x = 0;
  for (const site& here : places_) {
    written_.append(text, x, here.start - x);
    written_.append(list_.replacement_strings[here.rule]);
    x = here.end;
  }
  written_.append(text, x);
  text.swap(written_);
}

// Bytes that no search string holds are never replaced, and no occurrence
// reaches across one: the words between them change each on its own, in
// every rule's turn, so the rules applied to each word alone give the
// result of the whole text. The result of each distinct word is kept.
// Only a rule's limits (see replace.h) belong to the whole text: a word
// whose rules stay within their share of them stays within them in any
// text, and a word that does not sends the text the general way.
template <typename State>
bool state_engine<State>::apply_by_words(std::string& text) {
  by_words_.clear();
  // The bytes before this have been written to the new text.
  std::size_t written = 0;
  const std::size_t size = text.size();
  auto in_word = [&](std::size_t at) {
    return !matcher_.in_no_search_string(static_cast<unsigned char>(text[at]));
  };
  for (std::size_t at = 0; at < size;) {
    while (at < size && !in_word(at)) ++at;
    const std::size_t begin = at;
    while (at < size && in_word(at)) ++at;
    if (begin == at) break;
    const std::string_view word(text.data() + begin, at - begin);
    std::optional<word_memo::known> known = words_.find(word);
    if (!known) {
      word_.assign(word);
      start(word_);
      if (!apply_in_one_pass(word_)) {
        bool past_limits = false;
        if (apply_in_turn(word_, &past_limits) || past_limits) return false;
      }
      words_.keep(word, word_);
      known = word_memo::known{word_ == word, word_};
    }
    if (known->same) continue;
    by_words_.append(text, written, begin - written);
    by_words_.append(known->result);
    written = at;
  }
  if (written == 0) return true;
  by_words_.append(text, written);
  text.swap(by_words_);
  return true;
}

template <typename State>
void state_engine<State>::start(std::string_view text) {
  for (std::size_t word = 0; word < touched_.size(); ++word) {
    for (std::uint64_t bits = touched_[word]; bits != 0; bits &= bits - 1)
      counts_[word * 64 + static_cast<std::size_t>(std::countr_zero(bits))] = 0;
    touched_[word] = 0;
  }
  states_.resize(text.size() + 1);
  states_[0] = rules_.start;
  first_scan(text);
}

template <typename State>
std::optional<apply_failure> state_engine<State>::apply(std::string& text) {
  start(text);
  if (apply_in_one_pass(text)) return std::nullopt;
  if (rules_.word_by_word) {
    if (apply_by_words(text)) return std::nullopt;
    // The words' work has taken the place of this text's scan.
    start(text);
  }
  return apply_in_turn(text);
}

template <typename State>
std::optional<apply_failure> state_engine<State>::apply_in_turn(std::string& text,
                                                                bool* past_word_limits) {
  // The general way counts what occurs, and keeps the counts exact.
  for (const occurrence& found : occurrences_) {
    ++counts_[found.rule];
    touched_[found.rule / 64] |= std::uint64_t{1} << (found.rule % 64);
  }
  for (std::size_t word = 0; word < touched_.size(); ++word) {
    // Rules up to the current one are done; only the later ones count.
    std::uint64_t later = touched_[word];
    while (later != 0) {
      std::size_t rule = word * 64 + static_cast<std::size_t>(std::countr_zero(later));
      std::uint64_t done =
          rule % 64 == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << (rule % 64)) - 1;
      later = touched_[word] & ~done;
      if (counts_[rule] == 0) continue;
      if (!rules_.forms_anew[rule]) {
        replace_known(text, rule);
      } else {
        std::uint64_t made = 0;
        const std::size_t before = text.size();
        if (!replace_all(text, list_.search_strings[rule], list_.replacement_strings[rule],
                         &changes_, &made))
          return apply_failure{apply_error::rule_stopped, rule, made};
        if (past_word_limits != nullptr) {
          // A text that grows, grows with every replacement: its end is
          // its longest.
          const replace_limits share = replace_limits::for_part(
              before, list_.search_strings[rule].size(), list_.replacement_strings[rule].size());
          *past_word_limits =
              *past_word_limits || made > share.max_replacements || text.size() > share.max_length;
        }
        if (!changes_.empty()) rescan(text);
      }
      later = touched_[word] & ~done;
    }
  }
  return std::nullopt;
}

// Lists of up to this many automaton states (most lists) take two bytes a
// state: half the memory, so the automaton's table and a text's states stay
// closer to the processor.
constexpr std::size_t k_narrow_states = std::numeric_limits<std::int16_t>::max();

}  // namespace

class rule_applier::compiled {
 public:
  explicit compiled(replacement_list list) {
    if (automaton_states(list.search_strings) <= k_narrow_states) {
      rules.emplace<compiled_rules<std::int16_t>>(std::move(list));
    } else {
      rules.emplace<compiled_rules<std::int32_t>>(std::move(list));
    }
  }

  std::variant<std::monostate, compiled_rules<std::int16_t>, compiled_rules<std::int32_t>> rules;
};

class rule_applier::engine {
 public:
  explicit engine(const compiled& rules) {
    if (const auto* narrow = std::get_if<compiled_rules<std::int16_t>>(&rules.rules)) {
      work.emplace<state_engine<std::int16_t>>(*narrow);
    } else {
      work.emplace<state_engine<std::int32_t>>(std::get<compiled_rules<std::int32_t>>(rules.rules));
    }
  }

  std::variant<std::monostate, state_engine<std::int16_t>, state_engine<std::int32_t>> work;
};

rule_applier::rule_applier(std::shared_ptr<const compiled> rules) noexcept
    : rules_(std::move(rules)) {}

// Memory that runs out is a failure like the others.
std::variant<rule_applier, apply_failure> rule_applier::compile(replacement_list list) {
  // Every state and the end of the last run of states must be numbered in
  // four bytes.
  if (automaton_states(list.search_strings) >
      static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    return apply_failure{apply_error::too_many_states};
  std::shared_ptr<const compiled> made;
  if (!within_memory([&] { made = std::make_shared<const compiled>(std::move(list)); }))
    return apply_failure{apply_error::out_of_memory};
  return rule_applier(std::move(made));
}

rule_applier::rule_applier(const rule_applier& other) noexcept : rules_(other.rules_) {}
rule_applier::rule_applier(rule_applier&&) noexcept = default;
rule_applier& rule_applier::operator=(rule_applier&&) noexcept = default;
rule_applier::~rule_applier() = default;

std::optional<apply_failure> rule_applier::apply(std::string& text) noexcept {
  std::optional<apply_failure> failure;
  bool enough = within_memory([&] {
    if (!engine_) engine_ = std::make_unique<engine>(*rules_);
    if (auto* narrow = std::get_if<state_engine<std::int16_t>>(&engine_->work)) {
      failure = narrow->apply(text);
    } else {
      failure = std::get_if<state_engine<std::int32_t>>(&engine_->work)->apply(text);
    }
  });
  if (!enough) return apply_failure{apply_error::out_of_memory};
  return failure;
}
