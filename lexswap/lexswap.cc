#include "lexswap/lexswap.h"

#include <algorithm>
#include <bit>
#include <iostream>
#include <memory>
#include <stdexcept>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "common/command.h"
#include "lexswap/replace.h"
#include "talk/ie_res_talk.h"

namespace {

std::string line_message(const std::string& list_name, std::size_t line,
                         const std::string& what) {
  return "Cannot proceed, line " + std::to_string(line) + " of '" + list_name +
         "': " + what;
}

}  // namespace

std::optional<std::string> refuse_rules(const replacement_list& list,
                                        const std::string& list_name) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string& search = list.search_strings[i];
    if (search.empty())
      return line_message(list_name, list.line_numbers[i],
                          "the search string is empty.");
    if (list.replacement_strings[i].find(search) != std::string::npos)
      return line_message(list_name, list.line_numbers[i],
                          "the replacement contains the search string.");
  }
  return std::nullopt;
}

rule_applier::rule_applier(const replacement_list& list)
    : list_(list),
      matcher_(list.search_strings),
      start_(matcher_.has_ends(rule_matcher::k_start) ? ~rule_matcher::k_start
                                                      : rule_matcher::k_start),
      counts_(list.size(), 0),
      present_((list.size() + 63) / 64, 0) {
  for (std::size_t i = 0; i < list.size(); ++i)
    forms_anew_.push_back(list.search_strings[i].empty() ||
                          can_form_anew(list.search_strings[i], list.replacement_strings[i]));
}

void rule_applier::count(rule_matcher::state at, int delta) {
  matcher_.for_each_end(at, [&](std::uint32_t rule) {
    std::uint32_t& count = counts_[rule];
    std::uint64_t bit = std::uint64_t{1} << (rule % 64);
    if (delta > 0) {
      if (count++ == 0) {
        present_[rule / 64] |= bit;
        counted_.push_back(rule);
      }
    } else if (--count == 0) {
      present_[rule / 64] &= ~bit;
    }
  });
}

void rule_applier::scan(std::string_view text, std::size_t from, std::size_t to) {
  rule_matcher::state current = as_state(states_[from]);
  for (std::size_t i = from; i < to; ++i) {
    rule_matcher::state move = matcher_.step(current, static_cast<unsigned char>(text[i]));
    states_[i + 1] = move;
    current = move;
    if (current < 0) {
      current = ~current;
      count(current, +1);
    }
  }
}

void rule_applier::rescan(std::string_view text) {
  old_states_.swap(states_);
  states_.resize(text.size() + 1);
  states_[0] = start_;
  auto forget = [&](std::size_t old_index) {
    rule_matcher::state old = old_states_[old_index];
    if (old < 0) count(~old, -1);
  };
  // How much further on the new text stands than the old one, in the
  // unchanged part being walked.
  std::ptrdiff_t shift = 0;
  std::size_t position = 0;
  auto walk_unchanged = [&](std::size_t to) {
    while (position < to) {
      auto old_position = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(position) - shift);
      // Once a state is as before, so are all that follow in this part.
      if (states_[position] == old_states_[old_position]) {
        std::copy(old_states_.begin() + static_cast<std::ptrdiff_t>(old_position) + 1,
                  old_states_.begin() + static_cast<std::ptrdiff_t>(old_position + to - position) + 1,
                  states_.begin() + static_cast<std::ptrdiff_t>(position) + 1);
        position = to;
        return;
      }
      forget(old_position + 1);
      scan(text, position, position + 1);
      ++position;
    }
  };
  for (const changed_region& region : changes_) {
    walk_unchanged(region.start);
    auto old_start = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(region.start) - shift);
    for (std::size_t i = 1; i <= region.old_size; ++i) forget(old_start + i);
    scan(text, region.start, region.end);
    position = region.end;
    shift += static_cast<std::ptrdiff_t>(region.end - region.start) -
             static_cast<std::ptrdiff_t>(region.old_size);
  }
  walk_unchanged(text.size());
}

namespace {

// The first index from `from` on, before `to`, whose state lies in the run
// from `first` of `width` states; `to` when there is none. Every rule that
// runs reads the whole array once, so this loop is most of lexswap's time on
// long lists: sixteen states at a time where SSE2 is there (on every x86-64
// processor), one at a time elsewhere.
std::size_t next_in_run(const rule_matcher::state* states, std::size_t from, std::size_t to,
                        rule_matcher::state first, std::uint32_t width) {
  const auto base = static_cast<std::uint32_t>(first);
  std::size_t i = from;
#if defined(__SSE2__) || defined(_M_X64)
  // SSE2 compares signed numbers only; flipping the top bit of both sides
  // turns the unsigned test (state - base < width) into a signed one.
  const __m128i offset = _mm_set1_epi32(static_cast<int>(base));
  const __m128i flip = _mm_set1_epi32(static_cast<int>(0x80000000u));
  const __m128i limit = _mm_set1_epi32(static_cast<int>(width ^ 0x80000000u));
  auto hits_of = [&](std::size_t at) {
    __m128i value = _mm_loadu_si128(reinterpret_cast<const __m128i*>(states + at));
    return _mm_cmplt_epi32(_mm_xor_si128(_mm_sub_epi32(value, offset), flip), limit);
  };
  for (; i + 16 <= to; i += 16) {
    __m128i a = hits_of(i), b = hits_of(i + 4), c = hits_of(i + 8), d = hits_of(i + 12);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
    auto mask = [](__m128i hits) {
      return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(hits)));
    };
    unsigned all = mask(a) | mask(b) << 4 | mask(c) << 8 | mask(d) << 12;
    return i + static_cast<std::size_t>(std::countr_zero(all));
  }
