// SPDX-License-Identifier: MIT
#include "lexport/lexport.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "common/code_page.h"
#include "common/command.h"
#include "common/file_names.h"
#include "common/file_save.h"
#include "common/text_lines.h"
#include "common/writer_lock.h"
#include "lexport/po_file.h"
#include "lexport/po_import.h"
#include "lexport/table_pages.h"
#include "talk/ie_res_talk.h"
#include "talk/table_rewrite.h"

namespace {

// How much of a PO file is made before it goes to the file.
constexpr std::size_t k_block = std::size_t{1} << 20;

// gettext's tools keep a message's context and its text apart with byte
// 0x04 (EOT) and refuse a PO file whose strings hold it.
constexpr char k_context_separator = '\x04';

std::string separator_message(const std::string& where) {
  return "Cannot proceed, " + where +
         " holds byte 0x04, which gettext's tools refuse in a PO file.";
}

// The sound's resource name, as a comment can hold it. A backslash is
// escaped too: gettext reads one at the end of a line as joining the next
// line to the comment.
std::string sound_name(tlk_v1::record_ref record) {
  const std::uint8_t* sound = record.sound();
  std::string name;
  for (std::size_t i = 0; i < tlk_v1::k_sound_size && sound[i] != 0; ++i) {
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
  std::string female;
  std::string translation_female;
  std::string language;
  std::string bugs_address;
};

// A table that export reads, with its code page and a converter from it.
struct paged_table {
  std::unique_ptr<table_records> table;
  code_page page;
  text_converter converter;

  // The text of record `i` in UTF-8, checked for what a PO file cannot hold.
  outcome text(std::size_t i, std::string& utf8) {
    conversion_failure failure;
    std::optional<std::string> text = converter.decode(table->records[i].text, failure);
    if (!text)
      return refusal(conversion_message(failure, page.name, entry_where(i, table->name), true));
    if (text->find(k_context_separator) != std::string::npos)
      return refusal(separator_message(entry_where(i, table->name)));
    utf8 = std::move(*text);
    return {};
  }
};

// A PO file written over a table it was made from (a slip in the order of
// the arguments) would take the place of what may be the only copy.
outcome refuse_output_over_tables(const export_settings& settings) {
  if (settings.output.empty() || !std::filesystem::exists(native_path(settings.output))) return {};
  for (const std::string* table_name :
       {&settings.table, &settings.translation, &settings.female, &settings.translation_female}) {
    if (!table_name->empty() && same_file(settings.output, *table_name))
      return refusal("Cannot proceed, the PO file would replace the talk table '" + *table_name +
                     "'.");
  }
  return {};
}

// The header's dates. A fixed one, so that two exports of the same table
// compare cleanly (gettext's readers, Babel among them, refuse an empty
// date): the day lexport's PO files took their present form.
constexpr const char* k_header_date = "2026-01-01 00:00+0000";

// A Language field that translators' tools read: gettext's form of a
// locale name, such as ru, pt_BR or sr@latin.
outcome refuse_language(const std::string& language) {
  auto letters = [&](std::size_t& at, bool (*is)(char), std::size_t least, std::size_t most) {
    std::size_t start = at;
    while (at < language.size() && at - start < most && is(language[at])) ++at;
    return at - start >= least;
  };
  auto lower = [](char c) { return c >= 'a' && c <= 'z'; };
  auto upper = [](char c) { return c >= 'A' && c <= 'Z'; };
  auto modifier = [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); };
  std::size_t at = 0;
  bool valid = letters(at, lower, 2, 3);
  if (valid && at < language.size() && language[at] == '_') valid = letters(++at, upper, 2, 2);
  if (valid && at < language.size() && language[at] == '@') valid = letters(++at, modifier, 1, 16);
  if (language.empty() || (valid && at == language.size())) return {};
  return refusal("Cannot proceed, '" + language +
                 "' is not a language code of gettext's form (ru, pt_BR, sr@latin).");
}

// The PO file's header entry. The fields a translator's tool fills in
// (msginit, Poedit) are empty, as msgfmt --check wants of a translation,
// or in a template (a .pot file) hold gettext's placeholders, as xgettext
// writes them. No count of messages, which msgmerge would keep when it went
// stale.
std::string header_entry(const export_settings& settings, const paged_table& source,
                         const paged_table* translation) {
  const std::string& output = settings.output;
  const bool a_template = output.size() > 4 && output.compare(output.size() - 4, 4, ".pot") == 0;
  std::vector<std::pair<std::string, std::string>> fields = {
      {"Project-Id-Version", name_of(native_path(settings.table).filename())},
      {"Report-Msgid-Bugs-To", settings.bugs_address},
      {"POT-Creation-Date", k_header_date},
      {"PO-Revision-Date", k_header_date},
      {"Last-Translator", a_template ? "FULL NAME <EMAIL@ADDRESS>" : ""},
      {"Language-Team", a_template ? "LANGUAGE <LL@li.org>" : ""},
  };
  // An empty Language is no language to Babel: it is left out instead.
  if (!settings.language.empty()) fields.emplace_back("Language", settings.language);
  fields.insert(fields.end(), {{"MIME-Version", "1.0"},
                               {"Content-Type", "text/plain; charset=UTF-8"},
                               {"Content-Transfer-Encoding", "8bit"},
                               {"X-Lexport-Source-Encoding", std::string(source.page.name)}});
  if (translation)
    fields.emplace_back("X-Lexport-Translation-Encoding", std::string(translation->page.name));
  std::string po;
  append_po_string(po, "msgid", "");
  append_po_string(po, "msgstr", po_header_text(fields));
  return po;
}

// Where the PO file goes: in blocks, through a save that puts it in place
// only once it is whole; or to standard output, once it is whole too.
class po_output {
 public:
  explicit po_output(const std::string& name) : name_(name) {}

