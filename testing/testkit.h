// SPDX-License-Identifier: MIT
// Helpers shared by the kit's tests on every system: a scratch directory that
// cleans up after itself, whole-file reads and writes, and talk-table bytes
// built by hand. Running the built programs is testing/run_program.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace testkit {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes, also after a failed assertion.
class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string.
  std::string file(const std::string& name) const;
  // Writes `bytes` to the file `name` inside the directory; its path.
  std::string put(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

void write_bytes(const std::string& file_name, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string read_bytes(const std::string& file_name);

// A text of `min_size` to `max_size` bytes, each drawn from `alphabet`.
std::string random_text(std::mt19937& random, std::string_view alphabet, std::size_t min_size,
                        std::size_t max_size);

// One entry of a hand-built talk table file.
struct record {
  std::uint16_t flags = 3;
  std::string sound;
  std::uint32_t volume = 0;
  std::uint32_t pitch = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

std::string le16(std::uint16_t value);
std::string le32(std::uint32_t value);
// Header, records and string data exactly as given: nothing is computed, so
// tests can describe damaged files too.
std::string tlk_bytes(const std::vector<record>& records, const std::string& strings,
                      std::uint32_t strings_offset, std::uint16_t language = 0,
                      std::int64_t entry_count = -1);
// A packed table of the given texts, laid out as the kit writes it.
std::string packed_tlk(const std::vector<std::string>& texts);

}  // namespace testkit
