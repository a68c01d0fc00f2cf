// SPDX-License-Identifier: MIT
#include "lexport/table_import.h"

#include <utility>

namespace {

// How many of the entries that do not fit a run names.
constexpr std::size_t k_named_unfit = 5;

}  // namespace

std::string_view text_of(const ie_res_talk_entry& entry) {
  std::string_view text = entry.text();
  return text.substr(0, text.find('\0'));
}

table_import::table_import(std::string name, std::vector<ie_res_talk_entry*>& entries,
                           text_converter& page, const table_records* sources,
                           text_converter* source_page)
    : name_(std::move(name)),
      entries_(entries),
      page_(page),
      sources_(sources),
      source_page_(source_page),
      written_(entries.size(), false) {}

std::optional<std::string> table_import::source_text(std::uint32_t number) {
  if (number >= sources_->size()) return std::nullopt;
  conversion_failure failure;
  return source_page_->decode(sources_->records[number].text, failure);
}

message_verdict table_import::judge(std::uint32_t number, const message_texts& message,
                                    std::optional<std::string> bytes) {
  using kind = message_verdict::kind;
  message_verdict verdict;
  verdict.translated = bytes.has_value();
  conversion_failure failure;
  // A text that does not read in the page fits no message.
  const std::optional<std::string> current = page_.decode(text_of(*entries_[number]), failure);
  const bool holds_translation =
      current && !message.translation.empty() && *current == message.translation;
  const std::optional<std::string> source = sources_ ? source_text(number) : current;
  if (!holds_translation && (!source || *source != message.id)) {
    verdict.what = kind::unfit;
  } else if (holds_translation && verdict.translated) {
    // Decoding and encoding again is not always the identity (two codes
    // for one character): a text that reads as the translation stays.
    verdict.what = kind::same;
  } else if (verdict.translated) {
    verdict.what = kind::write;
    verdict.bytes = std::move(*bytes);
  } else {
    verdict.what = message.translation.empty() ? kind::untranslated : kind::fuzzy;
  }
  return verdict;
}

void table_import::apply(std::uint32_t number, std::size_t line, message_verdict verdict) {
  using kind = message_verdict::kind;
  counts_.to_write += verdict.translated;
  switch (verdict.what) {
    case kind::write:
      entries_[number]->set_text(verdict.bytes);
      written_[number] = true;
      ++counts_.imported;
      break;
    case kind::same: ++counts_.same; break;
    case kind::untranslated: ++counts_.untranslated; break;
    case kind::fuzzy: ++counts_.fuzzy; break;
    case kind::unfit:
      ++counts_.unfit;
      counts_.unfit_to_write += verdict.translated;
      if (first_unfit_.size() < k_named_unfit) first_unfit_.emplace_back(number, line);
      if (!is_ascii(text_of(*entries_[number]))) unfit_beyond_ascii_ = true;
      break;
  }
}

result<std::size_t> table_import::move_to_page(text_converter& to, std::string_view to_name) {
  conversion_failure failure;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    ie_res_talk_entry* entry = entries_[i];
    // The pages the kit converts agree on ASCII.
    if (entry == nullptr || written_[i] || is_ascii(entry->text())) continue;
    std::optional<std::string> text = page_.decode(entry->text(), failure);
    if (!text)
      return refusal(conversion_message(failure, page_.page().name, entry_where(i, name_), true));
    std::optional<std::string> bytes = to.encode(*text, failure);
    if (!bytes)
      return refusal("Cannot proceed, " + entry_where(i, name_) + " holds " +
                     character_name(failure.character.value_or(0xfffd)) + ", which " +
                     std::string(to_name) +
                     " cannot hold; translate the entry, or import without --to-encoding.");
    if (*bytes != entry->text()) {
      entry->set_text(*bytes);
      ++moved_;
    }
  }
  return moved_;
}
