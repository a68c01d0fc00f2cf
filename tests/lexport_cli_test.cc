// SPDX-License-Identifier: MIT
// lexport as translators run it: tables in the code pages games use, the PO
// files checked by GNU gettext's own tools and read by polib, and every
// refusal leaving the table as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/run_program.h"

namespace {

using testkit::run;

testkit::run_result tool(const std::string& program, const std::vector<std::string>& args) {
  testkit::run_options options;
  options.host_tool = true;
  return run(program, args, options);
}

// The texts of a table in one code page, and what a translator makes of
// them in UTF-8.
struct page_case {
  std::string page;
  std::vector<std::string> texts;
  std::string translation_utf8;
  // The translation in the page's bytes.
  std::string translation;
};

const std::vector<page_case>& page_cases() {
  static const std::vector<page_case> cases = {
      {"utf-8",
       {"Caf\xc3\xa9 \"Zum L\xc3\xb6wen\"", "", "line one\nline two\n", "tab\there \\ back"},
       "\xe2\x80\x9e"
       "Gr\xc3\xbc\xc3\x9f Gott\xe2\x80\x9c",
       "\xe2\x80\x9e"
       "Gr\xc3\xbc\xc3\x9f Gott\xe2\x80\x9c"},
      {"cp1252",
       {"Caf\xe9 \x80 5", "", "two\nlines", "end\n\n", "\x93quoted\x94 \xbf"},
       "Caf\xc3\xa9 au lait \xe2\x80\x94 \xc5\x93uvre",
       "Caf\xe9 au lait \x97 \x9cuvre"},
      {"cp1251",
       {"\xcf\xf0\xe8\xe2\xe5\xf2, \xe4\xf0\xf3\xe3!", "\xb8\xa8"},
       "\xd0\x9f\xd0\xbe\xd0\xba\xd0\xb0",
       "\xcf\xee\xea\xe0"},
      {"cp932",
       {"\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x5c", "\x83\x5c\x83\x74\x83\x67"},
       "\xe3\x81\x95\xe3\x82\x88\xe3\x81\x86\xe3\x81\xaa\xe3\x82\x89\\",
       "\x82\xb3\x82\xe6\x82\xa4\x82\xc8\x82\xe7\x5c"},
  };
  return cases;
}

class LexportCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    if (tool("msgfmt", {"--version"}).status != 0)
      GTEST_SKIP() << "GNU gettext is not installed (Debian: gettext)";
    // glibc finds its converters in modules of its own (gconv), which the
    // cross builds' emulated systems do not have.
    testkit::write_bytes(table_, testkit::packed_tlk({"\xe9"}));
    if (run(LEXPORT, {"export", table_, "--encoding", "cp1252"}).err.find("cannot convert") !=
        std::string::npos)
      GTEST_SKIP()
          << "this system has no converters for Windows code pages (glibc's gconv modules)";
  }

  std::string table_bytes() { return testkit::read_bytes(table_); }

  testkit::scratch_dir dir_;
  std::string table_ = dir_.file("dialog.tlk");
  std::string po_ = dir_.file("dialog.po");
};

// The round trip, as gettext's tools see it: the export is what msgcat
// writes, msgfmt finds nothing to say, msgen's copy of every source text
// puts back the bytes of every text, and an import that changes nothing
// writes nothing.
TEST_F(LexportCommand, ExportAndImportGiveBackEveryTableByteForByte) {
  for (const page_case& one : page_cases()) {
    SCOPED_TRACE(one.page);
    const std::string original = testkit::packed_tlk(one.texts);
    testkit::write_bytes(table_, original);
    testkit::run_result result =
        run(LEXPORT, {"export", table_, "--encoding", one.page, "--language", "de", "-o", po_});
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string po = testkit::read_bytes(po_);
    EXPECT_EQ(tool("msgcat", {"--no-wrap", po_}).out, po);
    testkit::run_result check = tool("msgfmt", {"--check", "-o", dir_.file("out.mo"), po_});
    EXPECT_EQ(check.status, 0);
    EXPECT_EQ(check.err, "");
    const std::string english = dir_.file("en.po");
    ASSERT_EQ(tool("msgen", {po_, "-o", english}).status, 0);

    result = run(LEXPORT, {"import", table_, english, "--encoding", one.page});
    EXPECT_EQ(result.status, 0) << result.err;
    std::size_t texts = 0;
    for (const std::string& text : one.texts) texts += !text.empty();
    EXPECT_EQ(result.out, "0 strings imported in " + one.page + "; " + std::to_string(texts) +
                              " left as they were (0 untranslated, 0 fuzzy, " +
                              std::to_string(texts) +
                              " already the same, 0 not fitting their entries).\n");
    EXPECT_EQ(table_bytes(), original);

    // Into a table whose every text was lost, which no longer holds the
    // sources: the table they came from is named.
    std::vector<std::string> lost;
    for (const std::string& text : one.texts) lost.push_back(text.empty() ? "" : "?");
    const std::string source = dir_.file("source.tlk");
    testkit::write_bytes(source, original);
    testkit::write_bytes(table_, testkit::packed_tlk(lost));
    result = run(LEXPORT, {"import", table_, english, "--encoding", one.page, "--source", source});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(table_bytes(), original);
  }
}

