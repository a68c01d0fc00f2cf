#include "common/command.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace {

[[noreturn]] void fail_standard_output() {
  std::cerr << "Cannot write to standard output." << std::endl;
  std::exit(1);
}

}  // namespace

void flush_standard_output() {
  std::cout.flush();
  if (!std::cout) fail_standard_output();
}

void end_run(int status) {
  flush_standard_output();
  std::exit(status);
}

void print_usage(std::initializer_list<std::string_view> lines) {
  for (std::string_view line : lines) std::cout << line << std::endl;
  end_run(0);
}

void exit_with_message(std::string_view message) {
  std::cout << message << std::endl;
  end_run(1);
}

bool file_exists(const std::string& file_name) {
  if (file_name.empty()) return false;
  std::error_code ignored;
  if (std::filesystem::is_directory(file_name, ignored)) return false;
  std::FILE* file = std::fopen(file_name.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

line_writer::line_writer(std::ostream& out) : out_(out) { block_.reserve(1 << 16); }

line_writer::~line_writer() { flush(); }

void line_writer::write(std::string_view line) {
  block_.append(line);
  block_.push_back('\n');
  if (block_.size() >= (1 << 16)) flush();
}

void line_writer::flush() {
  out_.write(block_.data(), static_cast<std::streamsize>(block_.size()));
  block_.clear();
}

void write_lines(std::ostream& out, const std::vector<std::string_view>& lines) {
  line_writer writer(out);
  for (std::string_view line : lines) writer.write(line);
}
