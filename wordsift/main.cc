// wordsift <source-file> <exclude-file>: subtracts one word list from another.
#include "common/command.h"
#include "wordsift/wordsift.h"

int main(int argc, char** argv) {
  start_run();
  end_run(run_wordsift(argc, argv));
}