// gettext's tools must read back every export: a sound name ending in a
// backslash, which gettext would join to the next line, and a text holding
// 0x04, gettext's context separator, which no PO file may carry.
TEST_F(LexportCommand, EveryExportIsAPoFileGettextReads) {
  std::vector<testkit::record> records(2);
  records[0].sound = "VOICE\\";
  records[0].length = 5;
  records[1].offset = 5;
  records[1].length = 3;
  testkit::write_bytes(table_, testkit::tlk_bytes(records, "Hello\x04\x04!", 18 + 26 * 2));
  testkit::run_result result = run(LEXPORT, {"export", table_, "-o", po_});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Cannot proceed, entry 1 of '" + table_ +
                            "' holds byte 0x04, which gettext's tools refuse in a PO file.\n");
  EXPECT_FALSE(std::filesystem::exists(po_));

  records.pop_back();
  testkit::write_bytes(table_, testkit::tlk_bytes(records, "Hello", 18 + 26));
  ASSERT_EQ(run(LEXPORT, {"export", table_, "-o", po_}).status, 0);
  EXPECT_NE(testkit::read_bytes(po_).find("\n#. sound: VOICE\\x5C\nmsgctxt \"0\"\n"),
            std::string::npos);
  const std::string english = dir_.file("en.po");
  ASSERT_EQ(tool("msgen", {po_, "-o", english}).status, 0);
  result = run(LEXPORT, {"import", table_, english});
  EXPECT_EQ(result.status, 0) << result.err;
}

// Readers stricter than gettext's own: i18nspector finds nothing to say of a
// template but what a user alone can give, and of a translation only of the
// fields a translator fills in; Babel reads and compiles the file, and what
// it writes back, without lexport's own fields, still imports.
TEST_F(LexportCommand, TranslatorsToolsReadTheHeader) {
  if (tool("i18nspector", {"--version"}).status != 0 ||
      tool("/usr/bin/python3", {"-c", "import babel"}).status != 0)
    GTEST_SKIP() << "i18nspector or Babel is not installed (Debian: i18nspector, python3-babel)";
  testkit::write_bytes(table_, testkit::packed_tlk({"Hello", "Bye"}));
  const std::string pot = dir_.file("dialog.pot");
  ASSERT_EQ(run(LEXPORT, {"export", table_, "--encoding", "cp1252", "--language", "pt_BR",
                          "--msgid-bugs-address", "https://example.org/bugs", "-o", pot})
                .status,
            0);
  // Its errors and warnings; pedantic notes (no version number in the
  // project's name) are left out.
  auto faults = [](const std::string& file) {
    std::string out = tool("i18nspector", {file}).out, found;
    for (std::size_t at = 0, end; at < out.size(); at = end + 1) {
      end = out.find('\n', at);
      if (out[at] == 'E' || out[at] == 'W') found += out.substr(at, end - at + 1);
    }
    return found;
  };
  EXPECT_EQ(faults(pot), "");
  ASSERT_EQ(run(LEXPORT, {"export", table_, "--encoding", "cp1252", "--language", "de", "-o", po_})
                .status,
            0);
  EXPECT_EQ(faults(po_), "W: " + po_ + ": no-report-msgid-bugs-to-header-field\nW: " + po_ +
                             ": invalid-last-translator (empty string)\n");

  const std::string script =
      "import sys\n"
      "from babel.messages.pofile import read_po, write_po\n"
      "catalog = read_po(open(sys.argv[1], 'rb'))\n"
      "catalog.get('Bye', context='1').string = 'Tsch\xc3\xbcss'\n"
      "write_po(open(sys.argv[1], 'wb'), catalog)\n";
  ASSERT_EQ(tool("/usr/bin/python3", {"-c", script, po_}).status, 0);
  ASSERT_EQ(tool("pybabel", {"compile", "-l", "de", "-i", po_, "-o", dir_.file("de.mo")}).status,
            0);
  testkit::run_result result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Hello", "Tsch\xfcss"}));
}

