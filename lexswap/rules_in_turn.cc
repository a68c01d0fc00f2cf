// SPDX-License-Identifier: MIT
#include "lexswap/rules_in_turn.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
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

}  // namespace

template <typename State>
turn_result rules_in_turn<State>::apply(std::string& text, text_scan<State>& scan,
                                        turn_limits limits) {
  states_.swap(scan.states);
  const turn_result result = run(text, scan.occurrences, limits);
  states_.swap(scan.states);
  return result;
}

template <typename State>
KIT_FLATTEN turn_result rules_in_turn<State>::run(std::string& text,
                                                  const std::vector<occurrence>& occurrences,
                                                  turn_limits limits) {
  for (std::size_t word = 0; word < touched_.size(); ++word) {
    for (std::uint64_t bits = touched_[word]; bits != 0; bits &= bits - 1)
      counts_[word * 64 + static_cast<std::size_t>(std::countr_zero(bits))] = 0;
    touched_[word] = 0;
  }
  for (const occurrence& found : occurrences) {
    ++counts_[found.rule];
    touched_[found.rule / 64] |= std::uint64_t{1} << (found.rule % 64);
  }
  const replacement_list& list = rules_.list;
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
        if (!replace_all(text, list.search_strings[rule], list.replacement_strings[rule], &changes_,
                         &made))
          return {turn_result::outcome::rule_stopped, rule, made};
        if (limits == turn_limits::word_share) {
          // A text that grows, grows with every replacement: its end is
          // its longest.
          const replace_limits share = replace_limits::for_part(
              before, list.search_strings[rule].size(), list.replacement_strings[rule].size());
          if (made > share.max_replacements || text.size() > share.max_length)
            return {turn_result::outcome::past_word_share, rule, made};
        }
        if (!changes_.empty()) rescan(text);
      }
      later = touched_[word] & ~done;
    }
  }
  return {};
}

template <typename State>
void rules_in_turn<State>::count(State at, int delta) {
  rules_.matcher.for_each_end(at, [&](std::uint32_t rule) {
    counts_[rule] += static_cast<std::uint32_t>(delta);
    touched_[rule / 64] |= std::uint64_t{1} << (rule % 64);
  });
}

template <typename State>
void rules_in_turn<State>::scan_part(std::string_view text, std::size_t from, std::size_t to) {
  const auto step = rules_.matcher.moves();
  State current = as_state(states_[from]);
  for (std::size_t i = from; i < to; ++i)
    states_[i + 1] = step_and_collect(step, current, static_cast<unsigned char>(text[i]),
                                      [this](State ends) { count(ends, +1); });
}

template <typename State>
void rules_in_turn<State>::rescan(std::string_view text) {
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
      scan_part(text, position, position + 1);
      ++position;
    }
  };
  for (const changed_region& region : changes_) {
    walk_unchanged(region.start);
    auto old_start = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(region.start) - shift);
    for (std::size_t i = 1; i <= region.old_size; ++i) forget_old(old_start + i);
    scan_part(text, region.start, region.end);
    position = region.end;
    shift += static_cast<std::ptrdiff_t>(region.end - region.start) -
             static_cast<std::ptrdiff_t>(region.old_size);
  }
  walk_unchanged(text.size());
}

template <typename State>
void rules_in_turn<State>::replace_known(std::string& text, std::size_t rule) {
  find_places(text.size(), rule);
  make_room(text, rules_.list.search_strings[rule].size(),
            rules_.list.replacement_strings[rule].size());
  read_replacements(text, rule);
}

template <typename State>
void rules_in_turn<State>::find_places(std::size_t text_size, std::size_t rule) {
  const std::size_t size = rules_.list.search_strings[rule].size();
  const auto [first, last] = rules_.matcher.states_of(rule);
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
void rules_in_turn<State>::make_room(std::string& text, std::size_t size, std::size_t length) {
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
void rules_in_turn<State>::read_replacements(std::string& text, std::size_t rule) {
  // Each replacement is read from the state before it, until its states
  // fall in step with those it has when read alone, and then the bytes
  // after it until their states fall in step with the old ones.
  const std::size_t size = rules_.list.search_strings[rule].size();
  const std::string& replacement = rules_.list.replacement_strings[rule];
  const std::size_t length = replacement.size();
  const State* alone = rules_.alone_states[rule].data();
  const std::size_t places = starts_.size();
  // Where place `place` starts in the new text.
  auto new_start = [&](std::size_t place) {
    return starts_[place] + place * length - place * size;
  };
  const auto step = rules_.matcher.moves();
  auto counted = [this](State ends) { count(ends, +1); };
  for (std::size_t place = 0; place < places; ++place) {
    std::size_t start = new_start(place);
    std::memcpy(text.data() + start, replacement.data(), length);
    State current = as_state(states_[start]);
    std::size_t i = 0;
    while (i < length) {
      const State move =
          step_and_collect(step, current, static_cast<unsigned char>(replacement[i]), counted);
      states_[start + i + 1] = move;
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
      const State move = step(current, static_cast<unsigned char>(text[at]));
      if (move == states_[at + 1]) break;
      forget(states_[at + 1]);
      states_[at + 1] = move;
      current = as_state(move);
      if (move < 0) counted(current);
    }
  }
}

// Only `apply` is made here for each width: its steps are made with it, for
// `run` to take them all in (KIT_FLATTEN). Called as functions of their own,
// they cost the 1,000 rules of the benchmark about 4 % more time.
template turn_result rules_in_turn<std::int16_t>::apply(std::string&, text_scan<std::int16_t>&,
                                                        turn_limits);
template turn_result rules_in_turn<std::int32_t>::apply(std::string&, text_scan<std::int32_t>&,
                                                        turn_limits);
