// SPDX-License-Identifier: MIT
#include "lexswap/replacement_list.h"

#include <gtest/gtest.h>

#include "testing/testkit.h"

namespace {

using strings = std::vector<std::string>;

TEST(TrimBlanks, RemovesOnlySpacesAndTabsAtEitherEnd) {
  EXPECT_EQ(trim_blanks(""), "");
  EXPECT_EQ(trim_blanks(" \t \t"), "");
  EXPECT_EQ(trim_blanks("\t old name \t"), "old name");
  EXPECT_EQ(trim_blanks("a  b"), "a  b");
  EXPECT_EQ(trim_blanks("\rx\v\f"), "\rx\v\f");
  EXPECT_EQ(trim_blanks(" \r "), "\r");
}

TEST(ReplacementList, SplitsEachLineAtItsFirstEqualsSign) {
  replacement_list list = parse_replacement_list(
      "Sword = Blade\n"
      "\told name\t=  new name\t\n"
      "x = y = z\n"
      "x =\n"
      "= y\n"
      "=\n"
      "a line without an equals sign\n"
      "# a comment = is a rule\n"
      "left =   \t\n");
  EXPECT_EQ(list.search_strings,
            (strings{"Sword", "old name", "x", "x", "", "", "# a comment", "left"}));
  EXPECT_EQ(list.replacement_strings,
            (strings{"Blade", "new name", "y = z", "", "y", "", "is a rule", ""}));
  EXPECT_EQ(list.line_numbers, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6, 8, 9}));
  EXPECT_EQ(list.size(), 8u);
}

TEST(ReplacementList, CrLfLinesGiveTheSameRulesAsLfLines) {
  replacement_list lf = parse_replacement_list("a = b\nc = d\n\ne=f");
  replacement_list crlf = parse_replacement_list("a = b\r\nc = d\r\n\r\ne=f");
  EXPECT_EQ(lf.search_strings, crlf.search_strings);
  EXPECT_EQ(lf.replacement_strings, crlf.replacement_strings);
  EXPECT_EQ(crlf.replacement_strings, (strings{"b", "d", "f"}));
  EXPECT_EQ(crlf.line_numbers, (std::vector<std::size_t>{1, 2, 4}));
}

TEST(ReplacementList, KeepsDuplicatesAndOrder) {
  replacement_list list = parse_replacement_list("a=b\na=b\na=c");
  EXPECT_EQ(list.search_strings, (strings{"a", "a", "a"}));
  EXPECT_EQ(list.replacement_strings, (strings{"b", "b", "c"}));
}

TEST(ReplacementList, AnEmptyFileOrOneWithoutEqualsSignsHasNoRules) {
  EXPECT_EQ(parse_replacement_list("").size(), 0u);
  EXPECT_EQ(parse_replacement_list("one\ntwo\n").size(), 0u);
}

TEST(ReplacementList, ReadsAFileAndFailsOnAMissingOne) {
  testkit::scratch_dir dir;
  testkit::write_bytes(dir.file("rules.txt"), "old = new");
  replacement_list list;
  EXPECT_TRUE(read_replacement_list(dir.file("rules.txt"), list, "gone").ok());
  EXPECT_EQ(list.search_strings, strings{"old"});
  EXPECT_EQ(read_replacement_list(dir.file("missing.txt"), list, "gone").message(), "gone");
}

}  // namespace