// polib, a reader of its own, loads the export, translates and saves; the
// translation goes in, in the table's code page, and the other texts stay.
TEST_F(LexportCommand, ATranslationSavedByPolibGoesIntoTheTable) {
  if (tool("/usr/bin/python3", {"-c", "import polib"}).status != 0)
    GTEST_SKIP() << "polib is not installed (Debian: python3-polib)";
  for (const page_case& one : page_cases()) {
    SCOPED_TRACE(one.page);
    testkit::write_bytes(table_, testkit::packed_tlk(one.texts));
    ASSERT_EQ(run(LEXPORT, {"export", table_, "--encoding", one.page, "-o", po_}).status, 0);
    const std::string script =
        "import polib, sys\n"
        "po = polib.pofile(sys.argv[1])\n"
        "po[0].msgstr = sys.argv[2]\n"
        "po.metadata['X-Lexport-Translation-Encoding'] = sys.argv[3]\n"
        "po.save(sys.argv[1])\n";
    ASSERT_EQ(tool("/usr/bin/python3", {"-c", script, po_, one.translation_utf8, one.page}).status,
              0);
    // The code page comes from the PO this time.
    testkit::run_result result = run(LEXPORT, {"import", table_, po_});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, result.out.find(';')), "1 strings imported in " + one.page);
    std::vector<std::string> expected = one.texts;
    expected[0] = one.translation;
    EXPECT_EQ(table_bytes(), testkit::packed_tlk(expected));
  }
}

// A translated table becomes a PO file, its untranslated texts left empty; after a patch changes a
// source text, msgmerge marks its translation fuzzy, and an import leaves it out until a translator
// has looked at it (or --fuzzy takes it).
TEST_F(LexportCommand, AnOldTranslationIsBroughtUpToDateTheGettextWay) {
  const std::string russian = dir_.file("ru.tlk");
  const std::string old_po = dir_.file("ru.po");
  const std::string fresh = dir_.file("new.pot");
  const std::string merged = dir_.file("merged.po");
  testkit::write_bytes(table_, testkit::packed_tlk({"Hello", "Bye", "Bye"}));
  // The third is still in English: left to translate.
  testkit::write_bytes(
      russian, testkit::packed_tlk({"\xcf\xf0\xe8\xe2\xe5\xf2", "\xcf\xee\xea\xe0", "Bye"}));
  testkit::run_result result = run(LEXPORT, {"export", table_, "--translation", russian,
                                             "--translation-encoding", "cp1251", "-o", old_po});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(testkit::read_bytes(old_po).find("\"X-Lexport-Translation-Encoding: cp1251\\n\"\n\n"
                                             "msgctxt \"0\"\nmsgid \"Hello\"\nmsgstr \"Привет\"\n\n"
                                             "msgctxt \"1\"\nmsgid \"Bye\"\nmsgstr \"Пока\"\n\n"
                                             "msgctxt \"2\"\nmsgid \"Bye\"\nmsgstr \"\"\n"),
            std::string::npos);

  testkit::write_bytes(table_, testkit::packed_tlk({"Hello!", "Bye", "Bye"}));
  ASSERT_EQ(run(LEXPORT, {"export", table_, "-o", fresh}).status, 0);
  ASSERT_EQ(tool("msgmerge", {"--quiet", old_po, fresh, "-o", merged}).status, 0);
  testkit::write_bytes(russian, testkit::packed_tlk({"?", "?", "?"}));
  // The code page is the one the PO file records; the file itself may be in
  // another charset than UTF-8, as its header says.
  ASSERT_EQ(tool("msgconv", {"--to-code=CP1251", merged, "-o", merged}).status, 0);
  result = run(LEXPORT, {"import", russian, merged, "--source", table_});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "1 strings imported in cp1251; 2 left as they were (1 untranslated, 1 fuzzy, 0 already "
            "the same, 0 not fitting their entries).\n");
  EXPECT_EQ(testkit::read_bytes(russian), testkit::packed_tlk({"?", "\xcf\xee\xea\xe0", "?"}));
  result = run(LEXPORT, {"import", russian, merged, "--fuzzy", "--source", table_});
  EXPECT_EQ(result.out,
            "1 strings imported in cp1251; 2 left as they were (1 untranslated, 0 fuzzy, 1 already "
            "the same, 0 not fitting their entries).\n");
  EXPECT_EQ(testkit::read_bytes(russian),
            testkit::packed_tlk({"\xcf\xf0\xe8\xe2\xe5\xf2", "\xcf\xee\xea\xe0", "?"}));
}

