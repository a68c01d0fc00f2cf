// SPDX-License-Identifier: MIT
// wordloom as a user runs it: word lists and model files made by the test,
// the command line in all its documented shapes.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>

#include "testing/run_program.h"

namespace {

using testkit::run;

const char* const k_usage =
    "Usage: wordloom [-hrlscb]\n"
    "Options:\n"
    "  -h               This help page\n"
    "  -r filename      Read list of words into state\n"
    "  -l filename      Load state from file\n"
    "  -s filename      Save state to file\n"
    "  -c count         Number of words to generate\n"
    "  -b character     Starting character of generated words\n"
    "  -d               Debug. Display model statistics.\n";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class WordloomCommand : public ::testing::Test {
 protected:
  testkit::scratch_dir dir_;
};

TEST_F(WordloomCommand, PrintsUsageWithoutArgumentsOrWithH) {
  for (const auto& args : {std::vector<std::string>{},
                           {"-h"},
                           {"-h", "-l", dir_.file("missing")},
                           {"-c", "3", "-h"}}) {
    testkit::run_result result = run(WORDLOOM, args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, k_usage);
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(WordloomCommand, SavesTheTrainedModelFile) {
  std::string words = dir_.put("words.txt", "ab\nabb\n");
  std::string model = dir_.file("model.txt");
  testkit::run_result result = run(WORDLOOM, {"-r", words, "-s", model, "-c", "0"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(testkit::read_bytes(model), "[a:b2\nab:]1,b1\nbb:]1\n");
}

TEST_F(WordloomCommand, DWritesTheStatisticsToStandardError) {
  std::string words = dir_.put("words.txt", "ab\nabb");
  testkit::run_result result = run(WORDLOOM, {"-d", "-r", words, "-c", "2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "[a (2): b=2 \nab (2): ]=1 b=1 \nbb (1): ]=1 \n");
  std::vector<std::string> generated = lines_of(result.out);
  ASSERT_EQ(generated.size(), 2u);
  for (const std::string& word : generated) EXPECT_TRUE(word == "ab" || word == "abb") << word;
}

TEST_F(WordloomCommand, StepsRunInTheOrderLoadLearnSaveWhateverTheOptionOrder) {
  std::string loaded = dir_.put("in.txt", "[a:b5\n");
  std::string words = dir_.put("words.txt", "ab\n");
  std::string first = dir_.file("first.txt");
  std::string second = dir_.file("second.txt");
  ASSERT_EQ(run(WORDLOOM, {"-s", first, "-r", words, "-l", loaded, "-c", "0"}).status, 0);
  ASSERT_EQ(run(WORDLOOM, {"-l", loaded, "-c", "0", "-r", words, "-s", second}).status, 0);
  EXPECT_EQ(testkit::read_bytes(first), "[a:b6\nab:]1\n");
  EXPECT_EQ(testkit::read_bytes(second), testkit::read_bytes(first));
}

TEST_F(WordloomCommand, MissingFilesAreNamedInTheirMessages) {
  std::string missing = dir_.file("missing");
  std::string words = dir_.put("words.txt", "ab\n");
  struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"-l", missing}, "Cannot read model, file '" + missing + "' not found.\n"},
      {{"-l", dir_.path().string()},
       "Cannot read model, file '" + dir_.path().string() + "' not found.\n"},
      {{"-r", missing, "-l", missing}, "Cannot read model, file '" + missing + "' not found.\n"},
      {{"-r", missing}, "Cannot read source, file '" + missing + "' not found.\n"},
      {{"-r", dir_.path().string()},
       "Cannot read source, file '" + dir_.path().string() + "' not found.\n"},
      {{"-l", "-r", words}, "Cannot read model, file '-r' not found.\n"},
  };
  for (const auto& c : cases) {
    std::string model = dir_.file("model.txt");
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-s", model});
    testkit::run_result result = run(WORDLOOM, args);
    EXPECT_EQ(result.status, 1) << c.message;
    EXPECT_EQ(result.out, c.message);
    EXPECT_EQ(testkit::read_bytes(model), "<missing>") << "nothing is saved";
  }
}

TEST_F(WordloomCommand, CountsBelowOneGenerateNothingButTheOtherStepsRun) {
  std::string words = dir_.put("words.txt", "ab\n");
  for (const auto& count : {std::vector<std::string>{"-c", "0"},
                            {"-c", "-5"},
                            {"-c", "x"},
                            {"-c"},
                            {"-c", "-b", "x"}}) {
    std::string model = dir_.file("model.txt");
    std::remove(model.c_str());
    std::vector<std::string> args = {"-r", words, "-s", model};
    args.insert(args.end(), count.begin(), count.end());
    testkit::run_result result = run(WORDLOOM, args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "") << count.size();
    EXPECT_EQ(testkit::read_bytes(model), "[a:b1\nab:]1\n");
  }
}

TEST_F(WordloomCommand, PrintsTheCountOfItsFirstCOption) {
  std::string words = dir_.put("words.txt", "cat\n");
  EXPECT_EQ(run(WORDLOOM, {"-r", words, "-c", "3", "-c", "5"}).out, "cat\ncat\ncat\n");
  EXPECT_EQ(run(WORDLOOM, {"-r", words}).out, "cat\n") << "one word by default";
}

TEST_F(WordloomCommand, BGivesTheFirstCharacterOfEveryWord) {
  std::string words = dir_.put("words.txt", "xylophone\nxenon\nyak\n");
  testkit::run_result result = run(WORDLOOM, {"-r", words, "-c", "50", "-b", "xyz"});
  std::vector<std::string> generated = lines_of(result.out);
  ASSERT_EQ(generated.size(), 50u);
  for (const std::string& word : generated) EXPECT_EQ(word[0], 'x') << word;
  // A start no training word has gives one-letter words, printed empty.
  EXPECT_EQ(run(WORDLOOM, {"-r", words, "-c", "2", "-b", "q"}).out, "\n\n");
  EXPECT_EQ(lines_of(run(WORDLOOM, {"-r", words, "-c", "3", "-b"}).out).size(), 3u);
}

TEST_F(WordloomCommand, FileNamesThatLookLikeOptionsSwitchThemOn) {
  std::string words = dir_.put("list-c", "cat\n");
  std::string model = dir_.file("model.txt");
  testkit::run_result result = run(WORDLOOM, {"-r", words, "-s", model});
  EXPECT_EQ(result.out, "") << "-c is on, with an empty value";
  EXPECT_EQ(testkit::read_bytes(model), "[c:a1\nat:]1\nca:t1\n");

  std::string other = dir_.put("words.txt", "cat\n");
  EXPECT_EQ(run(WORDLOOM, {"-r", other, "c", "5"}).out, "cat\ncat\ncat\ncat\ncat\n");
}

TEST_F(WordloomCommand, CrLfWordListsTrainTheSameModel) {
  std::string lf = dir_.file("lf.model");
  std::string crlf = dir_.file("crlf.model");
  run(WORDLOOM, {"-r", dir_.put("lf.txt", "one\ntwo \n\nthree"), "-s", lf, "-c", "0"});
  run(WORDLOOM, {"-r", dir_.put("crlf.txt", "one\r\ntwo \r\n\r\nthree"), "-s", crlf, "-c", "0"});
  EXPECT_EQ(testkit::read_bytes(crlf), testkit::read_bytes(lf));
  EXPECT_NE(testkit::read_bytes(lf).find("o :]1"), std::string::npos) << "blanks stay";
}

// What any generated word must satisfy: it ends without "]", every three
// characters of "[" + word + "]" were seen in training, and it begins as a
// training word begins.
TEST_F(WordloomCommand, GeneratedWordsFollowTheTrainedModel) {
  std::mt19937 random(21);
  std::string list;
  std::set<std::string> triples;
  std::set<char> firsts;
  for (int i = 0; i < 300; ++i) {
    std::string word;
    for (int n = 1 + static_cast<int>(random() % 7); n > 0; --n)
      word.push_back("abcdeAB\xe9"[random() % 8]);
    list += word + "\n";
    firsts.insert(word[0]);
    std::string bracketed = "[" + word + "]";
    for (std::size_t j = 0; j + 3 <= bracketed.size(); ++j) triples.insert(bracketed.substr(j, 3));
  }
  testkit::run_result result = run(WORDLOOM, {"-r", dir_.put("words.txt", list), "-c", "2000"});
  ASSERT_EQ(result.status, 0);
  std::vector<std::string> generated = lines_of(result.out);
  ASSERT_EQ(generated.size(), 2000u);
  for (const std::string& word : generated) {
    if (word.empty()) continue;
    ASSERT_EQ(word.find(']'), std::string::npos);
    ASSERT_TRUE(firsts.count(word[0])) << word;
    std::string bracketed = "[" + word + "]";
    for (std::size_t j = 0; j + 3 <= bracketed.size(); ++j)
      ASSERT_TRUE(triples.count(bracketed.substr(j, 3))) << word;
  }
}

TEST_F(WordloomCommand, AModelThatNeverEndsStillEndsEveryWord) {
  std::string model = dir_.put("loop.txt", "[a:a1\naa:a1\n");
  testkit::run_result result = run(WORDLOOM, {"-l", model, "-c", "2"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(lines_of(result.out).size(), 2u);
}

TEST_F(WordloomCommand, AModelFileOfRandomBytesNeverCrashes) {
  std::mt19937 random(99);
  for (int round = 0; round < 10; ++round) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>(random() % 256));
    testkit::run_result result = run(
        WORDLOOM, {"-l", dir_.put("random.txt", bytes), "-c", "20", "-s", dir_.file("out.txt")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(lines_of(result.out).size(), 20u);
  }
}

TEST_F(WordloomCommand, AFailedSaveIsReported) {
  std::string words = dir_.put("words.txt", "ab\n");
  std::string model = dir_.file("no-such-dir/model.txt");
  testkit::run_result result = run(WORDLOOM, {"-r", words, "-s", model});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "Cannot save model, file '" + model + "' couldn't be written.\n");
}

// Two billion words would take minutes: the run ends at the first block of
// them that cannot be written.
TEST_F(WordloomCommand, AFullStandardOutputIsAnErrorAtOnce) {
  if (!testkit::has_full_device()) GTEST_SKIP() << "no /dev/full here";
  testkit::run_options to_full;
  to_full.stdout_file = "/dev/full";
  testkit::run_result result =
      run(WORDLOOM, {"-r", dir_.put("w.txt", "cat\n"), "-c", "2000000000"}, to_full);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "Cannot write to standard output.\n");
}

}  // namespace
