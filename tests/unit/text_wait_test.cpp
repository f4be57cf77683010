// Click waits, the click marker in its four modes and its blinking, timed
// pauses and the clearing of the window.
#include <gtest/gtest.h>

#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

constexpr uint32_t kKey = 0xFF00FF;
constexpr uint32_t kRed = 0xFF0000;
constexpr uint32_t kGreen = 0x00FF00;

// 16 x 16 markers: a key-colour frame around a coloured 8 x 8 square.
void Markers(TextGame& g, int clk_size = 16) {
  g.Picture("tcl.bmp", 16, 16,
            [](int x, int y) { return (x >= 4 && x < 12 && y >= 4 && y < 12) ? kRed : kKey; });
  g.Picture("clk.bmp", clk_size, clk_size, [clk_size](int x, int y) {
    return (x >= 4 && y >= 4 && x < clk_size - 4 && y < clk_size - 4) ? kGreen : kKey;
  });
}

TEST(TextMarker, ModeOneFollowsTheTextAndMovesOnWhenItDoesNotFit) {
  TextGame g;
  Markers(g);
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".mst tcl clk 0 0 0 500", ".tsw", ".tsp 0", "■■"});
  EXPECT_EQ(t.MarkerMode, MarkerPlacement::kAfterTextWrapping);
  EXPECT_TRUE(g.Line(".tcl 0"));
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitTextClick);
  EXPECT_EQ(t.MarkerX, 64);
  EXPECT_EQ(t.MarkerY, 0);
  EXPECT_EQ(g.Screen(64 + 8, 8), kRed);
  // The key colour shows what was there.
  EXPECT_EQ(g.Screen(64 + 1, 1), g.Canvas(64 + 1, 1));
  EXPECT_TRUE(g.host().TimerEnabled(TimerId::kTimer3));
  EXPECT_EQ(g.host().TimerInterval(TimerId::kTimer3), 500u);

  // The click erases the marker, clears the window and goes on.
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 5, 5);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
  EXPECT_FALSE(g.host().TimerEnabled(TimerId::kTimer3));
  EXPECT_EQ(g.Screen(64 + 8, 8), 0x000000u);
  EXPECT_EQ(t.TextLines[0].Text, u"");

  // A full line: the marker goes to the start of the next one.
  g.Line("■■■■■■■■■■■■■■■■■■■■");
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 0);
  EXPECT_EQ(t.MarkerY, 32);
  EXPECT_EQ(g.Screen(8, 32 + 8), kGreen);
}

// A marker that ends exactly at the right edge of the canvas still fits
// after the text; one pixel more and it moves to the next line.
TEST(TextMarker, ModeOneKeepsAMarkerThatJustFits) {
  TextGame g;
  Markers(g);
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".mst tcl clk 0 0 0 0", ".tsw", ".tsp 0"});
  g.Line(std::string(39, 'A'));  // 624 pixels, and 16 of the marker
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 624);
  EXPECT_EQ(t.MarkerY, 0);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  g.Line(".mst tcl clk 0 1 0 0");
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 1);
  EXPECT_EQ(t.MarkerY, 32);
}

TEST(TextMarker, OnTheLastLineTheWindowScrollsForTheMarker) {
  TextGame g;
  Markers(g);
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".mst tcl clk 0 0 0 0", ".tsw", ".tsp 0"});
  for (int i = 0; i < 14; ++i) g.Line("■■■■■■■■■■■■■■■■■■■■");
  g.Line(".clk 0");
  EXPECT_EQ(t.TextLines[13].Text, u"");
  EXPECT_EQ(t.TextLines[12].Text.size(), 20u);
  EXPECT_EQ(t.CurrentTextLine, 13);
  EXPECT_EQ(t.MarkerX, 0);
  EXPECT_EQ(t.MarkerY, 13 * 32);
  EXPECT_EQ(g.Screen(8, 13 * 32 + 8), kGreen);
}

TEST(TextMarker, PlacesOfTheOtherModes) {
  TextGame g;
  Markers(g);
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".txt space pos 30 20", ".txt canvas pos 5 7", ".tsw", ".tsp 0"});
  // An empty window: modes 1 and 2 sit at the canvas corner plus offsets.
  g.Line(".mst tcl clk 1 3 4 0");
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 30 + 5 + 3);
  EXPECT_EQ(t.MarkerY, 20 + 7 + 4);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  // Mode 2 never moves to the next line, even past the canvas.
  g.Line(std::string(40, 'A'));
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 30 + 5 + 3 + 640);
  EXPECT_EQ(t.MarkerY, 20 + 7 + 4);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  // Mode 3: from the canvas corner; mode 4: on the screen.
  g.Line(".mst tcl clk 2 100 50 0");
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 30 + 5 + 100);
  EXPECT_EQ(t.MarkerY, 20 + 7 + 50);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  g.Line(".mst tcl clk 3 100 50 0");
  g.Line(".tcl 0");
  EXPECT_EQ(t.MarkerX, 100);
  EXPECT_EQ(t.MarkerY, 50);
  EXPECT_EQ(g.Screen(108, 58), kRed);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  // Any other mode keeps the last place.
  g.Line(".mst tcl clk 7 0 0 0");
  g.Line(".clk 0");
  EXPECT_EQ(t.MarkerX, 100);
  EXPECT_EQ(t.MarkerY, 50);
}

