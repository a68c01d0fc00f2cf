// SPDX-License-Identifier: MIT
// lexglean <filename>: lists every distinct word of a talk table.
#include "common/command.h"
#include "lexglean/lexglean.h"

int main(int argc, char** argv) {
  end_run(run_command(run_lexglean, argc, argv, message_stream::standard_error));
}
