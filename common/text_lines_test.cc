// SPDX-License-Identifier: MIT
#include "common/text_lines.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "testing/testkit.h"

namespace {

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  line_reader reader(text);
  std::string_view line;
  while (reader.next(line)) lines.emplace_back(line);
  return lines;
}

using lines = std::vector<std::string>;

TEST(LineReader, SplitsAtLineFeedsAndDropsTheCarriageReturnBeforeThem) {
  EXPECT_EQ(lines_of("a\nb\n"), (lines{"a", "b"}));
  EXPECT_EQ(lines_of("a\r\nb\r\n"), (lines{"a", "b"}));
  EXPECT_EQ(lines_of("a\r\nb"), (lines{"a", "b"}));
  EXPECT_EQ(lines_of("a\r\r\n"), (lines{"a\r"}));
}

TEST(LineReader, KeepsEveryOtherCarriageReturnInTheLine) {
  EXPECT_EQ(lines_of("a\rb\n"), (lines{"a\rb"}));
  EXPECT_EQ(lines_of("a\r"), (lines{"a\r"}));
  EXPECT_EQ(lines_of("\r"), (lines{"\r"}));
}

TEST(LineReader, CountsTheLastLineWithoutALineFeedButNoLineAfterAFinalOne) {
  EXPECT_EQ(lines_of(""), lines{});
  EXPECT_EQ(lines_of("\n"), (lines{""}));
  EXPECT_EQ(lines_of("\n\n"), (lines{"", ""}));
  EXPECT_EQ(lines_of("x"), (lines{"x"}));
  EXPECT_EQ(lines_of("\r\n"), (lines{""}));
}

TEST(LineReader, KeepsBlanksNulAndHighBytesInLines) {
  std::string text("  a b \t\n\0x\xff\n", 12);
  EXPECT_EQ(lines_of(text), (lines{"  a b \t", std::string("\0x\xff", 3)}));
}

// The reader against the plainest reading of the rule, on random texts made
// mostly of the bytes that matter.
TEST(LineReader, AgreesWithAPlainReadingOnRandomTexts) {
  std::mt19937 random(7);
  const char alphabet[] = {'a', '\r', '\n', ' ', '\0'};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int size = static_cast<int>(random() % 20);
    for (int i = 0; i < size; ++i) text.push_back(alphabet[random() % 5]);

    lines expected;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n') {
        if (!current.empty() && current.back() == '\r') current.pop_back();
        expected.push_back(current);
        current.clear();
      } else {
        current.push_back(text[i]);
      }
    }
    if (!current.empty()) expected.push_back(current);
    ASSERT_EQ(lines_of(text), expected) << "text of " << text.size() << " bytes";
  }
}

TEST(ReadFile, ReadsEveryByteOfAFile) {
  testkit::scratch_dir dir;
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes.push_back(static_cast<char>(i * 7));
  testkit::write_bytes(dir.file("big"), bytes);
  testkit::write_bytes(dir.file("empty"), "");

  file_bytes read;
  ASSERT_TRUE(read_file(dir.file("big"), read));
  EXPECT_EQ(std::string_view(read), bytes);
  ASSERT_TRUE(read_file(dir.file("empty"), read));
  EXPECT_EQ(std::string_view(read), "");
}

TEST(ReadFile, FailsOnAMissingFileAndOnADirectory) {
  testkit::scratch_dir dir;
  file_bytes read = "old";
  EXPECT_FALSE(read_file(dir.file("missing"), read));
  EXPECT_EQ(std::string_view(read), "");
  EXPECT_FALSE(read_file(dir.path().string(), read));
}

// What a list is, from its mark or, without one (iconv writes none), from
// where its NUL bytes fall.
TEST(TextKind, TellsTwoAndFourByteTextWithOrWithoutAMark) {
  using namespace std::string_literals;
  const std::string word = "old = new\n";
  auto widened = [&word](std::size_t width, bool big_endian) {
    std::string wide;
    for (char c : word) {
      std::string unit(width, '\0');
      unit[big_endian ? width - 1 : 0] = c;
      wide += unit;
    }
    return wide;
  };
  for (bool big_endian : {false, true}) {
    std::string mark16 = big_endian ? "\xfe\xff"s : "\xff\xfe"s;
    std::string mark32 = big_endian ? "\0\0\xfe\xff"s : "\xff\xfe\0\0"s;
    EXPECT_EQ(kind_of_text(mark16 + widened(2, big_endian)), text_kind::utf16) << big_endian;
    EXPECT_EQ(kind_of_text(mark32 + widened(4, big_endian)), text_kind::utf32) << big_endian;
    EXPECT_EQ(kind_of_text(widened(2, big_endian)), text_kind::utf16) << big_endian;
    EXPECT_EQ(kind_of_text(widened(4, big_endian)), text_kind::utf32) << big_endian;
  }
  // Cyrillic has no NUL byte in UTF-16: only the mark tells.
  EXPECT_EQ(kind_of_text("\xff\xfe\x14\x04\x30\x04"s), text_kind::utf16);
  EXPECT_EQ(kind_of_text("\xfe\xff\x04\x14\x04\x30"s), text_kind::utf16);
  // A few NUL bytes in a list of one-byte text leave it one.
  EXPECT_EQ(kind_of_text("apple\npe\0r\nplum\0\n"s), text_kind::plain);
  EXPECT_EQ(kind_of_text("\0\0"s), text_kind::plain);
  // Nor do a few bytes that only happen to hold a NUL tell.
  EXPECT_EQ(kind_of_text(" \0\t= \n"s), text_kind::plain);
  EXPECT_EQ(kind_of_text("\0"s), text_kind::plain);
  EXPECT_EQ(kind_of_text("a\0"s), text_kind::plain);
  EXPECT_EQ(kind_of_text(word), text_kind::plain);
}

}  // namespace