// The female table travels in the same PO file: "N female" after entry N
// where its text is another. A message "N" goes into both tables, "N
// female" (made by the export or added later) into the female one alone,
// and an "N" whose source the female entry does not hold leaves it be.
TEST_F(LexportCommand, TheFemaleTableTravelsInTheSamePoFile) {
  if (tool("/usr/bin/python3", {"-c", "import polib"}).status != 0)
    GTEST_SKIP() << "polib is not installed (Debian: python3-polib)";
  const std::string female = dir_.file("dialogf.tlk");
  const std::string male_texts = testkit::packed_tlk({"Hello", "Brave, sir.", "", "Bye"});
  const std::string female_texts = testkit::packed_tlk({"Hello", "Brave, madam.", "Lady", "Bye"});
  testkit::write_bytes(table_, male_texts);
  testkit::write_bytes(female, female_texts);
  testkit::run_result result = run(LEXPORT, {"export", table_, "--female", female, "--encoding",
                                             "cp1252", "--language", "de", "-o", po_});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(testkit::read_bytes(po_).find("msgctxt \"1\"\nmsgid \"Brave, sir.\"\nmsgstr \"\"\n\n"
                                          "msgctxt \"1 female\"\nmsgid \"Brave, madam.\"\nmsgstr "
                                          "\"\"\n\nmsgctxt \"2 female\"\nmsgid \"Lady\"\n"),
            std::string::npos);
  EXPECT_EQ(tool("msgfmt", {"--check", "-o", dir_.file("de.mo"), po_}).err, "");

  // A translator's work, and a variant added for a language that needs it.
  const std::string script =
      "import polib, sys\n"
      "po = polib.pofile(sys.argv[1])\n"
      "texts = dict(zip(sys.argv[2::2], sys.argv[3::2]))\n"
      "for entry in po:\n"
      "    entry.msgstr = texts.pop(entry.msgctxt, '')\n"
      "for context, text in texts.items():\n"
      "    po.append(polib.POEntry(msgctxt=context, msgid='Bye', msgstr=text))\n"
      "po.save(sys.argv[1])\n";
  ASSERT_EQ(tool("/usr/bin/python3",
                 {"-c", script, po_, "0", "Hallo", "1", "Tapfer, Herr.", "1 female",
                  "Tapfer, Dame.", "3", "Tsch\xc3\xbcss", "3 female", "Tsch\xc3\xbcss, Dame."})
                .status,
            0);
  result = run(LEXPORT, {"import", table_, po_, "--female", female, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "3 strings imported into '" + table_ +
                "' in cp1252; 0 left as they were (0 untranslated, 0 fuzzy, 0 already the same, 0 "
                "not fitting their entries).\n3 strings imported into '" +
                female +
                "' in cp1252; 1 left as they were (1 untranslated, 0 fuzzy, 0 already the same, 0 "
                "not fitting their entries).\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Hallo", "Tapfer, Herr.", "", "Tsch\xfcss"}));
  EXPECT_EQ(testkit::read_bytes(female), testkit::packed_tlk({"Hallo", "Tapfer, Dame.", "Lady",
                                                              "Tsch\xfc"
                                                              "ss, Dame."}));

  // Into a pair that holds other texts, compared with the pair it was made
  // from.
  const std::string lost = testkit::packed_tlk({"?", "?", "?", "?"});
  const std::string source = dir_.put("source.tlk", male_texts);
  const std::string source_female = dir_.put("sourcef.tlk", female_texts);
  testkit::write_bytes(table_, lost);
  testkit::write_bytes(female, lost);
  result = run(LEXPORT, {"import", table_, po_, "--female", female, "--encoding", "cp1252",
                         "--source", source, "--source-female", source_female});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(testkit::read_bytes(female),
            testkit::packed_tlk({"Hallo", "Tapfer, Dame.", "?", "Tsch\xfcss, Dame."}));

  // A PO file made from the table alone.
  testkit::write_bytes(table_, male_texts);
  testkit::write_bytes(female, female_texts);
  ASSERT_EQ(run(LEXPORT, {"export", table_, "--encoding", "cp1252", "-o", po_}).status, 0);
  ASSERT_EQ(tool("/usr/bin/python3", {"-c", script, po_, "0", "Hallo", "1", "Tapfer."}).status, 0);
  result = run(LEXPORT, {"import", table_, po_, "--female", female, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "Warning: 1 messages do not fit '" + female +
                            "', whose entries hold another text than their source: entry 1 "
                            "(line 19); give each its own 'N female' message, or with "
                            "--source-female name the female table the PO file was made from.\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Hallo", "Tapfer.", "", "Bye"}));
  EXPECT_EQ(testkit::read_bytes(female),
            testkit::packed_tlk({"Hallo", "Brave, madam.", "Lady", "Bye"}));
}

