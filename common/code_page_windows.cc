// SPDX-License-Identifier: MIT
// The text converter's system half on Windows: the Win32 code-page
// functions, through UTF-16.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "common/code_page_system.h"

struct text_converter::system::handles {
  UINT page;
  // Whether a character may take two bytes (cp932, cp936, cp949, cp950).
  bool double_byte;
};

namespace {

// `text` in UTF-16 from `page`, refusing bytes that are no character of it;
// false where there are such bytes (or the text is too long for one call).
bool to_utf16(UINT page, std::string_view text, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length) ==
         length;
}

// UTF-16 in `page`, appended to `out`; false where a character has no byte
// of its own there: Windows would put a "best fit" or the default character
// in its place.
bool from_utf16(UINT page, std::wstring_view wide, std::string& out) {
  if (wide.empty()) return true;
  if (wide.size() > INT_MAX) return false;
  const int size = static_cast<int>(wide.size());
  const bool utf8 = page == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL used_default = FALSE;
  BOOL* checked = utf8 ? nullptr : &used_default;
  const int length =
      WideCharToMultiByte(page, flags, wide.data(), size, nullptr, 0, nullptr, checked);
  if (length <= 0 || used_default) return false;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(length));
  if (WideCharToMultiByte(page, flags, wide.data(), size, out.data() + start, length, nullptr,
                          checked) != length ||
      used_default) {
    out.resize(start);
    return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<text_converter::system> text_converter::system::open(const code_page& page) {
  CPINFO info;
  if (!GetCPInfo(page.number, &info)) return nullptr;
  return std::unique_ptr<system>(
      new system(std::unique_ptr<handles>(new handles{page.number, info.MaxCharSize > 1})));
}

text_converter::system::system(std::unique_ptr<handles> opened) : handles_(std::move(opened)) {}
text_converter::system::~system() = default;

bool text_converter::system::decode(std::string_view bytes, std::string& utf8,
                                    std::size_t& bad_offset) {
  std::wstring wide;
  if (to_utf16(handles_->page, bytes, wide) && from_utf16(CP_UTF8, wide, utf8)) return true;
  // Where the bytes stop being text: the first character, one or two bytes,
  // that does not convert on its own.
  for (std::size_t at = 0; at < bytes.size();) {
    const auto lead = static_cast<BYTE>(bytes[at]);
    std::size_t length = handles_->double_byte && IsDBCSLeadByteEx(handles_->page, lead) ? 2 : 1;
    length = std::min(length, bytes.size() - at);
    if (!to_utf16(handles_->page, bytes.substr(at, length), wide)) {
      bad_offset = at;
      return false;
    }
    at += length;
  }
  bad_offset = 0;
  return false;
}

bool text_converter::system::encode(std::string_view utf8, std::string& bytes,
                                    std::size_t& bad_offset) {
  std::wstring wide;
  const std::size_t start = bytes.size();
  if (to_utf16(CP_UTF8, utf8, wide) && from_utf16(handles_->page, wide, bytes)) return true;
  // Which character the page cannot hold: the first that fails on its own.
  bytes.resize(start);
  std::string one;
  for (std::size_t at = 0; at < utf8.size();) {
    std::size_t length = 1;
    while (at + length < utf8.size() &&
           (static_cast<unsigned char>(utf8[at + length]) & 0xc0u) == 0x80)
      ++length;
    one.clear();
    if (!to_utf16(CP_UTF8, utf8.substr(at, length), wide) ||
        !from_utf16(handles_->page, wide, one)) {
      bad_offset = at;
      return false;
    }
    at += length;
  }
  bad_offset = 0;
  return false;
}
