// SPDX-License-Identifier: MIT
#include "common/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// glibc finds its converters in modules of its own (gconv), which the cross
// builds' emulated systems do not have.
#define SKIP_WITHOUT_CONVERTERS()                                                  \
  if (!text_converter::open(*find_code_page("cp1252")))                            \
  GTEST_SKIP() << "this system has no converters for Windows code pages (glibc's " \
                  "gconv modules)"

text_converter converter_for(std::string_view name) {
  std::optional<code_page> page = find_code_page(name);
  EXPECT_TRUE(page) << name;
  std::optional<text_converter> converter = text_converter::open(*page);
  EXPECT_TRUE(converter) << name;
  return std::move(*converter);
}

std::string decoded(std::string_view page, std::string_view bytes) {
  conversion_failure failure;
  return converter_for(page).decode(bytes, failure).value_or("(refused)");
}

std::string encoded(std::string_view page, std::string_view utf8) {
  conversion_failure failure;
  return converter_for(page).encode(utf8, failure).value_or("(refused)");
}

TEST(CodePage, IsFoundByTheNamesUsersWrite) {
  EXPECT_EQ(find_code_page("CP1252")->number, 1252u);
  EXPECT_EQ(find_code_page("windows-1251")->name, "cp1251");
  EXPECT_EQ(find_code_page("UTF8")->name, "utf-8");
  // glibc and Windows do not agree on Vietnamese.
  EXPECT_FALSE(find_code_page("cp1258"));
  EXPECT_FALSE(find_code_page("latin1"));
}

TEST(CodePage, ConvertsBothWays) {
  SKIP_WITHOUT_CONVERTERS();
  EXPECT_EQ(decoded("cp1252", "Caf\xe9 \x80"), "Caf\xc3\xa9 \xe2\x82\xac");
  EXPECT_EQ(encoded("cp1252", "Caf\xc3\xa9 \xe2\x82\xac"), "Caf\xe9 \x80");
  EXPECT_EQ(decoded("cp1251", "\xcf\xf0\xe8"), "\xd0\x9f\xd1\x80\xd0\xb8");
  EXPECT_EQ(encoded("cp1251", "\xd0\x9f\xd1\x80\xd0\xb8"), "\xcf\xf0\xe8");
  // Shift-JIS as Windows has it: 5C is the backslash, not a yen sign.
  EXPECT_EQ(decoded("cp932", "\x5c\x82\xa0"), "\\\xe3\x81\x82");
  EXPECT_EQ(encoded("cp932", "\\\xe3\x81\x82"), "\x5c\x82\xa0");
  // A Hebrew letter and its point stay two characters, as Windows has them.
  EXPECT_EQ(decoded("cp1255", "\xe1\xcc"), "\xd7\x91\xd6\xbc");
  // Of Big5's two codes for a box-drawing character, the first.
  EXPECT_EQ(encoded("cp950", "\xe2\x95\x90|\xe2\x95\xa1"), "\xa2\xa4|\xa2\xa7");
  EXPECT_EQ(decoded("utf-8", "\xc3\xa9"), "\xc3\xa9");
  EXPECT_EQ(decoded("cp1252", ""), "");
}

TEST(CodePage, RefusesWhatThePageLeavesUndefinedAndSaysWhere) {
  SKIP_WITHOUT_CONVERTERS();
  conversion_failure failure;
  text_converter western = converter_for("cp1252");
  // Undefined in cp1252: glibc refuses the byte, Windows would make it U+0081.
  EXPECT_FALSE(western.decode("ab\x81", failure));
  EXPECT_EQ(failure.offset, 2u);
  // A character the page cannot hold is named; no '?' takes its place.
  EXPECT_FALSE(western.encode("a\xce\xa9", failure));
  EXPECT_EQ(failure.offset, 1u);
  EXPECT_EQ(failure.character, 0x3a9u);
  EXPECT_EQ(character_name(*failure.character), "U+03A9");
  // glibc maps these to private use and to a C1 control; Windows does not.
  EXPECT_FALSE(converter_for("cp932").decode("a\xf0\x40", failure));
  EXPECT_EQ(failure.offset, 1u);
  EXPECT_FALSE(converter_for("cp950").decode("ab\x80", failure));
  EXPECT_EQ(failure.offset, 2u);
  EXPECT_FALSE(failure.character);
  // Where in the page's bytes, not in the UTF-8 of the text before it.
  EXPECT_FALSE(converter_for("cp950").decode("\xa4\x40\x80", failure));
  EXPECT_EQ(failure.offset, 2u);
  EXPECT_EQ(encoded("cp1252", "\xc2\x81"), "(refused)");
  EXPECT_EQ(encoded("cp932", "\xee\x80\x80"), "(refused)");
}

TEST(CodePage, TakesOnlyWellFormedUtf8) {
  SKIP_WITHOUT_CONVERTERS();
  for (std::string_view bad : {"\xc0\x80", "\xe0\x80\x80", "\xf0\x80\x80\x80", "\xed\xa0\x80",
                               "\xf4\x90\x80\x80", "\xe2\x82", "\x80"}) {
    EXPECT_EQ(first_non_utf8(std::string("ok") + std::string(bad)), 2u);
    EXPECT_EQ(decoded("utf-8", bad), "(refused)");
    EXPECT_EQ(encoded("cp1252", bad), "(refused)");
  }
  EXPECT_FALSE(first_non_utf8("\xf0\x9f\x98\x80 \xef\xbf\xbf"));
}

