// SPDX-License-Identifier: MIT
// lexport export|import: a talk table's texts to a gettext PO file and back.
#include "common/command.h"
#include "lexport/lexport.h"

int main(int argc, char** argv) {
  end_run(run_command(run_lexport, argc, argv, message_stream::standard_error));
}
