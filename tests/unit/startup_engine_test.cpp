// Start-up, the form's event routing and the end of the engine, on an engine
// inside the test process.
#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace tsumugi::test {
namespace {

TEST(StartupEngine, EscapeDuringAPauseEndsOnceFromInsideTheScript) {
  EngineFixture f({{"data/start.txt", ".wat 1000\n.foo\n"}}, "wait 100\nkey Escape\n");
  EXPECT_EQ(f.Run(), ExitStatus::kNormal);
  EXPECT_EQ(f.host().Now(), 100u);  // the pause was cut short by the key
  EXPECT_EQ(f.engine().form.UnloadCount(), 1);
  EXPECT_EQ(f.Output(), "");  // ".foo" never ran
}

TEST(StartupEngine, APressDuringAPauseOnlyRecordsTheButton) {
  EngineFixture f({{"data/start.txt", ".wat 1000\n.end\n"}}, "wait 300\npress left 5 6\n");
  EXPECT_EQ(f.Run(), ExitStatus::kNormal);
  EXPECT_EQ(f.host().Now(), 1000u);  // the pause lasted its full time
  EXPECT_TRUE(f.engine().state.input.LeftHeld);
  EXPECT_EQ(f.engine().form.last_press, (Point{5, 6}));
}

TEST(StartupEngine, FullScreenRunRestoresTheDisplayOnceAtTheEnd) {
  EngineFixture f(
      {{"game.exe", "MZ"}, {"game.ini", "Style=Full\nZOrder=Top\n"}, {"start.txt", ".end\n"}});
  EXPECT_EQ(f.Run(), ExitStatus::kNormal);
  EXPECT_EQ(f.host().DisplayRestoreCount(), 1);
  EXPECT_FALSE(f.host().DisplayChanged());
}

TEST(StartupEngine, F4AndAltEnterToggleTheStyleUnlessTheDesktopIs640x480) {
  for (bool small_desktop : {false, true}) {
    headless::HeadlessOptions options;
    if (small_desktop) options.desktop = {640, 480};
    EngineFixture f({{"data/start.txt", "idle\n"}}, "", options);
    f.StartWithoutRunning();
    Settings& s = f.engine().settings;
    const DisplayStyleKind first = s.DisplayStyle;
    EXPECT_EQ(first, small_desktop ? DisplayStyleKind::kFull : DisplayStyleKind::kWindow);
    f.engine().OnKeyDown(KeyCode::kF4, 0);
    EXPECT_EQ(s.DisplayStyle, DisplayStyleKind::kFull);
    EXPECT_TRUE(f.host().FullScreen());
    f.engine().OnKeyDown(KeyCode::kEnter, kAltMask);
    EXPECT_EQ(s.DisplayStyle, first);
    EXPECT_EQ(f.host().FullScreen(), small_desktop);
    // The toggle key is not a press.
    EXPECT_FALSE(f.engine().state.input.LeftHeld);
  }
}

TEST(StartupEngine, EnterAndSpaceActOncePerPress) {
  EngineFixture f({{"data/start.txt", "idle\n"}});
  f.StartWithoutRunning();
  Engine& e = f.engine();
  e.OnKeyDown(KeyCode::kEnter, 0);
  e.OnKeyDown(KeyCode::kEnter, 0);  // auto-repeat
  EXPECT_TRUE(e.state.input.LeftHeld);
  EXPECT_EQ(e.input.PressCount(), 1);
  e.OnKeyUp(KeyCode::kEnter, 0);
  EXPECT_FALSE(e.state.input.LeftHeld);
  e.OnKeyUp(KeyCode::kEnter, 0);  // a stray release does nothing
  EXPECT_EQ(e.input.ReleaseCount(), 1);

  // Shift+Enter is an ordinary press; Space presses the right button.
  e.OnKeyDown(KeyCode::kEnter, kShiftMask);
  EXPECT_EQ(e.input.PressCount(), 2);
  e.OnKeyDown(KeyCode::kSpace, 0);
  e.OnKeyDown(KeyCode::kSpace, 0);
  EXPECT_TRUE(e.state.input.RightHeld);
  EXPECT_EQ(e.input.PressCount(), 3);
  e.OnKeyUp(KeyCode::kSpace, 0);
  EXPECT_FALSE(e.state.input.RightHeld);
}

TEST(StartupEngine, ArrowKeysMoveThePointerByTen) {
  EngineFixture f({{"data/start.txt", "idle\n"}});
  f.StartWithoutRunning();
  f.host().SetCursorPos({100, 100});
  for (KeyCode key : {KeyCode::kLeft, KeyCode::kUp, KeyCode::kUp, KeyCode::kRight, KeyCode::kRight,
                      KeyCode::kDown}) {
    f.engine().OnKeyDown(key, 0);
  }
  EXPECT_EQ(f.host().GetCursorPos(), (Point{110, 90}));
}

TEST(StartupEngine, RunEndsAtTheTimeLimit) {
  headless::HeadlessOptions options;
  options.max_time = 500;
  EngineFixture f({{"data/start.txt", ".cap 物語\n.wat 1000\n.foo\n"}}, "", options);
  EXPECT_EQ(f.Run(), ExitStatus::kTimeLimit);
  EXPECT_EQ(f.host().Now(), 500u);
  EXPECT_TRUE(f.host().WindowVisible());
  EXPECT_EQ(f.host().Caption(), u"物語");
  EXPECT_EQ(f.engine().form.UnloadCount(), 1);
}

}  // namespace
}  // namespace tsumugi::test
