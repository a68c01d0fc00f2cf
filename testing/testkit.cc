// SPDX-License-Identifier: MIT
#include "testing/testkit.h"

#include <atomic>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testkit {

scratch_dir::scratch_dir() {
  static std::atomic<int> counter{0};
  std::random_device random;
  for (;;) {
    path_ = std::filesystem::temp_directory_path() /
            ("kit-test-" + std::to_string(random()) + "-" + std::to_string(counter++) + "-" +
             std::to_string(random() % 100000));
    if (std::filesystem::create_directory(path_)) break;
  }
}

scratch_dir::~scratch_dir() {
  std::error_code ignored;
  // A test may have taken the write bit away; give it back so that removal
  // works.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string scratch_dir::file(const std::string& name) const { return (path_ / name).string(); }

std::string scratch_dir::put(const std::string& name, const std::string& bytes) const {
  std::string path = file(name);
  write_bytes(path, bytes);
  return path;
}

void write_bytes(const std::string& file_name, const std::string& bytes) {
  std::ofstream out(file_name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file_name);
}

std::string read_bytes(const std::string& file_name) {
  std::ifstream in(file_name, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string le16(std::uint16_t value) {
  return {static_cast<char>(value & 0xff), static_cast<char>(value >> 8)};
}

std::string le32(std::uint32_t value) {
  return le16(static_cast<std::uint16_t>(value)) + le16(static_cast<std::uint16_t>(value >> 16));
}

std::string tlk_bytes(const std::vector<record>& records, const std::string& strings,
                      std::uint32_t strings_offset, std::uint16_t language,
                      std::int64_t entry_count) {
  std::uint32_t count = entry_count < 0 ? static_cast<std::uint32_t>(records.size())
                                        : static_cast<std::uint32_t>(entry_count);
  std::string bytes = "TLK V1  " + le16(language) + le32(count) + le32(strings_offset);
  for (const record& r : records) {
    std::string sound = r.sound;
    sound.resize(8, '\0');
    bytes +=
        le16(r.flags) + sound + le32(r.volume) + le32(r.pitch) + le32(r.offset) + le32(r.length);
  }
  return bytes + strings;
}

std::string packed_tlk(const std::vector<std::string>& texts) {
  std::vector<record> records;
  std::string strings;
  for (const std::string& text : texts) {
    record r;
    r.length = static_cast<std::uint32_t>(text.size());
    r.offset = text.empty() ? 0 : static_cast<std::uint32_t>(strings.size());
    strings += text;
    records.push_back(r);
  }
  return tlk_bytes(records, strings, static_cast<std::uint32_t>(18 + 26 * texts.size()));
}

std::string random_text(std::mt19937& random, std::string_view alphabet, std::size_t min_size,
                        std::size_t max_size) {
  std::string text;
  for (std::size_t n = min_size + random() % (max_size - min_size + 1); n > 0; --n)
    text.push_back(alphabet[random() % alphabet.size()]);
  return text;
}

}  // namespace testkit
