// SPDX-License-Identifier: MIT
// Any bytes, the first choosing a code page, as a table's text and as a
// translation: what decodes is UTF-8 with nothing the kit refuses and
// encodes again to bytes that decode to the same text; what encodes decodes
// back to the translation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "common/code_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const k_names[] = {"utf-8",  "cp1250", "cp1251", "cp1252", "cp1253",
                                        "cp1254", "cp1255", "cp1256", "cp1257", "cp874",
                                        "cp932",  "cp936",  "cp949",  "cp950"};
  const std::optional<code_page> page = find_code_page(k_names[data[0] % 14]);
  if (!page) std::abort();
  // The cross builds' emulated systems have no converters to open.
  std::optional<text_converter> converter = text_converter::open(*page);
  if (!converter) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  conversion_failure failure;
  if (std::optional<std::string> text = converter->decode(bytes, failure)) {
    if (first_non_utf8(*text)) std::abort();
    std::optional<std::string> again = converter->encode(*text, failure);
    if (!again) std::abort();
    std::optional<std::string> back = converter->decode(*again, failure);
    if (!back || *back != *text) std::abort();
  } else if (failure.offset > bytes.size()) {
    std::abort();
  }
  if (std::optional<std::string> encoded = converter->encode(bytes, failure)) {
    std::optional<std::string> back = converter->decode(*encoded, failure);
    if (!back || *back != bytes) std::abort();
  } else if (failure.offset > bytes.size()) {
    std::abort();
  }
  return 0;
}
