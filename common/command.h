// The routines every program of the kit ends its run with: the usage text, a
// one-line error message, and the test that an input file can be read.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Writes each line of the usage text and a line end to standard output, then
// ends the run with status 0 (or 1 when standard output cannot be written).
[[noreturn]] void print_usage(std::initializer_list<std::string_view> lines);

// Writes `message` and a line end to standard output and ends the run with
// status 1.
[[noreturn]] void exit_with_message(std::string_view message);

// False for an empty name; otherwise whether the file can be opened for
// reading. A directory cannot be read as a file, so it counts as missing.
bool file_exists(const std::string& file_name);

// Flushes standard output and ends the run with `status`. A failed write to
// standard output (a full disk, a closed pipe) is reported on standard error
// and turns the status into 1, so that a cut-off word list never passes for a
// whole one.
[[noreturn]] void end_run(int status);

// Flushes standard output; when it cannot be written, reports it on standard
// error and ends the run with status 1. Called before anything is written to
// standard error, so that the two streams stay in order.
void flush_standard_output();