// What cannot go into two tables is refused before either changes.
TEST_F(LexportCommand, EachRefusalOfAPairLeavesBothTables) {
  const std::string female = dir_.file("dialogf.tlk");
  const std::string male_texts = testkit::packed_tlk({"Hello", "Brave, sir."});
  const std::string female_texts = testkit::packed_tlk({"Hello", "Brave, madam."});
  testkit::write_bytes(po_,
                       "msgctxt \"1\"\nmsgid \"Brave, sir.\"\nmsgstr \"Tapfer.\"\n\n"
                       "msgctxt \"1 female\"\nmsgid \"Brave, madam.\"\nmsgstr \"Tapfer, Dame.\"\n");
  std::filesystem::create_symlink(table_, dir_.file("link.tlk"));
  const std::string three = dir_.file("three.tlk");
  testkit::write_bytes(three, testkit::packed_tlk({"a", "b", "c"}));
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"import", table_, po_, "--encoding", "cp1252"},
       "Cannot proceed, line 5 of '" + po_ +
           "': the message is for entry 1 of the female table; name that table with --female.\n"},
      {{"import", table_, po_, "--encoding", "cp1252", "--female", dir_.file("link.tlk")},
       "Cannot proceed, --female names the talk table '" + table_ + "' itself.\n"},
      {{"import", table_, po_, "--encoding", "cp1252", "--female", three},
       "Cannot proceed, '" + three + "' has 3 entries and '" + table_ +
           "' 2; a female table has one for each entry of the table.\n"},
      {{"export", table_, "--encoding", "cp1252", "--female", three},
       "Cannot proceed, '" + three + "' has 3 entries and '" + table_ +
           "' 2; a female table has one for each entry of the table.\n"},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.err);
    testkit::write_bytes(table_, male_texts);
    testkit::write_bytes(female, female_texts);
    testkit::run_result result = run(LEXPORT, one.args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, one.err);
    EXPECT_EQ(table_bytes(), male_texts);
    EXPECT_EQ(testkit::read_bytes(female), female_texts);
  }
}

// A PO file holds the texts it was made from: a message goes only into an
// entry that holds its source (or already its translation). One that does
// not fit is left out and named; a file that mostly does not fit is
// refused whole, until --source names the table it was made from.
TEST_F(LexportCommand, APoFileGoesOnlyIntoTheTableItWasMadeFrom) {
  const std::string english = dir_.file("en.tlk");
  testkit::write_bytes(english, testkit::packed_tlk({"Hello", "Bye", "Thanks"}));
  testkit::write_bytes(po_,
                       "msgctxt \"0\"\nmsgid \"Hello\"\nmsgstr \"Hallo\"\n\n"
                       "msgctxt \"1\"\nmsgid \"Bye\"\nmsgstr \"Tsch\xc3\xbcss\"\n\n"
                       "msgctxt \"2\"\nmsgid \"Thanks\"\nmsgstr \"Danke\"\n");
  const std::string other = testkit::packed_tlk({"Other", "texts", "here"});
  testkit::write_bytes(table_, other);
  testkit::run_result result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Cannot proceed, '" + po_ + "' was not made from '" + table_ +
                            "': 3 of 3 messages have another source text than their entries "
                            "hold; name the table it was made from with --source.\n");
  EXPECT_EQ(table_bytes(), other);
  result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252", "--source", english});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Hallo", "Tsch\xfcss", "Danke"}));

  // After a patch that changed one source text.
  testkit::write_bytes(table_, testkit::packed_tlk({"Hello", "Bye", "Thank you"}));
  result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "2 strings imported in cp1252; 1 left as they were (0 untranslated, 0 fuzzy, 0 "
            "already the same, 1 not fitting their entries).\n");
  EXPECT_EQ(result.err, "Warning: 1 messages do not fit '" + table_ +
                            "', whose entries hold another text than their source: entry 2 "
                            "(line 9); with --source, name the table the PO file was made "
                            "from.\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Hallo", "Tsch\xfcss", "Thank you"}));
}

