// The pace the player chose, apart from the game: the text speed of the
// settings and skipping (Ctrl held, or Tab over lines already read). The
// game never reads it and no snapshot keeps it; it only changes how fast
// what the game asked for is shown.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace tsumugi {

struct PlayerPace {
  // Typing delays the script set are divided by this: 2 types twice as fast.
  double text_speed = 1.0;
  // Skipping: typing at once, pauses and transitions at their fastest.
  bool skipping = false;

  // The delay a character is shown after, for the delay the script set.
  int32_t TypingDelay(int32_t script_delay) const {
    if (skipping || script_delay <= 0) return skipping ? 0 : script_delay;
    const double speed = std::clamp(text_speed, 0.1, 100.0);
    return static_cast<int32_t>(std::lround(script_delay / speed));
  }
  // A pause of the script (".wat", a transition's frame): 1 ms while
  // skipping, so time still moves and events are still seen.
  int64_t Pause(int64_t milliseconds) const {
    return skipping ? std::min<int64_t>(milliseconds, 1) : milliseconds;
  }
};

}  // namespace tsumugi
