#include "platform/headless/input_script.h"

#include <charconv>
#include <cstdint>
#include <sstream>

namespace tsumugi::headless {

namespace {

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

bool ParseInt(const std::string& text, int64_t min, int64_t max, int64_t* out) {
  int64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < min || value > max) return false;
  *out = value;
  return true;
}

bool ParseKey(const std::string& name, KeyCode* key, int* shift) {
  *shift = 0;
  if (name == "Enter") *key = KeyCode::kEnter;
  else if (name == "Space") *key = KeyCode::kSpace;
  else if (name == "Escape") *key = KeyCode::kEscape;
  else if (name == "F4") *key = KeyCode::kF4;
  else if (name == "F1") *key = KeyCode::kF1;
  else if (name == "F5") *key = KeyCode::kF5;
  else if (name == "F9") *key = KeyCode::kF9;
  else if (name == "Tab") *key = KeyCode::kTab;
  else if (name == "A") *key = KeyCode::kA;
  else if (name == "L") *key = KeyCode::kL;
  else if (name == "PageUp") *key = KeyCode::kPageUp;
  else if (name == "PageDown") *key = KeyCode::kPageDown;
  else if (name == "Ctrl") *key = KeyCode::kCtrl;
  else if (name == "AltEnter") *key = KeyCode::kEnter, *shift = kAltMask;
  else if (name == "Left") *key = KeyCode::kLeft;
  else if (name == "Up") *key = KeyCode::kUp;
  else if (name == "Right") *key = KeyCode::kRight;
  else if (name == "Down") *key = KeyCode::kDown;
  else return false;
  return true;
}

constexpr char kKeyNames[] =
    "Enter, Space, Escape, F4, AltEnter, Left, Up, Right, Down, F1, F5, F9, Tab, A, L, PageUp, "
    "PageDown, Ctrl";

constexpr int64_t kCoordinateLimit = 1000000;

}  // namespace

InputParseResult ParseInputScript(const std::string& text) {
  InputParseResult result;
  int line_number = 0;
  std::optional<uint64_t> pending_delay;

  auto fail = [&](const std::string& what) {
    result.actions.clear();
    result.error = "line " + std::to_string(line_number) + ": " + what;
    return result;
  };

  // CR LF, LF and a lone CR each end a line.
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find_first_of("\r\n", at);
    std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (end == std::string::npos) {
      at = text.size();
    } else {
      at = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    ++line_number;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.resize(hash);
    std::vector<std::string> w = Words(line);
    if (w.empty()) continue;

    const std::string& verb = w[0];
    Action action;
    action.line = line_number;
    auto point_at = [&](size_t first, Point* p) {
      int64_t x, y;
      if (w.size() != first + 2 || !ParseInt(w[first], -kCoordinateLimit, kCoordinateLimit, &x) ||
          !ParseInt(w[first + 1], -kCoordinateLimit, kCoordinateLimit, &y)) {
        return false;
      }
      *p = {static_cast<int>(x), static_cast<int>(y)};
      return true;
    };
    auto button_of = [&](const std::string& word, MouseButton* b) {
      if (word == "left") *b = MouseButton::kLeft;
      else if (word == "right") *b = MouseButton::kRight;
      else return false;
      return true;
    };

    if (verb == "wait") {
      int64_t ms;
      if (w.size() != 2 || !ParseInt(w[1], 0, INT64_MAX, &ms)) {
        return fail("'wait' takes one number of milliseconds");
      }
      const uint64_t total = pending_delay.value_or(0) + static_cast<uint64_t>(ms);
      if (static_cast<uint64_t>(ms) > kMaxWait || total > kMaxWait) {
        return fail("'wait' is limited to " + std::to_string(kMaxWait) +
                    " ms (about 24 days), also for waits in a row");
      }
      pending_delay = total;
      continue;
    } else if (verb == "click" || verb == "rclick" || verb == "middle") {
      action.kind = Action::Kind::kClick;
      action.button = verb == "click"    ? MouseButton::kLeft
                      : verb == "rclick" ? MouseButton::kRight
                                         : MouseButton::kMiddle;
      if (!point_at(1, &action.point)) return fail("'" + verb + "' takes X Y");
    } else if (verb == "press" || verb == "release") {
      action.kind = verb == "press" ? Action::Kind::kPress : Action::Kind::kRelease;
      if (w.size() < 2 || !button_of(w[1], &action.button) || !point_at(2, &action.point)) {
        return fail("'" + verb + "' takes left|right X Y");
      }
    } else if (verb == "move") {
      action.kind = Action::Kind::kMove;
      if (!point_at(1, &action.point)) return fail("'move' takes X Y");
    } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
      action.kind = verb == "key"       ? Action::Kind::kKey
                    : verb == "keydown" ? Action::Kind::kKeyDown
                                        : Action::Kind::kKeyUp;
      if (w.size() != 2 || !ParseKey(w[1], &action.key, &action.shift)) {
        return fail("'" + verb + "' takes one of " + kKeyNames);
      }
    } else if (verb == "wheel") {
      action.kind = Action::Kind::kWheel;
      if (w.size() != 2 || (w[1] != "up" && w[1] != "down")) {
        return fail("'wheel' takes up or down");
      }
      action.notches = w[1] == "up" ? 1 : -1;
    } else if (verb == "answer") {
      action.kind = Action::Kind::kAnswer;
      if (w.size() != 2 || (w[1] != "yes" && w[1] != "no")) {
        return fail("'answer' takes yes or no");
      }
      action.yes = w[1] == "yes";
    } else if (verb == "screenshot") {
      action.kind = Action::Kind::kScreenshot;
      if (w.size() != 2) return fail("'screenshot' takes one file name");
      action.file = w[1];
    } else {
      return fail("unknown action '" + verb + "'");
    }
    action.delay = pending_delay;
    pending_delay.reset();
    result.actions.push_back(std::move(action));
  }
  if (pending_delay) {
    Action end;
    end.kind = Action::Kind::kEnd;
    end.delay = pending_delay;
    end.line = line_number;
    result.actions.push_back(end);
  }
  return result;
}

}  // namespace tsumugi::headless