// What each single-byte page makes of its 256 bytes, one by one, hashed:
// the same numbers from the Linux build (glibc) and the Windows build (the
// Win32 functions) mean the two agree on every byte.
TEST(CodePage, EverySingleBytePageDecodesAlikeOnEverySystem) {
  SKIP_WITHOUT_CONVERTERS();
  const std::pair<std::string_view, std::uint64_t> pages[] = {
      {"cp1250", 13151921539681551972u}, {"cp1251", 4975711615680779536u},
      {"cp1252", 15904008344368812471u}, {"cp1253", 10676758152080210873u},
      {"cp1254", 15654896008973192647u}, {"cp1255", 8463361534624645373u},
      {"cp1256", 5220953334155728107u},  {"cp1257", 6742171964680170077u},
      {"cp874", 3949207073732684403u},
  };
  for (const auto& [name, expected] : pages) {
    text_converter converter = converter_for(name);
    std::uint64_t hash = 14695981039346656037u;
    for (int byte = 0; byte < 256; ++byte) {
      conversion_failure failure;
      std::string one =
          converter.decode(std::string(1, static_cast<char>(byte)), failure).value_or("(refused)");
      for (char c : one + '\n') hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    EXPECT_EQ(hash, expected) << name;
  }
}

// The same for the double-byte pages, over every pair of bytes that could be
// one character, and the way back: Big5's doubled box-drawing characters and
// the private-use areas are where glibc and Windows part.
TEST(CodePage, EveryDoubleBytePageConvertsAlikeOnEverySystem) {
  SKIP_WITHOUT_CONVERTERS();
  const std::pair<std::string_view, std::uint64_t> pages[] = {{"cp932", 6642384997742924075u},
                                                              {"cp936", 9177426011170445687u},
                                                              {"cp949", 14277028972388622198u},
                                                              {"cp950", 11328641209725753823u}};
  for (const auto& [name, expected] : pages) {
    text_converter converter = converter_for(name);
    std::uint64_t hash = 14695981039346656037u;
    auto add = [&hash](std::string_view bytes) {
      for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
      hash = (hash ^ '\n') * 1099511628211u;
    };
    for (int lead = 0x81; lead < 0xff; ++lead) {
      for (int trail = 0x40; trail < 0xff; ++trail) {
        conversion_failure failure;
        const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
        std::optional<std::string> text = converter.decode(pair, failure);
        add(text.value_or("(refused)"));
        if (text) add(converter.encode(*text, failure).value_or("(refused)"));
      }
    }
    EXPECT_EQ(hash, expected) << name;
  }
}

// Every character of the first three planes, encoded alone in every page:
// a page holds a character only if its bytes read back as that character,
// so what glibc maps one way only (cp932's U+00A5 to a backslash) and what
// it drops (tag characters in the double-byte pages) is refused, as it is
// on Windows, and the two systems give the same bytes for all the rest.
TEST(CodePage, EveryPageEncodesAlikeOnEverySystem) {
  SKIP_WITHOUT_CONVERTERS();
  const std::pair<std::string_view, std::uint64_t> pages[] = {
      {"cp1250", 7215655198969993024u}, {"cp1251", 192381545063485022u},
      {"cp1252", 6546538596284348588u}, {"cp1253", 7072665480708594944u},
      {"cp1254", 1310428905108897744u}, {"cp1255", 13355427413323143801u},
      {"cp1256", 3724884377475919567u}, {"cp1257", 853437982349959162u},
      {"cp874", 17122548369863845919u}, {"cp932", 17966330835923389223u},
      {"cp936", 14856720730136002949u}, {"cp949", 9135038620914282326u},
      {"cp950", 12890332625520292652u}};
  for (const auto& [name, expected] : pages) {
    text_converter converter = converter_for(name);
    std::uint64_t hash = 14695981039346656037u;
    for (std::uint32_t character = 1; character < 0x30000; ++character) {
      if (character >= 0xd800 && character < 0xe000) continue;
      std::string utf8;
      if (character < 0x80) {
        utf8 = {static_cast<char>(character)};
      } else if (character < 0x800) {
        utf8 = {static_cast<char>(0xc0 | (character >> 6)),
                static_cast<char>(0x80 | (character & 0x3f))};
      } else if (character < 0x10000) {
        utf8 = {static_cast<char>(0xe0 | (character >> 12)),
                static_cast<char>(0x80 | ((character >> 6) & 0x3f)),
                static_cast<char>(0x80 | (character & 0x3f))};
      } else {
        utf8 = {static_cast<char>(0xf0 | (character >> 18)),
                static_cast<char>(0x80 | ((character >> 12) & 0x3f)),
                static_cast<char>(0x80 | ((character >> 6) & 0x3f)),
                static_cast<char>(0x80 | (character & 0x3f))};
      }
      conversion_failure failure;
      std::optional<std::string> bytes = converter.encode(utf8, failure);
      if (bytes) {
        conversion_failure unused;
        EXPECT_EQ(converter.decode(*bytes, unused), utf8)
            << name << " " << character_name(character);
      } else {
        EXPECT_EQ(failure.character, character) << name;
      }
      for (char c : bytes.value_or("-") + '\n')
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    }
    EXPECT_EQ(hash, expected) << name;
  }
}

}  // namespace
