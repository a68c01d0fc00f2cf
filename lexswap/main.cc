// SPDX-License-Identifier: MIT
// lexswap <dialog.tlk> <source file>: rewrites a talk table with a list of
// 'some-string = replace-with' rules.
#include "common/command.h"
#include "lexswap/lexswap.h"

int main(int argc, char** argv) {
  end_run(run_command(run_lexswap, argc, argv, message_stream::standard_output));
}