// A Russian translation begun in a copy of a Western table: every text of
// the table moves to cp1251, and one that cp1251 cannot hold must be
// translated first. Read in the translation's page, the copy's Western
// texts fit no message, which names the way out.
TEST_F(LexportCommand, ATableMovesToTheTranslationsCodePage) {
  const std::string western = testkit::packed_tlk({"Caf\xe9", "na\xefve", "\x80 5", "Hello"});
  testkit::write_bytes(table_, western);
  ASSERT_EQ(run(LEXPORT, {"export", table_, "--encoding", "cp1252", "-o", po_}).status, 0);
  const std::string translated = dir_.file("ru.po");
  const std::string script =
      "import polib, sys\n"
      "po = polib.pofile(sys.argv[1])\n"
      "for entry, text in zip(po, sys.argv[3:]):\n"
      "    entry.msgstr = text\n"
      "po.save(sys.argv[2])\n";
  auto translate = [&](std::vector<std::string> texts) {
    std::vector<std::string> args = {"-c", script, po_, translated};
    args.insert(args.end(), texts.begin(), texts.end());
    ASSERT_EQ(tool("/usr/bin/python3", args).status, 0);
  };
  if (tool("/usr/bin/python3", {"-c", "import polib"}).status != 0)
    GTEST_SKIP() << "polib is not installed (Debian: python3-polib)";
  translate({"\xd0\x9a\xd0\xbe\xd1\x84\xd0\xb5"});
  testkit::run_result result = run(
      LEXPORT, {"import", table_, translated, "--encoding", "cp1252", "--to-encoding", "cp1251"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Cannot proceed, entry 1 of '" + table_ +
                            "' holds U+00EF, which cp1251 cannot hold; translate the entry, or "
                            "import without --to-encoding.\n");
  EXPECT_EQ(table_bytes(), western);

  result = run(LEXPORT, {"import", table_, translated, "--encoding", "cp1251"});
  EXPECT_EQ(result.status, 1);
  const std::string advice =
      "its texts were read in cp1251, and the PO file was made from a table in cp1252: to write "
      "it in cp1251, import with --encoding cp1252 --to-encoding cp1251.\n";
  EXPECT_EQ(result.err, "Cannot proceed, 1 of 1 messages do not fit '" + table_ + "': " + advice);
  translate({"\xd0\x9a\xd0\xbe\xd1\x84\xd0\xb5", "", "", "Hi"});
  result = run(LEXPORT, {"import", table_, translated, "--encoding", "cp1251"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "Warning: 3 messages do not fit '" + table_ +
                            "', whose entries hold another text than their source: entry 0 "
                            "(line 15), entry 1 (line 19), entry 2 (line 23); " +
                            advice);
  testkit::write_bytes(table_, western);

  translate({"\xd0\x9a\xd0\xbe\xd1\x84\xd0\xb5",
             "\xd0\xbd\xd0\xb0\xd0\xb8\xd0\xb2\xd0\xbd\xd1\x8b\xd0\xb9"});
  result = run(LEXPORT, {"import", table_, translated, "--to-encoding", "cp1251"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "2 strings imported in cp1251; 2 left as they were (2 untranslated, 0 fuzzy, 0 "
            "already the same, 0 not fitting their entries).\n1 other strings of '" +
                table_ + "' moved from cp1252 to cp1251.\n");
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"\xca\xee\xf4\xe5", "\xed\xe0\xe8\xe2\xed\xfb\xe9",
                                                "\x88 5", "Hello"}));
}

