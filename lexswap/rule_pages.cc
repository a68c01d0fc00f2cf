// SPDX-License-Identifier: MIT
#include "lexswap/rule_pages.h"

#include <utility>

#include "common/text_lines.h"

namespace {

// The advice that ends both refusals of a UTF-8 list.
constexpr std::string_view k_name_the_page =
    "name the table's code page with --encoding (cp1252 for most Western tables), or give "
    "--bytes for a list in the table's own code page.";

}  // namespace

outcome encode_rules(replacement_list& list, const std::string& list_name, const code_page& page,
                     text_converter& converter) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    for (std::string* text : {&list.search_strings[i], &list.replacement_strings[i]}) {
      if (first_non_utf8(*text))
        return refusal(
            line_message(list_name, list.line_numbers[i], "the rule is not UTF-8 text."));
      conversion_failure failure;
      std::optional<std::string> bytes = converter.encode(*text, failure);
      if (!bytes)
        return refusal(line_message(list_name, list.line_numbers[i],
                                    character_name(failure.character.value_or(0xfffd)) +
                                        " is not in " + std::string(page.name) + "."));
      *text = std::move(*bytes);
    }
  }
  return {};
}

outcome refuse_mixed_pages(const replacement_list& list, const std::string& list_name,
                           const std::vector<ie_res_talk_entry*>& entries,
                           const std::string& table_name) {
  bool ascii = true;
  bool utf8 = true;
  for (std::size_t i = 0; i < list.size(); ++i) {
    for (const std::string* text : {&list.search_strings[i], &list.replacement_strings[i]}) {
      ascii = ascii && is_ascii(*text);
      utf8 = utf8 && !first_non_utf8(*text);
    }
  }
  if (ascii || !(utf8 || list.marked_utf8)) return {};
  bool table_ascii = true;
  for (const ie_res_talk_entry* entry : entries) {
    if (entry == nullptr) continue;
    const std::string& text = entry->text();
    if (is_ascii(text)) continue;
    table_ascii = false;
    if (first_non_utf8(text))
      return refusal("Cannot proceed, '" + list_name + "' is UTF-8 text and the texts of '" +
                     table_name + "' are not; " + std::string(k_name_the_page));
  }
  if (!table_ascii) return {};
  return refusal("Cannot proceed, '" + list_name + "' is UTF-8 text and nothing in '" + table_name +
                 "' tells its code page; " + std::string(k_name_the_page));
}
