// "tsumugi check" through the real binary. The broken game is written here
// with its expectations beside the faults: a comment line ";! error: TEXT"
// (or warning) says that the next line that is no such comment must draw
// exactly one finding of that severity whose message contains TEXT; ";!+N"
// points N lines further, where a comment cannot stand (in the middle of a
// list, where it would be one of the list's lines). Every finding must be
// expected and every expectation met.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "support/test_support.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi {
namespace {
using namespace test;
namespace fs = std::filesystem;

struct Expected {
  int further = 0;
  std::string severity;
  std::string text;
  bool met = false;
};

// file (relative to the game folder) -> line -> expectations
using Expectations = std::map<std::string, std::multimap<int, Expected>>;

// Writes a scenario (UTF-8 source, CP932 on disk unless `utf8`) and
// collects its ";!" expectations.
void WriteScenario(const fs::path& game, const std::string& relative, const std::string& text,
                   Expectations* expected, bool utf8 = false) {
  std::vector<Expected> pending;
  int line = 0;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    const std::string content = text.substr(start, end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    ++line;
    std::smatch m;
    static const std::regex kMarker(";!(?:\\+(\\d+))? (error|warning): (.*)");
    if (std::regex_match(content, m, kMarker)) {
      pending.push_back({m[1].matched ? std::stoi(m[1]) : 0, m[2], m[3]});
      continue;
    }
    for (Expected& e : pending) (*expected)[relative].emplace(line + e.further, e);
    pending.clear();
  }
  if (utf8) {
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    WriteFile(game / relative, crlf);
  } else {
    WriteCp932(game / relative, text);
  }
}

TEST(Checker, ListsExactlyTheFaultsOfABrokenGame) {
  TempDir work;
  const fs::path game = work / "game";
  Expectations expected;
  WriteBitmap(game / "data/Bg1.bmp", 4, 4, 0x102030);
  WriteBitmap(game / "data/pics/up.bmp", 4, 4, 0x00FF00);
  WriteBitmap(game / "data/pics/down.bmp", 4, 4, 0x00FF00);
  WriteFile(game / "data/tune.mid", "MThd");
  WriteScenario(game, "data/config.txt",
                ".int score item[3]\n"
                ".str name\n"
                ";! warning: \"score\" is already declared on line 1\n"
                ".int score\n"
                ";! error: colour \"pink\"\n"
                ".bsc pink\n",
                &expected);
  WriteScenario(game, "data/start.txt",
                ".tsw\n"
                ";! error: unknown command \".foo\"\n"
                ".foo bar\n"
                ".mid tune 0\n"
                ";! error: music file \"silence.mid\"\n"
                ".mid silence 0\n"
                ";! error: sound file \"bell.wav\"\n"
                ".wav bell 0\n"
                ";! error: video file \"intro.avi\"\n"
                ".avi intro 1 0\n"
                ";! error: cursor file \"hand.cur\"\n"
                ".cur hand\n"
                ";! error: picture \"nothere\" does not exist\n"
                ".pic nothere\n"
                ";! warning: \"bg1.bmp\" is found only as \"Bg1.bmp\"\n"
                ".pic bg1\n"
                ".pic off1 [name]\n"
                ";! error: assigns to \"undeclared\"\n"
                ".let undeclared = 1\n"
                ";! error: variable \"nobody\" is not declared\n"
                "Hello [nobody], [name] has [item[score]] points\n"
                ";! error: \"counter\" is neither a number nor an integer variable\n"
                ".let score = counter + 1\n"
                ";! error: division by 0\n"
                ".let score = score % 0\n"
                ";! error: flag \"flag300\"\n"
                ".let flag300 = 1\n"
                ";! error: memory number 12 is outside 0 to 9\n"
                ".sub story\\ch1 here 12\n"
                ".sub story\\ch1 here 3\n"
                ".sub [name] 4\n"
                ";! error: menu has no branch marker \".3\"\n"
                ".slt\n"
                "north\n"
                "south\n"
                "home\n"
                ".\n"
                ".1\n"
                "It is cold.\n"
                ";! error: runs on into \".2\"\n"
                ".2\n"
                ".skp\n"
                ".\n"
                ";! error: button block has no branch marker \".2\"\n"
                ";!+2 error: memory number 10\n"
                ".btn\n"
                "pics\\up pics\\down 10 10 1\n"
                "pics\\up pics\\down 40 10 10\n"
                ".\n"
                ".1\n"
                ".btn exit 1 1 1\n"
                ".\n"
                ":jumps\n"
                ";! error: \".jmp\" to scenario \"nowhere\", which does not exist\n"
                ".jmp nowhere\n"
                ":label_missing\n"
                ";! error: \".jmp\" to label \":missing\"\n"
                ".jmp story\\ch1 missing\n"
                ":wrong_case\n"
                ";! error: there is \"story\\ch1.txt\"\n"
                ".jmp Story\\Ch1 here\n"
                ":finish\n"
                ".end\n"
                ";! warning: this line can never run: \".end\" on line\n"
                "Nobody reads this.\n"
                "Nor this.\n",
                &expected);
  WriteScenario(game, "data/story/ch1.txt",
                ":here\n"
                ".sub exit 3\n"
                ";! error: \".\" closes no block\n"
                ".\n"
                ";! error: \".cas\" block is never closed\n"
                ".cas score\n"
                ".= 1\n"
                ".skp\n",
                &expected);
  WriteScenario(game, "data/story/letters.txt",
                ";! warning: the character \"é\" has no form in Shift-JIS\n"
                "Café au lait\n"
                "カフェオレ\n",
                &expected, /*utf8=*/true);

  const RunResult run = RunTsumugi({"check", "--json", game.string()}, work.path());
  EXPECT_EQ(run.status, 1) << run.err;
  static const std::regex kFinding(
      R"re(\{"file":"([^"]*)","line":(\d+),"severity":"(error|warning)","message":"(.*)"\})re");
  for (const std::string& json : run.lines()) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(json, m, kFinding)) << json;
    std::string file = m[1];
    file = file.substr(file.find("data/"));
    auto [first, last] = expected[file].equal_range(std::stoi(m[2]));
    bool claimed = false;
    for (auto it = first; it != last && !claimed; ++it) {
      // The message as JSON escapes it: quotes and backslashes doubled.
      const std::string text = std::regex_replace(it->second.text, std::regex(R"((["\\]))"), R"(\$1)");
      if (!it->second.met && it->second.severity == m[3].str() &&
          m[4].str().find(text) != std::string::npos) {
        it->second.met = claimed = true;
      }
    }
    EXPECT_TRUE(claimed) << "unexpected: " << json;
  }
  for (const auto& [file, lines] : expected) {
    for (const auto& [line, e] : lines) {
      EXPECT_TRUE(e.met) << file << ":" << line << ": no " << e.severity << ": " << e.text;
    }
  }
}

