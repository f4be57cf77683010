// Presses and releases in every run state, the mouse modes, the press
// position and the reports of the branch search.
#include <gtest/gtest.h>

#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

void Press(TextGame& g, MouseButton b, int x = 0, int y = 0) {
  g.engine().OnMouseDown(b, 0, x, y);
}
void Release(TextGame& g, MouseButton b, int x = 0, int y = 0) {
  g.engine().OnMouseUp(b, 0, x, y);
}

TEST(InputStates, AClickDuringTypingOnlySetsTheHeldFlag) {
  TextGame g({{"start.txt", ".tsw\nあいうえお\n"}}, "wait 300\npress left 5 6\n");
  EXPECT_EQ(g.Run(), ExitStatus::kNormal);
  // Typing went on at its pace; nothing was resumed or cleared.
  EXPECT_EQ(g.host().Now(), 1000u);
  EXPECT_EQ(g.text().TextLines[0].Text, u"あいうえお");
  EXPECT_TRUE(g.state().input.LeftHeld);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
  // The position of presses while the script runs is not recorded.
  EXPECT_EQ(g.engine().state.vars.IntegerValues[g.engine().vars.LookUpIntegerVariable(u"cx")], 0);
}

TEST(InputStates, RightPressesResumeOnlyTheWaitsThatAcceptThem) {
  TextGame g;
  g.Start();
  g.Lines({".tsp 0", "a"});
  ASSERT_TRUE(g.Line(".clk 0"));
  Press(g, MouseButton::kRight);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitClick);
  EXPECT_TRUE(g.state().input.RightHeld);
  Release(g, MouseButton::kRight);
  EXPECT_FALSE(g.state().input.RightHeld);
  Press(g, MouseButton::kLeft);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);

  ASSERT_TRUE(g.Line(".clk 1"));
  Press(g, MouseButton::kRight);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
  Release(g, MouseButton::kRight);
  // The text click wait of kind 1 clears on a right press as on a left one.
  EXPECT_EQ(g.text().TextLines[0].Text, u"a");
  ASSERT_TRUE(g.Line(".tcl 1"));
  Press(g, MouseButton::kRight);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
  EXPECT_EQ(g.text().TextLines[0].Text, u"");
  // Space is a right press.
  Release(g, MouseButton::kRight);
  ASSERT_TRUE(g.Line(".clk 1"));
  g.engine().OnKeyDown(KeyCode::kSpace, 0);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
}

TEST(InputModes, SkipModeLetsAHeldLeftButtonPassWaitsOfKindOne) {
  TextGame g;
  g.Start();
  g.Line(".mmd 1 0");
  EXPECT_TRUE(g.state().input.ClickSkip);
  Press(g, MouseButton::kLeft);  // while the script runs
  EXPECT_TRUE(g.state().input.LeftHeld);
  EXPECT_TRUE(g.state().input.FastForwardHeld());
  EXPECT_FALSE(g.Line(".clk 1"));
  EXPECT_FALSE(g.Line(".tcl 1"));
  // Kind 0 still waits.
  EXPECT_TRUE(g.Line(".clk 0"));
  g.state().input.RunState = RunStateKind::kRunning;
  Release(g, MouseButton::kLeft);
  EXPECT_TRUE(g.Line(".clk 1"));
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitClickOrRight);
}

