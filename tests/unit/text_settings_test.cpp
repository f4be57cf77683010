// The text settings command ".txt": its forms, the order of its checks,
// every refusal, and the print settings it resets.
#include <gtest/gtest.h>

#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

TEST(TextSettingsRefusals, EveryMessageExactly) {
  const std::string not_cleared = "かかった状態でしか実行できません";
  struct Case {
    // Lines that put the window in the state of the test, then the line.
    std::vector<std::string> before;
    std::string line;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{".tsp 0", "a"}, ".txt maxline 5", "「.txt maxline...」は「.tcl」が\r\n" + not_cleared},
      // The window is checked before the count.
      {{".tsp 0", "a"}, ".txt maxline 0", "「.txt maxline...」は「.tcl」が\r\n" + not_cleared},
      {{}, ".txt maxline 0", "「.txt maxline」の引数は「0」以下には設定出来ません"},
      {{}, ".txt maxline -3", "「.txt maxline」の引数は「0」以下には設定出来ません"},
      {{},
       ".txt maxline 1000000",
       "「.txt maxline」の引数は「1000」より大きな値には設定出来ません"},
      // Not empty, or not hidden; the word is shown as written, even one
      // that is no sub-command, and even when it comes from a variable.
      {{".tsp 0", "a"},
       ".txt space pic win",
       "「.txt space pic...」は「.tcl」「.thd」が\r\n" + not_cleared},
      {{".tsw"},
       ".txt space pos 1 2",
       "「.txt space pos...」は「.tcl」「.thd」が\r\n" + not_cleared},
      {{".tsw"},
       ".txt space [w] 1 2",
       "「.txt space [w]...」は「.tcl」「.thd」が\r\n" + not_cleared},
      {{".tsw"},
       ".txt canvas nonsense",
       "「.txt canvas nonsense...」は「.tcl」「.thd」が\r\n" + not_cleared},
      {{".tsp 0", "a"},
       ".txt canvas size 10 10",
       "「.txt canvas size...」は「.tcl」「.thd」が\r\n" + not_cleared},
      {{".tsp 0", "a"},
       ".txt font name ＭＳ 明朝",
       "「.txt font name...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", "a"}, ".txt font size 20", "「.txt font size...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", "a"},
       ".txt font leading 2",
       "「.txt font leading...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", "a"},
       ".txt font style 1",
       "「.txt font style...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", "a"},
       ".txt font spacing 1",
       "「.txt font spacing...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", "a"},
       ".txt font offset 1",
       "「.txt font offset...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", "a"}, ".txt font edge 1", "「.txt font edge...」は「.tcl」が\r\n" + not_cleared},
      {{".tsp 0", ".tmd 1", "a"},
       ".txt font color usual red",
       "「.txt font color "
       "usual...」は次に文字を表示する位置が\r\n行のはじめのときしか実行できません"},
      {{".tsp 0", ".tmd 1", "a"},
       ".txt font color usualshadow red",
       "「.txt font color "
       "usualshadow...」は次に文字を表示する位置が\r\n行のはじめのときしか実行できません"},
      {{".tsp 0", ".tmd 1", "a"},
       ".txt font color shadow red",
       "「.txt font color "
       "shadow...」は次に文字を表示する位置が\r\n行のはじめのときしか実行できません"},
      // Sizes a window could never need.
      {{},
       ".txt canvas size 5000 10",
       "「.txt canvas size」の大きさは「0」から「4096」までの範囲で指定してください"},
      {{},
       ".txt space pic screen 10 -1",
       "「.txt space pic screen」の大きさは「0」から「4096」までの範囲で指定してください"},
  };
  for (const Case& c : cases) {
    TextGame g({{"config.txt", ".str w\n"}});
    g.Start();
    g.engine().vars.TextValues[0] = u"pos";
    for (const std::string& line : c.before) g.Line(line);
    EXPECT_EQ(g.Error(c.line), ReportAtStart(c.message)) << c.line;
  }
}