TEST(Checker, FindsNothingInTheSampleGameAndWritesLikeACompiler) {
  // A copy, as every test that reads the sample game through the binary
  // uses: no two runs ever share its folder.
  TempDir work;
  const RunResult clean = RunTsumugi({"check", CopyOfSampleGame(work).string()});
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(clean.out, "");

  WriteCp932(work / "game/data/start.txt", "text\n.tcl 0 0\n.bad\n");
  const RunResult broken = RunTsumugi({"check", "game"}, work.path());
  EXPECT_EQ(broken.status, 1);
  EXPECT_EQ(broken.out,
            "game/data/start.txt:3: error: unknown command \".bad\" (the engine stops with "
            "\"ないコマンドを指定しました\")\n");
  EXPECT_NE(broken.err.find("1 error, 0 warnings"), std::string::npos) << broken.err;
  EXPECT_EQ(RunTsumugi({"check", "nowhere"}, work.path()).status, 2);
}

// Garbage of every kind is reported, never a crash, a hang or all memory.
TEST(Checker, FinishesOnGarbage) {
  TempDir work;
  const fs::path data = work / "game/data";
  std::string garbage;
  for (int i = 0; i < 4000; ++i) {
    garbage += static_cast<char>(i * 7919 % 251 + 1);
    if (i % 37 == 0) garbage += i % 2 ? "\r\n.[" : "\n.cas [[[";
  }
  WriteFile(data / "start.txt", garbage + "\n" + std::string(1 << 20, '[') + "]\n");
  WriteFile(data / "binary.txt", std::string("\0\1.jmp\0", 7));
  std::string labels, nested;
  for (int i = 0; i < 1000; ++i) labels += ":again\r\n.jmp labels again\r\n";
  WriteFile(data / "labels.txt", labels);
  // 10,000 blocks deep, each closed after its branch.
  for (int i = 0; i < 10000; ++i) nested += ".cas 1\r\n.= 1\r\n";
  for (int i = 0; i < 10000; ++i) nested += ".skp\r\n.\r\n";
  WriteFile(data / "deep/nested.txt", nested + ".slt\r\n.rcl\r\n");
  // A million names (ten arrays of 100,000), then more than allowed.
  std::string config = ".int";
  for (char array = 'a'; array <= 'j'; ++array) config += std::string(" ") + array + "[100000]";
  WriteFile(data / "config.txt", config + "\r\n.str name[99999^000000] x[\r\n");
  // Two million unknown commands (12 MB): the first thousand are listed.
  std::string unknown;
  for (int i = 0; i < 2000000; ++i) unknown += ".foo\r\n";
  WriteFile(data / "unknown.txt", unknown);
  RunOptions options;
  options.cwd = work.path();
  options.timeout_seconds = 300;
  const RunResult run = RunTsumugi({"check", "game"}, options);
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 1) << run.err.substr(0, 2000);
  // Findings are handed on file by file, a thousand at most for each: the
  // unknown commands alone once took 1.5 GB.
  EXPECT_LT(run.peak_kb, (256 << 10) + kSanitizerSlackKb);
  static const std::regex kLine(R"(game/data/[a-z/]+\.txt(:\d+)?: (error|warning|note): .+)");
  int repeated = 0, unknown_listed = 0;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    ASSERT_TRUE(std::regex_match(line, kLine)) << line.substr(0, 300);
    repeated += line.find("labels.txt") != std::string::npos;
    unknown_listed += line.starts_with("game/data/unknown.txt:") && line.find(": note: ") == line.npos;
  }
  EXPECT_EQ(repeated, 999);  // each label after the first
  EXPECT_NE(run.out.find("config.txt:2: error: more than 1000000 variables"), std::string::npos);
  EXPECT_NE(run.out.find("binary.txt: warning: is not a text file"), std::string::npos);
  EXPECT_NE(run.out.find("nested.txt:40001: error: menu (\".slt\") is never closed"), std::string::npos);
  EXPECT_EQ(unknown_listed, 1000);
  EXPECT_NE(run.out.find("game/data/unknown.txt:1000: error: unknown command \".foo\""),
            std::string::npos);
  EXPECT_NE(run.out.find("game/data/unknown.txt: note: 1999000 more findings in this file are "
                         "not listed (1999000 errors, 0 warnings)"),
            std::string::npos);
  // The count is of every finding, those left out too.
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(run.err, counts, std::regex(R"((\d+) errors, (\d+) warnings)")));
  EXPECT_GT(std::stol(counts[1]), 2000000);
}

