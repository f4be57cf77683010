// The text settings command ".txt": its forms, the order of its checks,
// every refusal, and the print settings it resets.
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

TEST(TextSettings, LineCountAndWindowGeometry) {
  TextGame g;
  g.Picture("win.bmp", 200, 100, [](int x, int) { return x < 100 ? 0xFF00FFu : 0x123456u; });
  g.Start();
  TextWindowState& t = g.text();
  g.Line(".txt maxline 3");
  EXPECT_EQ(t.LastLineIndex, 2);
  ASSERT_EQ(t.TextLines.size(), 3u);
  // New records are black until text starts on them.
  EXPECT_EQ(t.TextLines[2].TextColour, 0x000000u);
  g.Lines({".tsp 0", "a", "b", "c", "d"});
  EXPECT_EQ(t.TextLines[0].Text, u"b");
  EXPECT_EQ(t.TextLines[2].Text, u"d");
  g.Lines({".tcl 2"});

  g.Lines({".txt space pic win", ".txt space pos 10 20", ".txt canvas pos 3 4",
           ".txt canvas size 150 60"});
  EXPECT_EQ(g.window().WindowPicture().Width(), 200);
  EXPECT_EQ(t.PicTextSave.Width(), 200);
  EXPECT_EQ(t.PicTextSpace.Height(), 100);
  // The key colour was blackened and masked.
  EXPECT_EQ(g.window().WindowPicture().PixelAt(50, 50), 0x000000u);
  EXPECT_EQ(g.window().WindowMask().PixelAt(50, 50), 0xFFFFFFu);
  EXPECT_EQ(g.window().WindowPicture().PixelAt(150, 50), 0x123456u);
  EXPECT_EQ(g.window().WindowMask().PixelAt(150, 50), 0x000000u);
  EXPECT_EQ(t.WindowX, 10);
  EXPECT_EQ(t.WindowY, 20);
  EXPECT_EQ(t.CanvasX, 3);
  EXPECT_EQ(t.CanvasY, 4);
  EXPECT_EQ(t.PicTextCanvas.Width(), 150);
  EXPECT_EQ(t.PicTextCanvas.Height(), 60);

  // A window without picture: only the text shows over the screen.
  g.Lines({".txt space pic screen 640 160", ".txt space pos 0 0", ".txt canvas pos 0 0"});
  EXPECT_EQ(g.window().WindowPicture().Width(), 640);
  EXPECT_EQ(g.window().WindowMask().PixelAt(639, 159), 0xFFFFFFu);
  g.host().Screen().Fill(0, 0, 640, 480, 0x336699);
  g.Lines({".tsw", ".tsp 0", "■", ".clk 0"});
  EXPECT_EQ(g.Screen(100, 100), 0x996633u);
  EXPECT_EQ(g.Screen(16, 16), 0xFFFFFFu);
}

TEST(TextSettings, FontFormsAndTheirEffect) {
  TextGame g({{"config.txt", ".str which\n"}});
  g.Start();
  TextWindowState& t = g.text();
  g.Line(".txt font size 24");
  EXPECT_EQ(g.window().SampleHeight(), 24);
  g.Line(".txt font leading 6");
  EXPECT_EQ(g.window().LineHeight(), 30);
  g.Line(".txt font style 3");
  EXPECT_TRUE(t.Canvas.font.bold);
  EXPECT_TRUE(t.Canvas.font.italic);
  g.Line(".txt font style 4");  // no change, no report
  EXPECT_TRUE(t.Canvas.font.bold);
  g.Line(".txt font style 0");
  EXPECT_FALSE(t.Canvas.font.bold);
  // The face is the whole rest of the line, blanks included, unexpanded.
  g.Line(".txt font name ＭＳ 明朝 [x]");
  EXPECT_EQ(t.Canvas.font.face, u"ＭＳ 明朝 [x]");
  g.Lines({".txt font name ＭＳ ゴシック", ".txt font size 32", ".txt font leading 0"});
  g.Line(".txt font spacing 4");
  EXPECT_EQ(t.CharacterSpacing, 4);
  EXPECT_EQ(t.Canvas.char_extra, 4);
  // Keywords may come from variables.
  g.engine().state.vars.TextValues[0] = u"offset";
  g.Line(".txt font [which] 5");
  EXPECT_EQ(t.ShadowOffset, 5);
  g.Line(".txt font edge 7");
  EXPECT_TRUE(t.EdgeOn);
  // Unknown words change nothing and report nothing.
  g.Lines({".txt nothing 1", ".txt font nothing 1", ".txt"});
  EXPECT_EQ(g.Output(), "");

  // With a spacing of 4, seventeen full-width characters (17 x 36 = 612)
  // fit a 608-pixel canvas: the spacing after the last one does not count.
  g.Line(".txt canvas size 608 480");
  g.Lines({".tsp 0", "あいうえおかきくけこさしすせそたちつ"});
  EXPECT_EQ(t.TextLines[0].Text.size(), 17u);
  EXPECT_EQ(t.TextLines[1].Text, u"つ");
}

TEST(TextSettings, AFaceThatDoesNotExistFallsBackAndStillDraws) {
  TextGame g;
  g.Start();
  g.Lines({".txt font name No Such Face 123", ".tsp 0", "■"});
  EXPECT_EQ(g.window().SampleHeight(), 32);
  EXPECT_EQ(g.Canvas(16, 16), 0xFFFFFFu);
  EXPECT_EQ(g.Output(), "");
}

TEST(TextSettings, EveryTxtResetsThePrintSettingsToTheWindows) {
  TextGame g;
  g.Start();
  TextPrinter& p = g.engine().printer;
  g.Lines({".tpr font align 2", ".tpr font leading 9", ".tpr font color usual red"});
  EXPECT_EQ(g.state().print.PrintAlign, 2);
  g.Lines({".txt font leading 3", ".txt font offset 4", ".txt font edge 1", ".txt font spacing 2",
           ".txt font color usual blue"});
  EXPECT_EQ(g.state().print.PrintAlign, 0);
  EXPECT_EQ(g.state().print.PrintLeading, 3);
  EXPECT_EQ(g.state().print.PrintShadowOffset, 4);
  EXPECT_TRUE(g.state().print.PrintEdgeOn);
  EXPECT_EQ(g.state().print.PrintSpacing, 2);
  EXPECT_EQ(g.state().print.PrintColour, 0xFF0000u);
  EXPECT_EQ(p.ScreenContext().char_extra, 2);
  EXPECT_EQ(p.PageContext(2).char_extra, 2);
  // Even a ".txt" that changes nothing resets them.
  g.Line(".tpr font align 1");
  g.Line(".txt nothing");
  EXPECT_EQ(g.state().print.PrintAlign, 0);
}

}  // namespace
}  // namespace tsumugi::test
