// SPDX-License-Identifier: MIT
// lexswap <dialog.tlk> <source file>: rewrites every string of a talk table
// with a replacement list and saves the table over the same file.
#pragma once

#include <optional>
#include <string>

#include "lexswap/replacement_list.h"
#include "lexswap/rule_applier.h"

// The message for the first rule of `list` that can never finish whatever
// the text (an empty search string, or a replacement that holds its search
// string) or can only do harm (a NUL byte, which no text can hold), or
// nothing when every rule may work. `list_name` is the list
// file's name as given.
outcome refuse_rules(const replacement_list& list, const std::string& list_name);

// Runs the command on its command line and returns the exit status.
int run_lexswap(int argc, char** argv);
