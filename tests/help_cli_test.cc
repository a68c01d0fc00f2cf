// SPDX-License-Identifier: MIT
// What every program answers as its only argument: --help, its usage text
// and the options beside it;
// --version, its name and the kit's version; both with status 0.
#include <gtest/gtest.h>

#include <string>

#include "testing/run_program.h"

namespace {

using testkit::run;

TEST(EveryProgram, AnswersHelpAndVersion) {
  const struct {
    std::string program;
    std::string name;
    std::vector<std::string> usage_args;
    std::vector<std::string> options;
  } programs[] = {
      {LEXGLEAN, "lexglean", {}, {"--encoding", "--lower"}},
      {LEXSWAP, "lexswap", {}, {"--encoding", "--bytes"}},
      {WORDSIFT, "wordsift", {}, {"--lower"}},
      {WORDLOOM, "wordloom", {"-h"}, {}},
  };
  for (const auto& one : programs) {
    SCOPED_TRACE(one.name);
    testkit::run_result usage = run(one.program, one.usage_args);
    testkit::run_result help = run(one.program, {"--help"});
    EXPECT_EQ(help.status, 0);
    // The usage text, then the options beside the command line, if any.
    EXPECT_EQ(help.out.substr(0, usage.out.size()), usage.out);
    for (const std::string& option : one.options)
      EXPECT_NE(help.out.find("\n  " + option + " "), std::string::npos) << option;
    EXPECT_NE(help.out.find("Usage: " + one.name), std::string::npos);
    testkit::run_result version = run(one.program, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, one.name + " " + KIT_VERSION + "\n");
    EXPECT_EQ(version.err, "");
  }
  testkit::run_result version = run(LEXPORT, {"--version"});
  EXPECT_EQ(version.out, std::string("lexport ") + KIT_VERSION + "\n");
  // A file named --help is still a file to the programs that take one.
  testkit::run_result table = run(LEXGLEAN, {"./--help"});
  EXPECT_EQ(table.status, 1);
  EXPECT_EQ(table.err, "TLK file couldn't be opened for reading.\n");
}

}  // namespace
