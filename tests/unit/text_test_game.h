// A game in a temporary folder for the text window, input and cursor tests:
// an engine on the headless host inside the test process, started up to its
// first line, with helpers to run lines, read reports and look at pixels.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "engine/engine.h"
#include "support/engine_fixture.h"
#include "support/test_support.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::test {

class TextGame : public EngineFixture {
 public:
  // `files` maps paths below data/ to UTF-8 text (written as CP932 with
  // CR LF); `input` is the player's input file.
  explicit TextGame(std::initializer_list<std::pair<std::string, std::string>> files = {},
                    const std::string& input = "", bool crisp = false)
      : EngineFixture(InData(files), input, {}, crisp) {}

  // A 24-bit bitmap in the scenario folder; colour(x, y) gives 0xRRGGBB.
  void Picture(const std::string& file, int w, int h,
               const std::function<uint32_t(int, int)>& colour) {
    WriteBitmap(game() / "data" / file, w, h, colour);
  }
  void File(const std::string& file, const std::string& bytes) {
    WriteFile(game() / "data" / file, bytes);
  }

  void Start() { StartWithoutRunning(); }
  // Runs a line as if it were the current script line; true when it waits.
  bool Line(const std::string& utf8) { return Execute(utf8); }
  void Lines(std::initializer_list<const char*> lines) {
    for (const char* line : lines) Execute(line);
  }
  std::string Error(const std::string& line) { return ErrorFrom(line); }

  uint32_t Screen(int x, int y) { return host().Screen().PixelAt(x, y); }
  uint32_t Canvas(int x, int y) { return text().PicTextCanvas.PixelAt(x, y); }

  // The state of the text window and of the input; the text window itself.
  TextWindowState& text() { return engine().state.text; }
  Input& input() { return engine().input; }
  TextWindow& window() { return engine().text; }

 private:
  // The files below data/, with a start file whose only line does nothing
  // when a click resumes it unless the test brings its own.
  static Files InData(std::initializer_list<std::pair<std::string, std::string>> files) {
    Files out;
    bool have_start = false;
    for (const auto& [path, text] : files) {
      out.emplace_back("data/" + path, text);
      have_start = have_start || path == "start.txt";
    }
    if (!have_start) out.emplace_back("data/start.txt", ";\n");
    return out;
  }
};

// Whether any pixel of a rectangle of a surface differs from `colour`.
inline bool AnyPixelOtherThan(const gdi::Surface& s, int x, int y, int w, int h, uint32_t colour) {
  for (int j = y; j < y + h; ++j) {
    for (int i = x; i < x + w; ++i) {
      if (s.PixelAt(i, j) != colour) return true;
    }
  }
  return false;
}

}  // namespace tsumugi::test
