// The main form: routing of mouse, key and timer events, and the orderly end.
#pragma once

#include "platform/host.h"

namespace tsumugi {

class Engine;
enum class ExitStatus : int;

class Form {
 public:
  explicit Form(Engine& engine) : e_(engine) {}

  // Sets up what the form has from its creation: its timers' intervals.
  void Load();

  void MouseDown(MouseButton button, int shift, int x, int y);
  void MouseUp(MouseButton button, int shift, int x, int y);
  void KeyDown(KeyCode key, int shift);
  void KeyUp(KeyCode key, int shift);
  void KeyPress(int character);
  void TimerTick(TimerId timer);

  // The one way the engine stops: the unload steps run (once, however the
  // end is reached), then the stack unwinds to Engine::Run.
  [[noreturn]] void EndEngine(ExitStatus status);
  // Ends at once, without the unload steps (the display was never changed).
  [[noreturn]] void EndWithoutUnload(ExitStatus status);

  // How many times the unload steps ran (they must run exactly once).
  int UnloadCount() const { return unload_count_; }

  // The state of the last mouse press.
  MouseButton last_button = MouseButton::kLeft;
  int last_shift = 0;
  Point last_press;

 private:
  void Unload();

  Engine& e_;
  bool ending_ = false;
  int unload_count_ = 0;
};

}  // namespace tsumugi
