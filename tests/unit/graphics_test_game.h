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
  std::string Error(const std::string& line) { return f_.ErrorFrom(line); }
  uint64_t Duration(const std::string& line) { return f_.Duration(line); }

  // Pixels as 0xRRGGBB.
  uint32_t Screen(int x, int y) { return f_.host().Screen().PixelAt(x, y); }
  gdi::Surface& ScreenSurface() { return f_.host().Screen(); }
  uint32_t Page(int n, int x, int y) { return f_.engine().pages.Page(n)->PixelAt(x, y); }

  Engine& engine() { return f_.engine(); }
  EngineFixture& fixture() { return f_; }

 private:
  EngineFixture f_;
};

}  // namespace tsumugi::test
