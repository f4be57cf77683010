#include "platform/gdi/surface.h"

#include <algorithm>
#include <utility>

namespace tsumugi::gdi {
namespace {

int ClampDimension(int v) {
  return std::clamp(v, 0, Surface::kMaxDimension);
}

size_t PixelCount(int width, int height) {
  return static_cast<size_t>(width) * static_cast<size_t>(height);
}

}  // namespace

Surface::Surface(int width, int height, ColorRef background)
    : width_(ClampDimension(width)),
      height_(ClampDimension(height)),
      back_color_(background & 0x00FFFFFFu),
      pixels_(PixelCount(width_, height_), PixelFromColorRef(background)) {}

Surface::Surface(Surface&& other) noexcept
    : width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      back_color_(other.back_color_),
      fore_color_(other.fore_color_),
      pixels_(std::exchange(other.pixels_, {})) {}

Surface& Surface::operator=(Surface&& other) noexcept {
  if (this != &other) {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    back_color_ = other.back_color_;
    fore_color_ = other.fore_color_;
    pixels_ = std::exchange(other.pixels_, {});
  }
  return *this;
}

void Surface::Clear() {
  std::fill(pixels_.begin(), pixels_.end(), PixelFromColorRef(back_color_));
}

void Surface::Resize(int width, int height) {
  width = ClampDimension(width);
  height = ClampDimension(height);
  if (width == width_ && height == height_) return;

  const uint32_t back = PixelFromColorRef(back_color_);
  std::vector<uint32_t> resized(PixelCount(width, height), back);
  const int keep_w = std::min(width, width_);
  const int keep_h = std::min(height, height_);
  for (int y = 0; y < keep_h; ++y) {
    std::copy_n(Row(y), keep_w, resized.data() + static_cast<size_t>(y) * width);
  }
  pixels_ = std::move(resized);
  width_ = width;
  height_ = height;
}

void Surface::Fill(int x, int y, int w, int h, ColorRef color) {
  const Rect area = Rect{x, y, w, h}.Intersect(Bounds());
  if (area.Empty()) return;
  const uint32_t pixel = PixelFromColorRef(color);
  for (int row = area.y; row < area.Bottom(); ++row) {
    uint32_t* p = Row(row);
    std::fill(p + area.x, p + area.Right(), pixel);
  }
}

ColorRef Surface::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kInvalidColor;
  return ColorRefFromPixel(PixelAt(x, y));
}

void Surface::SetPixel(int x, int y, ColorRef color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Row(y)[x] = PixelFromColorRef(color);
}

}  // namespace tsumugi::gdi
