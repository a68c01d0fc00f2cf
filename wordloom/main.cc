// SPDX-License-Identifier: MIT
// wordloom [-hrlscbd]: learns words, saves and loads the model, and invents
// new words.
#include "common/command.h"
#include "wordloom/wordloom.h"

int main(int argc, char** argv) {
  end_run(run_command(run_wordloom, argc, argv, message_stream::standard_output));
}