TEST(TextMarker, BlinksOnTimer3TicksUntilTheClick) {
  TextGame g;
  Markers(g);
  g.Start();
  g.Lines({".mst tcl clk 3 200 100 300", ".tsw", ".clk 0"});
  EXPECT_EQ(g.Screen(208, 108), kGreen);
  g.engine().OnTimer(TimerId::kTimer3);
  EXPECT_EQ(g.Screen(208, 108), 0x000000u);
  g.engine().OnTimer(TimerId::kTimer3);
  EXPECT_EQ(g.Screen(208, 108), kGreen);
  g.engine().OnTimer(TimerId::kTimer3);
  EXPECT_EQ(g.Screen(208, 108), 0x000000u);
  // A click in the off phase leaves the screen as it was under the marker.
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  EXPECT_EQ(g.Screen(208, 108), 0x000000u);
  EXPECT_FALSE(g.host().TimerEnabled(TimerId::kTimer3));
}

TEST(TextMarker, WithoutAWindowOrWithModeOffTheWaitHasNoMarker) {
  TextGame g;
  Markers(g);
  g.Start();
  g.Line(".mst tcl clk 3 0 0 300");
  // Hidden window: the wait still waits.
  EXPECT_TRUE(g.Line(".clk 0"));
  EXPECT_EQ(g.Screen(8, 8), 0x000000u);
  EXPECT_FALSE(g.host().TimerEnabled(TimerId::kTimer3));
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  // "off" keeps the pictures: a later mode brings the marker back.
  g.Lines({".tsw", ".mst off"});
  EXPECT_EQ(g.text().MarkerMode, MarkerPlacement::kNone);
  EXPECT_TRUE(g.Line(".clk 0"));
  EXPECT_EQ(g.Screen(8, 8), 0x000000u);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  g.text().MarkerMode = MarkerPlacement::kOnScreen;
  g.Line(".clk 0");
  EXPECT_EQ(g.Screen(8, 8), kGreen);
}

TEST(TextMarker, AClickMarkerLargerThanTheTextClickMarkerIsShownWhole) {
  TextGame g;
  Markers(g, 32);
  g.Start();
  g.Lines({".mst tcl clk 3 0 0 0", ".tsw", ".clk 0"});
  EXPECT_EQ(g.Screen(27, 27), kGreen);
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  EXPECT_EQ(g.Screen(27, 27), 0x000000u);
}

TEST(TextMarker, AMissingMarkerPictureIsReported) {
  TextGame g;
  Markers(g);
  g.Start();
  const std::string folder = (g.game() / "data").string() + "/";
  EXPECT_EQ(
      g.Error(".mst tcl nothere 0 0 0 0"),
      ReportAtStart("「" + folder + "nothere」という名前の\r\nピクチャーファイルは存在しません"));
}

TEST(TextWaits, KindsOfTheTextClickWait) {
  TextGame g;
  g.Start();
  TextWindowState& t = g.text();
  g.Lines({".tsw", ".tsp 0", "a", "b"});
  // Kind 0 waits; the click clears with the mode written after the kind.
  EXPECT_TRUE(g.Line(".tcl 0 7"));
  g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
  EXPECT_EQ(t.TextLines[0].Text, u"a");  // mode 7 changes nothing...
  EXPECT_EQ(t.CurrentTextLine, 0);       // ...but the next text starts at the top
  // Kind 1 passes without waiting while the right button is held, and
  // clears like kind 2.
  g.state().input.RightHeld = true;
  EXPECT_FALSE(g.Line(".tcl 1"));
  EXPECT_EQ(t.TextLines[0].Text, u"");
  EXPECT_EQ(t.TextLines[1].Text, u"");
  g.state().input.RightHeld = false;
  EXPECT_TRUE(g.Line(".tcl 1"));
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitTextClickOrRight);
  g.state().input.RunState = RunStateKind::kRunning;

  // Kind 2 with a fast delay of 0 pauses 30 ms first; otherwise it clears at
  // once with mode 0 when none is written.
  g.Lines({".tsp 0 0", "x"});
  EXPECT_EQ(g.Duration(".tcl 2 0"), 30u);
  g.Lines({".tsp 0 1", "x"});
  EXPECT_EQ(g.Duration(".tcl 2"), 0u);
  EXPECT_EQ(t.TextLines[0].Text, u"");

  // Any other kind presents text typed at no delay and goes on.
  g.Line("■");
  EXPECT_EQ(g.Screen(16, 16), 0x000000u);
  EXPECT_FALSE(g.Line(".tcl 5"));
  EXPECT_EQ(g.Screen(16, 16), 0xFFFFFFu);
  EXPECT_EQ(t.TextLines[0].Text, u"■");
}

