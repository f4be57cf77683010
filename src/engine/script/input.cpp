#include "engine/script/input.h"

#include <cmath>

#include "common/strings.h"
#include "engine/engine.h"
#include "engine/messages.h"

namespace tsumugi {

Input::Input(Engine& engine) : e_(engine), s_(engine.state.input) {}

bool Input::SkipTest() const {
  return (s_.ClickSkip && s_.LeftHeld) ||
         (!s_.RightClickReturns && s_.RightClickEnabled && s_.RightHeld);
}

bool Input::FastForwardHeld() const {
  return (s_.ClickSkip && s_.LeftHeld) || (s_.RightClickEnabled && s_.RightHeld);
}

namespace {

// The script is running (or laying out a menu): presses must not resume it.
bool ScriptIsRunning(RunStateKind state) {
  return state == RunStateKind::kRunning || state == RunStateKind::kLayingOutChoices ||
         state == RunStateKind::kRunningChoiceBlock;
}

bool IsClickWait(RunStateKind state) {
  return state == RunStateKind::kWaitTextClick || state == RunStateKind::kWaitTextClickOrRight ||
         state == RunStateKind::kWaitClick || state == RunStateKind::kWaitClickOrRight;
}

}  // namespace

int32_t Input::RoundPosition(float value) {
  if (!std::isfinite(value)) return 0;
  double rounded = std::nearbyint(static_cast<double>(value));
  if (rounded > 2147483647.0) return 2147483647;
  if (rounded < -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(rounded);
}

// --- The parts of later subsystems ------------------------------------------------

void Input::StopVideo() {
  e_.media.HideVideoBox();
  e_.mci.StopVideo();
}

bool Input::OnButton(int32_t n, float x, float y) const {
  return e_.buttons.HitButton(n, RoundPosition(x), RoundPosition(y));
}

// --- Presses and releases ------------------------------------------------------------

void Input::EndClickWait(RunStateKind state) {
  TextWindow& text = e_.text;
  if (e_.state.text.TextWindowVisible && e_.state.text.MarkerMode != MarkerPlacement::kNone)
    text.EraseClickMarker();
  if (state == RunStateKind::kWaitTextClick || state == RunStateKind::kWaitTextClickOrRight) {
    text.ClearTextWindow(e_.vars.ArgToInteger(s_.TclClearMode));
  }
}

void Input::PressHandler(MouseButton button, int /*shift*/, float x, float y) {
  ++press_count_;
  Host& host = e_.host;
  if (!ScriptIsRunning(s_.RunState)) {
    e_.vars.SetIntegerByName(u"cx", RoundPosition(x));
    e_.vars.SetIntegerByName(u"cy", RoundPosition(y));
  }

  if (button == MouseButton::kLeft) {
    if (ScriptIsRunning(s_.RunState)) {
      // Only remembered: it may let a later wait pass or speed up typing.
      s_.LeftHeld = true;
      return;
    }
    if (s_.RunState == RunStateKind::kPlayingVideo) {
      s_.RunState = RunStateKind::kRunning;
      StopVideo();
      host.DoEvents();
      e_.script.RunScript();
      return;
    }
    if (!IsClickWait(s_.RunState) && s_.RunState != RunStateKind::kWaitChoice) return;

    s_.SavedRunState = s_.RunState;
    s_.RunState = RunStateKind::kRunning;
    Buttons& buttons = e_.buttons;
    if (e_.state.buttons.ButtonsShown && buttons.ButtonCount() >= 1) {
      // With overlapping buttons the last one hit is pressed.
      bool pressed = false;
      for (int32_t i = 1; i <= buttons.ButtonCount(); ++i) {
        if (!OnButton(i, x, y)) continue;
        buttons.DrawButtonDown(i);
        host.Refresh();
        e_.state.buttons.PressedButton = i;
        host.EnableTimer(TimerId::kTimer4, true);
        pressed = true;
      }
      // The release decides what the press means.
      if (pressed) return;
    }

    if (s_.SavedRunState == RunStateKind::kWaitChoice) {
      const int32_t choice = e_.text.ChoiceHitTest(x, y);
      if (choice == 0) {
        s_.RunState = RunStateKind::kWaitChoice;
        return;
      }
      host.EnableTimer(TimerId::kTimer1, false);
      BranchSearch(choice, BranchKind::kChoice);
      e_.text.EndChoiceWait(choice);
      e_.script.RunScript();
      return;
    }
    EndClickWait(s_.SavedRunState);
    e_.script.RunScript();
    return;
  }

  s_.RightHeld = true;
  if (!s_.RightClickEnabled) return;
  const RunStateKind state = s_.RunState;
  if (!IsClickWait(state) && state != RunStateKind::kWaitChoice) return;
  if (s_.RightClickReturns) {
    TextWindow& text = e_.text;
    if (e_.state.text.RecallFile == 0) return;
    s_.RunState = RunStateKind::kRunning;
    if (state == RunStateKind::kWaitChoice) {
      text.EndChoiceWait(0);
    } else if (e_.state.text.TextWindowVisible &&
               e_.state.text.MarkerMode != MarkerPlacement::kNone) {
      text.EraseClickMarker();
    }
    text.ReturnToRecallPoint();
    e_.script.RunScript();
    return;
  }
  if (state == RunStateKind::kWaitTextClickOrRight || state == RunStateKind::kWaitClickOrRight) {
    s_.RunState = RunStateKind::kRunning;
    EndClickWait(state);
    e_.script.RunScript();
  }
}

void Input::ReleaseHandler(MouseButton button, int /*shift*/, float x, float y) {
  ++release_count_;
  if (button != MouseButton::kLeft) {
    s_.RightHeld = false;
    return;
  }
  s_.LeftHeld = false;
  Buttons& buttons = e_.buttons;
  const int32_t pressed = e_.state.buttons.PressedButton;
  if (pressed == 0) return;

  Host& host = e_.host;
  host.EnableTimer(TimerId::kTimer4, false);
  buttons.DrawButtonUp(pressed);
  host.Refresh();
  if (!OnButton(pressed, x, y)) {
    // Released elsewhere: the wait goes on as before the press.
    e_.state.buttons.PressedButton = 0;
    s_.RunState = s_.SavedRunState;
    return;
  }
  TextWindow& text = e_.text;
  if (s_.SavedRunState == RunStateKind::kWaitChoice) {
    text.EndChoiceWait(0);
  } else if (e_.state.text.TextWindowVisible &&
             e_.state.text.MarkerMode != MarkerPlacement::kNone) {
    text.EraseClickMarker();
  }
  buttons.EnterButtonBlock(pressed);
  BranchSearch(pressed, BranchKind::kButton);
  e_.state.buttons.PressedButton = 0;
  e_.script.RunScript();
}

// --- Branch search -----------------------------------------------------------------

void Input::BranchSearch(int32_t n, BranchKind kind) {
  Script& script = e_.script;
  std::u16string target = u".";
  target += ToDecimal(n);
  // The same scan as the block skip, so that both agree on where inner
  // blocks (and the lists of inner menus) begin and end.
  BlockScan scan;
  for (;;) {
    if (scan.depth == 1 && e_.state.script.CurrentLine == target) return;
    script.ReadScriptLine();
    e_.flow.TrackBlock(scan, e_.state.script.CurrentLine);
    if (scan.depth == 0) {
      script.ScriptError(kind == BranchKind::kChoice ? messages::NoChoiceBranch(target)
                                                     : messages::NoButtonBranch(target),
                         false);
    }
  }
}

}  // namespace tsumugi
