// Run states and player input: what a press or release means in each state
// the interpreter can wait in, and the forward search for the branch of a
// taken choice or pressed button.
#pragma once

#include <cstdint>

#include "engine/state/game_state.h"
#include "platform/host.h"

namespace tsumugi {

class Buttons;
class ControlFlow;
class EventPump;
class HostClock;
class HostWindow;
class MciPlay;
class MediaCommands;
class Script;
class TextWindow;
class Variables;

// Which report a failed branch search gives.
enum class BranchKind { kChoice, kButton };

class Input {
 public:
  Input(HostClock& clock, EventPump& events, HostWindow& window, Script& script, ControlFlow& flow,
        Variables& vars, TextWindow& text, Buttons& buttons, MciPlay& mci, MediaCommands& media,
        ButtonsState& buttons_state, ScriptState& script_state, TextWindowState& text_state,
        InputState& state);

  // Mouse presses, Enter (left) and Space (right); positions in pixels of
  // the drawing area.
  void PressHandler(MouseButton button, int shift, float x, float y);
  void ReleaseHandler(MouseButton button, int shift, float x, float y);

  // Moves the reading position forward to the branch marker "." + n of the
  // block the reader is in, passing over inner blocks whole; reports when
  // the block ends first.
  void BranchSearch(int32_t n, BranchKind kind);

  // A press position as the nearest whole pixel (halves to even).
  static int32_t RoundPosition(float value);

  // Presses and releases handled since the start (for diagnostics and tests).
  int PressCount() const { return press_count_; }
  int ReleaseCount() const { return release_count_; }

 private:
  // Ends a click wait of states 1 to 4: the marker goes, and a ".tcl" wait
  // clears the window as its line asks.
  void EndClickWait(RunStateKind state);
  // Whether a press or release at (x, y) is on button n.
  bool OnButton(int32_t n, float x, float y) const;
  // Stops a playing video and hides its box.
  void StopVideo();

  HostClock& clock_;
  EventPump& events_;
  HostWindow& window_;
  Script& script_;
  ControlFlow& flow_;
  Variables& vars_;
  TextWindow& text_;
  Buttons& buttons_;
  MciPlay& mci_;
  MediaCommands& media_;
  ButtonsState& buttons_state_;
  ScriptState& script_state_;
  TextWindowState& text_state_;
  InputState& s_;
  int press_count_ = 0;
  int release_count_ = 0;
};

}  // namespace tsumugi
