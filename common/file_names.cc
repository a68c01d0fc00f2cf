// SPDX-License-Identifier: MIT
#include "common/file_names.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <vector>

std::wstring wide_name(const std::string& name) {
  if (name.empty()) return {};
  int size =
      MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(), size);
  return wide;
}

namespace {

std::string utf8_of(const wchar_t* wide) {
  int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string name(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, name.data(), size, nullptr, nullptr);
  name.pop_back();  // the terminator
  return name;
}

}  // namespace

std::filesystem::path native_path(const std::string& name) { return wide_name(name); }

std::string name_of(const std::filesystem::path& path) { return utf8_of(path.c_str()); }

std::FILE* open_file(const std::string& name, const char* mode) {
  return _wfopen(wide_name(name).c_str(), wide_name(mode).c_str());
}

char** kit_arguments(int& argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return argv;
  static std::vector<std::string> names;
  static std::vector<char*> pointers;
  for (int i = 0; i < count; ++i) names.push_back(utf8_of(wide[i]));
  LocalFree(wide);
  for (std::string& name : names) pointers.push_back(name.data());
  pointers.push_back(nullptr);
  argc = count;
  return pointers.data();
}

#else

std::filesystem::path native_path(const std::string& name) { return name; }

std::string name_of(const std::filesystem::path& path) { return path.string(); }

std::FILE* open_file(const std::string& name, const char* mode) {
  return std::fopen(name.c_str(), mode);
}

char** kit_arguments(int&, char** argv) { return argv; }

#endif
