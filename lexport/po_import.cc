// SPDX-License-Identifier: MIT
#include "lexport/po_import.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/code_page.h"
#include "common/command.h"
#include "common/text_lines.h"
#include "lexport/po_file.h"
#include "lexport/table_pages.h"
#include "talk/table_rewrite.h"

namespace {

// A failure to open the table to rewrite: a table that did not load is
// named after its own line.
int fail_table(const failure& why, const std::string& table_name) {
  if (why.what == failure::kind::reported) return fail(damaged_message(table_name));
  return exit_with(why, message_stream::standard_error);
}

// What an entry's text is to a translator: the bytes up to a NUL.
std::string_view text_of(const ie_res_talk_entry& entry) {
  std::string_view text = entry.text();
  return text.substr(0, text.find('\0'));
}

// The entry that a message's context names: decimal digits only.
std::optional<std::uint32_t> entry_number(const std::optional<std::string>& context) {
  if (!context || context->empty() || context->size() > 10) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : *context) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (number > 0xffffffffu) return std::nullopt;
  return static_cast<std::uint32_t>(number);
}

failure line_failure(const failure& why, const std::string& name) {
  return refusal(line_message(name, why.line, why.message));
}

// A PO file read whole, as UTF-8 whatever its header's charset, and its
// header; the messages are read from `text` one at a time.
struct po_source {
  list_file list;
  std::string converted;
  std::string_view text;
  std::string header;
};