  outcome open() {
    if (name_.empty()) return {};
    file_save::options options;
    options.write_special_files = true;
    file_.emplace(name_, options);
    if (!file_->open())
      return refusal("Cannot write PO file, file '" + name_ + "' couldn't be opened for writing.");
    return {};
  }

  std::string& text() { return text_; }

  // Sends out what is made so far, once it is a block's worth.
  void pass_on() {
    if (!file_ || text_.size() < k_block) return;
    file_->write(text_);
    text_.clear();
  }

  outcome finish() {
    if (!file_) {
      std::cout << text_;
      return flush_standard_output() ? outcome() : failure{failure::kind::reported, {}};
    }
    file_->write(text_);
    if (!file_->commit())
      return refusal("Cannot write PO file, file '" + name_ + "' couldn't be written.");
    return {};
  }

 private:
  std::string name_;
  std::optional<file_save> file_;
  std::string text_;
};

// The tables an export reads: the table, and where they are named, the
// female table, and the translated ones of each.
struct export_tables {
  std::unique_ptr<paged_table> source, translation, female, translation_female;
};

// One message for a text of entry `i` of `source`, with the same entry's
// text of `translation` (where there is one) as its translation.
outcome write_message(std::size_t i, const std::string& context, paged_table& source,
                      paged_table* translation, const std::string& id, po_output& po) {
  std::string translated;
  if (translation && i < translation->table->size())
    if (outcome read = translation->text(i, translated); !read.ok()) return read;
  // A text still the same as its source is a string left to translate,
  // and translators' tools count it as one only where msgstr is empty.
  if (translated == id) translated.clear();
  std::string& out = po.text();
  out += '\n';
  if (std::string sound = sound_name(source.table->records[i].record); !sound.empty())
    out += "#. sound: " + sound + "\n";
  append_po_string(out, "msgctxt", context);
  append_po_string(out, "msgid", id);
  append_po_string(out, "msgstr", translated);
  po.pass_on();
  return {};
}

// One message for each entry with a text, its number as the context; and
// right after it, one for the female text where it is another ("N female").
outcome write_messages(export_tables& tables, po_output& po) {
  const std::size_t count = tables.source->table->size();
  std::string id, female_id;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    if (outcome read = tables.source->text(i, id); !read.ok()) return read;
    if (!id.empty())
      if (outcome written =
              write_message(i, number, *tables.source, tables.translation.get(), id, po);
          !written.ok())
        return written;
    if (!tables.female) continue;
    if (outcome read = tables.female->text(i, female_id); !read.ok()) return read;
    // An empty female text has no message, as an empty text has none.
    if (female_id == id || female_id.empty()) continue;
    if (outcome written = write_message(i, number + " female", *tables.female,
                                        tables.translation_female.get(), female_id, po);
        !written.ok())
      return written;
  }
  return {};
}

