// SPDX-License-Identifier: MIT
// The TLK V1 file format, the one place that knows its layout: the header,
// the records, and where a record's string lies. Its reader checks the
// bytes left before every read, so that no count or offset of a damaged
// file can make the kit read past its end. A second format of talk table
// would be a file like this one beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "talk/byte_order.h"

namespace tlk_v1 {

// The 18-byte header, integers little-endian:
//
//   offset  width  field
//        0      8  signature and version, "TLK V1  "
//        8      2  language         carried unchanged, 0 in a new table
//       10      4  entry_count      records that follow the header
//       14      4  strings_offset   where the string data starts
inline constexpr std::string_view k_signature{"TLK V1  "};
inline constexpr std::size_t k_header_size = 18;
inline constexpr std::size_t k_language_at = 8;
inline constexpr std::size_t k_entry_count_at = 10;
inline constexpr std::size_t k_strings_offset_at = 14;

// The 26-byte records follow the header directly, one per entry:
//
//   offset  width  field
//        0      2  flags            3 in a new entry
//        2      8  sound            resource name, NUL-padded, no terminator at 8
//       10      4  volume_variance
//       14      4  pitch_variance
//       18      4  offset           of the string, from the string data start
//       22      4  length           of the string in bytes
inline constexpr std::size_t k_record_size = 26;
inline constexpr std::size_t k_flags_at = 0;
inline constexpr std::size_t k_sound_at = 2;
inline constexpr std::size_t k_sound_size = 8;
inline constexpr std::size_t k_volume_at = 10;
inline constexpr std::size_t k_pitch_at = 14;
inline constexpr std::size_t k_offset_at = 18;
inline constexpr std::size_t k_length_at = 22;

// A record's 26 bytes, in a file or in an entry.
class record_ref {
 public:
  explicit record_ref(const std::uint8_t* bytes) : bytes_(bytes) {}

  const std::uint8_t* data() const { return bytes_; }
  const std::uint8_t* sound() const { return bytes_ + k_sound_at; }
  std::uint32_t offset() const { return get_le32(bytes_ + k_offset_at); }
  std::uint32_t length() const { return get_le32(bytes_ + k_length_at); }
  // The record's string, as a key: two records with one key name the very
  // same stored bytes.
  std::uint64_t string_key() const { return (std::uint64_t{offset()} << 32) | length(); }

 private:
  const std::uint8_t* bytes_;
};

// The bytes of a whole TLK V1 file.
class file_view {
 public:
  explicit file_view(std::string_view file) : file_(file) {}

  std::uint64_t size() const { return file_.size(); }

  // The `size` bytes at `at`; nothing where they run past the end. Sums
  // are taken in 64 bits, so that no count or offset wraps past the check.
  std::optional<std::string_view> bytes(std::uint64_t at, std::uint64_t size) const {
    if (at > file_.size() || size > file_.size() - at) return std::nullopt;
    return file_.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(size));
  }

  // Whether the file holds a whole header after the signature.
  bool has_header() const {
    return file_.size() >= k_header_size && file_.substr(0, k_signature.size()) == k_signature;
  }
  // Only where `has_header`.
  std::uint32_t entry_count() const { return le32(k_entry_count_at); }
  std::uint32_t strings_offset() const { return le32(k_strings_offset_at); }

  // Record `index`; nothing where it runs past the end.
  std::optional<record_ref> record(std::uint64_t index) const {
    std::optional<std::string_view> at =
        bytes(k_header_size + index * k_record_size, k_record_size);
    if (!at) return std::nullopt;
    return record_ref(reinterpret_cast<const std::uint8_t*>(at->data()));
  }
  // Whether all `entry_count` records lie inside the file.
  bool has_records() const {
    return k_header_size + std::uint64_t{entry_count()} * k_record_size <= file_.size();
  }

  // Whether the string `record` names lies inside the file: what `text`
  // checks, without reading the string.
  bool holds_string(record_ref record) const {
    return record.length() == 0 ||
           bytes(std::uint32_t(strings_offset() + record.offset()), record.length()).has_value();
  }

  // The string `record` names: its `length` bytes at `strings_offset` +
  // `offset` (a 32-bit sum, as the format defines it), up to the first NUL.
  // Nothing when it runs past the end. An empty string reads nothing, so it
  // is valid wherever its offset points.
  std::optional<std::string_view> text(record_ref record) const {
    return text(record, strings_offset());
  }
  // The same, with the strings starting at `strings_offset`.
  std::optional<std::string_view> text(record_ref record, std::uint32_t strings_offset) const {
    if (record.length() == 0) return std::string_view();
    const std::uint32_t start = strings_offset + record.offset();
    std::optional<std::string_view> stored = bytes(start, record.length());
    if (!stored) return std::nullopt;
    return stored->substr(0, stored->find('\0'));
  }

 private:
  std::uint32_t le32(std::size_t at) const {
    return get_le32(reinterpret_cast<const std::uint8_t*>(file_.data()) + at);
  }

  std::string_view file_;
};

}  // namespace tlk_v1
