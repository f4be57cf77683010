// What a run leaves for its author: the trace of every line run, coverage as
// an lcov tracefile, and runs that repeat whatever the day (--date, --seed).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

#include "common/text_codec.h"
#include "support/test_support.h"

namespace tsumugi {
namespace {
using namespace test;
namespace fs = std::filesystem;

// The scenario's lines as the trace and coverage name them: UTF-8, without
// leading tabs.
std::vector<std::string> ScenarioLines(const fs::path& file) {
  std::vector<std::string> lines;
  for (const std::u16string& line : SplitLines(DecodeGameText(ReadFile(file)))) {
    lines.push_back(Utf16ToUtf8(line.substr(std::min(line.find_first_not_of(u'\t'), line.size()))));
  }
  return lines;
}

TEST(RunRecord, TracesAndCoversTheSampleGame) {
  TempDir work;
  const fs::path game = CopyOfSampleGame(work);
  const RunResult run = RunTsumugi(
      {"--headless", "--input", (game / "play.input").string(), "--save-dir",
       (work / "saves").string(), "--trace", (work / "trace").string(), "--coverage",
       (work / "run.info").string(), game.string()},
      work.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;

  // Every trace line names a line of a scenario and holds that line; engine
  // time never goes back; the run starts at the top of "start" and ends at
  // the click wait of its last page, the line before ".end", where the
  // input stops.
  const std::map<std::string, std::vector<std::string>> files = {
      {"start.txt", ScenarioLines(game / "data/start.txt")},
      {"system.txt", ScenarioLines(game / "data/system.txt")}};
  static const std::regex kTrace(R"((\d+)\t([a-z]+\.txt):(\d+)\t(.*))");
  std::istringstream trace(ReadFile(work / "trace"));
  std::vector<std::string> ran;
  uint64_t last_time = 0;
  for (std::string line; std::getline(trace, line);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, kTrace)) << line;
    const uint64_t time = std::stoull(m[1]);
    EXPECT_GE(time, last_time);
    last_time = time;
    const std::vector<std::string>& lines = files.at(m[2]);
    const size_t number = std::stoul(m[3]);
    ASSERT_LE(number, lines.size());
    EXPECT_EQ(m[4].str(), lines[number - 1]) << line;
    ran.push_back(m[2].str() + ":" + m[3].str());
  }
  ASSERT_FALSE(ran.empty());
  EXPECT_EQ(ran.front(), "start.txt:3");  // ".cap", after two comments
  const std::vector<std::string>& start = files.at("start.txt");
  EXPECT_EQ(ran.back(), "start.txt:" + std::to_string(start.size() - 1));
  EXPECT_EQ(start.back(), ".end");

  // Coverage: each line of "start" counts as often as the trace names it;
  // the branch of the choice the input never takes has not run, the other
  // has; comments are no lines that run.
  const std::string info = ReadFile(work / "run.info");
  const size_t record = info.find("SF:" + (game / "data/start.txt").string() + "\n");
  ASSERT_NE(record, std::string::npos) << info;
  std::map<int, int> covered;
  std::istringstream lines(info.substr(record, info.find("end_of_record", record) - record));
  for (std::string line; std::getline(lines, line);) {
    int number, count;
    if (std::sscanf(line.c_str(), "DA:%d,%d", &number, &count) != 2) continue;
    covered[number] = count;
    EXPECT_EQ(count, std::count(ran.begin(), ran.end(), "start.txt:" + std::to_string(number)))
        << line;
  }
  auto count_of = [&](const std::string& text) {
    const int number = static_cast<int>(std::find(start.begin(), start.end(), text) - start.begin()) + 1;
    return covered.count(number) ? covered[number] : -1;
  };
  EXPECT_EQ(count_of("丘の上からは、遠くの町が見えました。"), 0);
  EXPECT_EQ(count_of("川の水は冷たく、きれいに澄んでいました。"), 1);
  EXPECT_EQ(count_of("; 紬 サンプルゲーム"), -1);
  EXPECT_NE(info.find("SF:" + (game / "data/system.txt").string() + "\n"), std::string::npos);

