// SPDX-License-Identifier: MIT
#include "talk/ie_res_talk_entry.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(TalkEntry, NewEntryHasFlagsThreeAndEveryOtherByteZero) {
  ie_res_talk_entry entry;
  ie_res_talk_entry::record_bytes expected{};
  expected[0] = 3;
  EXPECT_EQ(entry.record(), expected);
  EXPECT_EQ(entry.text(), "");
  EXPECT_EQ(entry.length(), 0u);
}

TEST(TalkEntry, ReadsEveryFieldLittleEndianFromRecordBytes) {
  const std::uint8_t record[26] = {0x34, 0x12, 'S', 'N', 'D', 0, 0, 0, 0, 0,    1,    2,    3,
                                   4,    5,    6,   7,   8,   9, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
  ie_res_talk_entry entry(record);
  EXPECT_EQ(entry.flags(), 0x1234);
  EXPECT_EQ(std::memcmp(entry.sound(), "SND\0\0\0\0\0", 8), 0);
  EXPECT_EQ(entry.volume_variance(), 0x04030201u);
  EXPECT_EQ(entry.pitch_variance(), 0x08070605u);
  EXPECT_EQ(entry.offset(), 9u);
  EXPECT_EQ(entry.length(), 0xffffffffu);
  EXPECT_EQ(entry.text(), "") << "the text is fetched by read_text only";
}

TEST(TalkEntry, SettersChangeOnlyTheirOwnField) {
  ie_res_talk_entry entry;
  entry.set_flags(7);
  entry.set_volume_variance(0xdeadbeef);
  entry.set_pitch_variance(42);
  entry.set_offset(1000);
  entry.set_text("Hello");
  EXPECT_EQ(entry.flags(), 7);
  EXPECT_EQ(entry.volume_variance(), 0xdeadbeefu);
  EXPECT_EQ(entry.pitch_variance(), 42u);
  EXPECT_EQ(entry.offset(), 1000u);
  EXPECT_EQ(entry.length(), 5u);
  entry.set_text("");
  EXPECT_EQ(entry.length(), 0u);
  EXPECT_EQ(entry.flags(), 7) << "an empty text keeps the flags";
}

TEST(TalkEntry, ChangingTheTextThroughItsReferenceLeavesTheLength) {
  ie_res_talk_entry entry;
  entry.set_text("abc");
  entry.text() = "abcdef";
  EXPECT_EQ(entry.length(), 3u);
}

TEST(TalkEntry, SoundNamesArePaddedOrCutToEightBytes) {
  ie_res_talk_entry entry;
  entry.set_sound("LONGNAME99");
  EXPECT_EQ(std::memcmp(entry.sound(), "LONGNAME", 8), 0);
  entry.set_sound("AB");
  EXPECT_EQ(std::memcmp(entry.sound(), "AB\0\0\0\0\0\0", 8), 0);
  EXPECT_EQ(entry.record()[10], 0) << "the field after the sound is untouched";
}

TEST(TalkEntry, ReadTextStopsAtTheFirstNulAndChecksTheEndOfTheFile) {
  std::string file = std::string("....abc\0def", 11);
  ie_res_talk_entry entry;
  entry.set_offset(2);
  entry.set_text(std::string(7, '?'));
  ASSERT_TRUE(entry.read_text(file, 2));
  EXPECT_EQ(entry.text(), "abc");
  EXPECT_EQ(entry.length(), 7u) << "the stored length stays";

  entry.set_offset(3);
  EXPECT_FALSE(entry.read_text(file, 2)) << "one byte past the end";
  EXPECT_EQ(entry.text(), "");
}

TEST(TalkEntry, ReadTextOfAnEmptyStringReadsNothingWhereverItPoints) {
  ie_res_talk_entry entry;
  entry.set_offset(0xfffffff0u);
  EXPECT_TRUE(entry.read_text("", 0x100));
  EXPECT_EQ(entry.text(), "");
}

TEST(TalkEntry, ReadTextAddsTheOffsetsAsThirtyTwoBitNumbers) {
  // strings_offset + offset wraps to 4, inside the file.
  std::string file = "....Hi";
  ie_res_talk_entry entry;
  entry.set_text("xx");
  entry.set_offset(0xfffffffeu);
  ASSERT_TRUE(entry.read_text(file, 6));
  EXPECT_EQ(entry.text(), "Hi");
}

}  // namespace