// What the user named is what lexport takes: a table without --encoding is
// UTF-8 only if its texts are, --encoding outranks the page a PO records,
// the PO file is never written over the table under another of its names,
// an entry number past 32 bits names no entry, and an import that changes
// no text leaves the file as it was, whatever its layout.
TEST_F(LexportCommand, WhatTheUserNamesIsWhatLexportTakes) {
  testkit::write_bytes(table_, testkit::packed_tlk({"Caf\xc3\xa9"}));
  testkit::run_result result = run(LEXPORT, {"export", table_});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("X-Lexport-Source-Encoding: utf-8\\n"), std::string::npos);
  EXPECT_NE(result.out.find("msgid \"Caf\xc3\xa9\"\n"), std::string::npos) << result.out;

  const std::string table = testkit::packed_tlk({"Cafe"});
  testkit::write_bytes(table_, table);
  testkit::write_bytes(po_,
                       "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
                       "\"X-Lexport-Translation-Encoding: cp1251\\n\"\n\n"
                       "msgctxt \"0\"\nmsgid \"Cafe\"\nmsgstr \"Caf\xc3\xa9\"\n");
  result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table_bytes(), testkit::packed_tlk({"Caf\xe9"}));

  testkit::write_bytes(table_, table);
  std::filesystem::create_symlink(table_, dir_.file("link.po"));
  for (const std::string& output : {dir_.file("./dialog.tlk"), dir_.file("link.po")}) {
    result = run(LEXPORT, {"export", table_, "--encoding", "cp1252", "-o", output});
    EXPECT_EQ(result.status, 1) << output;
    EXPECT_EQ(result.err,
              "Cannot proceed, the PO file would replace the talk table '" + table_ + "'.\n");
    EXPECT_EQ(table_bytes(), table);
  }

  testkit::write_bytes(po_, "msgctxt \"4294967296\"\nmsgid \"Cafe\"\nmsgstr \"Tea\"\n");
  result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(table_bytes(), table);

  // The strings in the reverse of the records' order, as some editors
  // leave them: a save would lay them out afresh.
  std::vector<testkit::record> records(2);
  records[0].offset = 3;
  records[0].length = 4;
  records[1].offset = 0;
  records[1].length = 3;
  const std::string unpacked = testkit::tlk_bytes(records, "TeaCafe", 18 + 2 * 26);
  testkit::write_bytes(table_, unpacked);
  testkit::write_bytes(po_, "msgctxt \"0\"\nmsgid \"Cafe\"\nmsgstr \"Cafe\"\n");
  result = run(LEXPORT, {"import", table_, po_, "--encoding", "cp1252"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(table_bytes(), unpacked);
}

// Texts that are all ASCII read alike in every code page: an import into
// such a table takes --encoding, else the translation's page that the PO
// records, else the page the table was exported in, and never UTF-8 by
// default; the summary says which page it wrote.
TEST_F(LexportCommand, AnAsciiTableIsWrittenInThePageThePoRecords) {
  const std::string table = testkit::packed_tlk({"Hello"});
  const std::string message =
      "msgctxt \"0\"\nmsgid \"Hello\"\nmsgstr "
      "\"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82\"\n";
  const std::string cp1251 = "\xcf\xf0\xe8\xe2\xe5\xf2";
  auto header = [](const std::string& fields) {
    return "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n" + fields +
           "\n";
  };
  const struct {
    std::string fields;
    std::vector<std::string> options;
    std::string out, text;
  } cases[] = {
      {"\"X-Lexport-Source-Encoding: cp1251\\n\"\n", {}, "1 strings imported in cp1251;", cp1251},
      {"\"X-Lexport-Source-Encoding: cp1252\\n\"\n\"X-Lexport-Translation-Encoding: cp1251\\n\"\n",
       {},
       "1 strings imported in cp1251;",
       cp1251},
      {"\"X-Lexport-Source-Encoding: cp1252\\n\"\n",
       {"--encoding", "utf-8"},
       "1 strings imported in utf-8;",
       "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82"},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.fields);
    testkit::write_bytes(table_, table);
    testkit::write_bytes(po_, header(one.fields) + message);
    std::vector<std::string> args = {"import", table_, po_};
    args.insert(args.end(), one.options.begin(), one.options.end());
    testkit::run_result result = run(LEXPORT, args);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out.substr(0, result.out.find(';') + 1), one.out);
    EXPECT_EQ(table_bytes(), testkit::packed_tlk({one.text}));
  }
  testkit::write_bytes(table_, table);
  testkit::write_bytes(po_, header("") + message);
  testkit::run_result result = run(LEXPORT, {"import", table_, po_});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "Cannot proceed, the texts of '" + table_ +
                "' are all ASCII, which reads alike in every code page; name the "
                "table's code page with --encoding (cp1252 for most Western tables).\n");
  EXPECT_EQ(table_bytes(), table);
}

// `lexport export t -o /dev/stdout > t.po 2>&-`: the run's own message
// never lands in the PO file through a descriptor that standard error left
// free.
TEST_F(LexportCommand, AClosedStandardErrorNeverSendsAMessageIntoThePoFile) {
  if (testkit::under_wine() || testkit::under_emulator())
    GTEST_SKIP() << "wine and emulators open descriptors of their own before the program starts";
  testkit::write_bytes(table_, testkit::packed_tlk({"a\x04"}));
  testkit::write_bytes(po_, "");
  testkit::run_options closed;
  closed.close_stderr = true;
  closed.stdout_file = po_;
  testkit::run_result result = run(LEXPORT, {"export", table_, "-o", "/dev/stdout"}, closed);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(testkit::read_bytes(po_), "");
}