// The line of the PO file's text that holds byte `offset`.
std::size_t line_of(std::string_view text, std::size_t offset) {
  return 1 + static_cast<std::size_t>(std::count(
                 text.begin(), text.begin() + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Makes the PO file's text UTF-8, as its header's charset says it is not.
outcome convert_po_text(const std::string& name, const code_page& page, po_source& po) {
  const std::string not_it = "not " + std::string(page.name == "utf-8" ? "UTF-8" : page.name) +
                             " text, though the file says it is.";
  if (page.name == "utf-8") {
    if (std::optional<std::size_t> bad = first_non_utf8(po.text))
      return refusal(line_message(name, line_of(po.text, *bad), not_it));
    return {};
  }
  result<text_converter> converter = converter_for(page);
  if (!converter.ok()) return converter.error();
  conversion_failure failure;
  std::optional<std::string> utf8 = converter->decode(po.text, failure);
  if (!utf8) return refusal(line_message(name, line_of(po.text, failure.offset), not_it));
  po.converted = std::move(*utf8);
  po.list = {};
  po.text = po.converted;
  return {};
}

// Reads the PO file `name` and its header.
outcome open_po_file(const std::string& name, po_source& po) {
  if (outcome read =
          read_list(name, po.list, "Cannot read PO file, file '" + name + "' not found.");
      !read.ok())
    return read;
  po.text = po.list.text;
  // The header comes first: its charset says how to read the rest.
  if (outcome read = read_po(po.text,
                             [&](po_message& message, bool header) {
                               if (header) po.header = std::move(message.translation);
                               return false;
                             });
      !read.ok())
    return line_failure(read.error(), name);
  std::string charset = po_header_field(po.header, "charset").value_or("UTF-8");
  // A fresh template's placeholder stands for UTF-8 in gettext's tools too.
  if (charset == "CHARSET") charset = "UTF-8";
  std::optional<code_page> page = find_code_page(charset);
  if (!page)
    return refusal("Cannot proceed, file '" + name + "' is in " + charset +
                   ", which lexport does not read; convert it to UTF-8 with msgconv.");
  return convert_po_text(name, *page, po);
}

bool is_ascii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// The code page to import into: --encoding, else the one the PO file
// records, which never outranks the table's own bytes: a table that does
// not read in it is refused as it would be without that header.
result<code_page> import_page(const import_settings& settings, const po_source& po,
                              std::size_t count, const text_at& texts) {
  std::string named = settings.encoding;
  std::string recorded = po_header_field(po.header, "X-Lexport-Translation-Encoding").value_or("");
  // Texts that are all ASCII read alike in every page, so they cannot tell
  // theirs: the page the table was exported in is the next best witness,
  // and without any, the user must name it.
  bool ascii = true;
  for (std::size_t i = 0; i < count && ascii; ++i) ascii = is_ascii(texts(i));
  if (ascii && recorded.empty())
    recorded = po_header_field(po.header, "X-Lexport-Source-Encoding").value_or("");
  const bool from_header = named.empty() && !recorded.empty();
  if (named.empty()) named = recorded;
  if (ascii && named.empty())
    return refusal("Cannot proceed, the texts of '" + settings.table +
                   "' are all ASCII, which reads alike in every code page; name the table's "
                   "code page with --encoding (cp1252 for most Western tables).");
  result<code_page> page = page_of(count, texts, settings.table, named);
  if (!page.ok() || !from_header) return page;
  if (page->name == "utf-8") {
    if (result<code_page> own = page_of(count, texts, settings.table, ""); !own.ok()) return own;
    return page;
  }
  result<text_converter> converter = converter_for(*page);
  if (!converter.ok()) return converter.error();
  if (outcome readable = readable_texts(count, texts, settings.table, *page, *converter);
      !readable.ok())
    return readable.error();
  return page;
}

// What an import did with the messages.
struct import_counts {
  std::size_t imported = 0;
  std::size_t untranslated = 0;
  std::size_t fuzzy = 0;
  std::size_t same = 0;
};

// Takes a PO file's messages, one at a time, into the table's entries.
class po_import {
 public:
  po_import(const import_settings& settings, std::vector<ie_res_talk_entry*>& entries,
            const code_page& page, text_converter& converter)
      : settings_(settings), entries_(entries), page_(page), converter_(converter) {}

  // For `read_po`: false, with the refusal kept, to stop at a message that
  // cannot be taken.
  bool take(po_message& message, bool header) {
    if (header) return true;
    outcome taken = take(message);
    if (!taken.ok()) refused_ = taken;
    return taken.ok();
  }

  const outcome& refused() const { return refused_; }
  const import_counts& counts() const { return counts_; }

 private:
  outcome take(const po_message& message) {
    const std::string where = "line " + std::to_string(message.line) + " of '" + settings_.po + "'";
    result<std::uint32_t> number = entry_of(message, where);
    if (!number.ok()) return number.error();
    ie_res_talk_entry& entry = *entries_[*number];
    if (message.translation.empty()) {
      ++counts_.untranslated;
      return {};
    }
    if (message.fuzzy && !settings_.fuzzy) {
      ++counts_.fuzzy;
      return {};
    }
    // Decoding and encoding again is not always the identity (two codes for
    // one character): a text that reads as the translation stays as it is.
    conversion_failure failure;
    if (std::optional<std::string> current = converter_.decode(text_of(entry), failure);
        current && *current == message.translation) {
      ++counts_.same;
      return {};
    }
    std::optional<std::string> bytes = converter_.encode(message.translation, failure);
    if (!bytes)
      return refusal(conversion_message(failure, page_.name,
                                        where + " (entry " + std::to_string(*number) + ")", false));
    if (bytes->find('\0') != std::string::npos)
      return refusal("Cannot proceed, " + where + ": the translation holds a NUL byte.");
    entry.set_text(*bytes);
    ++counts_.imported;
    return {};
  }

  // The entry the message names, each named once.
  result<std::uint32_t> entry_of(const po_message& message, const std::string& where) {
    std::optional<std::uint32_t> number = entry_number(message.context);
    if (!number)
      return refusal("Cannot proceed, " + where +
                     ": the message has no entry number as its msgctxt.");
    if (auto [first, fresh] = seen_.emplace(*number, message.line); !fresh)
      return refusal("Cannot proceed, " + where + ": entry " + std::to_string(*number) +
                     " is translated twice (first at line " + std::to_string(first->second) + ").");
    if (*number >= entries_.size() || entries_[*number] == nullptr)
      return refusal("Cannot proceed, " + where + ": entry " + std::to_string(*number) +
                     " is past the last entry of '" + settings_.table + "' (" +
                     std::to_string(entries_.size()) + " entries).");
    return *number;
  }

  const import_settings& settings_;
  std::vector<ie_res_talk_entry*>& entries_;
  const code_page& page_;
  text_converter& converter_;
  std::unordered_map<std::uint32_t, std::size_t> seen_;
  import_counts counts_;
  outcome refused_;
};

}  // namespace

int run_import(const import_settings& settings) {
  // Held until the table is saved, as lexswap holds it.
  table_rewrite rewrite;
  if (outcome checked = rewrite.check(settings.table); !checked.ok())
    return fail_table(checked.error(), settings.table);
  if (outcome opened = rewrite.open(); !opened.ok())
    return fail_table(opened.error(), settings.table);
  std::vector<ie_res_talk_entry*>& entries = rewrite.table().entries();
  const text_at texts = [&entries](std::size_t i) {
    const ie_res_talk_entry* entry = entries[i];
    return entry == nullptr ? std::string_view() : text_of(*entry);
  };
  po_source po;
  if (outcome opened = open_po_file(settings.po, po); !opened.ok()) return fail(opened.message());
  result<code_page> page = import_page(settings, po, entries.size(), texts);
  if (!page.ok()) return fail(page.message());
  result<text_converter> converter = converter_for(*page);
  if (!converter.ok()) return fail(converter.message());

  po_import import(settings, entries, *page, *converter);
  if (outcome read = read_po(
          po.text, [&](po_message& message, bool header) { return import.take(message, header); });
      !read.ok())
    return fail(line_failure(read.error(), settings.po).message);
  if (!import.refused().ok()) return fail(import.refused().message());
  const import_counts& counts = import.counts();
  std::cout << counts.imported << " strings imported in " << page->name << "; "
            << counts.untranslated + counts.fuzzy + counts.same << " left as they were ("
            << counts.untranslated << " untranslated, " << counts.fuzzy << " fuzzy, " << counts.same
            << " already the same)." << std::endl;
  // Status 1 must mean that the table is as it was: output that failed is
  // reported before the table is touched.
  if (!flush_standard_output()) return 1;
  if (counts.imported == 0) return 0;
  return rewrite.save() ? 0 : 1;
}
