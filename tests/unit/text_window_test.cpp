// Typing text lines into the window: layout, line ends and text modes,
// scrolling, pacing on the engine clock, and the drawing of lines.
#include <gtest/gtest.h>

#include "platform/gdi/bitblt.h"
#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

TEST(TextLayout, DefaultFontMetricsAndTheTwentyFirstCharacterStartsANewLine) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  const gdi::Font& font = t.Canvas.Font(g.engine().fonts);
  EXPECT_EQ(g.window().SampleHeight(), 32);
  EXPECT_EQ(font.Extent(u"あ", 0).width, 32);
  EXPECT_EQ(font.Extent(u"A", 0).width, 16);

  g.Line(".tsp 0");
  g.Line("あいうえおかきくけこさしすせそたちつてとな");
  EXPECT_EQ(t.TextLines[0].Text, u"あいうえおかきくけこさしすせそたちつてと");
  EXPECT_EQ(t.TextLines[1].Text, u"な");
  EXPECT_EQ(t.CurrentTextLine, 2);
  // Forty half-width characters fill a line as well.
  g.Line(std::string(41, 'A'));
  EXPECT_EQ(t.TextLines[2].Text, std::u16string(40, u'A'));
  EXPECT_EQ(t.TextLines[3].Text, u"A");
}

TEST(TextLayout, LineEndsInBothTextModes) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Line(".tsp 0");
  // "\n" and the end of the line each move on one display line.
  g.Line("ab\\ncd\\n");
  EXPECT_EQ(t.TextLines[0].Text, u"ab");
  EXPECT_EQ(t.TextLines[1].Text, u"cd");
  EXPECT_EQ(t.CurrentTextLine, 3);
  g.Line("");
  EXPECT_EQ(t.CurrentTextLine, 4);
  // ".tmd 0" in mode 0 leaves the line where it is.
  g.Line(".tmd 0");
  EXPECT_EQ(t.CurrentTextLine, 4);

  // Mode 1 joins the text lines on one display line; the empty line and
  // the end of a line do not move on.
  g.Line(".tmd 1");
  g.Line("ef");
  g.Line("");
  g.Line("gh");
  EXPECT_EQ(t.TextLines[4].Text, u"efgh");
  EXPECT_EQ(t.CurrentTextLine, 4);
  // Back to mode 0: the open line is closed.
  g.Line(".tmd 0");
  EXPECT_EQ(t.CurrentTextLine, 5);
  g.Line("ij");
  EXPECT_EQ(t.TextLines[5].Text, u"ij");
  // Mode 0 after mode 1 on a line that is still empty leaves it blank.
  g.Lines({".tmd 1", "kl\\n", ".tmd 0", "mn"});
  EXPECT_EQ(t.TextLines[6].Text, u"kl");
  EXPECT_EQ(t.TextLines[7].Text, u"");
  EXPECT_EQ(t.TextLines[8].Text, u"mn");
}

// A character that does not fit a canvas with room for one simply starts a
// new line.
TEST(TextLayout, ACharacterThatDoesNotFitStartsANewLine) {
  TextGame g;
  g.Start();
  g.Lines({".txt canvas size 40 480", ".tsp 0", "あい"});
  EXPECT_EQ(g.text().TextLines[0].Text, u"あ");
  EXPECT_EQ(g.text().TextLines[1].Text, u"い");
}

TEST(TextScroll, AFifteenthLineScrollsOnceInFourStepsAndTheFirstLineIsGone) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".tsw", ".tsp 800"});
  for (int i = 1; i <= 14; ++i) g.Line(std::string("L").append(std::to_string(i % 10)));
  EXPECT_EQ(t.CurrentTextLine, 14);
  const int refreshes = g.host().RefreshCount();
  // Each scroll step lasts an eighth of the delay; the scroll happens in the
  // pass of the first character, whose 800 ms include it.
  EXPECT_EQ(g.Duration("L15"), 3u * 800);
  // One presentation of the full window, four scroll steps, three characters.
  EXPECT_EQ(g.host().RefreshCount() - refreshes, 1 + 4 + 3);
  EXPECT_EQ(t.TextLines[0].Text, u"L2");
  EXPECT_EQ(t.TextLines[12].Text, u"L4");
  EXPECT_EQ(t.TextLines[13].Text, u"L15");
  EXPECT_EQ(t.CurrentTextLine, 14);
}