// A file with more findings than are listed: the first thousand in line
// order (whatever order they are found in), then one note, in text and in
// JSON alike.
TEST(Checker, ListsTheFirstThousandFindingsOfAFileAndCountsTheRest) {
  TempDir work;
  std::string script;
  // Line 1 opens a block never closed: found only at the end of the file,
  // listed first.
  script += ".cas 1\n.= 1\n";
  for (int i = 0; i < 1500; ++i) script += ".bad\n.let nobody = 1\n";
  WriteCp932(work / "game/data/start.txt", script);
  const RunResult text = RunTsumugi({"check", "game"}, work.path());
  EXPECT_EQ(text.status, 1);
  const std::vector<std::string> lines = text.lines();
  ASSERT_EQ(lines.size(), 1001u) << text.err;
  EXPECT_EQ(lines[0].substr(0, 45), "game/data/start.txt:1: error: \".cas\" block is");
  EXPECT_EQ(lines[1].substr(0, 48), "game/data/start.txt:3: error: unknown command \".");
  EXPECT_EQ(lines[2].substr(0, 50), "game/data/start.txt:4: error: assigns to \"nobody\",");
  EXPECT_EQ(lines[999].substr(0, 52), "game/data/start.txt:1001: error: unknown command \".b");
  EXPECT_EQ(lines[1000],
            "game/data/start.txt: note: 2001 more findings in this file are not listed (2001 "
            "errors, 0 warnings): only the first 1000 of a file are");
  EXPECT_NE(text.err.find("3001 errors, 0 warnings"), std::string::npos) << text.err;

  const RunResult json = RunTsumugi({"check", "--json", "game"}, work.path());
  EXPECT_EQ(json.status, 1);
  const std::vector<std::string> objects = json.lines();
  ASSERT_EQ(objects.size(), 1001u);
  static const std::regex kObject(
      R"re(\{"file":"game/data/start.txt","line":\d+,"severity":"(error|warning|note)","message":"[^"\\]*(\\.[^"\\]*)*"\})re");
  for (const std::string& object : objects) EXPECT_TRUE(std::regex_match(object, kObject)) << object;
  EXPECT_TRUE(objects[1000].starts_with(
      R"re({"file":"game/data/start.txt","line":0,"severity":"note","message":"2001 more findings)re"))
      << objects[1000];
}

}  // namespace
}  // namespace tsumugi