  // Standard tools read it: genhtml turns it into pages.
  if (std::system("command -v genhtml >/dev/null 2>&1") == 0) {
    const std::string command = "genhtml --quiet --output-directory '" + (work / "html").string() +
                                "' '" + (work / "run.info").string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(fs::exists(work / "html/index.html"));
  } else {
    ADD_FAILURE() << "genhtml is missing (scripts/setup-deps.sh installs lcov)";
  }
}

// ".now" and ".rnd" keep their values in a save file, which the test reads.
std::string Values(const std::vector<std::string>& extra, const std::string& tz) {
  TempDir work;
  WriteCp932(work / "game/data/config.txt", ".int y mo d w h mi s r[8]\n");
  WriteCp932(work / "game/data/start.txt",
             ".wat 1500\n.now y = year\n.now mo = month\n.now d = day\n.now w = weekday\n"
             ".now h = hour\n.now mi = minute\n.now s = second\n"
             ".rnd r0 = 1 to 1000000\n.rnd r1 = 1 to 1000000\n.rnd r2 = 1 to 1000000\n"
             ".sav\n.end\n");
  std::vector<std::string> args = {"--headless", "--save-dir", (work / "saves").string()};
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back("game");
  RunOptions options;
  options.cwd = work.path();
  options.env = {"TZ=" + tz};
  const RunResult run = RunTsumugi(args, options);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const std::string save = ReadFile(work / "saves/save.txt");
  return save.substr(save.find(":VarSection"));
}

void ExpectValues(const std::string& values, const std::vector<std::string>& expected) {
  for (const std::string& value : expected) {
    EXPECT_NE(values.find("\r\n.let " + value + "\r\n"), std::string::npos) << value << " in " << values;
  }
}

TEST(RunRecord, TheTextLogHasEachDisplayLineAsItIsCompleted) {
  // A line that wraps, one broken with "\\n", lines joined in text mode 1
  // (complete when the mode ends or the window is cleared), and a menu,
  // which is laid out, not typed. A typed character takes 10 ms.
  TempDir work;
  WriteFile(work / "game/data/start.txt",
            Utf16ToCp932(Utf8ToUtf16(".tsw\r\n.tsp 10\r\n"
                                     "■■■■■■■■■■■■■■■■■■■■■\r\n"
                                     "上\\n下\r\n"
                                     ".tcl 0\r\n"
                                     ".tmd 1\r\nAB\r\nCD\r\n.tmd 0\r\n.tmd 1\r\nEF\r\n.tcl 0\r\n"
                                     ".slt\r\n左\r\n右\r\n.\r\n")));
  WriteFile(work / "input", "click 5 5\nclick 5 5\n");
  const RunResult run = RunTsumugi({"--headless", "--input", (work / "input").string(),
                                    "--text-log", (work / "log").string(), "game"},
                                   work.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadFile(work / "log"),
            "200\tstart.txt:3\t■■■■■■■■■■■■■■■■■■■■\n"
            "210\tstart.txt:3\t■\n"
            "220\tstart.txt:4\t上\n"
            "230\tstart.txt:4\t下\n"
            "270\tstart.txt:8\tABCD\n"
            "290\tstart.txt:11\tEF\n");
  EXPECT_EQ(RunTsumugi({"--headless", "--text-log", "", "game"}, work.path()).status, 2);
  EXPECT_EQ(RunTsumugi({"--headless", "--text-log", (work / "no/such/log").string(), "game"},
                       work.path())
                .status,
            4);
}

TEST(RunRecord, RunsRepeatOnEveryDayAndDateAndSeedChangeThem) {
  // Twenty-six hours apart: a host clock would give another day and hour.
  const std::string west = Values({}, "Etc/GMT+12");
  EXPECT_EQ(Values({}, "Etc/GMT-14"), west);
  // Saturday, 1 January 2000, at midnight, one and a half seconds on.
  ExpectValues(west, {"y = 2000", "mo = 1", "d = 1", "w = 7", "h = 0", "mi = 0", "s = 1"});

  // One and a half seconds after the last second of a leap day: a Friday.
  const std::string leap = Values({"--date", "2024-02-29T23:59:59"}, "UTC");
  ExpectValues(leap, {"y = 2024", "mo = 3", "d = 1", "w = 6", "h = 0", "mi = 0", "s = 0"});

  auto draws = [](const std::string& values) { return values.substr(values.find(".let r0")); };
  EXPECT_EQ(draws(Values({"--seed", "7"}, "UTC")), draws(Values({"--seed", "7"}, "UTC")));
  EXPECT_NE(draws(Values({"--seed", "7"}, "UTC")), draws(Values({"--seed", "8"}, "UTC")));
  EXPECT_NE(draws(Values({"--seed", "7"}, "UTC")), draws(west));

  for (const char* bad : {"2024-02-30T00:00:00", "2024-1-01T00:00:00", "2024-01-01 00:00:00",
                          "2024-01-01T24:00:00"}) {
    EXPECT_EQ(RunTsumugi({"--headless", "--date", bad, "."}).status, 2) << bad;
  }
  EXPECT_EQ(RunTsumugi({"--headless", "--seed", "-1", "."}).status, 2);
  EXPECT_EQ(RunTsumugi({"--date", "2024-01-01T00:00:00", "."}).status, 2);
}

}  // namespace
}  // namespace tsumugi
