// lexglean <filename>: lists every distinct word of a talk table.
#include "common/command.h"
#include "lexglean/lexglean.h"

int main(int argc, char** argv) {
  start_run();
  end_run(run_lexglean(argc, argv));
}
