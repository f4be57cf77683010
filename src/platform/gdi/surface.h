// In-memory 32-bit drawing surface: the backing store of every picture box,
// off-screen buffer and window the engine draws into.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/rect.h"

namespace tsumugi::gdi {

// A colour as scripts give it: 0x00BBGGRR, red in the lowest byte. The top
// byte is ignored everywhere a ColorRef is taken.
using ColorRef = uint32_t;

inline constexpr ColorRef kBlack = 0x00000000;
inline constexpr ColorRef kWhite = 0x00FFFFFF;
// What GetPixel returns for a point outside the surface.
inline constexpr ColorRef kInvalidColor = 0xFFFFFFFF;

// Pixels are stored as 0x00RRGGBB: the layout of a 32-bit DIB and of
// XRGB8888 textures, so a surface can be uploaded without conversion.
// The top byte of a stored pixel is always 0.
constexpr uint32_t PixelFromColorRef(ColorRef c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr ColorRef ColorRefFromPixel(uint32_t p) {
  return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
}

class Surface {
 public:
  // Largest width or height a surface can have. Larger requests are clamped
  // to it, and negative ones to 0, so that a wrong value coming from a script
  // gives a usable (if odd) surface instead of a failed allocation; the
  // resulting worst case, 16384 x 16384 x 4 bytes, is 1 GiB.
  static constexpr int kMaxDimension = 16384;

  Surface() = default;
  Surface(int width, int height, ColorRef background = kBlack);

  Surface(const Surface&) = default;
  Surface& operator=(const Surface&) = default;
  // A moved-from surface is left empty (0 x 0) rather than with a size that
  // no longer matches its pixel storage.
  Surface(Surface&& other) noexcept;
  Surface& operator=(Surface&& other) noexcept;
  ~Surface() = default;

  // The same size, colours and pixels.
  friend bool operator==(const Surface&, const Surface&) = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  Rect Bounds() const { return {0, 0, width_, height_}; }

  // Colour of the cleared state, of area exposed by Resize, and the colour
  // that 1-bits of a monochrome bitmap become when blitted onto this surface.
  ColorRef BackColor() const { return back_color_; }
  void SetBackColor(ColorRef c) { back_color_ = c & 0x00FFFFFFu; }
  // Colour that 0-bits of a monochrome bitmap become when blitted onto this
  // surface; also the text colour.
  ColorRef ForeColor() const { return fore_color_; }
  void SetForeColor(ColorRef c) { fore_color_ = c & 0x00FFFFFFu; }

  // Fills the whole surface with BackColor().
  void Clear();
  // Changes the size keeping the existing image anchored at the top-left;
  // area that becomes visible is filled with BackColor(). Sizes are clamped
  // to [0, kMaxDimension].
  void Resize(int width, int height);
  // Fills the rectangle, clipped to the surface.
  void Fill(int x, int y, int w, int h, ColorRef color);

  // Raw access. Row(y) requires 0 <= y < Height().
  uint32_t* Data() { return pixels_.data(); }
  const uint32_t* Data() const { return pixels_.data(); }
  // Pixels per row.
  int Stride() const { return width_; }
  uint32_t* Row(int y) {
    assert(y >= 0 && y < height_);
    return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
  }
  const uint32_t* Row(int y) const {
    assert(y >= 0 && y < height_);
    return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
  }
  // Stored pixel (0x00RRGGBB); the point must be inside the surface.
  uint32_t PixelAt(int x, int y) const {
    assert(x >= 0 && x < width_);
    return Row(y)[x];
  }

  // Checked access in script colours: GetPixel returns kInvalidColor for a
  // point outside the surface, SetPixel ignores such points.
  ColorRef GetPixel(int x, int y) const;
  void SetPixel(int x, int y, ColorRef color);

 private:
  int width_ = 0;
  int height_ = 0;
  ColorRef back_color_ = kBlack;
  ColorRef fore_color_ = kBlack;
  std::vector<uint32_t> pixels_;
};

}  // namespace tsumugi::gdi
