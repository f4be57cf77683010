// Printing text on the screen and on pages with ".tpr".
#include <gtest/gtest.h>

#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

// The rightmost and leftmost columns of a row range that hold a pixel other
// than black, or -1.
int Column(const gdi::Surface& s, int y0, int y1, bool last) {
  for (int i = 0; i < s.Width(); ++i) {
    const int x = last ? s.Width() - 1 - i : i;
    for (int y = y0; y < y1; ++y) {
      if (s.PixelAt(x, y) != 0) return x;
    }
  }
  return -1;
}
int LastColumn(const gdi::Surface& s, int y0, int y1) {
  return Column(s, y0, y1, true);
}
int FirstColumn(const gdi::Surface& s, int y0, int y1) {
  return Column(s, y0, y1, false);
}

TEST(TextPrint, AlignmentPutsTheTextAtItsColumn) {
  // "─" covers its whole cell from left to right: the printed columns are
  // exactly the text's extent.
  TextGame g;
  g.Start();
  const gdi::Surface& screen = g.host().Screen();
  g.Lines({".tpr font offset 0", ".tpr font align 2", ".tpr 639 100 ──"});
  EXPECT_EQ(LastColumn(screen, 100, 132), 639);
  EXPECT_EQ(FirstColumn(screen, 100, 132), 639 - 63);
  // Centred on x: 64 pixels around 320 start at 320 - 31.
  g.Lines({".tpr font align 1", ".tpr 320 200 ──"});
  EXPECT_EQ(FirstColumn(screen, 200, 232), 289);
  EXPECT_EQ(LastColumn(screen, 200, 232), 352);
  // With spacing the last character's spacing does not count.
  g.Lines({".tpr font spacing 5", ".tpr font align 2", ".tpr screen 639 300 ──"});
  EXPECT_EQ(LastColumn(screen, 300, 332), 639);
  EXPECT_EQ(FirstColumn(screen, 300, 332), 639 - 68);
}

TEST(TextPrint, PiecesGoDownByTheLineHeightAndTheLeading) {
  TextGame g;
  g.Start();
  g.host().Screen().Fill(0, 0, 640, 480, 0x808080);
  const int refreshes = g.host().RefreshCount();
  g.Lines({".tpr font leading 4", ".tpr 100 50 ■\\n\\n■"});
  EXPECT_EQ(g.host().RefreshCount(), refreshes + 1);
  EXPECT_EQ(g.Screen(116, 66), 0xFFFFFFu);
  // The empty piece between them takes a line too.
  EXPECT_EQ(g.Screen(116, 66 + 36), 0x808080u);
  EXPECT_EQ(g.Screen(116, 66 + 72), 0xFFFFFFu);
  // The shadow, two pixels right and down.
  EXPECT_EQ(g.Screen(128, 70), 0x000000u);
  EXPECT_EQ(g.Screen(100 + 27 + 3, 50 + 27 + 3), 0x808080u);
  // An empty text does nothing, not even refresh.
  g.Line(".tpr 0 0 ");
  EXPECT_EQ(g.host().RefreshCount(), refreshes + 1);
}

TEST(TextPrint, PagesAndTheirOwnFontSettings) {
  TextGame g;
  g.Start();
  const int refreshes = g.host().RefreshCount();
  g.Lines({".tpr font color usual 00FF00", ".tpr off2 0 0 ■"});
  EXPECT_EQ(g.host().RefreshCount(), refreshes);
  EXPECT_EQ(g.engine().pages.Page(2)->PixelAt(16, 16), 0x00FF00u);
  EXPECT_EQ(g.Screen(16, 16), 0x000000u);
  // Font changes reach the screen and every page, and never the window.
  g.Line(".tpr font size 16");
  TextPrinter& p = g.engine().printer;
  EXPECT_EQ(p.ScreenContext().font.height, 16);
  EXPECT_EQ(p.PageContext(0).font.height, 16);
  EXPECT_EQ(p.PageContext(2).font.height, 16);
  EXPECT_EQ(g.text().Canvas.font.height, 32);
  g.Lines({".tpr font style 1", ".tpr font name ＭＳ 明朝", ".tpr font edge 1"});
  EXPECT_TRUE(p.PageContext(1).font.bold);
  EXPECT_EQ(p.ScreenContext().font.face, u"ＭＳ 明朝");
  EXPECT_TRUE(g.state().print.PrintEdgeOn);
  g.Lines({".tpr font color shadow red", ".tpr font color other blue", ".tpr font other 3"});
  EXPECT_EQ(g.state().print.PrintShadowColour, 0x0000FFu);
  EXPECT_EQ(g.Output(), "");
  g.Line(".tpr font reset");
  EXPECT_EQ(p.ScreenContext().font.height, 32);
  EXPECT_FALSE(p.PageContext(1).font.bold);
  EXPECT_EQ(g.state().print.PrintColour, 0xFFFFFFu);
  EXPECT_FALSE(g.state().print.PrintEdgeOn);
}

TEST(TextPrint, APageThatDoesNotExistIsReported) {
  TextGame g({{"config.txt", ".scr 1\n"}});
  g.Start();
  g.Line(".tpr off1 0 0 a");
  EXPECT_EQ(g.Error(".tpr off2 0 0 a"),
            ReportAtStart("「.tpr off2」の描画先のページが存在しません"));
}

}  // namespace
}  // namespace tsumugi::test