// Every refusal names the file and the entry or line, ends with status 1 and
// leaves the table and the PO file as they were.
TEST_F(LexportCommand, EachRefusalSaysWhereAndChangesNothing) {
  const std::string table = testkit::packed_tlk({"Caf\xe9", "two", "a\x98"});
  const std::string header =
      "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n\n";
  auto recorded = [](const std::string& page) {
    return "msgid \"\"\nmsgstr \"\"\n\"Content-Type: text/plain; charset=UTF-8\\n\"\n"
           "\"X-Lexport-Translation-Encoding: " +
           page + "\\n\"\n\n";
  };
  auto message = [](const std::string& context, const std::string& translation) {
    return "msgctxt \"" + context + "\"\nmsgid \"x\"\nmsgstr \"" + translation + "\"\n\n";
  };
  const std::string where = "Cannot proceed, line 5 of '" + po_ + "'";
  struct {
    std::vector<std::string> args;
    std::string po;
    std::string err;
  } const cases[] = {
      {{"export", table_, "-o", po_},
       "",
       "Cannot proceed, entry 0 of '" + table_ +
           "' is not UTF-8 text; name its code page with --encoding (cp1252 for most Western "
           "tables).\n"},
      {{"export", table_, "--encoding", "cp1251", "-o", po_},
       "",
       "Cannot proceed, entry 2 of '" + table_ +
           "' holds bytes that are no cp1251 text, from byte 1 on.\n"},
      {{"export", table_, "--encoding", "cp1252", "--language", "Russian", "-o", po_},
       "",
       "Cannot proceed, 'Russian' is not a language code of gettext's form (ru, pt_BR, "
       "sr@latin).\n"},
      // The arguments the wrong way round.
      {{"import", po_, table_},
       header + message("1", "y"),
       "Stream is not a valid TLK V1 resource.\nCannot proceed, file '" + po_ +
           "' could not be read as a talk table. It looks like a PO file; the talk table comes "
           "first.\n"},
      {{"frob", table_},
       "",
       "Cannot proceed, 'frob' is not a subcommand of lexport; it has export and import.\n"},
      // Of two tables, the one that is damaged is named.
      {{"export", table_, "--encoding", "cp1252", "--translation", po_, "-o", dir_.file("x.po")},
       table.substr(0, table.size() - 1),
       "TLK file is truncated or damaged.\nCannot proceed, file '" + po_ +
           "' could not be read as a talk table.\n"},
      {{"export", table_, "--encoding", "latin1", "-o", po_},
       "",
       "Cannot proceed, 'latin1' is not a code page that lexport converts; it converts utf-8, "
       "cp1250, cp1251, cp1252, cp1253, cp1254, cp1255, cp1256, cp1257, cp874, cp932, cp936, "
       "cp949, cp950.\n"},
      {{"export", table_, "--encoding", "cp1252", "-o", dir_.file("none/de.po")},
       "",
       "Cannot write PO file, file '" + dir_.file("none/de.po") +
           "' couldn't be opened for writing.\n"},
      {{"export", table_, "--encoding", "cp1252", "-o", table_},
       "",
       "Cannot proceed, the PO file would replace the talk table '" + table_ + "'.\n"},
      {{"export", table_, "--encoding", "cp1252", "--translation", po_, "-o", po_},
       table,
       "Cannot proceed, the PO file would replace the talk table '" + po_ + "'.\n"},
      // The code page a PO file records never outranks the table's bytes.
      {{"import", table_, po_},
       recorded("utf-8") + message("1", "y"),
       "Cannot proceed, entry 0 of '" + table_ +
           "' is not UTF-8 text; name its code page with --encoding (cp1252 for most Western "
           "tables).\n"},
      {{"import", table_, po_},
       recorded("cp1251") + message("1", "y"),
       "Cannot proceed, entry 2 of '" + table_ +
           "' holds bytes that are no cp1251 text, from byte 1 on.\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       header + message("1", "\xce\xa9"),
       where + " (entry 1) holds U+03A9, which cp1252 cannot hold.\n"},
      // Characters that glibc writes as bytes of other characters, or
      // drops: a yen sign that would come back as a backslash, a tag
      // character that would blank the entry.
      {{"import", table_, po_, "--encoding", "cp932"},
       header + message("1",
                        "\xc2\xa5"
                        "100"),
       where + " (entry 1) holds U+00A5, which cp932 cannot hold.\n"},
      {{"import", table_, po_, "--encoding", "cp936"},
       header + message("1", "\xf3\xa0\x80\x81"),
       where + " (entry 1) holds U+E0001, which cp936 cannot hold.\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       header + message("one", "y"),
       where + ": the message has no entry number as its msgctxt.\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       header + message("3", "y"),
       where + ": entry 3 is past the last entry of '" + table_ + "' (3 entries).\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       header + message("1", "y") + message("1", "z"),
       "Cannot proceed, line 9 of '" + po_ + "': entry 1 is translated twice (first at line 5).\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       header + message("1", "\xe9"),
       "Cannot proceed, line 7 of '" + po_ + "': not UTF-8 text, though the file says it is.\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=CP1251\\n\"\n\n" +
           message("1", "\x98"),
       "Cannot proceed, line 6 of '" + po_ + "': not cp1251 text, though the file says it is.\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       header + "msgid \"a\"\nmsgstr \"\\z\"\n",
       "Cannot proceed, line 6 of '" + po_ + "': a bad escape sequence '\\z'.\n"},
      {{"import", table_, po_, "--encoding", "cp1252"},
       std::string("\xff\xfem\0s\0", 6),
       "Cannot proceed, file '" + po_ + "' is UTF-16 text; save it as UTF-8 or ANSI.\n"},
  };
  for (const auto& one : cases) {
    SCOPED_TRACE(one.err);
    testkit::write_bytes(table_, table);
    std::filesystem::remove(po_);
    if (!one.po.empty()) testkit::write_bytes(po_, one.po);
    testkit::run_result result = run(LEXPORT, one.args);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, one.err);
    EXPECT_EQ(table_bytes(), table);
    EXPECT_EQ(testkit::read_bytes(po_), one.po.empty() ? "<missing>" : one.po);
  }
}

}  // namespace
