// SPDX-License-Identifier: MIT
// File names as the kit holds them. Everywhere but Windows a name is a
// string of bytes, handed to the system as it stands. The narrow functions
// of Windows reach only the names of one code page, so there the kit holds
// every name in UTF-8, read from the UTF-16 command line, and gives the
// system UTF-16 whenever it opens or looks at a file. Every name the kit
// passes to the system goes through this one conversion.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// The system's path for a name of the kit's.
std::filesystem::path native_path(const std::string& name);

// The kit's name for a path of the system's.
std::string name_of(const std::filesystem::path& path);

// `std::fopen` for a name of the kit's.
std::FILE* open_file(const std::string& name, const char* mode);

// The program's arguments as names of the kit's: on Windows taken again
// from the UTF-16 command line; elsewhere `argv` itself. They live until
// the program ends.
char** kit_arguments(int& argc, char** argv);

#ifdef _WIN32
// The UTF-16 name for the system's wide functions.
std::wstring wide_name(const std::string& name);
#endif
