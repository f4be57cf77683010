// The input file of the headless runner: one player action a line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"

namespace tsumugi::headless {

struct Action {
  enum class Kind {
    kClick,       // press and release of a button at a point
    kPress,       // a button goes down at a point
    kRelease,     // a button goes up at a point
    kMove,        // the pointer moves
    kKey,         // key down and up
    kKeyDown,
    kKeyUp,
    kWheel,       // one notch of the mouse wheel
    kAnswer,      // the answer to the next Yes/No question
    kScreenshot,  // the screen now, as PNG
    kEnd,         // the end of the input after a trailing wait
  };
  Kind kind = Kind::kClick;
  MouseButton button = MouseButton::kLeft;
  Point point;
  KeyCode key = KeyCode::kEnter;
  int shift = 0;
  int notches = 0;  // +1 up, -1 down
  bool yes = true;
  std::string file;
  // Set by "wait MS" lines before the action: it happens that many
  // milliseconds of engine time after the previous action.
  std::optional<uint64_t> delay;
  int line = 0;
};

// The longest wait, and the longest --max-time: 2^31 ms, about 24 days of
// engine time. Anything longer is refused as bad input.
inline constexpr uint64_t kMaxWait = uint64_t{1} << 31;

struct InputParseResult {
  std::vector<Action> actions;
  // Empty when the file was understood; otherwise "line N: what is wrong".
  std::string error;
};

// CR LF, LF and a lone CR each end a line.
InputParseResult ParseInputScript(const std::string& text);

}  // namespace tsumugi::headless
