// SPDX-License-Identifier: MIT
// Which code page a talk table's texts are in, and lexport's messages: how
// it reports a failure, and what it says of a text that does not convert: shared by export and
// import, which see a table's texts in different forms (views into the file's bytes, entries).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/code_page.h"
#include "common/outcome.h"
#include "talk/ie_res_talk.h"

// Reports `message` on standard error, after what standard output holds
// (it may be the PO file itself), and returns status 1: the kit's other
// programs write their messages to standard output.
int fail(std::string_view message);

// What follows the talk table's own line when a table does not load: with
// --translation, a run reads two tables.
std::string damaged_message(const std::string& name);

// "entry 12 of 'dialog.tlk'": entries count from 0, as the PO file's
// contexts do.
std::string entry_where(std::size_t entry, const std::string& table_name);

// The text of entry `index` as a translator sees it: the bytes up to a NUL.
using text_at = std::function<std::string_view(std::size_t index)>;

// Whether the names lead to one file (a link, another spelling of a path).
bool same_file(const std::string& one, const std::string& other);

// A talk table only read (by export, or as the source of an import): the
// file's bytes and a view of each record, so that records whose strings
// overlap cost no copies of them.
struct table_records {
  std::string name;
  file_bytes file;
  std::vector<ie_res_talk::record_view> records;

  std::size_t size() const { return records.size(); }
  text_at texts() const {
    return [this](std::size_t i) { return records[i].text; };
  }
};

// A talk table read, with the kit's messages for one that cannot be.
result<std::unique_ptr<table_records>> read_table(const std::string& name);

// The refusal of a female table whose entries are not as many as the
// table's.
std::string female_count_message(const table_records& female, const table_records& male);
std::string female_count_message(const std::string& female, std::size_t female_count,
                                 const std::string& male, std::size_t male_count);

// The table's code page: the one `named`, else UTF-8 where every one of its
// `count` texts is UTF-8; never a guess.
result<code_page> page_of(std::size_t count, const text_at& texts, const std::string& table_name,
                          const std::string& named);

// Why a text does not convert: in decoding, bytes that are no text of the
// page; in encoding, a character the page cannot hold.
std::string conversion_message(const conversion_failure& failure, std::string_view page_name,
                               const std::string& where, bool decoding);

// Refuses the first of the `count` texts that is no text of `page`.
outcome readable_texts(std::size_t count, const text_at& texts, const std::string& table_name,
                       const code_page& page, text_converter& converter);
