// Scaling changed regions only must give the same window as scaling the whole
// picture, and points must survive the trip from the game to the window and
// back, at any size of the window.
#include <gtest/gtest.h>

#include <random>

#include "platform/sdl/picture_scaler.h"

namespace tsumugi::sdl {
namespace {

gdi::Surface Noise(std::mt19937& random) {
  gdi::Surface s(gdi::kScreenWidth, gdi::kScreenHeight);
  for (int y = 0; y < gdi::kScreenHeight; ++y) {
    for (int x = 0; x < gdi::kScreenWidth; ++x) s.Row(y)[x] = random() & 0xFFFFFF;
  }
  return s;
}

TEST(PictureScaler, ChangedRegionsRedrawnAloneMatchAWholeRedraw) {
  std::mt19937 random(7);
  for (const Filter filter : {Filter::kSharp, Filter::kSmooth}) {
    for (const Size size : {Size{1280, 960}, Size{1000, 750}, Size{1440, 1080}, Size{320, 240},
                            Size{641, 481}, Size{1, 1}}) {
      PictureScaler scaler;
      scaler.Configure(size, filter);
      gdi::Surface shown(gdi::kScreenWidth, gdi::kScreenHeight);
      gdi::Surface frame = Noise(random);
      std::vector<uint32_t> window(static_cast<size_t>(size.width) * size.height);
      TakeChanges(frame, &shown);
      scaler.Draw(shown, {0, 0, size.width, size.height}, window.data(), size.width);
      // A few small changes here and there, as typing and a marker make.
      for (int k = 0; k < 5; ++k) {
        const int x = random() % 620, y = random() % 460;
        frame.Fill(x, y, 1 + random() % 20, 1 + random() % 20, random() & 0xFFFFFF);
      }
      for (const Rect& band : TakeChanges(frame, &shown)) {
        scaler.Draw(shown, scaler.Affected(band), window.data(), size.width);
      }
      std::vector<uint32_t> whole(window.size());
      scaler.Draw(frame, {0, 0, size.width, size.height}, whole.data(), size.width);
      EXPECT_EQ(window, whole) << size.width << "x" << size.height;
    }
  }
}

TEST(PictureScaler, WholeScalesAreExactSquares) {
  std::mt19937 random(3);
  const gdi::Surface frame = Noise(random);
  PictureScaler scaler;
  scaler.Configure({1920, 1440}, Filter::kSharp);
  std::vector<uint32_t> window(1920 * 1440);
  scaler.Draw(frame, {0, 0, 1920, 1440}, window.data(), 1920);
  for (int y = 0; y < 1440; y += 7) {
    for (int x = 0; x < 1920; x += 5) {
      ASSERT_EQ(window[static_cast<size_t>(y) * 1920 + x], frame.PixelAt(x / 3, y / 3));
    }
  }
}

TEST(WindowGeometry, PointsGoToTheWindowAndBackAtAnyScale) {
  EXPECT_EQ(Viewport({1920, 1080}), (Rect{240, 0, 1440, 1080}));
  EXPECT_EQ(Viewport({1280, 1000}), (Rect{0, 20, 1280, 960}));
  EXPECT_TRUE(Viewport({0, 0}).Empty());
  for (const Size output : {Size{640, 480}, Size{1280, 960}, Size{1000, 750}, Size{1920, 1080},
                            Size{3840, 2160}}) {
    const Rect v = Viewport(output);
    for (int gy = -3; gy < 483; gy += 7) {
      for (int gx = -3; gx < 643; gx += 5) {
        ASSERT_EQ(WindowToGame(GameToWindow({gx, gy}, v), v), (Point{gx, gy}))
            << output.width << "x" << output.height;
      }
    }
  }
  std::string note;
  EXPECT_EQ(OpeningWindowSize({1920, 1050}, 0, &note), (Size{1280, 960}));
  EXPECT_EQ(OpeningWindowSize({1920, 1050}, 3, &note), (Size{1280, 960}));
  EXPECT_NE(note.find("--scale 3 does not fit"), std::string::npos);
  EXPECT_EQ(OpeningWindowSize({600, 400}, 0, &note), (Size{533, 400}));
}

}  // namespace
}  // namespace tsumugi::sdl
