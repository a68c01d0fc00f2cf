// SPDX-License-Identifier: MIT
// Any bytes as the text of a PO file: what the reader takes, written again
// as lexport writes it, reads back as the same messages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lexport/po_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  po_file po;
  if (!read_po(text, po).ok()) return 0;
  std::string written;
  append_po_string(written, "msgid", "");
  append_po_string(written, "msgstr", po.header);
  for (const po_message& message : po.messages) {
    written += '\n';
    if (message.fuzzy) written += "#, fuzzy\n";
    if (message.context) append_po_string(written, "msgctxt", *message.context);
    append_po_string(written, "msgid", message.id);
    append_po_string(written, "msgstr", message.translation);
  }
  po_file again;
  if (!read_po(written, again).ok()) std::abort();
  if (again.header != po.header || again.messages.size() != po.messages.size()) std::abort();
  for (std::size_t i = 0; i < po.messages.size(); ++i) {
    const po_message& before = po.messages[i];
    const po_message& after = again.messages[i];
    if (before.context != after.context || before.id != after.id ||
        before.translation != after.translation || before.fuzzy != after.fuzzy)
      std::abort();
  }
  return 0;
}
