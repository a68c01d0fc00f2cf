// SPDX-License-Identifier: MIT
// What a text converter asks of the system: one file for POSIX systems
// (iconv) and one for Windows (the Win32 code-page functions), chosen by
// CMake. Both only convert; the kit's own rules (what it refuses of either)
// stand once, in code_page.cc.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "common/code_page.h"

class text_converter::system {
 public:
  // The system's converter between `page` (never UTF-8) and UTF-8; null
  // where the system lacks it.
  static std::unique_ptr<system> open(const code_page& page);
  ~system();

  // The page's bytes as UTF-8, appended to `utf8`; false, with the offset
  // in `bytes` where the bytes are no character of the page, when they
  // cannot be.
  bool decode(std::string_view bytes, std::string& utf8, std::size_t& bad_offset);
  // Checked UTF-8 as the page's bytes, appended to `bytes`; false, with the
  // offset in `utf8` of the first character the page cannot hold.
  bool encode(std::string_view utf8, std::string& bytes, std::size_t& bad_offset);

  struct handles;

 private:
  explicit system(std::unique_ptr<handles> opened);
  std::unique_ptr<handles> handles_;
};
