// SPDX-License-Identifier: MIT
// Scratch files for the fuzz targets that go through the file system, as the
// kit's programs do: one folder per process, reused for every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

inline const std::string& fuzz_folder() {
  static const std::string folder = [] {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("kit-fuzz-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path);
    return path.string();
  }();
  return folder;
}

inline std::string fuzz_file(const char* name) { return fuzz_folder() + "/" + name; }

inline void write_fuzz_file(const std::string& name, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string read_fuzz_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
