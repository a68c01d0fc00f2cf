// SPDX-License-Identifier: MIT
// The rule applier's fastest way: the whole list in one pass over a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lexswap/text_scan.h"

// Where no replacement forms a later rule's search string, the rules one
// after another replace, each in its turn, the occurrences of its search
// string in the text as it was that no earlier rule has taken a byte of,
// leftmost first: so every place can be chosen from the first scan and the
// new text written at once. Whether a replacement forms a later rule's
// search string is checked for every place, against the text as it stands
// when the place is replaced (the replacements of the rules up to its own,
// the old bytes elsewhere); if one does, the one pass declines the text. So
// it does where a rule forms its own search string anew.
template <typename State>
class one_pass {
 public:
  explicit one_pass(const compiled_rules<State>& rules) : rules_(rules) {}

  // Applies the whole list to `text`, which `scan` has read; false (and the
  // text as it was) where that might not give the result of the rules one
  // after another. Reorders the occurrences of `scan` that overlap.
  bool apply(std::string& text, text_scan<State>& scan);

 private:
  using matcher_type = basic_rule_matcher<State>;
  // Bytes [start, end) of the text, replaced by the rule.
  struct site {
    std::size_t start;
    std::size_t end;
    std::size_t rule;
  };
  // Whose search string a replacement must not form: that of a rule after
  // its own, or, for a rule that could, its own again.
  enum class forming { later_rules, own_rule };

  void choose_places(std::vector<occurrence>& occurrences, std::size_t text_size);
  bool forms_nothing(std::string_view text, const std::vector<State>& states);
  bool forms(forming whose, std::string_view text, std::size_t at, State before);
  State state_before(std::string_view text, const std::vector<State>& states, std::size_t at);
  void write_places(std::string& text);

  const compiled_rules<State>& rules_;
  // The places, by position; which bytes of the text are taken; text read
  // backwards; the new text.
  std::vector<site> places_;
  std::vector<unsigned char> covered_;
  std::string behind_;
  std::string written_;
};
