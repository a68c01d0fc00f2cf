// SPDX-License-Identifier: MIT
#include "talk/ie_res_talk_entry.h"

#include <cstring>

#include "talk/byte_order.h"
#include "talk/tlk_v1.h"

namespace {

using tlk_v1::k_flags_at;
using tlk_v1::k_length_at;
using tlk_v1::k_offset_at;
using tlk_v1::k_pitch_at;
using tlk_v1::k_sound_at;
using tlk_v1::k_volume_at;

}  // namespace

ie_res_talk_entry::ie_res_talk_entry() {
  record_.fill(0);
  set_flags(3);
}

ie_res_talk_entry::ie_res_talk_entry(const std::uint8_t* record) {
  std::memcpy(record_.data(), record, k_record_size);
}

std::string& ie_res_talk_entry::text() {
  if (shared_) {
    text_ = *shared_;
    shared_.reset();
  }
  return text_;
}

void ie_res_talk_entry::share_text(ie_res_talk_entry& other) {
  if (!other.shared_) {
    other.shared_ = std::make_shared<const std::string>(std::move(other.text_));
    other.text_ = std::string();
  }
  shared_ = other.shared_;
  text_ = std::string();
}

void ie_res_talk_entry::set_text(std::string_view new_text) {
  // `new_text` may be the shared text itself: copy before letting go. A
  // text that grows gets room for its own size, not the doubled room of a
  // string that keeps growing: a table's texts are set once.
  if (new_text.size() > text_.capacity()) {
    std::string fresh(new_text);
    text_.swap(fresh);
  } else {
    text_.assign(new_text);
  }
  shared_.reset();
  // A text too long for the 32-bit field is refused by the table's save,
  // which compares the two.
  put_le32(record_.data() + k_length_at, static_cast<std::uint32_t>(new_text.size()));
}

std::uint16_t ie_res_talk_entry::flags() const { return get_le16(record_.data() + k_flags_at); }

void ie_res_talk_entry::set_flags(std::uint16_t value) {
  put_le16(record_.data() + k_flags_at, value);
}

void ie_res_talk_entry::set_sound(const char* name) {
  std::uint8_t* field = record_.data() + k_sound_at;
  std::size_t i = 0;
  for (; i < k_sound_size && name[i] != '\0'; ++i) field[i] = static_cast<std::uint8_t>(name[i]);
  for (; i < k_sound_size; ++i) field[i] = 0;
}

std::uint32_t ie_res_talk_entry::volume_variance() const {
  return get_le32(record_.data() + k_volume_at);
}

void ie_res_talk_entry::set_volume_variance(std::uint32_t value) {
  put_le32(record_.data() + k_volume_at, value);
}

std::uint32_t ie_res_talk_entry::pitch_variance() const {
  return get_le32(record_.data() + k_pitch_at);
}

void ie_res_talk_entry::set_pitch_variance(std::uint32_t value) {
  put_le32(record_.data() + k_pitch_at, value);
}

std::uint32_t ie_res_talk_entry::offset() const { return get_le32(record_.data() + k_offset_at); }

void ie_res_talk_entry::set_offset(std::uint32_t value) {
  put_le32(record_.data() + k_offset_at, value);
}

std::uint32_t ie_res_talk_entry::length() const { return get_le32(record_.data() + k_length_at); }

bool ie_res_talk_entry::read_text(std::string_view file, std::uint32_t strings_offset) {
  std::optional<std::string_view> stored =
      tlk_v1::file_view(file).text(tlk_v1::record_ref(record_.data()), strings_offset);
  shared_.reset();
  if (!stored) {
    text_.clear();
    return false;
  }
  text_.assign(*stored);
  return true;
}
