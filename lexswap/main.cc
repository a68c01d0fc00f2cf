// lexswap <dialog.tlk> <source file>: rewrites a talk table with a list of
// 'some-string = replace-with' rules.
#include "common/command.h"
#include "lexswap/lexswap.h"

int main(int argc, char** argv) {
  start_run();
  end_run(run_lexswap(argc, argv));
}
