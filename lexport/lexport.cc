// SPDX-License-Identifier: MIT
#include "lexport/lexport.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/code_page.h"
#include "common/command.h"
#include "common/file_names.h"
#include "common/file_save.h"
#include "common/text_lines.h"
#include "common/writer_lock.h"
#include "lexport/po_file.h"
#include "lexport/table_pages.h"
#include "talk/ie_res_talk.h"

namespace {

// How much of a PO file is made before it goes to the file.
constexpr std::size_t k_block = std::size_t{1} << 20;

// The kit's messages go to standard output; lexport's go to standard error,
// after what standard output holds, since it may be the PO file.
int fail(std::string_view message) {
  if (!flush_standard_output()) return 1;
  std::cerr << message << std::endl;
  return 1;
}

// What an entry's text is to a translator: the bytes up to a NUL.
std::string_view text_of(const ie_res_talk_entry& entry) {
  std::string_view text = entry.text();
  return text.substr(0, text.find('\0'));
}

// gettext's tools keep a message's context and its text apart with byte
// 0x04 (EOT) and refuse a PO file whose strings hold it.
constexpr char k_context_separator = '\x04';

std::string separator_message(const std::string& where) {
  return "Cannot proceed, " + where +
         " holds byte 0x04, which gettext's tools refuse in a PO file.";
}

// What follows the talk table's own line when a table does not load: with
// --translation, a run reads two tables.
std::string damaged_message(const std::string& name) {
  return "Cannot proceed, file '" + name + "' could not be read as a talk table.";
}

// A talk table as export reads it: the file's bytes and a view of each
// record, so that records whose strings overlap cost no copies of them.
struct table_records {
  file_bytes file;
  std::vector<ie_res_talk::record_view> records;

  std::size_t size() const { return records.size(); }
  text_at texts() const {
    return [this](std::size_t i) { return records[i].text; };
  }
};

std::string too_large_message(const std::string& name) {
  return "Cannot proceed, file '" + name + "' holds more text than a talk table can hold (4 GiB).";
}

// A talk table read, with the kit's messages for one that cannot be.
std::unique_ptr<table_records> read_table(const std::string& name, std::string& refusal) {
  if (!file_exists(name)) {
    refusal = "Cannot read TALK V1 resource, file '" + name + "' not found.";
    return nullptr;
  }
  // Read as lexglean reads: a backup that a cut-short save left beside the
  // table is worth a warning, not a refusal.
  warn_of_cut_save(name);
  auto table = std::make_unique<table_records>();
  // The table says why on standard error, but not of which file.
  switch (ie_res_talk::read_records(name, table->file, table->records)) {
    case ie_res_talk::load_result::loaded: return table;
    case ie_res_talk::load_result::failed: refusal = damaged_message(name); break;
    case ie_res_talk::load_result::too_large_to_save: refusal = too_large_message(name); break;
  }
  return nullptr;
}

// The sound's resource name, as a comment can hold it. A backslash is
// escaped too: gettext reads one at the end of a line as joining the next
// line to the comment.
std::string sound_name(const std::uint8_t* record) {
  const std::uint8_t* sound = record + 2;
  std::string name;
  for (std::size_t i = 0; i < ie_res_talk_entry::k_sound_size && sound[i] != 0; ++i) {
    const std::uint8_t c = sound[i];
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      name += static_cast<char>(c);
    } else {
      static constexpr char k_digits[] = "0123456789ABCDEF";
      name += "\\x";
      name += k_digits[c >> 4];
      name += k_digits[c & 0xf];
    }
  }
  return name;
}

struct export_settings {
  std::string table;
  std::string output;
  std::string encoding;
  std::string translation;
  std::string translation_encoding;
  std::string language;
};

struct import_settings {
  std::string table;
  std::string po;
  std::string encoding;
  bool fuzzy = false;
};

