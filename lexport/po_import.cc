// SPDX-License-Identifier: MIT
#include "lexport/po_import.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/code_page.h"
#include "common/command.h"
#include "common/text_lines.h"
#include "lexport/po_file.h"
#include "lexport/table_import.h"
#include "lexport/table_pages.h"
#include "talk/table_rewrite.h"

namespace {

// What a message's context names: an entry of the table ("12"), or of
// the female table ("12 female"); nothing for any other context.
struct entry_ref {
  std::uint32_t number = 0;
  bool female = false;
};

std::optional<entry_ref> entry_named(const std::optional<std::string>& context) {
  if (!context) return std::nullopt;
  std::string_view digits = *context;
  entry_ref ref;
  constexpr std::string_view k_female = " female";
  if (digits.ends_with(k_female)) {
    digits.remove_suffix(k_female.size());
    ref.female = true;
  }
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  std::uint64_t number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (number > 0xffffffffu) return std::nullopt;
  ref.number = static_cast<std::uint32_t>(number);
  return ref;
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

// The code page to import into: --encoding, else the one the PO file
// records, which never outranks the table's own bytes: a table that does
// not read in it is refused as it would be without that header.
result<code_page> import_page(const import_settings& settings, const po_source& po,
                              std::size_t count, const text_at& texts) {
  std::string named = settings.encoding;
  // A table moved to another page is still in the one it was exported in.
  std::string recorded =
      po_header_field(po.header, settings.to_encoding.empty() ? "X-Lexport-Translation-Encoding"
                                                              : "X-Lexport-Source-Encoding")
          .value_or("");
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

// Takes a PO file's messages, one at a time, into the table's entries and
// the female table's. A message "N" is for entry N of both, unless the PO
// file holds "N female" too, wherever it stands: the female table's side
// of a message "N" waits until the whole file is read.
class po_import {
 public:
  po_import(const import_settings& settings, table_import& male, table_import* female,
            text_converter& writing)
      : settings_(settings), male_(male), female_(female), writing_(writing) {
    if (female_) waiting_.resize(female_->size());
  }

  // For `read_po`: false, with the refusal kept, to stop at a message that
  // cannot be taken.
  bool take(po_message& message, bool header) {
    if (header) return true;
    outcome taken = take(message);
    if (!taken.ok()) refused_ = taken;
    return taken.ok();
  }

  // After the last message: the female table's side of each message "N"
  // with no "N female".
  void finish() {
    for (std::uint32_t i = 0; i < waiting_.size(); ++i)
      if (waiting_[i]) female_->apply(i, waiting_[i]->line, std::move(waiting_[i]->verdict));
    waiting_.clear();
  }

  const outcome& refused() const { return refused_; }

 private:
  struct waiting_verdict {
    std::size_t line;
    message_verdict verdict;
  };

  outcome take(const po_message& message) {
    const std::string where = "line " + std::to_string(message.line) + " of '" + settings_.po + "'";
    result<entry_ref> ref = entry_of(message, where);
    if (!ref.ok()) return ref.error();
    const std::uint32_t number = ref->number;
    const bool to_write = !message.translation.empty() && (!message.fuzzy || settings_.fuzzy);
    std::optional<std::string> bytes;
    if (to_write) {
      conversion_failure failure;
      bytes = writing_.encode(message.translation, failure);
      if (!bytes)
        return refusal(conversion_message(failure, writing_.page().name,
                                          where + " (entry " + std::to_string(number) + ")",
                                          false));
      if (bytes->find('\0') != std::string::npos)
        return refusal("Cannot proceed, " + where + ": the translation holds a NUL byte.");
    }
    const message_texts texts{message.id, message.translation, message.fuzzy, message.line};
    if (ref->female) {
      waiting_[number].reset();
      female_->apply(number, message.line, female_->judge(number, texts, std::move(bytes)));
      return {};
    }
    if (female_ && !female_seen_.contains(number))
      waiting_[number] = waiting_verdict{message.line, female_->judge(number, texts, bytes)};
    male_.apply(number, message.line, male_.judge(number, texts, std::move(bytes)));
    return {};
  }

  // The entry the message names, each named once.
  result<entry_ref> entry_of(const po_message& message, const std::string& where) {
    std::optional<entry_ref> ref = entry_named(message.context);
    if (!ref)
      return refusal("Cannot proceed, " + where +
                     ": the message has no entry number as its msgctxt.");
    if (ref->female && !female_)
      return refusal("Cannot proceed, " + where + ": the message is for entry " +
                     std::to_string(ref->number) +
                     " of the female table; name that table with --female.");
    const table_import& table = ref->female ? *female_ : male_;
    std::unordered_map<std::uint32_t, std::size_t>& seen = ref->female ? female_seen_ : seen_;
    if (auto [first, fresh] = seen.emplace(ref->number, message.line); !fresh)
      return refusal("Cannot proceed, " + where + ": entry " + std::to_string(ref->number) +
                     (ref->female ? " of the female table" : "") +
                     " is translated twice (first at line " + std::to_string(first->second) + ").");
    if (!table.holds(ref->number))
      return refusal("Cannot proceed, " + where + ": entry " + std::to_string(ref->number) +
                     " is past the last entry of '" + table.name() + "' (" +
                     std::to_string(table.size()) + " entries).");
    return *ref;
  }

  const import_settings& settings_;
  table_import& male_;
  table_import* female_;
  text_converter& writing_;
  std::unordered_map<std::uint32_t, std::size_t> seen_;
  std::unordered_map<std::uint32_t, std::size_t> female_seen_;
  std::vector<std::optional<waiting_verdict>> waiting_;
  outcome refused_;
};

// A table to write, opened and locked, with the texts the messages are
// compared with when they are another table's.
struct import_table {
  table_rewrite rewrite;
  std::unique_ptr<table_records> sources;
  std::optional<table_import> import;

  std::vector<ie_res_talk_entry*>& entries() { return rewrite.table().entries(); }
  text_at texts() {
    return [this](std::size_t i) {
      const ie_res_talk_entry* entry = entries()[i];
      return entry == nullptr ? std::string_view() : text_of(*entry);
    };
  }
};

// The summary of one table's import, on standard output.
void print_counts(const table_import& table, std::string_view page, bool named) {
  const import_counts& counts = table.counts();
  std::cout << counts.imported << " strings imported"
            << (named ? " into '" + table.name() + "'" : std::string()) << " in " << page << "; "
            << counts.left() << " left as they were (" << counts.untranslated << " untranslated, "
            << counts.fuzzy << " fuzzy, " << counts.same << " already the same, " << counts.unfit
            << " not fitting their entries)." << std::endl;
}

// Where the entries that do not fit are non-ASCII texts of a table read
// in another page than the one the PO file was made from: the way to read
// the table in that page and write it in this one.
std::optional<std::string> page_advice(const table_import& table, const import_settings& settings,
                                       std::string_view read_in, std::string_view made_in) {
  if (!table.unfit_beyond_ascii() || made_in.empty() || made_in == read_in ||
      !settings.to_encoding.empty())
    return std::nullopt;
  return "its texts were read in " + std::string(read_in) +
         ", and the PO file was made from a table in " + std::string(made_in) +
         ": to write it in " + std::string(read_in) + ", import with --encoding " +
         std::string(made_in) + " --to-encoding " + std::string(read_in) + ".";
}

// Refuses a PO file that more than half of the messages it would write do
// not fit: most likely made from another table, or read in another page.
outcome refuse_unfit(const table_import& table, const import_settings& settings,
                     std::string_view read_in, std::string_view made_in) {
  const import_counts& counts = table.counts();
  if (counts.unfit_to_write * 2 <= counts.to_write) return {};
  const std::string share = std::to_string(counts.unfit_to_write) + " of " +
                            std::to_string(counts.to_write) + " messages";
  if (std::optional<std::string> advice = page_advice(table, settings, read_in, made_in))
    return refusal("Cannot proceed, " + share + " do not fit '" + table.name() + "': " + *advice);
  return refusal("Cannot proceed, '" + settings.po + "' was not made from '" + table.name() +
                 "': " + share +
                 " have another source text than their entries hold; name the table it was "
                 "made from with " +
                 (table.name() == settings.table ? "--source." : "--source-female."));
}

// The entries whose text is not their message's source, on standard error.
void warn_of_unfit(const table_import& table, const import_settings& settings,
                   std::string_view read_in, std::string_view made_in) {
  const import_counts& counts = table.counts();
  if (counts.unfit == 0) return;
  std::string named;
  for (auto [entry, line] : table.first_unfit())
    named += (named.empty() ? "" : ", ") + std::string("entry ") + std::to_string(entry) +
             " (line " + std::to_string(line) + ")";
  if (counts.unfit > table.first_unfit().size())
    named += " and " + std::to_string(counts.unfit - table.first_unfit().size()) + " more";
  flush_standard_output();
  std::cerr << "Warning: " << counts.unfit << " messages do not fit '" << table.name()
            << "', whose entries hold another text than their source: " << named << "; "
            << page_advice(table, settings, read_in, made_in)
                   .value_or(table.name() == settings.table
                                 ? "with --source, name the table the PO file was made from."
                                 : "give each its own 'N female' message, or with --source-female "
                                   "name the female table the PO file was made from.")
            << std::endl;
}

// The tables to write, checked and locked in one order (the table's lock
// first, always), with their entries loaded.
outcome open_tables(const import_settings& settings, import_table& male, import_table& female) {
  const bool two = !settings.female.empty();
  auto opening = [](outcome why, const std::string& name) {
    if (why.ok() || why.error().what != failure::kind::reported) return why;
    return outcome(refusal(damaged_message(name)));
  };
  if (outcome checked = male.rewrite.check(settings.table); !checked.ok())
    return opening(checked, settings.table);
  if (two) {
    if (same_file(settings.table, settings.female))
      return refusal("Cannot proceed, --female names the talk table '" + settings.table +
                     "' itself.");
    if (outcome checked = female.rewrite.check(settings.female); !checked.ok())
      return opening(checked, settings.female);
  }
  if (outcome opened = male.rewrite.open(); !opened.ok()) return opening(opened, settings.table);
  if (!two) return {};
  if (outcome opened = female.rewrite.open(); !opened.ok()) return opening(opened, settings.female);
  if (female.entries().size() != male.entries().size())
    return refusal(female_count_message(settings.female, female.entries().size(), settings.table,
                                        male.entries().size()));
  return {};
}

// The converter for the tables the PO file was made from, in the page it
// records (else the tables' own), with the tables read; nothing without
// --source.
result<std::optional<text_converter>> read_sources(const import_settings& settings,
                                                   const std::string& made_in,
                                                   const code_page& page, import_table& male,
                                                   import_table& female) {
  std::optional<text_converter> reading;
  if (settings.source.empty() && settings.source_female.empty()) return reading;
  result<code_page> source_page =
      made_in.empty() ? result<code_page>(page) : page_named(made_in, "lexport");
  if (!source_page.ok()) return source_page.error();
  result<text_converter> converter = converter_for(*source_page);
  if (!converter.ok()) return converter.error();
  reading.emplace(std::move(*converter));
  for (auto [table, name] :
       {std::pair{&male, &settings.source}, std::pair{&female, &settings.source_female}}) {
    if (name->empty()) continue;
    result<std::unique_ptr<table_records>> read = read_table(*name);
    if (!read.ok()) return read.error();
    table->sources = std::move(*read);
  }
  return reading;
}

// After every message: the refusals that need them all, the texts moved to
// the new page, the summary, and the save.
int finish_import(const import_settings& settings, import_table& male, import_table& female,
                  const code_page& page, const code_page& to_page, text_converter& writing,
                  const std::string& made_in) {
  const bool two = female.import.has_value();
  std::vector<table_import*> tables = {&*male.import};
  if (two) tables.push_back(&*female.import);
  for (table_import* table : tables)
    if (outcome refused = refuse_unfit(*table, settings, page.name, made_in); !refused.ok())
      return fail(refused.message());
  const bool moving = to_page.name != page.name;
  std::vector<std::size_t> moved(tables.size(), 0);
  for (std::size_t i = 0; i < tables.size() && moving; ++i) {
    result<std::size_t> changed = tables[i]->move_to_page(writing, to_page.name);
    if (!changed.ok()) return fail(changed.message());
    moved[i] = *changed;
  }
  for (std::size_t i = 0; i < tables.size(); ++i) {
    print_counts(*tables[i], to_page.name, two);
    if (moving)
      std::cout << moved[i] << " other strings of '" << tables[i]->name() << "' moved from "
                << page.name << " to " << to_page.name << "." << std::endl;
  }
  for (table_import* table : tables) warn_of_unfit(*table, settings, page.name, made_in);
  // Status 1 must mean that the tables are as they were: output that
  // failed is reported before a table is touched.
  if (!flush_standard_output()) return 1;
  const bool male_changed = male.import->changed();
  const bool female_changed = two && female.import->changed();
  if (male_changed && female_changed)
    return male.rewrite.save_with(female.rewrite, "a lexport import into") ? 0 : 1;
  if (male_changed) return male.rewrite.save() ? 0 : 1;
  if (female_changed) return female.rewrite.save() ? 0 : 1;
  return 0;
}

}  // namespace

int run_import(const import_settings& settings) {
  // Held until the tables are saved, as lexswap holds its table.
  import_table male, female;
  if (outcome opened = open_tables(settings, male, female); !opened.ok())
    return exit_with(opened.error(), message_stream::standard_error);
  const bool two = !settings.female.empty();
  po_source po;
  if (outcome opened = open_po_file(settings.po, po); !opened.ok()) return fail(opened.message());
  result<code_page> page = import_page(settings, po, male.entries().size(), male.texts());
  if (!page.ok()) return fail(page.message());
  result<text_converter> reading = converter_for(*page);
  if (!reading.ok()) return fail(reading.message());
  if (two)
    if (outcome readable = readable_texts(female.entries().size(), female.texts(), settings.female,
                                          *page, *reading);
        !readable.ok())
      return fail(readable.message());
  result<code_page> to_page = settings.to_encoding.empty()
                                  ? result<code_page>(*page)
                                  : page_named(settings.to_encoding, "lexport");
  if (!to_page.ok()) return fail(to_page.message());
  result<text_converter> writing = converter_for(*to_page);
  if (!writing.ok()) return fail(writing.message());
  const std::string made_in = po_header_field(po.header, "X-Lexport-Source-Encoding").value_or("");
  result<std::optional<text_converter>> source_reading =
      read_sources(settings, made_in, *page, male, female);
  if (!source_reading.ok()) return fail(source_reading.message());
  text_converter* sources_page = *source_reading ? &**source_reading : nullptr;

  male.import.emplace(settings.table, male.entries(), *reading, male.sources.get(), sources_page);
  if (two)
    female.import.emplace(settings.female, female.entries(), *reading, female.sources.get(),
                          sources_page);
  po_import import(settings, *male.import, two ? &*female.import : nullptr, *writing);
  if (outcome read = read_po(
          po.text, [&](po_message& message, bool header) { return import.take(message, header); });
      !read.ok())
    return fail(line_failure(read.error(), settings.po).message);
  if (!import.refused().ok()) return fail(import.refused().message());
  import.finish();
  return finish_import(settings, male, female, *page, *to_page, *writing, made_in);
}
