// SPDX-License-Identifier: MIT
// wordsift <source-file> <exclude-file>: subtracts one word list from another.
#include "common/command.h"
#include "wordsift/wordsift.h"

int main(int argc, char** argv) {
  end_run(run_command(run_wordsift, argc, argv, message_stream::standard_output));
}