#endif
  for (; i < to; ++i)
    if (static_cast<std::uint32_t>(states[i]) - base < width) return i;
  return to;
}

}  // namespace

void rule_applier::replace_known(std::string& text, std::size_t rule) {
  const std::size_t size = list_.search_strings[rule].size();
  const std::string& replacement = list_.replacement_strings[rule];
  const auto [first, last] = matcher_.states_of(rule);
  // The search string ends at every state of its run, so each of them is
  // kept negated, and the run turns round: from ~(last - 1) up to ~first.
  const rule_matcher::state lowest = ~(last - 1);
  const auto width = static_cast<std::uint32_t>(last - first);
  replaced_.clear();
  changes_.clear();
  std::size_t from = 0;
  // states_[end] stands for the state after the first `end` bytes; the
  // search string ends there when that state lies in its run.
  const std::size_t stop = text.size() + 1;
  // The count is exact, so the search ends at the last occurrence rather
  // than at the end of the text.
  std::uint32_t left = counts_[rule];
  for (std::size_t end = size;
       left > 0 && (end = next_in_run(states_.data(), end, stop, lowest, width)) < stop; ++end) {
    --left;
    std::size_t start = end - size;
    // An occurrence that overlaps the one just replaced is gone with it.
    if (start < from) continue;
    replaced_.append(text, from, start - from);
    std::size_t at = replaced_.size();
    replaced_.append(replacement);
    if (!changes_.empty() && changes_.back().end == at) {
      changes_.back().end = replaced_.size();
      changes_.back().old_size += size;
    } else {
      changes_.push_back({at, replaced_.size(), size});
    }
    from = end;
  }
  replaced_.append(text, from, std::string::npos);
  text.swap(replaced_);
}

std::optional<std::size_t> rule_applier::apply(std::string& text) {
  for (std::uint32_t rule : counted_) counts_[rule] = 0;
  counted_.clear();
  std::fill(present_.begin(), present_.end(), 0);
  states_.resize(text.size() + 1);
  states_[0] = start_;
  if (start_ < 0) count(rule_matcher::k_start, +1);
  scan(text, 0, text.size());
  for (std::size_t word = 0; word < present_.size(); ++word) {
    // Rules up to the current one are done; only the later ones count.
    std::uint64_t later = present_[word];
    while (later != 0) {
      std::size_t rule = word * 64 + static_cast<std::size_t>(std::countr_zero(later));
      if (!forms_anew_[rule]) {
        replace_known(text, rule);
      } else if (!replace_all(text, list_.search_strings[rule],
                              list_.replacement_strings[rule], &changes_)) {
        return rule;
      }
      if (!changes_.empty()) rescan(text);
      std::uint64_t done = rule % 64 == 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << (rule % 64)) - 1;
      later = present_[word] & ~done;
    }
  }
  return std::nullopt;
}

int run_lexswap(int argc, char** argv) {
  if (argc != 3) {
    print_usage({"Usage: lexswap <dialog.tlk> <source file>", "",
                 "The source file contains a list of 'some-string = replace-with' "
                 "entries which will be applied to the dialog.tlk resource. Make "
                 "sure you have a good backup of the dialog.tlk!"});
  }
  const std::string table_name = argv[1];
  const std::string list_name = argv[2];
  if (!file_exists(table_name))
    exit_with_message("Cannot read TALK V1 resource, file '" + table_name + "' not found.");
  if (!file_exists(list_name))
    exit_with_message("Cannot proceed, file '" + list_name + "' not found.");

  // A table that failed to load must never be saved: its missing entries
  // would replace the file's.
  auto table = std::make_unique<ie_res_talk>();
  if (!table->load(table_name)) return 1;

  replacement_list list;
  if (!read_replacement_list(list_name, list))
    exit_with_message("Cannot proceed, file '" + list_name + "' not found.");
  if (std::optional<std::string> refusal = refuse_rules(list, list_name))
    exit_with_message(*refusal);
  std::cout << list.size() << " replacements read." << std::endl;

  // The automaton over all search strings needs memory in proportion to
  // their total length; a list too large for it is a clean refusal.
  std::optional<rule_applier> applier;
  try {
    applier.emplace(list);
  } catch (const std::exception&) {
    exit_with_message("Cannot proceed, file '" + list_name + "' holds more rules than fit in memory.");
  }
  rule_applier& rules = *applier;

  std::cout << "Processing: " << std::flush;
  std::string working;
  std::size_t counter = 0;
  for (ie_res_talk_entry* entry : table->entries()) {
    if (entry == nullptr) continue;
    working = entry->text();
    if (std::optional<std::size_t> rule = rules.apply(working)) {
      std::cout << std::endl;
      exit_with_message(line_message(list_name, list.line_numbers[*rule],
                                     "the rule never stops matching in entry " +
                                         std::to_string(counter) + "."));
    }
    entry->set_text(working);
    if (++counter % 2000 == 1) std::cout << '#' << std::flush;
  }
  std::cout << std::endl;

  if (!table->save(table_name)) return 1;
  return 0;
}
