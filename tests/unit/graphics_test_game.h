// A game in a temporary folder for the graphics tests: pictures written as
// bitmaps, the engine started up to its first line, and readers of the
// screen and the pages.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/engine_fixture.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::test {

class GraphicsGame {
 public:
  explicit GraphicsGame(const std::string& config = "")
      : f_({{"data/start.txt", "\n"}, {"data/config.txt", config}}) {}

  // A picture file in the scenario folder ("name" gets ".bmp").
  void Picture(const std::string& name, int w, int h,
               const std::function<uint32_t(int, int)>& colour) {
    WriteBitmap(f_.game() / "data" / (name + ".bmp"), w, h, colour);
  }
  void Picture(const std::string& name, int w, int h, uint32_t colour) {
    WriteBitmap(f_.game() / "data" / (name + ".bmp"), w, h, colour);
  }
  void Remove(const std::string& file) { std::filesystem::remove(f_.game() / "data" / file); }

  void Start() { f_.StartWithoutRunning(); }
  void Run(const std::string& line) { f_.Execute(line); }
  // Runs a line that must end the engine with a report; returns its text.
  std::string Error(const std::string& line) {
    try {
      f_.Execute(line);
    } catch (const EngineEnded& ended) {
      EXPECT_EQ(ended.status, ExitStatus::kError);
      return f_.OnlyMessage();
    }
    ADD_FAILURE() << line << " did not end the engine";
    return "";
  }
  // How many milliseconds of engine time a line takes.
  uint64_t Duration(const std::string& line) {
    const uint64_t start = f_.host().Now();
    f_.Execute(line);
    return f_.host().Now() - start;
  }

  // Pixels as 0xRRGGBB.
  uint32_t Screen(int x, int y) { return f_.host().Screen().PixelAt(x, y); }
  gdi::Surface& ScreenSurface() { return f_.host().Screen(); }
  uint32_t Page(int n, int x, int y) { return f_.engine().pages.Page(n)->PixelAt(x, y); }

  Engine& engine() { return f_.engine(); }
  EngineFixture& fixture() { return f_; }

 private:
  EngineFixture f_;
};

// The report a line of "start.txt" run by a test gives for `message`.
inline std::string ReportAtStart(const std::string& message) {
  return "File「start.txt」  Line「0」\r\n\r\n" + message + "\r\n実行を中止します";
}

}  // namespace tsumugi::test
