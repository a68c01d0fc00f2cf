// wordloom [-hrlscbd]: learns words, saves and loads the model, and invents
// new words.
#include "common/command.h"
#include "wordloom/wordloom.h"

int main(int argc, char** argv) {
  start_run();
  end_run(run_wordloom(argc, argv));
}
