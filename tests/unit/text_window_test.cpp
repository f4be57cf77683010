// The drawing of typed lines, compared pixel by pixel with the font's own
// drawing (layout, scrolling and pacing are played by the scenarios).
#include <gtest/gtest.h>

#include "platform/gdi/bitblt.h"
#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

// How many pixels of two surfaces of the screen's size differ.
int DifferingPixels(const gdi::Surface& a, const gdi::Surface& b) {
  int differing = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) differing += a.PixelAt(x, y) != b.PixelAt(x, y);
  }
  return differing;
}

// A patterned screen, so that smoothed glyph edges blend with something.
void PaintScreen(TextGame& g) {
  gdi::Surface& screen = g.host().Screen();
  for (int y = 0; y < screen.Height(); ++y) {
    for (int x = 0; x < screen.Width(); ++x) {
      screen.Row(y)[x] = static_cast<uint32_t>(((x * 7) ^ (y * 3)) & 0xFF) * 0x010203u & 0xFFFFFF;
    }
  }
}

// Typing a line character by character must leave the canvas exactly as
// drawing every line once over the window background: edges of smoothed
// glyphs must not darken with every character typed.
TEST(TextDrawing, TypingALineGivesTheCanvasOfOneDrawing) {
  for (auto [crisp, style] : {std::pair{false, 0}, {true, 0}, {false, 3}}) {
    TextGame g({}, "", crisp);
    g.Start();
    PaintScreen(g);
    // Slanted bold glyphs reach into their neighbours' cells.
    g.Line(".txt font style " + std::to_string(style));
    g.Lines({".txt font edge 1", ".txt font offset 3", ".tsw", ".tsp 5"});
    const std::u16string lines[] = {u"吾輩は猫である。", u"名前はまだ無い。Ａbc",
                                    u"どこで生れたか"};
    for (const std::u16string& line : lines) g.Line(Utf16ToUtf8(line));

    // The same lines drawn once each, in order, over the background.
    TextWindowState& t = g.text();
    gdi::Surface expected(640, 480);
    gdi::BitBlt(expected, 0, 0, 640, 480, t.PicTextSpace, 0, 0, gdi::kSrcCopy);
    const gdi::Font& font = t.Canvas.Font(g.engine().fonts);
    for (int i = 0; i < 3; ++i) {
      const int y = 32 * i;
      for (auto [dx, dy] : {std::pair{0, -1}, {0, 1}, {-1, 0}, {1, 0}, {3, 3}}) {
        font.Draw(expected, dx, y + dy, lines[i], gdi::kBlack, 0);
      }
      font.Draw(expected, 0, y, lines[i], gdi::kWhite, 0);
    }
    EXPECT_EQ(DifferingPixels(t.PicTextCanvas, expected), 0)
        << (crisp ? "crisp" : "smooth") << " style " << style;
    // And the canvas is what the screen shows.
    for (int y = 0; y < 480; y += 7) {
      for (int x = 0; x < 640; x += 5) {
        ASSERT_EQ(g.Screen(x, y), t.PicTextCanvas.PixelAt(x, y)) << x << "," << y;
      }
    }
  }
}

TEST(TextDrawing, CharactersTheCodePageLacksAreDrawnAsQuestionMarks) {
  TextGame g;
  g.Start();
  g.Lines({".tsp 0", "é", "?"});
  TextWindowState& t = g.text();
  // Both lines look the same, and the line keeps what the script wrote.
  EXPECT_EQ(t.TextLines[0].Text, u"é");
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 20; ++x) ASSERT_EQ(g.Canvas(x, y), g.Canvas(x, y + 32)) << x << "," << y;
  }
  EXPECT_TRUE(AnyPixelOtherThan(t.PicTextCanvas, 0, 0, 16, 32, 0));
}

// Hiding the window and showing it again over the same screen gives back
// the canvas its lines were typed on, edge and shadow included.
TEST(TextWindowCommands, ShowingTheWindowAgainDrawsItsLinesAsTyped) {
  for (bool crisp : {false, true}) {
    TextGame g({}, "", crisp);
    g.Start();
    PaintScreen(g);
    g.Lines({".txt font edge 1", ".txt font offset 3", ".tsw", ".tsp 5", "吾輩は猫である。",
             "名前はまだ無い。"});
    const gdi::Surface typed = g.text().PicTextCanvas;
    g.Lines({".thd 0", ".tsw"});
    EXPECT_EQ(DifferingPixels(g.text().PicTextCanvas, typed), 0) << (crisp ? "crisp" : "smooth");
  }
}

}  // namespace
}  // namespace tsumugi::test
