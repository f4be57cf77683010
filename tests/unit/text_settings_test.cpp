// The text settings command ".txt": the order of its checks and every
// refusal (what the settings do on the screen is played by the scenarios).
#include <gtest/gtest.h>

#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

TEST(TextSettingsRefusals, EveryMessageExactly) {
  const std::string cleared = "「.tcl」が\r\nかかった状態でしか実行できません";
  const std::string hidden = "「.tcl」「.thd」が\r\nかかった状態でしか実行できません";
  const std::string size = "の大きさは「0」から「2048」までの範囲で指定してください";
  const std::vector<std::string> typed = {".tsp 0", "a"}, shown = {".tsw"};
  struct Case {
    // Lines that put the window in the state of the test, then the line.
    std::vector<std::string> before;
    std::string line;
    std::string message;
  };
  std::vector<Case> cases = {
      {typed, ".txt maxline 5", "「.txt maxline...」は" + cleared},
      // The window is checked before the count.
      {typed, ".txt maxline 0", "「.txt maxline...」は" + cleared},
      {{}, ".txt maxline 0", "「.txt maxline」の引数は「0」以下には設定出来ません"},
      {{}, ".txt maxline -3", "「.txt maxline」の引数は「0」以下には設定出来ません"},
      {{},
       ".txt maxline 1000000",
       "「.txt maxline」の引数は「1000」より大きな値には設定出来ません"},
      // Not empty, or not hidden; the word is shown as written, even one
      // that is no sub-command, and even when it comes from a variable.
      {typed, ".txt space pic win", "「.txt space pic...」は" + hidden},
      {shown, ".txt space pos 1 2", "「.txt space pos...」は" + hidden},
      {shown, ".txt space [w] 1 2", "「.txt space [w]...」は" + hidden},
      {shown, ".txt canvas nonsense", "「.txt canvas nonsense...」は" + hidden},
      {typed, ".txt canvas size 10 10", "「.txt canvas size...」は" + hidden},
      // Sizes a window could never need.
      {{}, ".txt canvas size 5000 10", "「.txt canvas size」" + size},
      {{}, ".txt space pic screen 10 -1", "「.txt space pic screen」" + size},
  };
  for (const std::string word : {"name", "size", "leading", "style", "spacing", "offset", "edge"}) {
    cases.push_back(
        {typed, ".txt font " + word + " 1", "「.txt font " + word + "...」は" + cleared});
  }
  // The colours of ordinary text change only at the start of a line.
  for (const std::string word : {"usual", "usualshadow", "shadow"}) {
    cases.push_back({{".tsp 0", ".tmd 1", "a"},
                     ".txt font color " + word + " red",
                     "「.txt font color " + word +
                         "...」は次に文字を表示する位置が\r\n行のはじめのときしか実行できません"});
  }
  for (const Case& c : cases) {
    TextGame g({{"config.txt", ".str w\n"}});
    g.Start();
    g.engine().state.vars.TextValues[0] = u"pos";
    for (const std::string& line : c.before) g.Line(line);
    EXPECT_EQ(g.Error(c.line), ReportAtStart(c.message)) << c.line;
  }
}

TEST(TextSettingsRefusals, WindowStatesThatAreAccepted) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".tsp 0", ".tmd 1", "a"});
  // The colours of choices may change in the middle of a line...
  g.Line(".txt font color selected 102030");
  g.Line(".txt font color notselectedshadow blue");
  EXPECT_EQ(t.SelectedColour, 0x302010u);
  // ...the usual ones at the start of a line, also in the middle of the
  // window...
  g.Lines({".tmd 0", ".txt font color usual red"});
  EXPECT_EQ(t.CurrentTextLine, 1);
  EXPECT_EQ(t.UsualColour, 0x0000FFu);
  // ...and in a full window.
  for (int i = 0; i < 13; ++i) g.Line("b");
  ASSERT_EQ(t.CurrentTextLine, t.LastLineIndex + 1);
  g.Line(".txt font color shadow 00FF00");
  EXPECT_EQ(t.UsualShadowColour, 0x00FF00u);
  EXPECT_EQ(t.SelectedShadowColour, 0x00FF00u);
  EXPECT_EQ(t.NotSelectedShadowColour, 0x00FF00u);
  // Colours apply to display lines that begin afterwards.
  g.Line("c");
  EXPECT_EQ(t.TextLines[13].TextColour, 0x0000FFu);
  EXPECT_EQ(t.TextLines[13].ShadowColour, 0x00FF00u);
  EXPECT_EQ(t.TextLines[12].ShadowColour, 0x000000u);
  // A bad colour is reported even after a keyword that sets nothing.
  EXPECT_NE(g.Error(".txt font color nothing notacolour"), "");
}

TEST(TextSettings, AFaceThatDoesNotExistFallsBackAndStillDraws) {
  TextGame g;
  g.Start();
  g.Lines({".txt font name No Such Face 123", ".tsp 0", "■"});
  EXPECT_EQ(g.window().SampleHeight(), 32);
  EXPECT_EQ(g.Canvas(16, 16), 0xFFFFFFu);
  EXPECT_EQ(g.Output(), "");
}

}  // namespace
}  // namespace tsumugi::test
