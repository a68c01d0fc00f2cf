// SPDX-License-Identifier: MIT
#include "wordloom/wordloom.h"

#include <gtest/gtest.h>

#include <vector>

#include "wordloom/getopt.h"

namespace {

wordloom_settings settings_of(std::vector<const char*> args) {
  args.insert(args.begin(), "wordloom");
  return read_settings(GetOpt(static_cast<int>(args.size()), args.data()));
}

TEST(WordloomSettings, DefaultsToOneWordAndNothingElse) {
  wordloom_settings settings = settings_of({"-x"});
  EXPECT_EQ(settings.load_file, "");
  EXPECT_EQ(settings.save_file, "");
  EXPECT_EQ(settings.word_list_file, "");
  EXPECT_EQ(settings.word_count, 1);
  EXPECT_EQ(settings.start_character, 0);
  EXPECT_FALSE(settings.statistics);
}

TEST(WordloomSettings, ReadsEveryOptionInAnyOrder) {
  wordloom_settings settings =
      settings_of({"-s", "m.txt", "-b", "xyz", "-d", "-r", "w.txt", "-l", "in.txt", "-c", "12abc"});
  EXPECT_EQ(settings.save_file, "m.txt");
  EXPECT_EQ(settings.word_list_file, "w.txt");
  EXPECT_EQ(settings.load_file, "in.txt");
  EXPECT_EQ(settings.word_count, 12);
  EXPECT_EQ(settings.start_character, 'x');
  EXPECT_TRUE(settings.statistics);
}

TEST(WordloomSettings, CountsFollowAtoi) {
  EXPECT_EQ(settings_of({"-c", "0"}).word_count, 0);
  EXPECT_EQ(settings_of({"-c", "-5"}).word_count, -5);
  EXPECT_EQ(settings_of({"-c", "x"}).word_count, 0);
  EXPECT_EQ(settings_of({"-c", " 7"}).word_count, 7);
  EXPECT_EQ(settings_of({"-c"}).word_count, 0);
  EXPECT_EQ(settings_of({"-c", "-b", "x"}).word_count, 0);
}

TEST(WordloomSettings, AnEmptyOrMissingStartCharacterIsNone) {
  EXPECT_EQ(settings_of({"-b"}).start_character, 0);
  EXPECT_EQ(settings_of({"-b", ""}).start_character, 0);
  EXPECT_EQ(settings_of({"-b", "\xe9t\xe9"}).start_character, '\xe9');
}

TEST(WordloomSettings, OptionsTakeTheNextArgumentEvenWhenItIsAnOption) {
  wordloom_settings settings = settings_of({"-l", "-r", "words"});
  EXPECT_EQ(settings.load_file, "-r");
  EXPECT_EQ(settings.word_list_file, "words");
}

}  // namespace
