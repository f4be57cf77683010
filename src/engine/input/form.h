// The main form: routing of mouse, key and timer events, and the orderly end.
#pragma once

#include "engine/engine_end.h"
#include "platform/host.h"

namespace tsumugi {

class Engine;

class Form final : public EngineEnd {
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
  using EngineEnd::EndEngine;
  // Ends at once, without the unload steps (the display was never changed).
  [[noreturn]] void EndWithoutUnload(ExitStatus status);

  // How many times the unload steps ran (they must run exactly once).
  int UnloadCount() const { return unload_count_; }

  // The state of the last mouse press.
  MouseButton last_button = MouseButton::kLeft;
  int last_shift = 0;
  Point last_press;

 private:
  [[noreturn]] void DoEndEngine(ExitStatus status) override;
  void Unload();

  Engine& e_;
  bool ending_ = false;
  int unload_count_ = 0;
};

}  // namespace tsumugi