TEST(TextScroll, ClearingByScrollingTakesEveryLineOutInSteps) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".tsw", ".tsp 0", "■", "■", ".tsp 80"});
  ASSERT_EQ(g.Screen(16, 48), 0xFFFFFFu);
  // Fourteen scrolls of four 10 ms steps.
  EXPECT_EQ(g.Duration(".tcl 2 1"), 14u * 4 * 10);
  EXPECT_EQ(t.CurrentTextLine, 0);
  for (const TextLine& line : t.TextLines) EXPECT_EQ(line.Text, u"");
  EXPECT_FALSE(AnyPixelOtherThan(g.host().Screen(), 0, 0, 640, 480, 0));
}

TEST(TextScroll, ChoiceLinesThatWouldScrollOutAreReported) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  t.TextLines[0] = TextLine{u"choice", 1, gdi::kWhite, gdi::kBlack};
  g.state().input.RunState = RunStateKind::kLayingOutChoices;
  EXPECT_EQ(g.Error(".tcl 2 1"), ReportAtStart("選択肢をテキスト表示欄に表示しきれません"));
}

// The two cases where the line number could leave the table.
TEST(TextScroll, AFullWindowKeepsTheLineNumberInsideTheTable) {
  // A choice line that is empty (or ends in "\n") in text mode 1 takes a
  // display line of its own, as in mode 0: the window scrolls.
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".tsp 0", ".tmd 1"});
  for (int i = 0; i < 14; ++i) g.Line("x\\n");
  ASSERT_EQ(t.CurrentTextLine, t.LastLineIndex + 1);
  g.state().input.RunState = RunStateKind::kLayingOutChoices;
  t.ChoiceCounter = 3;
  g.Line("");
  EXPECT_EQ(t.CurrentTextLine, t.LastLineIndex + 1);
  EXPECT_EQ(t.TextLines[13].ChoiceNumber, 3);
  EXPECT_EQ(t.TextLines[12].Text, u"x");
  g.state().input.RunState = RunStateKind::kRunning;

  // ".tmd 0" in a full window: the closed empty line shows as a blank line,
  // as it would anywhere else on the page.
  TextGame h;
  h.Start();
  TextWindowState& u = h.text();
  h.Lines({".tsp 0", ".tmd 1"});
  for (int i = 0; i < 14; ++i)
    h.Line(std::string("y").append(std::to_string(i % 10)).append("\\n"));
  ASSERT_EQ(u.CurrentTextLine, u.LastLineIndex + 1);
  h.Line(".tmd 0");
  EXPECT_EQ(u.CurrentTextLine, u.LastLineIndex + 1);
  h.Line("z");
  EXPECT_EQ(u.TextLines[11].Text, u"y3");
  EXPECT_EQ(u.TextLines[12].Text, u"");
  EXPECT_EQ(u.TextLines[13].Text, u"z");
}

// Holding the right button speeds up the scroll steps as well as the
// characters: skipping through a long text must not crawl at every scroll.
TEST(TextScroll, AHeldRightButtonScrollsAtTheFastPace) {
  TextGame g;
  g.Start();
  g.Line(".tsp 0");
  for (int i = 0; i < 14; ++i) g.Line("x");
  g.Line(".tsp 800 8");
  g.input().PressHandler(MouseButton::kRight, 0, 0, 0);
  // Four steps of 1 ms inside the 8 ms of the character that scrolled.
  EXPECT_EQ(g.Duration("y"), 8u);
  EXPECT_EQ(g.text().TextLines[13].Text, u"y");
}

// A text mode other than 0 and 1 joins text lines as mode 1 does, but a
// full window scrolls as soon as it fills, even with nothing left to type,
// as in mode 0.
TEST(TextScroll, OtherTextModesScrollAFullWindowEvenWithoutText) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".tsp 0", ".tmd 2"});
  for (int i = 0; i < 14; ++i)
    g.Line(std::string("x").append(std::to_string(i % 10)).append("\\n"));
  EXPECT_EQ(t.TextLines[0].Text, u"x1");
  EXPECT_EQ(t.TextLines[13].Text, u"");
  EXPECT_EQ(t.CurrentTextLine, 13);
  g.Lines({"a", "b"});
  EXPECT_EQ(t.TextLines[13].Text, u"ab");
}