int run_export(const export_settings& settings) {
  // A PO file written over a table it was made from (a slip in the order
  // of the arguments) would take the place of what may be the only copy.
  if (!settings.output.empty() && std::filesystem::exists(native_path(settings.output))) {
    for (const std::string* table_name : {&settings.table, &settings.translation}) {
      std::error_code ignored;
      if (!table_name->empty() && std::filesystem::equivalent(native_path(settings.output),
                                                              native_path(*table_name), ignored))
        return fail("Cannot proceed, the PO file would replace the talk table '" + *table_name +
                    "'.");
    }
  }

  std::string refusal;
  std::unique_ptr<table_records> table = read_table(settings.table, refusal);
  if (!table) return fail(refusal);
  std::unique_ptr<table_records> translation;
  if (!settings.translation.empty()) {
    translation = read_table(settings.translation, refusal);
    if (!translation) return fail(refusal);
  }
  std::optional<code_page> page =
      page_of(table->size(), table->texts(), settings.table, settings.encoding, refusal);
  if (!page) return fail(refusal);
  std::optional<text_converter> source = converter_for(*page, refusal);
  if (!source) return fail(refusal);
  std::optional<code_page> translation_page;
  std::optional<text_converter> target;
  if (translation) {
    translation_page = page_of(translation->size(), translation->texts(), settings.translation,
                               settings.translation_encoding, refusal);
    if (!translation_page) return fail(refusal);
    target = converter_for(*translation_page, refusal);
    if (!target) return fail(refusal);
  }
  // Nothing in the header changes from run to run on the same table (no
  // date), so two exports compare cleanly; and no count of messages, which
  // msgmerge would keep when it went stale.
  std::vector<std::pair<std::string, std::string>> fields = {
      {"Project-Id-Version", name_of(native_path(settings.table).filename())},
      {"Report-Msgid-Bugs-To", ""},
      {"PO-Revision-Date", ""},
      {"Last-Translator", ""},
      {"Language-Team", ""},
      {"Language", settings.language},
      {"MIME-Version", "1.0"},
      {"Content-Type", "text/plain; charset=UTF-8"},
      {"Content-Transfer-Encoding", "8bit"},
      {"X-Lexport-Source-Encoding", std::string(page->name)},
  };
  if (translation_page)
    fields.emplace_back("X-Lexport-Translation-Encoding", std::string(translation_page->name));
  // A PO file goes out in blocks, through a save that puts it in place only
  // once it is whole; standard output gets it only once it is whole too.
  std::optional<file_save> file;
  if (!settings.output.empty()) {
    file_save::options options;
    options.write_special_files = true;
    file.emplace(settings.output, options);
    if (!file->open())
      return fail("Cannot write PO file, file '" + settings.output +
                  "' couldn't be opened for writing.");
  }
  std::string po;
  append_po_string(po, "msgid", "");
  append_po_string(po, "msgstr", po_header_text(fields));

  const std::vector<ie_res_talk::record_view>& records = table->records;
  conversion_failure failure;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].text.empty()) continue;
    std::optional<std::string> id = source->decode(records[i].text, failure);
    if (!id)
      return fail(conversion_message(failure, page->name, entry_where(i, settings.table), true));
    if (id->find(k_context_separator) != std::string::npos)
      return fail(separator_message(entry_where(i, settings.table)));
    std::string translated;
    if (translation && i < translation->size()) {
      std::optional<std::string> text = target->decode(translation->records[i].text, failure);
      if (!text)
        return fail(conversion_message(failure, translation_page->name,
                                       entry_where(i, settings.translation), true));
      if (text->find(k_context_separator) != std::string::npos)
        return fail(separator_message(entry_where(i, settings.translation)));
      translated = std::move(*text);
    }
    po += '\n';
    if (std::string sound = sound_name(records[i].record); !sound.empty())
      po += "#. sound: " + sound + "\n";
    append_po_string(po, "msgctxt", std::to_string(i));
    append_po_string(po, "msgid", *id);
    append_po_string(po, "msgstr", translated);
    if (file && po.size() >= k_block) {
      file->write(po);
      po.clear();
    }
  }

  if (!file) {
    std::cout << po;
    return flush_standard_output() ? 0 : 1;
  }
  file->write(po);
  if (!file->commit())
    return fail("Cannot write PO file, file '" + settings.output + "' couldn't be written.");
  return 0;
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

// "line 12: why" of the PO reader, as the message that names the file.
std::string line_message(const std::string& why, const std::string& name) {
  const std::size_t colon = why.find(':');
  return "Cannot proceed, " + why.substr(0, colon) + " of '" + name + "':" + why.substr(colon + 1);
}

// A PO file read whole, as UTF-8 whatever its header's charset, and its
// header; the messages are read from `text` one at a time.
struct po_source {
  list_file list;
  std::string converted;
  std::string_view text;
  std::string header;
};

