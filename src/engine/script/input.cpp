#include "engine/script/input.h"

#include <cmath>

#include "engine/engine.h"

namespace tsumugi {

void Input::Reset() {
  RunState = RunStateKind::kRunning;
  EnterHeld = false;
  ClickSkip = false;
  LeftHeld = false;
  RightHeld = false;
  RightClickReturns = false;
  RightClickEnabled = true;
}

bool Input::SkipTest() const {
  return (ClickSkip && LeftHeld) || (!RightClickReturns && RightClickEnabled && RightHeld);
}

bool Input::FastForwardHeld() const {
  return (ClickSkip && LeftHeld) || (RightClickEnabled && RightHeld);
}

namespace {

bool ScriptIsRunning(RunStateKind state) {
  return state == RunStateKind::kRunning || state == RunStateKind::kLayingOutChoices ||
         state == RunStateKind::kRunningChoiceBlock;
}

// Positions arrive as pixels; "cx" and "cy" take the nearest integer, halves
// to even as the conversion of the original did.
int32_t RoundPosition(float value) {
  if (!std::isfinite(value)) return 0;
  double rounded = std::nearbyint(static_cast<double>(value));
  if (rounded > 2147483647.0) return 2147483647;
  if (rounded < -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(rounded);
}

}  // namespace

void Input::PressHandler(MouseButton button, int /*shift*/, float x, float y) {
  ++press_count_;
  if (!ScriptIsRunning(RunState)) {
    e_.vars.SetIntegerByName(u"cx", RoundPosition(x));
    e_.vars.SetIntegerByName(u"cy", RoundPosition(y));
  }
  if (button == MouseButton::kLeft) {
    if (ScriptIsRunning(RunState)) {
      LeftHeld = true;
      return;
    }
    return;
  }
  RightHeld = true;
}

void Input::ReleaseHandler(MouseButton button, int /*shift*/, float /*x*/, float /*y*/) {
  ++release_count_;
  if (button == MouseButton::kLeft) {
    LeftHeld = false;
  } else {
    RightHeld = false;
  }
}

}  // namespace tsumugi
