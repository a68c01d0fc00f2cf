// SPDX-License-Identifier: MIT
#include "wordloom/getopt.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

GetOpt scan(std::vector<const char*> args) {
  args.insert(args.begin(), "wordloom");
  return GetOpt(static_cast<int>(args.size()), args.data());
}

TEST(GetOpt, JoinsEveryArgumentWithABlankAndAHyphen) {
  EXPECT_EQ(scan({"-c", "5"}).joined_arguments(), "-c -5 -");
  EXPECT_EQ(scan({}).joined_arguments(), "");
  const char* program[] = {"wordloom"};
  EXPECT_EQ(GetOpt(0, program).joined_arguments(), "");
}

TEST(GetOpt, FindsOptionsAndTheArgumentAfterThem) {
  GetOpt options = scan({"-r", "words.txt", "-c", "5"});
  EXPECT_TRUE(options.has_option("r"));
  EXPECT_TRUE(options.has_option("c"));
  EXPECT_FALSE(options.has_option("l"));
  EXPECT_EQ(options.option_argument("r"), "words.txt");
  EXPECT_EQ(options.option_argument("c"), "5");
  EXPECT_EQ(options.option_argument("l"), "");
}

TEST(GetOpt, TheValueIsTheNextArgumentWhateverItLooksLike) {
  EXPECT_EQ(scan({"-c", "-5"}).option_argument("c"), "-5");
  EXPECT_EQ(scan({"-c", "-b"}).option_argument("c"), "-b");
  EXPECT_EQ(scan({"-l", ""}).option_argument("l"), "");
  EXPECT_EQ(scan({"-l", "my -file"}).option_argument("l"), "my");
  EXPECT_EQ(scan({"-c"}).option_argument("c"), "");
}

TEST(GetOpt, TheFirstOccurrenceCounts) {
  EXPECT_EQ(scan({"-c", "3", "-c", "5"}).option_argument("c"), "3");
}

TEST(GetOpt, AnArgumentEndingInHyphenAndLetterSwitchesThatLetterOn) {
  GetOpt options = scan({"-r", "list-c"});
  EXPECT_TRUE(options.has_option("c"));
  EXPECT_EQ(options.option_argument("c"), "");
  EXPECT_EQ(options.option_argument("r"), "list-c");
  EXPECT_EQ(scan({"-r", "list-c", "7"}).option_argument("c"), "7");
}

TEST(GetOpt, ABareLetterAfterTheFirstArgumentIsAnOption) {
  GetOpt options = scan({"-r", "words", "c", "5"});
  EXPECT_TRUE(options.has_option("c"));
  EXPECT_EQ(options.option_argument("c"), "5");
  GetOpt first = scan({"c", "5"});
  EXPECT_FALSE(first.has_option("c"));
  EXPECT_TRUE(first.has_option("5")) << "the second argument is a bare letter";
}

TEST(GetOpt, LettersWrittenTogetherAreNoOptions) {
  GetOpt options = scan({"-rl", "x"});
  EXPECT_FALSE(options.has_option("r"));
  EXPECT_FALSE(options.has_option("l"));
}

TEST(GetOpt, AMatchMayLieInsideAnArgument) {
  GetOpt options = scan({"a -c 9"});
  EXPECT_TRUE(options.has_option("c"));
  EXPECT_EQ(options.option_argument("c"), "");
  EXPECT_EQ(scan({"x -c yz"}).option_argument("c"), "z");
}

TEST(GetOpt, LongerOrEmptyNamesStayInsideTheText) {
  GetOpt options = scan({"-", "x"});
  EXPECT_TRUE(options.has_option(""));
  EXPECT_EQ(options.option_argument(""), "");
  // The value always starts 4 characters after the key's start.
  EXPECT_EQ(scan({"-long", "value"}).option_argument("long"), "g");
}

}  // namespace
