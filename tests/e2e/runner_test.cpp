// End-to-end cases that need a generated game folder or a held lock: the
// real binary, run in a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/instance/instance_lock.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

// The output of a run that ends with one message box.
std::string Box(const std::string& text) {
  return OkBox(text) + "\n";
}
std::string Aborted(const std::string& text) {
  return Box(text + "\r\n実行を中止します");
}
RunResult RunGame(const TempDir& game) {
  return RunTsumugi({"--headless", game.path().string()});
}

// Writes `count` scenario files, half of them in subfolders, plus "start".
void WriteScenarios(const TempDir& dir, int count) {
  WriteCp932(dir / "data/start.txt", ".end\n");
  for (int i = 1; i < count; ++i) {
    std::string folder = i % 2 ? "data/sub" + std::to_string(i % 5) + "/" : "data/";
    WriteCp932(dir / (folder + "s" + std::to_string(i) + ".txt"), ".end\n");
  }
  // Neither configuration nor save files count.
  WriteCp932(dir / "data/config.txt", "\n");
  WriteCp932(dir / "data/save1.txt", "\n");
}

TEST(RunnerCatalogue, TwoHundredFiftyFourFilesStartAndOneMoreIsRefused) {
  for (int count : {254, 255}) {
    TempDir dir;
    WriteScenarios(dir, count);
    RunResult run = RunGame(dir);
    EXPECT_EQ(run.status, count == 254 ? 0 : 1) << run.out << run.err;
    EXPECT_EQ(run.out,
              count == 254 ? "" : Box("シナリオファイル（テキスト）の数が２５４を超えています。"));
  }
}

TEST(RunnerCatalogue, AnAbsolutePathFolderAndACaseInsensitiveDir) {
  TempDir game;
  WriteCp932(game / "scenes/start.txt", ".cap here\n.here\n");
  WriteCp932(game / "tsumugi.ini",
             "Style=Window\nZOrder=Normal\nPath=" + (game / "Scenes").string() + "\n");
  RunResult run = RunGame(game);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            Aborted("File「start.txt」  Line「2」\r\n\r\nないコマンドを指定しました\r\n.here"));

  // A folder outside the game folder is not the game's: it is reported as
  // missing, and the cause goes to standard error.
  TempDir scenarios;
  WriteCp932(scenarios / "start.txt", ".here\n");
  WriteCp932(game / "tsumugi.ini",
             "Style=Window\nZOrder=Normal\nPath=" + scenarios.path().string() + "\n");
  run = RunGame(game);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Box("存在しないフォルダ\r\n" + scenarios.path().string() +
                         "/\r\nをシナリオフォルダに指定しました"));
  EXPECT_NE(run.err.find("outside the game folder"), std::string::npos) << run.err;

  TempDir game2;
  WriteCp932(game2 / "tsumugi.ini", "Style=Window\nZOrder=Normal\nDir=SCENARIO\n");
  WriteCp932(game2 / "Scenario/start.txt", ".there\n");
  run = RunGame(game2);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find(".there"), std::string::npos) << run.out;
}

TEST(RunnerInstance, ASecondCopyOnTheSameFolderIsRefused) {
  TempDir game;
  WriteCp932(game / "data/start.txt", ".end\n");
  TempDir other;
  WriteCp932(other / "data/start.txt", ".end\n");

  // This test plays the first copy: it holds the lock the engine takes.
  InstanceLock first;
  ASSERT_TRUE(first.Acquire(game.path().string()));
  RunResult run = RunGame(game);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Box("重複起動は出来ません"));
  // The same folder written another way is still the same game.
  run = RunTsumugi({"--headless", (game.path() / "data" / "..").string()});
  EXPECT_EQ(run.out, Box("重複起動は出来ません"));
  // Another game folder plays at the same time.
  run = RunGame(other);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
}

TEST(RunnerBadInput, BinaryAndDamagedScenarioFiles) {
  // A NUL byte makes a binary file: it is reported when it is opened. Bytes
  // that are not Shift-JIS, a one-megabyte line and a stray lead byte at the
  // end of the file are read without harm.
  const std::pair<std::string, std::string> cases[] = {
      {std::string("\x7f"
                   "ELF\0\0\x01\x02.end\r\n",
                   13),
       "ファイル「start.txt」はテキストファイルではありません"},
      {";\x80\xff\xfd comment\r\n;" + std::string(1 << 20, 'a') +
           "\r\n.cap \x82\xa0\x82\r\n.bad\x81",
       "File「start.txt」  Line「4」\r\n\r\nないコマンドを指定しました\r\n.bad・"}};
  for (const auto& [bytes, message] : cases) {
    TempDir dir;
    WriteFile(dir / "data/start.txt", bytes);
    RunResult run = RunGame(dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, Aborted(message));
  }
}

TEST(RunnerBadInput, CommandLineAndInputFileErrorsExitWithTwo) {
  TempDir dir;
  WriteCp932(dir / "data/start.txt", ".wat 1000\n.foo\n");
  WriteFile(dir / "input.txt", "click 1 2\n# fine\nwiggle 3\n");
  RunResult run =
      RunTsumugi({"--headless", "--input", (dir / "input.txt").string(), dir.path().string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("line 3: unknown action 'wiggle'"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");

  run = RunTsumugi({"--headless", (dir / "no-such-game").string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("does not exist"), std::string::npos) << run.err;

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--headless", "--max-time", "soon"},
                                             {"--headless", "--desktop", "640by480"},
                                             {"--headless", "--frobnicate"},
                                             {"--headless", "--input"},
                                             {"--headless", "a", "b"}}) {
    run = RunTsumugi(args);
    EXPECT_EQ(run.status, 2) << args.back();
    EXPECT_FALSE(run.err.empty());
  }
  run = RunTsumugi({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("--headless"), std::string::npos);

  // The time limit ends the run with its own status; ".foo" is reached at
  // 1000 ms.
  EXPECT_EQ(RunTsumugi({"--headless", "--max-time", "999", dir.path().string()}).status, 3);
  EXPECT_EQ(RunTsumugi({"--headless", "--max-time", "1000", dir.path().string()}).status, 1);
}

}  // namespace
}  // namespace tsumugi::test
