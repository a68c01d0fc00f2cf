// SPDX-License-Identifier: MIT
// Reading whole files and splitting text into lines the same way on every
// platform: the kit reads the bytes itself instead of trusting a text-mode
// stream, so a word list made on Windows gives the same words on Linux.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/big_allocator.h"
#include "common/outcome.h"

// Reads the whole file into `bytes`. Returns false, with `bytes` empty, when
// the file cannot be opened or a read fails (a directory fails here too).
// Throws std::bad_alloc or std::length_error, as memory does, when the file
// does not fit in memory.
bool read_file(const std::string& file_name, file_bytes& bytes);

// What a list is: its byte-order mark says, and a list without one is
// taken for UTF-16 or UTF-32 when its NUL bytes fall as Latin text in
// those encodings puts them (one in every second or every fourth byte, at
// least half of the time, and hardly any elsewhere). The whole list is
// looked at, before it is split into lines.
enum class text_kind { plain, utf16, utf32 };
text_kind kind_of_text(std::string_view bytes);

// The text of a list: its bytes without a UTF-8 byte-order mark at the very
// start (Notepad writes one), which marks the encoding and is no part of the
// first line.
std::string_view list_text(std::string_view bytes);

// The message that refuses a list of two- or four-byte characters, whose
// lines could never match the one-byte text of a table or a list:
// "Cannot proceed, file 'NAME' is UTF-16 text; save it as UTF-8 or ANSI."
std::string wide_text_message(const std::string& file_name, text_kind kind);

// "Cannot proceed, line N of 'NAME': what": how the kit refuses a line of a
// text the user gave it (a rule list, a PO file).
std::string line_message(const std::string& file_name, std::size_t line, std::string_view what);

// A list that a user gave a program (a word list, a rule list, a model
// file), read whole.
struct list_file {
  file_bytes bytes;
  // Its lines: the bytes without a UTF-8 byte-order mark.
  std::string_view text;
};

// How every program reads a list the user gave: the whole file, refused when
// it is UTF-16 or UTF-32 text (`wide_text_message`), its UTF-8 byte-order
// mark skipped. Refuses it with `missing` when it cannot be read.
outcome read_list(const std::string& file_name, list_file& list, const std::string& missing);

// Walks the lines of a text held in memory. A line is every byte up to the
// next line feed; a carriage return directly before the line feed belongs to
// the line end. The last line counts without a final line feed, and a final
// line feed makes no empty line after it. The lines are views into the text,
// which must outlive the reader.
class line_reader {
 public:
  explicit line_reader(std::string_view text) : text_(text) {}

  // Stores the next line in `line` and returns true, or returns false when
  // the text is used up.
  bool next(std::string_view& line);

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};
