// SPDX-License-Identifier: MIT
// Applying one rule to one text: every occurrence of the search string is
// replaced, leftmost first, and the search goes on over the text that the
// replacements made, until the search string no longer occurs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Some rules never finish. A replacement that contains its search string, or
// an empty search string, is caught exactly. Other rules keep forming their
// search string anew with the text around it (ab = bbaa on aab grows without
// end, ab = bba on aaaaab doubles the text with each a), which no test short
// of running them can tell, so a rule is stopped once, in one text of L
// bytes, it has made more replacements, or a longer text, than these bounds
// allow (R being the length of the replacement):
//   - a rule whose replacement is no longer than its search string cannot
//     lengthen the text, but may move bytes across it one replacement at a
//     time (ba = ab sorts a text of L bytes with up to L x L / 4): it may
//     make 1,000,000 + L x L / 2 replacements;
//   - a rule that lengthens the text may make 1,000,000 + 16 x L
//     replacements and a text of 16 MiB + L x (R + 1) bytes. One that only
//     replaces what the text held makes at most L replacements and a text of
//     at most L x R bytes, and the text that the occurrences it makes produce
//     when they cascade is short on real talk tables.
// The bounds are counted in 64 bits and stop at the largest value rather
// than wrap, so that every build stops a rule at the same point.
struct replace_limits {
  std::uint64_t max_replacements;
  std::uint64_t max_length;

  static replace_limits for_rule(std::uint64_t text_length, std::uint64_t search_length,
                                 std::uint64_t replacement_length);
  // The same bounds without their fixed allowances (1,000,000 replacements,
  // 16 MiB), for a part of a text that no occurrence can reach beyond: runs
  // on the parts that each stay within these stay, all together, within
  // `for_rule` of the whole text.
  static replace_limits for_part(std::uint64_t part_length, std::uint64_t search_length,
                                 std::uint64_t replacement_length);
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
// every search at the first character. Returns false when the rule was
// stopped on this text (see above); `text` then holds a partly replaced
// text. `made`, when given, receives the number of replacements made.
// When `changes` is given, it receives the changed parts of the text in
// order (none when the text did not change). Costs time linear in the text
// and the replacements made.
bool replace_all(std::string& text, std::string_view search, std::string_view replacement,
                 std::vector<changed_region>* changes = nullptr, std::uint64_t* made = nullptr);
