// SPDX-License-Identifier: MIT
// The option scanner of wordloom. It joins the arguments into one text, each
// followed by " -", and answers every question with a substring search in
// that text. The quirks that follow from this (a bare letter after the first
// argument counts as an option, "list-c" switches -c on) are part of
// wordloom's documented command line.
#pragma once

#include <string>
#include <string_view>

class GetOpt {
 public:
  // `argc` counts the program name, which is skipped.
  GetOpt(int argc, const char* const* argv);
  virtual ~GetOpt() = default;

  // Whether "-" + name + " " occurs anywhere in the joined arguments.
  bool has_option(std::string_view name) const;
  // The text from 4 characters after the first occurrence of the key up to
  // the next " -": for a one-letter option, the whole next argument. Empty
  // when the option does not occur.
  std::string option_argument(std::string_view name) const;

  const std::string& joined_arguments() const { return joined_arguments_; }

 private:
  std::string joined_arguments_;
};