TEST(TextWaits, KindsOfTheClickWait) {
  TextGame g;
  g.Start();
  g.Lines({".tsw", ".tsp 0", "■"});
  // Kind 7 does nothing at all, not even present the text.
  EXPECT_FALSE(g.Line(".clk 7"));
  EXPECT_EQ(g.Screen(16, 16), 0x000000u);
  // No kind is kind 0.
  EXPECT_TRUE(g.Line(".clk"));
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitClick);
  EXPECT_EQ(g.Screen(16, 16), 0xFFFFFFu);
  g.state().input.RunState = RunStateKind::kRunning;
  // Only the one character after the blank counts: "12" is kind 1.
  EXPECT_TRUE(g.Line(".clk 12"));
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitClickOrRight);
  g.state().input.RunState = RunStateKind::kRunning;
  // Kind 1 with the right button held goes on at once, but still shows the
  // text typed at no delay.
  g.state().input.RightHeld = true;
  g.Lines({".tsp 0 0", "■"});
  EXPECT_EQ(g.Screen(16, 32 + 16), 0x000000u);
  EXPECT_EQ(g.Duration(".clk 1"), 0u);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
  EXPECT_EQ(g.Screen(16, 32 + 16), 0xFFFFFFu);
  // The text stays.
  EXPECT_EQ(g.text().TextLines[0].Text, u"■");
}

TEST(TextWaits, PausesLastTheirTimeAndNegativeOnesNone) {
  TextGame g;
  g.Start();
  EXPECT_EQ(g.Duration(".wat 250"), 250u);
  EXPECT_EQ(g.Duration(".wat -5"), 0u);
  EXPECT_EQ(g.Duration(".wat 0"), 0u);
}

// Numbers at the ends of the 32-bit range put the window, the canvas, the
// marker and the lines far off the screen: nothing may wrap around onto it,
// and nothing may fail.
TEST(TextBadInput, PositionsAndSizesAtTheEndsOfTheRangeStayOffTheScreen) {
  for (const char* v : {"2147483647", "-2147483648", "100000", "-100000"}) {
    SCOPED_TRACE(v);
    TextGame g;
    Markers(g);
    g.Start();
    const std::string n = v;
    g.Lines({(".txt space pos " + n + " " + n).c_str(), (".txt canvas pos " + n + " " + n).c_str(),
             ".txt font edge 1", (".txt font offset " + n).c_str(),
             (".mst tcl clk 0 " + n + " " + n + " 100").c_str(), ".tsw", ".tsp 1"});
    for (int i = 0; i < 16; ++i) g.Line("■■\\n■");
    EXPECT_TRUE(g.Line(".clk 0"));
    g.engine().OnTimer(TimerId::kTimer3);
    g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
    g.Lines({".tcl 2 1", ".thd 0"});
    EXPECT_FALSE(AnyPixelOtherThan(g.host().Screen(), 0, 0, 640, 480, 0));
    EXPECT_EQ(g.Output(), "");
  }
  // Leading and spacing at the ends of the range: lines and characters go
  // off the canvas, the line table stays whole.
  for (const char* v : {"2147483647", "-2147483648"}) {
    SCOPED_TRACE(v);
    TextGame g;
    Markers(g);
    g.Start();
    const std::string n = v;
    g.Lines({(".txt font leading " + n).c_str(), (".txt font spacing " + n).c_str(),
             ".mst tcl clk 0 0 0 100", ".tsw", ".tsp 1"});
    for (int i = 0; i < 16; ++i) g.Line("ab\\nc");
    EXPECT_TRUE(g.Line(".clk 0"));
    EXPECT_LE(g.text().CurrentTextLine, g.text().LastLineIndex + 1);
    g.engine().OnMouseDown(MouseButton::kLeft, 0, 0, 0);
    g.Line(".tcl 2 1");
    EXPECT_EQ(g.text().CurrentTextLine, 0);
    EXPECT_EQ(g.Output(), "");
  }
}

}  // namespace
}  // namespace tsumugi::test
