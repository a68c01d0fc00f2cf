// SPDX-License-Identifier: MIT
// The rule applier's word path: a text changed word by word, from what the
// rules made of each word before.
#pragma once

#include <cstdint>
#include <string>

#include "lexswap/one_pass.h"
#include "lexswap/rules_in_turn.h"
#include "lexswap/text_scan.h"
#include "lexswap/word_memo.h"

// Bytes that no search string holds are never replaced, and no occurrence
// reaches across one: the words between them change each on its own, in
// every rule's turn, so the rules applied to each word alone give the result
// of the whole text. The result of each distinct word is kept. Only a rule's
// limits (see replace.h) belong to the whole text: a word whose rules stay
// within their share of them stays within them in any text, and a word that
// does not makes the path decline the text.
//
// For lists whose search strings hold no blank and none of which is empty
// (`compiled_rules::word_by_word`). A new word is worked on as a text of its
// own, with a scan and ways of its own, so the text's scan stays as it was.
template <typename State>
class word_path {
 public:
  explicit word_path(const compiled_rules<State>& rules)
      : rules_(rules), pass_(rules), turns_(rules) {}

  // Applies the rules to each word of `text`; false (and the text as it
  // was) where that might not give the result of the whole text.
  bool apply(std::string& text);

 private:
  // What the rules make of `word_`, worked on in place; false where a rule
  // stopped in it or went past its share of the limits.
  bool work_on_word();

  const compiled_rules<State>& rules_;
  text_scan<State> scan_;
  one_pass<State> pass_;
  rules_in_turn<State> turns_;
  word_memo words_;
  // The word being worked on, and the new text.
  std::string word_;
  std::string by_words_;
};
