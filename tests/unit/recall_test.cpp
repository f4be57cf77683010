// Recall points: the right press that returns to one, the page a recall
// memory keeps, and ".rcl exit" putting it back.
#include <gtest/gtest.h>

#include "unit/choice_game.h"

namespace tsumugi::test {
namespace {

TEST(Recall, ExitPutsThePageBackAndResumesAtTheWaitOrAfterIt) {
  // The recall handler types a line of its own, then goes back.
  struct Case {
    const char* exit;
    RunStateKind state;  // where the run stands when the input runs out
    const char16_t* line1;
    const char* probe;
  };
  const Case cases[] = {
      // Kind 1: the ".clk" wait is shown again over the page as it was.
      {".rcl exit 2 1 1", RunStateKind::kWaitClick, u"", ""},
      // Kind 0 (and any other but 1): the scenario goes on after the ".clk".
      {".rcl exit 2 0 1", RunStateKind::kRunning, u"二ページ目", ".after"},
      {".rcl exit 2 5 1", RunStateKind::kRunning, u"二ページ目", ".after"},
      // Redraw 0: the window keeps what the handler typed.
      {".rcl exit 2 1 0", RunStateKind::kWaitClick, u"戻った", ""},
  };
  for (const Case& c : cases) {
    ChoiceGame g(std::string(".mmd 0 1\n.tsw\n.tsp 0\n.rcl 2\n戻った\n") + c.exit +
                     "\n.\n一ページ目\n.clk 0\n二ページ目\n.after\n",
                 "rclick 5 5\n");
    g.Run();
    ASSERT_FALSE(g.text().TextLines.empty()) << g.Output();
    EXPECT_EQ(g.state().input.RunState, c.state) << c.exit;
    EXPECT_EQ(g.text().TextLines[0].Text, u"一ページ目") << c.exit;
    EXPECT_EQ(g.text().TextLines[1].Text, c.line1) << c.exit;
    if (*c.probe) {
      EXPECT_EQ(g.Probe(), c.probe) << c.exit;
    } else {
      EXPECT_EQ(g.Output(), "") << c.exit;
    }
  }
}

TEST(Recall, ARightPressInAMenuReturnsWithTheMenuUnselected) {
  ChoiceGame g(
      ".mmd 0 1\n.tsw\n.tsp 0\n.txt font color notselected 0000FF\n"
      ".rcl 0\n.back\n.\n.slt\n一\n二\n.\n",
      "move 5 5\nwait 20\nrclick 5 5\n");
  EXPECT_EQ(g.Run(), ExitStatus::kError);
  EXPECT_EQ(g.Probe(), ".back");
  EXPECT_EQ(g.Looks(3), "BB-");
  EXPECT_EQ(g.text().TextLines[0].ChoiceNumber, 0);
  EXPECT_FALSE(g.host().TimerEnabled(TimerId::kTimer1));
}

TEST(Recall, AMemoryKeepsAtMostSixtyFourLinesAndPutsBackOnlyWhatFits) {
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

  // A memory that claims more lines than a window of four has (as a save
  // file may bring): only lines 0 to 3 come back.
  ChoiceGame small(".txt maxline 4\n.tsw\n.tsp 0\n;\n.rcl exit 1 1 1\n", "");
  small.Start();
  PageMemory& kept = small.text().RecallMemories[1];
  kept = m;
  kept.Line = 5;
  kept.CurrentLine = 2;
  EXPECT_EQ(small.RunStarted(), ExitStatus::kNormal);
  ASSERT_EQ(small.text().TextLines.size(), 4u);
  EXPECT_EQ(small.text().TextLines[3].Text, u"行3");
  EXPECT_EQ(small.text().CurrentTextLine, 2);
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
      {".rcl exit 3 1 1", "メモリー内のテキストをテキスト表示欄に表示しきれません"},
  };
  for (const auto& [line, message] : cases) {
    ChoiceGame g(std::string(".txt maxline 2\n") + line + "\n.\n", "");
    g.Start();
    // Memory 3 holds a page of five lines, as a save file may bring.
    PageMemory& full = g.text().RecallMemories[3];
    full.File = 1;
    full.CurrentLine = 5;
    EXPECT_EQ(g.RunStarted(), ExitStatus::kError) << line;
    EXPECT_EQ(g.OnlyMessage(),
              "File「start.txt」  Line「2」\r\n\r\n" + message + "\r\n実行を中止します")
        << line;
  }
}

}  // namespace
}  // namespace tsumugi::test