TEST(TextPacing, CharactersCostTheDelayOnTheEngineClock) {
  TextGame g;
  g.Start();
  // The window need not be shown: typing still spends the delay.
  g.Line(".tsp 50");
  EXPECT_EQ(g.Duration("abcd"), 200u);
  // Holding the right button (right clicks enabled) types at the fast pace.
  g.input().PressHandler(MouseButton::kRight, 0, 0, 0);
  EXPECT_EQ(g.Duration("あいうえおかきくけこ"), 10u);
  g.input().ReleaseHandler(MouseButton::kRight, 0, 0, 0);
  EXPECT_EQ(g.Duration("ab"), 100u);
  // A zero delay costs nothing.
  g.Line(".tsp 0 0");
  EXPECT_EQ(g.Duration("abcdefgh"), 0u);
}

// Text typed at no delay waits for the next wait to reach the screen, but a
// ".tsp" with a delay presents it at once.
TEST(TextPacing, ADelayAgainPresentsZeroDelayText) {
  TextGame g;
  g.Start();
  g.Lines({".tsw", ".tsp 0", "■"});
  EXPECT_EQ(g.Canvas(16, 16), 0xFFFFFFu);
  EXPECT_EQ(g.Screen(16, 16), 0x000000u);
  g.Line(".tsp 50");
  EXPECT_EQ(g.Screen(16, 16), 0xFFFFFFu);
  EXPECT_FALSE(g.text().ShowRestAtOnce);
}

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

TEST(TextWindowCommands, ShowingHidingAndPuttingBackTheScreen) {
  TextGame g;
  // A 100 x 60 window: a frame in the key colour (magenta, the top-left
  // pixel) around a blue panel.
  g.Picture("win.bmp", 100, 60, [](int x, int y) {
    return (x < 10 || y < 10 || x >= 90 || y >= 50) ? 0xFF00FFu : 0x0000FFu;
  });
  g.Start();
  PaintScreen(g);
  const gdi::Surface before = g.host().Screen();
  g.Lines({".txt space pic win", ".txt space pos 200 100", ".txt canvas pos 10 10",
           ".txt canvas size 80 40", ".tsw"});
  // The key colour shows the screen, the panel covers it.
  EXPECT_EQ(g.Screen(203, 103), before.PixelAt(203, 103));
  EXPECT_EQ(g.Screen(295, 155), before.PixelAt(295, 155));
  EXPECT_EQ(g.Screen(250, 130), 0x0000FFu);
  g.Lines({".tsp 0", "■"});
  g.Line(".clk 0");
  EXPECT_EQ(g.Screen(210 + 16, 110 + 16), 0xFFFFFFu);

  // ".thd 0" puts the screen back.
  g.state().input.RunState = RunStateKind::kRunning;
  g.Line(".thd 0");
  EXPECT_FALSE(g.text().TextWindowVisible);
  auto screen_is_back = [&] {
    for (int y = 95; y < 165; y += 3) {
      for (int x = 195; x < 305; x += 3) {
        if (g.Screen(x, y) != before.PixelAt(x, y)) return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(screen_is_back());
  // The text comes back with the next ".tsw".
  EXPECT_EQ(g.text().TextLines[0].Text, u"■");
  g.Line(".tsw");
  EXPECT_EQ(g.Screen(210 + 16, 110 + 16), 0xFFFFFFu);

  // ".thd 1" leaves the window image on the screen; a ".tsw" then takes it
  // for the screen under the window, so that ".thd 0" no longer removes it.
  g.Line(".thd 1");
  EXPECT_EQ(g.Screen(250, 130), 0x0000FFu);
  g.Line(".tsw");
  g.Line(".thd 0");
  EXPECT_EQ(g.Screen(250, 130), 0x0000FFu);
  EXPECT_FALSE(screen_is_back());
}

// Text typed at no delay while the right button was held is kept off the
// screen until the next wait; showing the window ends that, so the text
// after ".tsw" is typed character by character again.
TEST(TextWindowCommands, ShowingTheWindowTypesTheNextTextAgain) {
  TextGame g;
  g.Start();
  g.Line(".tsp 100 0");
  g.input().PressHandler(MouseButton::kRight, 0, 0, 0);
  g.Line("a");
  g.input().ReleaseHandler(MouseButton::kRight, 0, 0, 0);
  g.Line(".tsw");
  EXPECT_EQ(g.Duration("■■"), 200u);
  EXPECT_EQ(g.Screen(16, 32 + 16), 0xFFFFFFu);
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
