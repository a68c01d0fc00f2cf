// SPDX-License-Identifier: MIT
#include "lexswap/lexswap.h"

#include <gtest/gtest.h>

namespace {

TEST(RefuseRules, ReportsTheFirstRuleThatCanNeverFinish) {
  replacement_list list = parse_replacement_list("a = b\nno rule\n = x\nc = cc\n");
  EXPECT_EQ(refuse_rules(list, "rules.txt").message(),
            "Cannot proceed, line 3 of 'rules.txt': the search string is empty.");
  list = parse_replacement_list("a = b\nc = xcx\n = x\n");
  EXPECT_EQ(refuse_rules(list, "r").message(),
            "Cannot proceed, line 2 of 'r': the replacement contains the search string.");
  list = parse_replacement_list("same = same\n");
  EXPECT_EQ(refuse_rules(list, "r").message(),
            "Cannot proceed, line 1 of 'r': the replacement contains the search string.");
}

TEST(RefuseRules, AcceptsRulesThatMayFinish) {
  EXPECT_TRUE(refuse_rules(parse_replacement_list("ab = bbaa\nx =\nab = b\n"), "r").ok());
  EXPECT_TRUE(refuse_rules(parse_replacement_list(""), "r").ok());
}

}  // namespace
