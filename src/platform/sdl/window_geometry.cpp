#include "platform/sdl/window_geometry.h"

#include <algorithm>
#include <cstdint>

namespace tsumugi::sdl {

namespace {

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
int64_t CeilDiv(int64_t a, int64_t b) { return -FloorDiv(-a, b); }

}  // namespace

int FittingScale(Size area) {
  if (area.width <= 0 || area.height <= 0) return 0;
  return std::min(area.width / gdi::kScreenWidth, area.height / gdi::kScreenHeight);
}

Size OpeningWindowSize(Size usable, int requested, std::string* note) {
  const int fits = FittingScale(usable);
  if (fits == 0) {
    const Rect shrunk = Viewport(usable);
    *note = "the desktop (" + std::to_string(usable.width) + "x" + std::to_string(usable.height) +
            ") is smaller than the game's 640x480 screen; it is shown scaled down";
    if (shrunk.Empty()) return {gdi::kScreenWidth, gdi::kScreenHeight};
    return {shrunk.width, shrunk.height};
  }
  int scale = fits;
  if (requested > 0) {
    scale = std::min(requested, fits);
    if (requested > fits) {
      *note = "--scale " + std::to_string(requested) + " does not fit the desktop (" +
              std::to_string(usable.width) + "x" + std::to_string(usable.height) +
              "); the window opens at " + std::to_string(scale) + "x";
    }
  }
  return {gdi::kScreenWidth * scale, gdi::kScreenHeight * scale};
}

Rect Viewport(Size output) {
  if (output.width <= 0 || output.height <= 0) return {};
  const int64_t w = output.width, h = output.height;
  Rect r;
  if (w * gdi::kScreenHeight >= h * gdi::kScreenWidth) {
    // Wider than 4:3: bars left and right.
    r.height = output.height;
    r.width = static_cast<int>(std::max<int64_t>(
        1, (h * gdi::kScreenWidth + gdi::kScreenHeight / 2) / gdi::kScreenHeight));
  } else {
    r.width = output.width;
    r.height = static_cast<int>(
        std::max<int64_t>(1, (w * gdi::kScreenHeight + gdi::kScreenWidth / 2) / gdi::kScreenWidth));
  }
  r.width = std::min(r.width, output.width);
  r.height = std::min(r.height, output.height);
  r.x = (output.width - r.width) / 2;
  r.y = (output.height - r.height) / 2;
  return r;
}

Point WindowToGame(Point window, const Rect& viewport) {
  if (viewport.Empty()) return {};
  return {static_cast<int>(
              FloorDiv(int64_t{window.x - viewport.x} * gdi::kScreenWidth, viewport.width)),
          static_cast<int>(
              FloorDiv(int64_t{window.y - viewport.y} * gdi::kScreenHeight, viewport.height))};
}

Point GameToWindow(Point game, const Rect& viewport) {
  if (viewport.Empty()) return {};
  const int64_t x = viewport.x + CeilDiv(int64_t{game.x} * viewport.width, gdi::kScreenWidth);
  const int64_t y = viewport.y + CeilDiv(int64_t{game.y} * viewport.height, gdi::kScreenHeight);
  // The pointer cannot go further than the range of int.
  auto clamp = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return {clamp(x), clamp(y)};
}

}  // namespace tsumugi::sdl
