#include "engine/input/input.h"

#include <cmath>

#include "common/strings.h"
#include "engine/buttons/buttons.h"
#include "engine/media/mci_play.h"
#include "engine/media/media_commands.h"
#include "engine/messages.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/state/game_state.h"
#include "engine/text/text_window.h"
#include "engine/vars/variables.h"
#include "platform/host.h"

namespace tsumugi {

Input::Input(HostClock& clock, EventPump& events, HostWindow& window, Script& script,
             ControlFlow& flow, Variables& vars, TextWindow& text, Buttons& buttons, MciPlay& mci,
             MediaCommands& media, ButtonsState& buttons_state, ScriptState& script_state,
             TextWindowState& text_state, InputState& state)
    : clock_(clock),
      events_(events),
      window_(window),
      script_(script),
      flow_(flow),
      vars_(vars),
      text_(text),
      buttons_(buttons),
      mci_(mci),
      media_(media),
      buttons_state_(buttons_state),
      script_state_(script_state),
      text_state_(text_state),
      s_(state) {}

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
  media_.HideVideoBox();
  mci_.StopVideo();
}

bool Input::OnButton(int32_t n, float x, float y) const {
  return buttons_.HitButton(n, RoundPosition(x), RoundPosition(y));
}

// --- Presses and releases ------------------------------------------------------------

void Input::EndClickWait(RunStateKind state) {
  TextWindow& text = text_;
  if (text_state_.TextWindowVisible && text_state_.MarkerMode != MarkerPlacement::kNone)
    text.EraseClickMarker();
  if (state == RunStateKind::kWaitTextClick || state == RunStateKind::kWaitTextClickOrRight) {
    text.ClearTextWindow(vars_.ArgToInteger(s_.TclClearMode));
  }
}

void Input::PressHandler(MouseButton button, int /*shift*/, float x, float y) {
  ++press_count_;
  if (!ScriptIsRunning(s_.RunState)) {
    vars_.SetIntegerByName(u"cx", RoundPosition(x));
    vars_.SetIntegerByName(u"cy", RoundPosition(y));
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
      events_.DoEvents();
      script_.RunScript();
      return;
    }
    if (!IsClickWait(s_.RunState) && s_.RunState != RunStateKind::kWaitChoice) return;

    s_.SavedRunState = s_.RunState;
    s_.RunState = RunStateKind::kRunning;
    Buttons& buttons = buttons_;
    if (buttons_state_.ButtonsShown && buttons.ButtonCount() >= 1) {
      // With overlapping buttons the last one hit is pressed.
      bool pressed = false;
      for (int32_t i = 1; i <= buttons.ButtonCount(); ++i) {
        if (!OnButton(i, x, y)) continue;
        buttons.DrawButtonDown(i);
        window_.Refresh();
        buttons_state_.PressedButton = i;
        clock_.EnableTimer(TimerId::kTimer4, true);
        pressed = true;
      }
      // The release decides what the press means.
      if (pressed) return;
    }

    if (s_.SavedRunState == RunStateKind::kWaitChoice) {
      const int32_t choice = text_.ChoiceHitTest(x, y);
      if (choice == 0) {
        s_.RunState = RunStateKind::kWaitChoice;
        return;
      }
      clock_.EnableTimer(TimerId::kTimer1, false);
      BranchSearch(choice, BranchKind::kChoice);
      text_.EndChoiceWait(choice);
      script_.RunScript();
      return;
    }
    EndClickWait(s_.SavedRunState);
    script_.RunScript();
    return;
  }

  s_.RightHeld = true;
  if (!s_.RightClickEnabled) return;
  const RunStateKind state = s_.RunState;
  if (!IsClickWait(state) && state != RunStateKind::kWaitChoice) return;
  if (s_.RightClickReturns) {
    TextWindow& text = text_;
    if (text_state_.RecallFile == 0) return;
    s_.RunState = RunStateKind::kRunning;
    if (state == RunStateKind::kWaitChoice) {
      text.EndChoiceWait(0);
    } else if (text_state_.TextWindowVisible && text_state_.MarkerMode != MarkerPlacement::kNone) {
      text.EraseClickMarker();
    }
    text.ReturnToRecallPoint();
    script_.RunScript();
    return;
  }
  if (state == RunStateKind::kWaitTextClickOrRight || state == RunStateKind::kWaitClickOrRight) {
    s_.RunState = RunStateKind::kRunning;
    EndClickWait(state);
    script_.RunScript();
  }
}

void Input::ReleaseHandler(MouseButton button, int /*shift*/, float x, float y) {
  ++release_count_;
  if (button != MouseButton::kLeft) {
    s_.RightHeld = false;
    return;
  }
  s_.LeftHeld = false;
  Buttons& buttons = buttons_;
  const int32_t pressed = buttons_state_.PressedButton;
  if (pressed == 0) return;

  clock_.EnableTimer(TimerId::kTimer4, false);
  buttons.DrawButtonUp(pressed);
  window_.Refresh();
  if (!OnButton(pressed, x, y)) {
    // Released elsewhere: the wait goes on as before the press.
    buttons_state_.PressedButton = 0;
    s_.RunState = s_.SavedRunState;
    return;
  }
  TextWindow& text = text_;
  if (s_.SavedRunState == RunStateKind::kWaitChoice) {
    text.EndChoiceWait(0);
  } else if (text_state_.TextWindowVisible && text_state_.MarkerMode != MarkerPlacement::kNone) {
    text.EraseClickMarker();
  }
  buttons.EnterButtonBlock(pressed);
  BranchSearch(pressed, BranchKind::kButton);
  buttons_state_.PressedButton = 0;
  script_.RunScript();
}

// --- Branch search -----------------------------------------------------------------

void Input::BranchSearch(int32_t n, BranchKind kind) {
  Script& script = script_;
  std::u16string target = u".";
  target += ToDecimal(n);
  // The same scan as the block skip, so that both agree on where inner
  // blocks (and the lists of inner menus) begin and end.
  BlockScan scan;
  for (;;) {
    if (scan.depth == 1 && script_state_.CurrentLine == target) return;
    script.ReadScriptLine();
    flow_.TrackBlock(scan, script_state_.CurrentLine);
    if (scan.depth == 0) {
      script.ScriptError(kind == BranchKind::kChoice ? messages::NoChoiceBranch(target)
                                                     : messages::NoButtonBranch(target),
                         false);
    }
  }
}

}  // namespace tsumugi
