// SPDX-License-Identifier: MIT
// One entry of a talk table: its 26-byte record, kept exactly as the file
// holds it so that the fields the kit never interprets pass through
// unchanged, and its text.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talk/tlk_v1.h"

// The record's layout is talk/tlk_v1.h's.
class ie_res_talk_entry {
 public:
  static constexpr std::size_t k_record_size = tlk_v1::k_record_size;
  static constexpr std::size_t k_sound_size = tlk_v1::k_sound_size;
  using record_bytes = std::array<std::uint8_t, k_record_size>;

  // A new entry: every record byte 0 but `flags` 3, and an empty text.
  ie_res_talk_entry();
  // An entry with the record copied from `record` (26 bytes) and an empty
  // text; the text is fetched by `read_text`.
  explicit ie_res_talk_entry(const std::uint8_t* record);
  virtual ~ie_res_talk_entry() = default;

  // The text. A change made through the reference leaves `length` alone;
  // replace a text with `set_text`. Entries whose records name the very same
  // stored string share one text, so that a table of many records over one
  // long string costs no more than its file; the modifiable reference gives
  // this entry a copy of its own first, so callers that only read take the
  // const one.
  std::string& text();
  const std::string& text() const { return shared_ ? *shared_ : text_; }
  // Makes `text` a copy of `new_text` and `length` its size; no other field
  // changes.
  void set_text(std::string_view new_text);

  std::uint16_t flags() const;
  void set_flags(std::uint16_t value);
  // The 8 bytes of the sound name, NUL bytes after a shorter name.
  const std::uint8_t* sound() const { return record_.data() + 2; }
  // Copies at most 8 bytes of the NUL-terminated `name` and pads the rest of
  // the field with NUL bytes.
  void set_sound(const char* name);
  std::uint32_t volume_variance() const;
  void set_volume_variance(std::uint32_t value);
  std::uint32_t pitch_variance() const;
  void set_pitch_variance(std::uint32_t value);
  std::uint32_t offset() const;
  void set_offset(std::uint32_t value);
  std::uint32_t length() const;

  const record_bytes& record() const { return record_; }

  // Fetches the text from the bytes of a whole talk table file: the `length`
  // bytes at `strings_offset` + `offset` (a 32-bit sum, as the format
  // defines it), up to the first NUL byte. Returns false, with the text left
  // empty, when the string runs past the end of `file`. An empty string reads
  // nothing, so it is valid wherever its offset points.
  bool read_text(std::string_view file, std::uint32_t strings_offset);

 private:
  friend class ie_res_talk;
  // Makes this entry's text the one of `other`, shared.
  void share_text(ie_res_talk_entry& other);

  record_bytes record_;
  std::string text_;  // unused while the text is shared
  std::shared_ptr<const std::string> shared_;
};
