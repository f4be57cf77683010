// When the window shows a new frame.
//
// The engine refreshes the screen after every composed change: once per
// typed character, scroll step and transition frame. Putting a frame on a
// real display costs a texture upload and a present (about 2 ms with a
// software renderer), which is more than a fast-forwarded character may take
// (1 ms). So refreshes closer together than a display frame are gathered:
// the first one is shown at once, later ones mark the screen as changed, and
// the changed screen is shown as soon as the interval has passed or the
// engine goes idle. No change stays unseen for longer than the interval
// while the engine lets events run, and the game's own timing no longer
// depends on the cost of presenting.
#pragma once

#include <cstdint>

namespace tsumugi::sdl {

class PresentPacer {
 public:
  explicit PresentPacer(uint32_t interval_ms) : interval_(interval_ms) {}

  // The screen changed at `now`. True when it is to be presented now.
  bool Changed(uint32_t now) {
    pending_ = true;
    return Due(now);
  }

  // True when a change is waiting and its time has come.
  bool Due(uint32_t now) const {
    return pending_ &&
           (!presented_ || static_cast<int32_t>(now - last_) >= static_cast<int32_t>(interval_));
  }

  // Milliseconds from `now` until a waiting change is due (0 when due now);
  // `cap` when nothing waits or the change is due later than `cap`.
  uint32_t TimeUntilDue(uint32_t now, uint32_t cap) const {
    if (!pending_) return cap;
    if (!presented_) return 0;
    const int32_t left = static_cast<int32_t>(interval_) - static_cast<int32_t>(now - last_);
    if (left <= 0) return 0;
    return static_cast<uint32_t>(left) < cap ? static_cast<uint32_t>(left) : cap;
  }

  bool Pending() const { return pending_; }

  // The screen was presented at `now`.
  void Presented(uint32_t now) {
    pending_ = false;
    presented_ = true;
    last_ = now;
  }

 private:
  uint32_t interval_;
  bool pending_ = false;
  bool presented_ = false;
  uint32_t last_ = 0;
};

}  // namespace tsumugi::sdl
