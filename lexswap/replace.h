// Applying one rule to one text: every occurrence of the search string is
// replaced, leftmost first, and the search goes on over the text that the
// replacements made, until the search string no longer occurs.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Some rules never finish. A replacement that contains its search string, or
// an empty search string, is caught exactly. Other rules keep forming their
// search string anew with the text around it (ab = bbaa on aab grows without
// end, ab = bba on aaaaab doubles the text with each a), which no test short
// of running them can tell, so a rule is stopped once, in one text, it has
//   - made more than 1,000,000 + 16 x L replacements, or
//   - made the text longer than 16 MiB + L x (R + 1) bytes,
// where L is the length of the text before the rule and R the length of the
// replacement. A rule that only replaces what the text held makes at most L
// replacements and a text of at most L x R bytes, and the text that a rule
// produces when the occurrences it makes cascade is short on real talk
// tables, so no rule that finishes there comes near either bound.
struct replace_limits {
  std::size_t max_replacements;
  std::size_t max_length;

  static replace_limits for_rule(std::size_t text_length,
                                 std::size_t replacement_length);
};

// A part of a text that a rule changed: bytes [start, end) of the new text
// stand where `old_size` bytes of the old text stood. The bytes between two
// changed parts are the old ones, only moved.
struct changed_region {
  std::size_t start;
  std::size_t end;
  std::size_t old_size;
};

// Whether a replacement of `search` (not empty) by `replacement` could
// ever form `search` anew together with the text around it, whatever that
// text. Most rules cannot, and for them one pass from left to right gives
// the result of restarting every search at the first character.
bool can_form_anew(std::string_view search, std::string_view replacement);

// Replaces, in `text`, the leftmost occurrence of `search` with
// `replacement` until none is left, with exactly the result of restarting
// every search at the first character. Returns false when the rule never
// finishes on this text (see above); `text` then holds a partly replaced
// text. When `changes` is given, it receives the changed parts of the text
// in order (none when the text did not change). `forms_anew` may be false
// only when `can_form_anew` is. Costs time linear in the text and the
// replacements made.
bool replace_all(std::string& text, std::string_view search, std::string_view replacement,
                 std::vector<changed_region>* changes = nullptr, bool forms_anew = true);