// Reads the PO file `name` and its header; the message that refuses it, if
// any.
std::optional<std::string> open_po_file(const std::string& name, po_source& po) {
  if (std::optional<std::string> refusal =
          read_list(name, po.list, "Cannot read PO file, file '" + name + "' not found."))
    return refusal;
  po.text = po.list.text;
  // The header comes first: its charset says how to read the rest.
  if (std::optional<std::string> why = read_po(po.text, [&](po_message& message, bool header) {
        if (header) po.header = std::move(message.translation);
        return false;
      }))
    return line_message(*why, name);
  std::string charset = po_header_field(po.header, "charset").value_or("UTF-8");
  // A fresh template's placeholder stands for UTF-8 in gettext's tools too.
  if (charset == "CHARSET") charset = "UTF-8";
  std::optional<code_page> page = find_code_page(charset);
  if (!page)
    return "Cannot proceed, file '" + name + "' is in " + charset +
           ", which lexport does not read; convert it to UTF-8 with msgconv.";
  // The line that holds byte `offset` of the file.
  auto line_of = [&po](std::size_t offset) {
    return std::to_string(1 + std::count(po.text.begin(),
                                         po.text.begin() + static_cast<std::ptrdiff_t>(offset),
                                         '\n'));
  };
  if (page->name == "utf-8") {
    if (std::optional<std::size_t> bad = first_non_utf8(po.text))
      return "Cannot proceed, line " + line_of(*bad) + " of '" + name +
             "': not UTF-8 text, though the file says it is.";
    return std::nullopt;
  }
  std::optional<text_converter> converter = text_converter::open(*page);
  if (!converter)
    return "Cannot proceed, this system cannot convert " + std::string(page->name) + ".";
  conversion_failure failure;
  std::optional<std::string> utf8 = converter->decode(po.text, failure);
  if (!utf8)
    return "Cannot proceed, line " + line_of(failure.offset) + " of '" + name + "': not " +
           std::string(page->name) + " text, though the file says it is.";
  po.converted = std::move(*utf8);
  po.list = {};
  po.text = po.converted;
  return std::nullopt;
}

// What an import did with the messages.
struct import_counts {
  std::size_t imported = 0;
  std::size_t untranslated = 0;
  std::size_t fuzzy = 0;
  std::size_t same = 0;
};

int run_import(const import_settings& settings) {
  std::string refusal;
  // Asked before anything opens the table: opening a FIFO would wait for
  // a writer.
  if (is_special_file(settings.table)) return fail(ie_res_talk::k_cannot_write);
  if (!file_exists(settings.table))
    return fail("Cannot read TALK V1 resource, file '" + settings.table + "' not found.");
  // Held until the table is saved, as lexswap holds it.
  writer_lock lock;
  if (std::optional<std::string> refusal_of_lock = start_writing(settings.table, lock))
    return fail(*refusal_of_lock);
  auto table = std::make_unique<ie_res_talk>();
  switch (table->load_to_save(settings.table)) {
    case ie_res_talk::load_result::loaded: break;
    case ie_res_talk::load_result::failed: return fail(damaged_message(settings.table));
    case ie_res_talk::load_result::too_large_to_save:
      return fail(too_large_message(settings.table));
  }
  const std::size_t count = table->entries().size();
  const text_at texts = [&table](std::size_t i) {
    const ie_res_talk_entry* entry = table->entries()[i];
    return entry == nullptr ? std::string_view() : text_of(*entry);
  };
  po_source po;
  if (std::optional<std::string> why = open_po_file(settings.po, po)) return fail(*why);

  // The code page the PO file records stands in for --encoding, but never
  // outranks the table's own bytes: a table that does not read in it is
  // refused as it would be without that header.
  std::string named = settings.encoding;
  const std::string recorded =
      po_header_field(po.header, "X-Lexport-Translation-Encoding").value_or("");
  const bool from_header = named.empty() && !recorded.empty();
  if (named.empty()) named = recorded;
  std::optional<code_page> page = page_of(count, texts, settings.table, named, refusal);
  if (!page) return fail(refusal);
  if (from_header && page->name == "utf-8" && !page_of(count, texts, settings.table, "", refusal))
    return fail(refusal);
  std::optional<text_converter> converter = converter_for(*page, refusal);
  if (!converter) return fail(refusal);
  // A UTF-8 table was checked above, in export's words.
  if (from_header && page->name != "utf-8")
    if (std::optional<std::string> why =
            unreadable_text(count, texts, settings.table, *page, *converter))
      return fail(*why);

  std::vector<ie_res_talk_entry*>& entries = table->entries();
  std::unordered_map<std::uint32_t, std::size_t> seen;
  import_counts counts;
  conversion_failure failure;
  // The refusal of a message, which ends the reading.
  std::string refused;
  auto take = [&](po_message& message, bool header) {
    if (header) return true;
    const std::string where = "line " + std::to_string(message.line) + " of '" + settings.po + "'";
    std::optional<std::uint32_t> number = entry_number(message.context);
    if (!number) {
      refused = "Cannot proceed, " + where + ": the message has no entry number as its msgctxt.";
      return false;
    }
    if (auto [first, fresh] = seen.emplace(*number, message.line); !fresh) {
      refused = "Cannot proceed, " + where + ": entry " + std::to_string(*number) +
                " is translated twice (first at line " + std::to_string(first->second) + ").";
      return false;
    }
    if (*number >= entries.size() || entries[*number] == nullptr) {
      refused = "Cannot proceed, " + where + ": entry " + std::to_string(*number) +
                " is past the last entry of '" + settings.table + "' (" +
                std::to_string(entries.size()) + " entries).";
      return false;
    }
    if (message.translation.empty()) {
      ++counts.untranslated;
      return true;
    }
    if (message.fuzzy && !settings.fuzzy) {
      ++counts.fuzzy;
      return true;
    }
    ie_res_talk_entry& entry = *entries[*number];
    // Decoding and encoding again is not always the identity (two codes for
    // one character): a text that reads as the translation stays as it is.
    if (std::optional<std::string> current = converter->decode(text_of(entry), failure);
        current && *current == message.translation) {
      ++counts.same;
      return true;
    }
    std::optional<std::string> bytes = converter->encode(message.translation, failure);
    if (!bytes) {
      refused = conversion_message(failure, page->name,
                                   where + " (entry " + std::to_string(*number) + ")", false);
      return false;
    }
    if (bytes->find('\0') != std::string::npos) {
      refused = "Cannot proceed, " + where + ": the translation holds a NUL byte.";
      return false;
    }
    entry.set_text(*bytes);
    ++counts.imported;
    return true;
  };
  if (std::optional<std::string> why = read_po(po.text, take))
    return fail(line_message(*why, settings.po));
  if (!refused.empty()) return fail(refused);
  std::cout << counts.imported << " strings imported; "
            << counts.untranslated + counts.fuzzy + counts.same << " left as they were ("
            << counts.untranslated << " untranslated, " << counts.fuzzy << " fuzzy, " << counts.same
            << " already the same)." << std::endl;
  // Status 1 must mean that the table is as it was: output that failed is
  // reported before the table is touched.
  if (!flush_standard_output()) return 1;
  if (counts.imported == 0) return 0;
  return table->save(settings.table) ? 0 : 1;
}

}  // namespace

