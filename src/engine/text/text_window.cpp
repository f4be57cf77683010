#include "engine/text/text_window.h"

#include "engine/engine.h"

namespace tsumugi {

TextWindow::TextWindow(Engine& engine) : e_(engine) {
  e_.script.RegisterCommand(u"wat", [this] {
    WaitMilliseconds(e_.vars.ArgToInteger(e_.script.TakeArguments()));
    return false;
  });
}

void TextWindow::Reset() {}

void TextWindow::ShowTextLine() { e_.script.CurrentLine.clear(); }

void TextWindow::WaitMilliseconds(int32_t milliseconds) {
  Host& host = e_.host;
  uint32_t start = host.TimeGetTime();
  for (;;) {
    int64_t elapsed = static_cast<int32_t>(host.TimeGetTime() - start);
    if (elapsed >= milliseconds) return;
    host.WaitEvents(static_cast<uint32_t>(milliseconds - elapsed));
  }
}

void TextWindow::TimerTick(TimerId /*timer*/) {}

}  // namespace tsumugi
