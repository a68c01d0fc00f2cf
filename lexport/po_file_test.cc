// SPDX-License-Identifier: MIT
#include "lexport/po_file.h"

#include <gtest/gtest.h>

namespace {

std::string refusal_of(std::string_view text) {
  po_file po;
  outcome read = read_po(text, po);
  if (read.ok()) return "(read)";
  return "line " + std::to_string(read.error().line) + ": " + read.message();
}

TEST(PoFile, WritesStringsAsGettextDoesUnwrapped) {
  std::string out;
  append_po_string(out, "msgid", "a\"b\\c\td\r\a\b\f\v\x01 \xc3\xa9\n");
  append_po_string(out, "msgstr", "one\ntwo\n\n");
  append_po_string(out, "msgctxt", "\nx");
  append_po_string(out, "msgid", "");
  EXPECT_EQ(out,
            "msgid \"a\\\"b\\\\c\\td\\r\\a\\b\\f\\v\x01 \xc3\xa9\\n\"\n"
            "msgstr \"\"\n\"one\\n\"\n\"two\\n\"\n\"\\n\"\n"
            "msgctxt \"\"\n\"\\n\"\n\"x\"\n"
            "msgid \"\"\n");
}

// What translators' tools write: comments of every kind, wrapped strings,
// CR LF line ends, fuzzy flags, obsolete messages, any escape.
TEST(PoFile, ReadsWhatTranslatorsToolsWrite) {
  const std::string text =
      "# translator's comment\r\n"
      "msgid \"\"\r\n"
      "msgstr \"\"\r\n"
      "\"Content-Type: text/plain; charset=UTF-8\\n\"\r\n"
      "\r\n"
      "#. sound: AR0101\n"
      "#: dialog.tlk:7\n"
      "#, fuzzy, c-format\n"
      "#| msgid \"old\"\n"
      "msgctxt \"7\"\n"
      "msgid \"\"\n"
      "\"two \"\n"
      "  \"lines\"\n"
      "msgstr \"\\x41\\101\\'\\?\"\n"
      "\n"
      "#, fuzzy\n"
      "#~ msgctxt \"8\"\n"
      "#~ msgid \"gone\"\n"
      "#~ msgstr \"weg\"\n"
      "\n"
      "msgctxt \"9\"\n"
      "msgid \"x\"\n"
      "msgstr \"y\\t\\r\\a\\b\\f\\v\\n\\\\\\\"\"";
  po_file po;
  ASSERT_TRUE(read_po(text, po).ok());
  EXPECT_EQ(po_header_field(po.header, "charset"), "UTF-8");
  ASSERT_EQ(po.messages.size(), 2u);
  EXPECT_EQ(po.messages[0].context, "7");
  EXPECT_EQ(po.messages[0].id, "two lines");
  EXPECT_EQ(po.messages[0].translation, "AA'?");
  EXPECT_TRUE(po.messages[0].fuzzy);
  EXPECT_EQ(po.messages[0].line, 10u);
  EXPECT_FALSE(po.messages[1].fuzzy);
  EXPECT_EQ(po.messages[1].translation, "y\t\r\a\b\f\v\n\\\"");
}

// gettext keeps a flags line for the message after it, across blank
// lines, but not past an obsolete message, which the flags then belong to;
// fuzzy may stand anywhere in the line, and the line ends the message
// before it even without a blank line between the two.
TEST(PoFile, AFuzzyMarkBelongsToTheNextMessageAcrossBlankLines) {
  for (const char* text : {"#, fuzzy\n\n\nmsgctxt \"1\"\nmsgid \"a\"\nmsgstr \"b\"\n"
                           "#, fuzzy\n#~ msgid \"gone\"\n#~ msgstr \"weg\"\n\n"
                           "msgctxt \"2\"\nmsgid \"c\"\nmsgstr \"d\"\n",
                           "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"b\"\n#, c-format, fuzzy\n"
                           "msgctxt \"2\"\nmsgid \"c\"\nmsgstr \"d\"\n"}) {
    po_file po;
    ASSERT_TRUE(read_po(text, po).ok());
    ASSERT_EQ(po.messages.size(), 2u);
    // The first text marks the first message, the second the second.
    const bool first = text[0] == '#';
    EXPECT_EQ(po.messages[0].fuzzy, first) << text;
    EXPECT_EQ(po.messages[1].fuzzy, !first) << text;
  }
}

TEST(PoFile, RefusesWhatItCannotHonourWithTheLine) {
  EXPECT_EQ(refusal_of("msgid \"a\"\nmsgid_plural \"b\"\nmsgstr[0] \"c\"\n"),
            "line 2: plural forms are not taken: a talk table has one text an entry.");
  EXPECT_EQ(refusal_of("msgid \"a\"\nmsgstr \"b\\q\"\n"), "line 2: a bad escape sequence '\\q'.");
  EXPECT_EQ(refusal_of("msgid \"a\"\nmsgstr \"b\n"), "line 2: the string is not terminated.");
  EXPECT_EQ(refusal_of("msgid \"a\"\nmsgstr \"b\\\"\n"), "line 2: the string is not terminated.");
  EXPECT_EQ(refusal_of("msgid \"a\" x\nmsgstr \"\"\n"), "line 1: text follows the string.");
  EXPECT_EQ(refusal_of("\n\nmsgctxt \"1\"\nmsgid \"a\"\n\n"), "line 3: the message is incomplete.");
  EXPECT_EQ(refusal_of("msgstr \"b\"\n"), "line 1: msgstr without its msgid.");
  EXPECT_EQ(refusal_of("\"b\"\n"), "line 1: a string stands without a keyword.");
  EXPECT_EQ(refusal_of("msgid \"a\"\nmsgstr \"\"\nmsgcomment \"c\"\n"),
            "line 3: lexport cannot read this line.");
}

}  // namespace
