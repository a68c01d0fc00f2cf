// SPDX-License-Identifier: MIT
// The files the kit writes are the same bytes on every system it is built
// for: little- or big-endian, 32- or 64-bit, Linux or Windows. The expected
// bytes below were made by the x86-64 build; a build for another processor
// runs this test too (under its emulator), so that byte order and word size
// can never change a table, a model or a word list.
#include <gtest/gtest.h>

#include <string>

#include "testing/run_program.h"

namespace {

using testkit::run;

// Four entries: fields in every byte of the record, a string with a NUL and
// junk after it, strings out of order, an empty one.
const std::string k_table(
    "TLK V1  \x02\x01\x04\x00\x00\x00z\x00\x00\x00\x01\x00SND01\x00\x00\x00\x07\x00\x00\x00"
    "\x04\x03\x02\x01\x12\x00\x00\x00\x10\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x12\x00\x00\x00\x05\x01LONGNAME\xef\xbe"
    "\xad\xde\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x22\x00\x00\x00\x04\x00\x00\x00Swords of Amn\x00"
    "junkThe sword sings.Gold",
    160);

const std::string k_rewritten(
    "TLK V1  \x02\x01\x04\x00\x00\x00z\x00\x00\x00\x01\x00SND01\x00\x00\x00\x07\x00\x00\x00"
    "\x04\x03\x02\x01\x00\x00\x00\x00\x10\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00\x0d\x00\x00\x00\x05\x01LONGNAME\xef\xbe"
    "\xad\xde\x02\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x01\x00\x00\x00\x01\x00\x00\x00\x1d\x00\x00\x00\x06\x00\x00\x00The blade sings."
    "Swords of AmnSilver",
    157);

const std::string k_words = "Amn\nSilver\nSwords\nThe\nblade\nof\nsings\n";

const std::string k_model =
    "Am:n1\nSi:l1\nSw:o1\nTh:e1\n[A:m1\n[S:i1,w1\n[T:h1\n[b:l1\n[o:f1\n[s:i1\nad:e1\nbl:a1\n"
    "de:]1\nds:]1\ner:]1\ngs:]1\nhe:]1\nil:v1\nin:g1\nla:d1\nlv:e1\nmn:]1\nng:s1\nof:]1\n"
    "or:d1\nrd:s1\nsi:n1\nve:r1\nwo:r1\n";

TEST(SameFiles, EverySystemWritesTheBytesOfTheX8664Build) {
  testkit::scratch_dir dir;
  std::string table = dir.file("dialog.tlk");
  std::string rules = dir.file("rules.txt");
  std::string words = dir.file("words.txt");
  std::string model = dir.file("model.txt");
  testkit::write_bytes(table, k_table);
  testkit::write_bytes(rules, "sword = blade\r\nGold = Silver\n");
  ASSERT_EQ(run(LEXSWAP, {table, rules}).status, 0);
  EXPECT_EQ(testkit::read_bytes(table), k_rewritten);

  testkit::run_result glean = run(LEXGLEAN, {table});
  EXPECT_EQ(glean.out, k_words);
  testkit::write_bytes(words, glean.out);
  ASSERT_EQ(run(WORDLOOM, {"-r", words, "-s", model, "-c", "0"}).status, 0);
  EXPECT_EQ(testkit::read_bytes(model), k_model);
  ASSERT_EQ(run(WORDLOOM, {"-l", model, "-s", dir.file("again.txt"), "-c", "0"}).status, 0);
  EXPECT_EQ(testkit::read_bytes(dir.file("again.txt")), k_model);

  testkit::write_bytes(dir.file("exclude.txt"), "Amn\nblade\nzebra\n");
  EXPECT_EQ(run(WORDSIFT, {words, dir.file("exclude.txt")}).out,
            "Silver\nSwords\nThe\nof\nsings\n");
}

}  // namespace