// Each table's page is settled after every table is read, as their
// messages have always come.
result<std::unique_ptr<paged_table>> paged(std::unique_ptr<table_records> table,
                                           const std::string& encoding) {
  result<code_page> page = page_of(table->size(), table->texts(), table->name, encoding);
  if (!page.ok()) return page.error();
  result<text_converter> converter = converter_for(*page);
  if (!converter.ok()) return converter.error();
  return std::make_unique<paged_table>(paged_table{std::move(table), *page, std::move(*converter)});
}

result<export_tables> read_tables(const export_settings& settings) {
  const struct {
    const std::string& name;
    const std::string& encoding;
    std::unique_ptr<paged_table> export_tables::*slot;
  } named[] = {
      {settings.table, settings.encoding, &export_tables::source},
      {settings.translation, settings.translation_encoding, &export_tables::translation},
      {settings.female, settings.encoding, &export_tables::female},
      {settings.translation_female, settings.translation_encoding,
       &export_tables::translation_female},
  };
  std::vector<std::unique_ptr<table_records>> read;
  for (const auto& one : named) {
    if (one.name.empty()) {
      read.emplace_back();
      continue;
    }
    result<std::unique_ptr<table_records>> table = read_table(one.name);
    if (!table.ok()) return table.error();
    read.push_back(std::move(*table));
  }
  if (read[2] && read[2]->size() != read[0]->size())
    return refusal(female_count_message(*read[2], *read[0]));
  export_tables tables;
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (!read[i]) continue;
    result<std::unique_ptr<paged_table>> table = paged(std::move(read[i]), named[i].encoding);
    if (!table.ok()) return table.error();
    tables.*named[i].slot = std::move(*table);
  }
  return tables;
}

int run_export(const export_settings& settings) {
  if (outcome refused = refuse_language(settings.language); !refused.ok())
    return fail(refused.message());
  if (outcome refused = refuse_output_over_tables(settings); !refused.ok())
    return fail(refused.message());
  result<export_tables> tables = read_tables(settings);
  if (!tables.ok()) return fail(tables.message());
  po_output po(settings.output);
  if (outcome opened = po.open(); !opened.ok()) return fail(opened.message());
  po.text() = header_entry(settings, *tables->source, tables->translation.get());
  if (outcome written = write_messages(*tables, po); !written.ok()) return fail(written.message());
  outcome finished = po.finish();
  if (finished.ok()) return 0;
  return finished.error().what == failure::kind::reported ? 1 : fail(finished.message());
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
  CLI::Option* female =
      exporting->add_option("--female", out.female,
                            "The female table beside it (dialogf.tlk), whose other texts become "
                            "messages of their own");
  exporting
      ->add_option("--translation-female", out.translation_female,
                   "The translated female table, in the translated table's code page")
      ->needs(female);
  exporting->add_option("--language", out.language, "The Language field of the header (ru, ...)");
  exporting->add_option("--msgid-bugs-address", out.bugs_address,
                        "Where to report faults in the source texts (Report-Msgid-Bugs-To)");

  import_settings in;
  CLI::App* importing =
      app.add_subcommand("import", "Write the translations of a PO file into a talk table.");
  importing->add_option("table", in.table, "The talk table to change (saved over itself)")
      ->required();
  importing->add_option("po", in.po, "The translated PO file")->required();
  importing->add_option("--encoding", in.encoding, "The table's code page (cp1252, ...)");
  importing->add_option("--to-encoding", in.to_encoding,
                        "The code page to write the table in, every text of it (cp1251, ...)");
  CLI::Option* importing_female = importing->add_option(
      "--female", in.female, "The female table beside it (dialogf.tlk), written with it");
  importing->add_option("--source", in.source,
                        "The table the PO file was made from, where the table does not hold "
                        "its source texts");
  importing
      ->add_option("--source-female", in.source_female,
                   "The female table the PO file was made from")
      ->needs(importing_female);
  importing->add_flag("--fuzzy", in.fuzzy, "Import fuzzy translations too");

  // Alone, as the kit's other programs do, it says how it is used.
  if (argc <= 1) {
    std::cout << app.help();
    return 0;
  }
  // A word in the subcommand's place that is none (a slip of the keys, or a
  // file name first) is named, with the two there are.
  if (const std::string_view first = argv[1];
      !first.empty() && first[0] != '-' && first != "export" && first != "import")
    return fail("Cannot proceed, '" + std::string(first) +
                "' is not a subcommand of lexport; it has export and import.");
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
