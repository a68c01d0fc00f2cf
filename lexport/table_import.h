// SPDX-License-Identifier: MIT
// One talk table as `lexport import` writes it (the table, or the female
// table beside it): which messages fit its entries, what each does to
// them, what it counts, and its texts moved to another code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/code_page.h"
#include "common/outcome.h"
#include "lexport/table_pages.h"
#include "talk/ie_res_talk.h"

// What an entry's text is to a translator: the bytes up to a NUL.
std::string_view text_of(const ie_res_talk_entry& entry);

// What an import did with the messages that reached one table.
struct import_counts {
  std::size_t imported = 0;
  std::size_t untranslated = 0;
  std::size_t fuzzy = 0;
  std::size_t same = 0;
  // Messages whose source text is not what the entry holds (nor their
  // translation): left out, or, untranslated or fuzzy, counted here only.
  std::size_t unfit = 0;
  // Of the messages the import would write, how many; and how many of
  // them do not fit.
  std::size_t to_write = 0;
  std::size_t unfit_to_write = 0;

  std::size_t left() const { return untranslated + fuzzy + same + unfit; }
};

// What a message is to the entry it names: untranslated messages and fuzzy
// ones left out write nothing; a translation that fits is written unless
// the entry already holds it.
struct message_verdict {
  enum class kind { write, same, untranslated, fuzzy, unfit } what = kind::untranslated;
  // The translation in the table's code page, for `write`.
  std::string bytes;
  // Whether the import would have written it, had it fit.
  bool translated = false;
};

// A message as the table's side sees it: its source and its translation,
// both UTF-8; the translation empty where it is left out.
struct message_texts {
  std::string_view id;
  std::string_view translation;
  bool fuzzy = false;
  std::size_t line = 0;
};

class table_import {
 public:
  // `entries` are the table's, loaded to be saved; `page` is the code page
  // its texts are in. `sources`, when given, holds the texts the messages
  // were made from (another table, in `source_page`), else the entries'
  // own texts are.
  table_import(std::string name, std::vector<ie_res_talk_entry*>& entries, text_converter& page,
               const table_records* sources, text_converter* source_page);

  const std::string& name() const { return name_; }
  std::size_t size() const { return entries_.size(); }
  // Whether entry `number` is one to translate.
  bool holds(std::uint32_t number) const {
    return number < entries_.size() && entries_[number] != nullptr;
  }

  // What `message` does to entry `number`. `bytes` is the translation in
  // the page the table is written in, where the message is one to write.
  message_verdict judge(std::uint32_t number, const message_texts& message,
                        std::optional<std::string> bytes);
  // Counts the verdict and, for `write`, writes the entry.
  void apply(std::uint32_t number, std::size_t line, message_verdict verdict);

  // After every message: converts each text not written from the page the
  // table was read in to `to`, refusing the first that `to` cannot hold.
  // Returns how many texts changed.
  result<std::size_t> move_to_page(text_converter& to, std::string_view to_name);

  const import_counts& counts() const { return counts_; }
  // The first entries whose text did not fit, with the line of their
  // message.
  const std::vector<std::pair<std::uint32_t, std::size_t>>& first_unfit() const {
    return first_unfit_;
  }
  // Whether any of the entries that did not fit holds a non-ASCII text,
  // which reads as another text in another code page.
  bool unfit_beyond_ascii() const { return unfit_beyond_ascii_; }
  bool changed() const { return counts_.imported > 0 || moved_ > 0; }

 private:
  std::optional<std::string> source_text(std::uint32_t number);

  std::string name_;
  std::vector<ie_res_talk_entry*>& entries_;
  text_converter& page_;
  const table_records* sources_;
  text_converter* source_page_;
  import_counts counts_;
  std::vector<std::pair<std::uint32_t, std::size_t>> first_unfit_;
  bool unfit_beyond_ascii_ = false;
  std::vector<bool> written_;
  std::size_t moved_ = 0;
};
