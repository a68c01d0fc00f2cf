// SPDX-License-Identifier: MIT
#include "lexport/table_pages.h"

#include <iostream>
#include <utility>

#include "common/command.h"

std::string entry_where(std::size_t entry, const std::string& table_name) {
  return "entry " + std::to_string(entry) + " of '" + table_name + "'";
}

result<code_page> page_of(std::size_t count, const text_at& texts, const std::string& table_name,
                          const std::string& named) {
  if (!named.empty()) return page_named(named, "lexport");
  for (std::size_t i = 0; i < count; ++i) {
    if (first_non_utf8(texts(i)))
      return refusal("Cannot proceed, " + entry_where(i, table_name) +
                     " is not UTF-8 text; name its code page with --encoding (cp1252 for most "
                     "Western tables).");
  }
  return *find_code_page("utf-8");
}

std::string conversion_message(const conversion_failure& failure, std::string_view page_name,
                               const std::string& where, bool decoding) {
  if (decoding)
    return "Cannot proceed, " + where + " holds bytes that are no " + std::string(page_name) +
           " text, from byte " + std::to_string(failure.offset) + " on.";
  if (failure.character)
    return "Cannot proceed, " + where + " holds " + character_name(*failure.character) +
           ", which " + std::string(page_name) + " cannot hold.";
  return "Cannot proceed, " + where + " is not UTF-8 text.";
}

outcome readable_texts(std::size_t count, const text_at& texts, const std::string& table_name,
                       const code_page& page, text_converter& converter) {
  conversion_failure failure;
  for (std::size_t i = 0; i < count; ++i)
    if (!converter.decode(texts(i), failure))
      return refusal(conversion_message(failure, page.name, entry_where(i, table_name), true));
  return {};
}

int fail(std::string_view message) {
  if (!flush_standard_output()) return 1;
  std::cerr << message << std::endl;
  return 1;
}

std::string damaged_message(const std::string& name) {
  return "Cannot proceed, file '" + name + "' could not be read as a talk table.";
}
