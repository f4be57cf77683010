// The text window: typing text lines, click waits and pauses.
#pragma once

#include <cstdint>

#include "platform/host.h"

namespace tsumugi {

class Engine;

class TextWindow {
 public:
  explicit TextWindow(Engine& engine);

  void Reset();
  // Types CurrentLine into the window.
  void ShowTextLine();
  // A pause of `milliseconds` that lets events run.
  void WaitMilliseconds(int32_t milliseconds);
  void TimerTick(TimerId timer);

 private:
  Engine& e_;
};

}  // namespace tsumugi