int run_lexport(int argc, char** argv) {
  CLI::App app("Carries a talk table's texts to a gettext PO file and back.", "lexport");
  app.set_version_flag("--version", "lexport " + std::string(kit_version()));
  app.require_subcommand(1);
  // CLI11 would take "/o" for an option on Windows, and so a file name
  // such as /tmp/dialog.tlk (under wine, or an MSYS shell) too.
  app.allow_windows_style_options(false);

  export_settings out;
  CLI::App* exporting =
      app.add_subcommand("export", "Write every text of a talk table to a PO file.");
  exporting->add_option("table", out.table, "The talk table (dialog.tlk)")->required();
  exporting->add_option("-o,--output", out.output,
                        "The PO file to write (standard output if none)");
  exporting->add_option("--encoding", out.encoding, "The table's code page (cp1252, ...)");
  exporting->add_option("--translation", out.translation,
                        "A translated table whose texts fill the msgstr fields");
  exporting->add_option("--translation-encoding", out.translation_encoding,
                        "The translated table's code page");
  exporting->add_option("--language", out.language, "The Language field of the header (ru, ...)");

  import_settings in;
  CLI::App* importing =
      app.add_subcommand("import", "Write the translations of a PO file into a talk table.");
  importing->add_option("table", in.table, "The talk table to change (saved over itself)")
      ->required();
  importing->add_option("po", in.po, "The translated PO file")->required();
  importing->add_option("--encoding", in.encoding, "The table's code page (cp1252, ...)");
  importing->add_flag("--fuzzy", in.fuzzy, "Import fuzzy translations too");

  // Alone, as the kit's other programs do, it says how it is used.
  if (argc <= 1) {
    std::cout << app.help();
    return 0;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    std::ostringstream help;
    std::ostringstream problem;
    const int code = app.exit(error, help, problem);
    std::cout << help.str();
    if (!problem.str().empty())
      return fail(problem.str().substr(0, problem.str().find_last_not_of('\n') + 1));
    return code == 0 ? 0 : 1;
  }
  if (exporting->parsed()) return run_export(out);
  return run_import(in);
}
