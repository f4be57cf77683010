// Recall points: how much of a page a recall memory keeps, and the reports of
// bad memory numbers (returning and going back are played by the scenarios).
#include <gtest/gtest.h>

#include "unit/choice_game.h"

namespace tsumugi::test {
namespace {

TEST(Recall, AMemoryKeepsAtMostSixtyFourLines) {
  std::string page;
  for (int i = 0; i < 70; ++i) page += "行" + std::to_string(i) + "\n";
  ChoiceGame g(
      ".txt maxline 70\n.mmd 0 1\n.tsp 0\n.rcl 5\n.rcl exit 5 0 0\n.\n" + page + ".clk 0\n",
      "rclick 5 5\n");
  g.Run();
  const PageMemory& m = g.text().RecallMemories[5];
  EXPECT_EQ(m.LastLine, 63);
  EXPECT_EQ(m.CurrentLine, 70);
  EXPECT_EQ(m.Lines[63].Text, u"行63");
  EXPECT_EQ(m.Line, 76);
}

TEST(PageMemories, BadNumbersAndEmptyMemoriesAreReported) {
  const std::string kBad = "メモリー番号が不正です";
  const std::string kEmpty = "メモリー番号が無効です";
  const std::pair<const char*, std::string> cases[] = {
      {".rcl 10", kBad},
      {".rcl -1", kBad},
      {".rcl exit 10 0 0", kBad},
      {".rcl exit 0 0 0", kEmpty},
      {".btn exit -1 0 0", kBad},
      {".btn exit 9 1 1", kEmpty},
  };
  for (const auto& [line, message] : cases) {
    ChoiceGame g(std::string(".txt maxline 2\n") + line + "\n.\n", "");
    EXPECT_EQ(g.Run(), ExitStatus::kError) << line;
    EXPECT_EQ(g.OnlyMessage(),
              "File「start.txt」  Line「2」\r\n\r\n" + message + "\r\n実行を中止します")
        << line;
  }
}

}  // namespace
}  // namespace tsumugi::test
