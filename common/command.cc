// SPDX-License-Identifier: MIT
#include "common/command.h"

#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "common/file_names.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

bool g_standard_output_was_closed = false;

}  // namespace

void start_run() {
#ifndef _WIN32
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // Output to a closed standard output must still fail, as it did: writes
    // to /dev/full all fail, and where there is none, the run is failed at
    // its end.
    int stand_in = fd == 1 ? ::open("/dev/full", O_WRONLY) : -1;
    if (stand_in < 0) {
      stand_in = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
      if (fd == 1) g_standard_output_was_closed = true;
    }
    if (stand_in < 0) std::_Exit(1);
    if (stand_in != fd) {
      ::dup2(stand_in, fd);
      ::close(stand_in);
    }
  }
  std::signal(SIGXFSZ, SIG_IGN);
#else
  // Names in messages are UTF-8, as the kit holds them; a console shows them
  // so only in its UTF-8 code page, which it gets back at the end.
  static const UINT console_page = GetConsoleOutputCP();
  if (console_page != 0 && console_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
    std::atexit([] { SetConsoleOutputCP(console_page); });
#endif
}

int run_command(int (*command)(int, char**), int argc, char** argv, message_stream messages) {
  start_run();
  argv = kit_arguments(argc, argv);
  int status = 1;
  if (within_memory([&] { status = command(argc, argv); })) return status;
  if (messages == message_stream::standard_error) {
    flush_standard_output();
    std::cerr << k_memory_message << std::endl;
    return 1;
  }
  return exit_with_message(k_memory_message);
}

bool flush_standard_output() {
  std::cout.flush();
  if (std::cout && !g_standard_output_was_closed) return true;
  static bool reported = false;
  if (!reported) std::cerr << "Cannot write to standard output." << std::endl;
  reported = true;
  return false;
}

void end_run(int status) {
  if (!flush_standard_output()) status = 1;
  std::exit(status);
}

int print_usage(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) std::cout << line << std::endl;
  return 0;
}

bool only_argument(int argc, char** argv, std::string_view option) {
  return argc == 2 && argv[1] == option;
}

bool read_options(int argc, char** argv, std::initializer_list<command_option> options, int files,
                  std::vector<std::string>& names) {
  std::vector<bool> seen(options.size(), false);
  int at = 1;
  for (; at < argc; ++at) {
    const std::string_view argument = argv[at];
    const command_option* option = options.begin();
    while (option != options.end() && option->name != argument) ++option;
    const auto index = static_cast<std::size_t>(option - options.begin());
    if (option == options.end() || seen[index]) break;
    seen[index] = true;
    if (option->given) *option->given = true;
    if (!option->value) continue;
    if (at + 1 == argc) return false;
    *option->value = argv[++at];
    if (option->value->empty()) return false;
  }
  if (argc - at != files) return false;
  names.assign(argv + at, argv + argc);
  return true;
}

std::string_view kit_version() { return KIT_VERSION; }

int print_version(std::string_view name) {
  std::cout << name << ' ' << kit_version() << std::endl;
  return 0;
}

int exit_with_message(std::string_view message) {
  std::cout << message << std::endl;
  return 1;
}

int exit_with(const failure& why, message_stream messages) {
  switch (why.what) {
    case failure::kind::reported: return 1;
    case failure::kind::to_standard_error: messages = message_stream::standard_error; break;
    case failure::kind::refused: break;
  }
  if (messages == message_stream::standard_output) return exit_with_message(why.message);
  if (!flush_standard_output()) return 1;
  std::cerr << why.message << std::endl;
  return 1;
}

bool file_exists(const std::string& file_name) {
  if (file_name.empty()) return false;
  std::error_code ignored;
  if (std::filesystem::is_directory(native_path(file_name), ignored)) return false;
  std::FILE* file = open_file(file_name, "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

bool is_special_file(const std::string& file_name) {
  std::error_code ignored;
  std::filesystem::file_status status = std::filesystem::status(native_path(file_name), ignored);
  return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
         !std::filesystem::is_directory(status);
}

line_writer::line_writer(std::ostream& out) : out_(out) { block_.reserve(1 << 16); }

line_writer::~line_writer() { flush(); }

bool line_writer::write(std::string_view line) {
  if (failed_) return false;
  block_.append(line);
  block_.push_back('\n');
  return block_.size() < (1 << 16) || flush();
}

bool line_writer::flush() {
  if (failed_) return false;
  out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
  block_.clear();
  // A program that writes millions of lines stops at the first block that
  // cannot be written, not after making all the others.
  if (&out_ == &std::cout && !flush_standard_output()) failed_ = true;
  return !failed_;
}

bool write_lines(std::ostream& out, const std::vector<std::string_view>& lines) {
  line_writer writer(out);
  for (std::string_view line : lines)
    if (!writer.write(line)) return false;
  return writer.flush();
}