TEST(InputModes, MouseModeWordsAndTheirTable) {
  TextGame g;
  g.Start();
  g.Line(".mmd 1 2");
  EXPECT_TRUE(g.state().input.ClickSkip);
  EXPECT_FALSE(g.state().input.RightClickEnabled);
  EXPECT_FALSE(g.state().input.RightClickReturns);
  // Right presses turned off: held, but the button neither passes waits nor
  // speeds up typing.
  Press(g, MouseButton::kRight);
  EXPECT_TRUE(g.state().input.RightHeld);
  EXPECT_FALSE(g.state().input.SkipTest());
  EXPECT_FALSE(g.state().input.FastForwardHeld());
  EXPECT_EQ(g.Duration("ab"), 400u);
  Release(g, MouseButton::kRight);
  g.Line(".mmd 5 5");
  EXPECT_TRUE(g.state().input.ClickSkip);
  EXPECT_FALSE(g.state().input.RightClickEnabled);
  g.Line(".mmd 0 1");
  EXPECT_FALSE(g.state().input.ClickSkip);
  EXPECT_TRUE(g.state().input.RightClickEnabled);
  EXPECT_TRUE(g.state().input.RightClickReturns);
  // In return mode a held right button still types fast but does not pass
  // waits.
  g.state().input.RightHeld = true;
  EXPECT_TRUE(g.state().input.FastForwardHeld());
  EXPECT_FALSE(g.state().input.SkipTest());
  g.Line(".mmd 7 0");
  EXPECT_FALSE(g.state().input.RightClickReturns);
  EXPECT_TRUE(g.state().input.SkipTest());
}

TEST(InputStates, PressPositionsAreRecordedAtWaits) {
  TextGame g;
  g.Start();
  Variables& v = g.engine().vars;
  auto cx = [&] { return g.engine().state.vars.IntegerValues[v.LookUpIntegerVariable(u"cx")]; };
  auto cy = [&] { return g.engine().state.vars.IntegerValues[v.LookUpIntegerVariable(u"cy")]; };
  ASSERT_TRUE(g.Line(".clk 0"));
  // A right press that does not resume still records where it was.
  Press(g, MouseButton::kRight, 120, 45);
  EXPECT_EQ(cx(), 120);
  EXPECT_EQ(cy(), 45);
  g.input().PressHandler(MouseButton::kLeft, 0, 7.5f, 2.5f);  // halves to even
  EXPECT_EQ(cx(), 8);
  EXPECT_EQ(cy(), 2);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
}

TEST(InputStates, StatesWithoutTheirSubsystemsYet) {
  // A choice wait without a choice under the press stays a choice wait.
  TextGame g({{"start.txt", ";\n.wat 70\n"}});
  g.Start();
  g.state().input.RunState = RunStateKind::kWaitChoice;
  Press(g, MouseButton::kLeft, 10, 10);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitChoice);
  Press(g, MouseButton::kRight, 10, 10);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kWaitChoice);
  EXPECT_EQ(g.host().Now(), 0u);
  // A press during a video ends it and the script goes on.
  g.state().input.RunState = RunStateKind::kPlayingVideo;
  Press(g, MouseButton::kLeft);
  EXPECT_EQ(g.state().input.RunState, RunStateKind::kRunning);
  EXPECT_EQ(g.host().Now(), 70u);
  // Presses while menus are laid out or a choice block runs only hold.
  for (RunStateKind state : {RunStateKind::kLayingOutChoices, RunStateKind::kRunningChoiceBlock}) {
    g.state().input.RunState = state;
    g.state().input.LeftHeld = false;
    Press(g, MouseButton::kLeft);
    EXPECT_TRUE(g.state().input.LeftHeld);
    EXPECT_EQ(g.state().input.RunState, state);
  }
}

TEST(InputBranchSearch, AMissingMarkerIsReported) {
  for (BranchKind kind : {BranchKind::kChoice, BranchKind::kButton}) {
    TextGame g({{"start.txt", ";\n"}, {"menu.txt", ".1\n.slt\n.3\n.\n.\n.3\n"}});
    g.Start();
    Script& s = g.engine().script;
    s.OpenScenario(u"menu");
    s.ReadScriptLine();
    try {
      g.input().BranchSearch(3, kind);
      ADD_FAILURE() << "no report";
    } catch (const EngineEnded&) {
    }
    const std::string what =
        kind == BranchKind::kChoice
            ? "「.slt」内に選ばれた選択肢に対応する命令を指す「.3」が見つかりませんでした"
            : "「.btn」内に押されたボタンに対応する命令を指す「.3」が見つかりませんでした";
    EXPECT_EQ(g.OnlyMessage(),
              "File「menu.txt」  Line「5」\r\n\r\n" + what + "\r\n実行を中止します");
  }
}

}  // namespace
}  // namespace tsumugi::test
