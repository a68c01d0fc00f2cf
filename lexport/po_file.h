// SPDX-License-Identifier: MIT
// GNU gettext PO files as lexport writes and reads them: one message per
// entry of a talk table, its number as the message's context.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/outcome.h"

// Appends `keyword` and `text` as GNU gettext writes them unwrapped
// (`msgcat --no-wrap`): gettext's escapes, and a string that holds a line
// feed before its end split into one quoted line after each line feed,
// under an empty first one.
void append_po_string(std::string& out, std::string_view keyword, std::string_view text);

// The header entry's text: the fields in order, each "Name: value\n".
std::string po_header_text(const std::vector<std::pair<std::string, std::string>>& fields);

// One message of a PO file.
struct po_message {
  // The line of its first keyword, for messages.
  std::size_t line = 0;
  std::optional<std::string> context;
  std::string id;
  std::string translation;
  bool fuzzy = false;
};

// A PO file read: its header entry's text, and its messages in file order
// (obsolete ones left out).
struct po_file {
  std::string header;
  std::vector<po_message> messages;
};

// The value of header field `name` ("charset" is read from Content-Type);
// nothing where the header lacks it.
std::optional<std::string> po_header_field(std::string_view header, std::string_view name);

// Reads the text of a PO file (UTF-8, without its byte-order mark), handing
// each message in file order to `visit`, with `header` true for the header
// entry (the first message without a context whose msgid is empty); `visit`
// returns false to stop. Refuses a file it cannot read with the reason and
// the line it is about. Takes what translators' tools
// write: comments of every kind, wrapped strings, CR LF line ends, obsolete
// messages (dropped); refuses plural forms, bad escapes, unterminated
// strings and lines it cannot read. One message at a time, so that a file
// of a hundred thousand messages is never held twice.
outcome read_po(std::string_view text, const std::function<bool(po_message&, bool header)>& visit);
// The same, into `po`.
outcome read_po(std::string_view text, po_file& po);
