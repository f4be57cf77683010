// A game of one scenario for the choice, recall and button tests, drawn
// with crisp glyphs so that text colours are exact, with helpers that tell
// which branch ran and how the display lines look.
#pragma once

#include <string>

#include "unit/text_test_game.h"

namespace tsumugi::test {

class ChoiceGame : public TextGame {
 public:
  ChoiceGame(const std::string& start, const std::string& input)
      : TextGame({{"start.txt", start}}, input, /*crisp=*/true) {}

  // Branches end in a made-up command such as ".took2": the engine stops
  // there with its report, which names the line. Returns that line.
  std::string Probe() const {
    const std::string text = OnlyMessage();
    const std::string mark = "ないコマンドを指定しました\r\n";
    const size_t at = text.find(mark);
    if (at == std::string::npos) return "(no probe) " + text;
    const size_t from = at + mark.size();
    return text.substr(from, text.find("\r\n", from) - from);
  }

  // How display lines 0 to n-1 of a window at (0, 0) with 32-pixel lines
  // look on the screen: R when some glyph pixel is red (selected), B blue
  // (not selected), W white (ordinary), "-" when the line shows none.
  std::string Looks(int n) {
    std::string looks;
    for (int line = 0; line < n; ++line) {
      bool red = false, blue = false, white = false;
      for (int y = line * 32; y < line * 32 + 32 && y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
          const uint32_t p = Screen(x, y);
          red |= p == 0xFF0000;
          blue |= p == 0x0000FF;
          white |= p == 0xFFFFFF;
        }
      }
      looks += red ? 'R' : blue ? 'B' : white ? 'W' : '-';
    }
    return looks;
  }
};

}  // namespace tsumugi::test
