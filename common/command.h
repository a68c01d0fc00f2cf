// SPDX-License-Identifier: MIT
// The routines every program of the kit ends its run with: the usage text, a
// one-line error message, and the test that an input file can be read.
#pragma once

#include <initializer_list>
#include <iosfwd>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"

// Readies the process before a program does anything: opens a stand-in
// onto any of the standard descriptors 0, 1 and 2 that is closed, so that a
// file the program saves can never take the place of one of them (a closed
// standard output becomes one whose writes fail, and are reported), and
// makes a file-size limit an ordinary write error instead of a silent end.
void start_run();

// Where a program writes its own messages: standard output, but for
// lexglean, whose standard output is its word list.
enum class message_stream { standard_output, standard_error };

// What every program says when memory runs out.
constexpr std::string_view k_memory_message = "Cannot proceed, not enough memory.";

// Runs `work`; false when memory ran out in it: std::bad_alloc, or
// std::length_error for a size that no string or vector can hold.
template <typename Work>
bool within_memory(Work&& work) {
  try {
    work();
    return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return false;
}

// Runs a program's command, `start_run` first, and returns its status.
// Memory that runs out anywhere in the run (loading, reading lists, on any
// thread) ends it with "Cannot proceed, not enough memory." and status 1;
// nothing is saved after that.
[[nodiscard]] int run_command(int (*command)(int, char**), int argc, char** argv,
                              message_stream messages);

// Writes each line of the usage text and a line end to standard output, and
// returns the status that ends the run: 0 (1 once `end_run` finds that
// standard output could not be written). Commands return it at once.
[[nodiscard]] int print_usage(std::initializer_list<std::string_view> lines);

// Whether `option` ("--help", "--version") is the one argument of the
// command line: what every program answers so, whatever it takes besides
// (a file named --help is still ./--help).
bool only_argument(int argc, char** argv, std::string_view option);

// An option that a program takes before its file names: a flag (`given`),
// or one that takes the next argument as its value (`value`, never empty).
struct command_option {
  std::string_view name;
  std::string* value = nullptr;
  bool* given = nullptr;
};

// Reads `options` from argv[1] on, each at most once (an argument that is
// none of them, or one given again, is the first file name), then exactly
// `files` file names into `names`. False when the command line is not of
// that form.
bool read_options(int argc, char** argv, std::initializer_list<command_option> options, int files,
                  std::vector<std::string>& names);

// The kit's version, as the project states it ("1.0.0").
std::string_view kit_version();

// Prints "NAME VERSION" on standard output and returns status 0.
[[nodiscard]] int print_version(std::string_view name);

// Writes `message` and a line end to standard output, and returns the
// status that ends the run, 1: `return exit_with_message(...)`. Commands
// and their helpers return their statuses; only `end_run` ends a process.
[[nodiscard]] int exit_with_message(std::string_view message);

// Reports `why` and returns status 1: a refusal goes to `messages` (on
// standard error after what standard output holds), a talk table's own line
// to standard error; what is reported already is not said again.
[[nodiscard]] int exit_with(const failure& why, message_stream messages);

// False for an empty name; otherwise whether the file can be opened for
// reading. A directory cannot be read as a file, so it counts as missing.
bool file_exists(const std::string& file_name);

// Whether the name (links followed) is something other than a regular file
// or a directory: a pipe, a FIFO, a device. Such a file can be read once
// but never written back, and merely opening a FIFO waits for a writer.
bool is_special_file(const std::string& file_name);

// Flushes standard output and ends the process with `status`, the one
// place that does: each program's `main` calls it with the status of
// `run_command`. A failed write to standard output (a full disk, a closed
// pipe) is reported on standard error and turns the status into 1, so that
// a cut-off word list never passes for a whole one.
[[noreturn]] void end_run(int status);

// Flushes standard output; false when it cannot be written, which is then
// reported on standard error ("Cannot write to standard output.", once a
// run) and must end the run with status 1. Called before anything is
// written to standard error, so that the two streams stay in order.
bool flush_standard_output();

// Writes lines, each followed by a line feed, to a stream in blocks: one
// write per line would cost more than the lists the kit writes take to make.
// On standard output each block is flushed and checked: from the first that
// fails nothing more is written, and `write` and `flush` return false, so
// that a program stops there with status 1 (see `flush_standard_output`).
class line_writer {
 public:
  explicit line_writer(std::ostream& out);
  // Writes what is left; `flush` first when the stream is checked after.
  ~line_writer();
  line_writer(const line_writer&) = delete;
  line_writer& operator=(const line_writer&) = delete;

  bool write(std::string_view line);
  bool flush();

 private:
  std::ostream& out_;
  std::string block_;
  bool failed_ = false;
};

// Writes each line and a line feed to `out`; false when standard output
// failed.
bool write_lines(std::ostream& out, const std::vector<std::string_view>& lines);
