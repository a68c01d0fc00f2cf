// SPDX-License-Identifier: MIT
// Which code page a talk table's texts are in, and lexport's messages for a
// text that does not convert: shared by export and import, which see a
// table's texts in different forms (views into the file's bytes, entries).
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/code_page.h"

// "entry 12 of 'dialog.tlk'": entries count from 0, as the PO file's
// contexts do.
std::string entry_where(std::size_t entry, const std::string& table_name);

// The page called `name`, or nothing with `refusal` listing the pages there
// are.
std::optional<code_page> page_named(const std::string& name, std::string& refusal);

// The text of entry `index` as a translator sees it: the bytes up to a NUL.
using text_at = std::function<std::string_view(std::size_t index)>;

// The table's code page: the one `named`, else UTF-8 where every one of its
// `count` texts is UTF-8; never a guess.
std::optional<code_page> page_of(std::size_t count, const text_at& texts,
                                 const std::string& table_name, const std::string& named,
                                 std::string& refusal);

std::optional<text_converter> converter_for(const code_page& page, std::string& refusal);

// Why a text does not convert: in decoding, bytes that are no text of the
// page; in encoding, a character the page cannot hold.
std::string conversion_message(const conversion_failure& failure, std::string_view page_name,
                               const std::string& where, bool decoding);

// The refusal of the first of the `count` texts that is no text of `page`,
// if any.
std::optional<std::string> unreadable_text(std::size_t count, const text_at& texts,
                                           const std::string& table_name, const code_page& page,
                                           text_converter& converter);
