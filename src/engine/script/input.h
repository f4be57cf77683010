// Run states and player input: what a press or release means in each state
// the interpreter can wait in.
#pragma once

#include <cstdint>

#include "platform/host.h"

namespace tsumugi {

class Engine;

enum class RunStateKind : int16_t {
  kRunning = 0,
  kWaitTextClick = 1,
  kWaitTextClickOrRight = 2,
  kWaitClick = 3,
  kWaitClickOrRight = 4,
  kLayingOutChoices = 5,
  kWaitChoice = 6,
  kPlayingVideo = 7,
  kRunningChoiceBlock = 8,
};

class Input {
 public:
  explicit Input(Engine& engine) : e_(engine) {}

  void Reset();

  void PressHandler(MouseButton button, int shift, float x, float y);
  void ReleaseHandler(MouseButton button, int shift, float x, float y);

  // Waits of kind 1 pass without stopping while this holds.
  bool SkipTest() const;
  // Typing and scrolling run at the fast pace while this holds.
  bool FastForwardHeld() const;

  // Presses and releases handled since the start (for diagnostics and tests).
  int PressCount() const { return press_count_; }
  int ReleaseCount() const { return release_count_; }

  RunStateKind RunState = RunStateKind::kRunning;
  RunStateKind SavedRunState = RunStateKind::kRunning;
  bool LeftHeld = false;
  bool RightHeld = false;
  bool ClickSkip = false;
  bool RightClickEnabled = true;
  bool RightClickReturns = false;
  bool EnterHeld = false;
  bool SpaceHeld = false;

 private:
  Engine& e_;
  int press_count_ = 0;
  int release_count_ = 0;
};

}  // namespace tsumugi