TEST(TextSettingsRefusals, WindowStatesThatAreAccepted) {
  TextGame g;
  g.Start();
  TextWindow& t = g.text();
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
  TextWindow& t = g.text();
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
  EXPECT_EQ(t.PicTextBmp.Width(), 200);
  EXPECT_EQ(t.PicTextSave.Width(), 200);
  EXPECT_EQ(t.PicTextSpace.Height(), 100);
  // The key colour was blackened and masked.
  EXPECT_EQ(t.PicTextBmp.PixelAt(50, 50), 0x000000u);
  EXPECT_EQ(t.PicTextMBmp.PixelAt(50, 50), 0xFFFFFFu);
  EXPECT_EQ(t.PicTextBmp.PixelAt(150, 50), 0x123456u);
  EXPECT_EQ(t.PicTextMBmp.PixelAt(150, 50), 0x000000u);
  EXPECT_EQ(t.WindowX, 10);
  EXPECT_EQ(t.WindowY, 20);
  EXPECT_EQ(t.CanvasX, 3);
  EXPECT_EQ(t.CanvasY, 4);
  EXPECT_EQ(t.PicTextCanvas.Width(), 150);
  EXPECT_EQ(t.PicTextCanvas.Height(), 60);

  // A window without picture: only the text shows over the screen.
  g.Lines({".txt space pic screen 640 160", ".txt space pos 0 0", ".txt canvas pos 0 0"});
  EXPECT_EQ(t.PicTextBmp.Width(), 640);
  EXPECT_EQ(t.PicTextMBmp.PixelAt(639, 159), 0xFFFFFFu);
  g.host().Screen().Fill(0, 0, 640, 480, 0x336699);
  g.Lines({".tsw", ".tsp 0", "■", ".clk 0"});
  EXPECT_EQ(g.Screen(100, 100), 0x996633u);
  EXPECT_EQ(g.Screen(16, 16), 0xFFFFFFu);
}

TEST(TextSettings, FontFormsAndTheirEffect) {
  TextGame g({{"config.txt", ".str which\n"}});
  g.Start();
  TextWindow& t = g.text();
  g.Line(".txt font size 24");
  EXPECT_EQ(t.SampleHeight(), 24);
  g.Line(".txt font leading 6");
  EXPECT_EQ(t.LineHeight(), 30);
  g.Line(".txt font style 3");
  EXPECT_TRUE(t.CanvasContext().font.bold);
  EXPECT_TRUE(t.CanvasContext().font.italic);
  g.Line(".txt font style 4");  // no change, no report
  EXPECT_TRUE(t.CanvasContext().font.bold);
  g.Line(".txt font style 0");
  EXPECT_FALSE(t.CanvasContext().font.bold);
  // The face is the whole rest of the line, blanks included, unexpanded.
  g.Line(".txt font name ＭＳ 明朝 [x]");
  EXPECT_EQ(t.CanvasContext().font.face, u"ＭＳ 明朝 [x]");
  g.Lines({".txt font name ＭＳ ゴシック", ".txt font size 32", ".txt font leading 0"});
  g.Line(".txt font spacing 4");
  EXPECT_EQ(t.CharacterSpacing, 4);
  EXPECT_EQ(t.CanvasContext().char_extra, 4);
  // Keywords may come from variables.
  g.engine().vars.TextValues[0] = u"offset";
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
  EXPECT_EQ(g.text().SampleHeight(), 32);
  EXPECT_EQ(g.Canvas(16, 16), 0xFFFFFFu);
  EXPECT_EQ(g.Output(), "");
}

TEST(TextSettings, EveryTxtResetsThePrintSettingsToTheWindows) {
  TextGame g;
  g.Start();
  TextPrinter& p = g.engine().printer;
  g.Lines({".tpr font align 2", ".tpr font leading 9", ".tpr font color usual red"});
  EXPECT_EQ(p.PrintAlign, 2);
  g.Lines({".txt font leading 3", ".txt font offset 4", ".txt font edge 1", ".txt font spacing 2",
           ".txt font color usual blue"});
  EXPECT_EQ(p.PrintAlign, 0);
  EXPECT_EQ(p.PrintLeading, 3);
  EXPECT_EQ(p.PrintShadowOffset, 4);
  EXPECT_TRUE(p.PrintEdgeOn);
  EXPECT_EQ(p.PrintSpacing, 2);
  EXPECT_EQ(p.PrintColour, 0xFF0000u);
  EXPECT_EQ(p.ScreenContext().char_extra, 2);
  EXPECT_EQ(p.PageContext(2).char_extra, 2);
  // Even a ".txt" that changes nothing resets them.
  g.Line(".tpr font align 1");
  g.Line(".txt nothing");
  EXPECT_EQ(p.PrintAlign, 0);
}

}  // namespace
}  // namespace tsumugi::test
