// SPDX-License-Identifier: MIT
// The code page of a rule list beside the table's. lexswap matches and
// writes bytes, so a rule works only in the code page of the table's texts;
// a list saved as UTF-8 (what every editor writes now) against a table in
// cp1250 would write UTF-8 bytes into it, which the game shows as mojibake.
// So a list is converted (--encoding), taken as its bytes (--bytes), or,
// without either, refused in the one case that can only damage.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/code_page.h"
#include "common/outcome.h"
#include "lexswap/replacement_list.h"
#include "talk/ie_res_talk_entry.h"

// How the command line says the rules are written.
struct rule_encoding {
  // --encoding PAGE: the list is UTF-8, and its rules become PAGE's bytes.
  std::optional<code_page> page;
  // --bytes: the rules' bytes as they are.
  bool bytes = false;
};

// Converts every rule of `list` from UTF-8 into the page of `converter`:
// refuses the line of a rule that is not UTF-8 text, or that holds a
// character the page cannot hold ("U+0416 is not in cp1250.").
outcome encode_rules(replacement_list& list, const std::string& list_name, const code_page& page,
                     text_converter& converter);

// For a list given without an option: refuses one whose rules hold
// characters beyond ASCII and that is UTF-8 (marked so, or UTF-8
// throughout) when the texts of the table are not all UTF-8, or are all
// ASCII, so that nothing tells their page.
outcome refuse_mixed_pages(const replacement_list& list, const std::string& list_name,
                           const std::vector<ie_res_talk_entry*>& entries,
                           const std::string& table_name);
