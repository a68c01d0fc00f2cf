// SPDX-License-Identifier: MIT
#include "lexport/table_pages.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <utility>

#include "common/command.h"
#include "common/file_names.h"
#include "common/writer_lock.h"
#include "talk/table_rewrite.h"
#include "talk/tlk_v1.h"

std::string entry_where(std::size_t entry, const std::string& table_name) {
  return "entry " + std::to_string(entry) + " of '" + table_name + "'";
}

bool same_file(const std::string& one, const std::string& other) {
  std::error_code ignored;
  return std::filesystem::equivalent(native_path(one), native_path(other), ignored);
}

result<std::unique_ptr<table_records>> read_table(const std::string& name) {
  if (!file_exists(name)) return refusal(missing_table_message(name));
  // Read as lexglean reads: a backup that a cut-short save left beside the
  // table is worth a warning, not a refusal.
  warn_of_cut_save(name);
  auto table = std::make_unique<table_records>();
  table->name = name;
  // The table says why on standard error, but not of which file.
  switch (ie_res_talk::read_records(name, table->file, table->records)) {
    case ie_res_talk::load_result::loaded: return table;
    case ie_res_talk::load_result::failed: return refusal(damaged_message(name));
    case ie_res_talk::load_result::too_large_to_save: return refusal(too_large_table_message(name));
  }
  return refusal(damaged_message(name));
}

std::string female_count_message(const std::string& female, std::size_t female_count,
                                 const std::string& male, std::size_t male_count) {
  return "Cannot proceed, '" + female + "' has " + std::to_string(female_count) + " entries and '" +
         male + "' " + std::to_string(male_count) +
         "; a female table has one for each entry of the table.";
}

std::string female_count_message(const table_records& female, const table_records& male) {
  return female_count_message(female.name, female.size(), male.name, male.size());
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
  std::string message = "Cannot proceed, file '" + name + "' could not be read as a talk table.";
  // The slip of a newcomer: the PO file named where the table goes.
  char signature[tlk_v1::k_signature.size()] = {};
  std::ifstream(native_path(name), std::ios::binary).read(signature, sizeof signature);
  if ((name.ends_with(".po") || name.ends_with(".pot")) &&
      std::string_view(signature, sizeof signature) != tlk_v1::k_signature)
    message += " It looks like a PO file; the talk table comes first.";
  return message;
}
