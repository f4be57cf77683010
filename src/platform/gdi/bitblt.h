// Block transfers between surfaces with the classic binary raster operations,
// and the monochrome bitmaps used to build transparency masks.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"

namespace tsumugi::gdi {

// The raster operations BitBlt implements, with the codes scripts write for
// them.
enum class Rop : uint32_t {
  kSrcCopy = 0x00CC0020,       // dest = src
  kSrcAnd = 0x008800C6,        // dest = dest & src
  kSrcInvert = 0x00660046,     // dest = dest ^ src
  kSrcErase = 0x00440328,      // dest = src & ~dest
  kDstAndNotSrc = 0x00220326,  // dest = dest & ~src
};
inline constexpr Rop kSrcCopy = Rop::kSrcCopy;
inline constexpr Rop kSrcAnd = Rop::kSrcAnd;
inline constexpr Rop kSrcInvert = Rop::kSrcInvert;
inline constexpr Rop kSrcErase = Rop::kSrcErase;
inline constexpr Rop kDstAndNotSrc = Rop::kDstAndNotSrc;

// A 1-bit-per-pixel bitmap, stored one byte (0 or 1) per pixel. 1 is white,
// 0 is black. New bitmaps are all 0.
class MonoBitmap {
 public:
  MonoBitmap() = default;
  // Sizes are clamped to [0, Surface::kMaxDimension] like those of a Surface.
  MonoBitmap(int width, int height);

  MonoBitmap(const MonoBitmap&) = default;
  MonoBitmap& operator=(const MonoBitmap&) = default;
  // A moved-from bitmap is left empty (0 x 0).
  MonoBitmap(MonoBitmap&& other) noexcept;
  MonoBitmap& operator=(MonoBitmap&& other) noexcept;
  ~MonoBitmap() = default;

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  Rect Bounds() const { return {0, 0, width_, height_}; }

  // Checked access: Bit returns false outside the bitmap, SetBit ignores
  // points outside.
  bool Bit(int x, int y) const;
  void SetBit(int x, int y, bool value);

  // Row(y) requires 0 <= y < Height(); each element is 0 or 1.
  uint8_t* Row(int y) {
    assert(y >= 0 && y < height_);
    return bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
  }
  const uint8_t* Row(int y) const {
    assert(y >= 0 && y < height_);
    return bits_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<uint8_t> bits_;
};

// All three overloads copy the w x h rectangle at (sx, sy) of src to (x, y)
// of dst, combining each pixel with the raster operation `rop`. A destination
// pixel (x + i, y + j) is written only if it lies inside dst and the source
// pixel (sx + i, sy + j) lies inside src; any other pixel is left alone.
// Any coordinates and sizes are accepted. A Rop value that is none of the
// named operations changes nothing.

// Colour to colour, on the 24 colour bits. src and dst may be the same
// surface with overlapping rectangles: the result is as if the source
// rectangle had been copied away first.
void BitBlt(Surface& dst, int x, int y, int w, int h, const Surface& src, int sx, int sy, Rop rop);

// Colour to monochrome: a source pixel equal to src.BackColor() becomes 1,
// any other pixel 0, before the rop is applied.
void BitBlt(MonoBitmap& dst, int x, int y, int w, int h, const Surface& src, int sx, int sy,
            Rop rop);

// Monochrome to colour: a 1 bit becomes dst.BackColor(), a 0 bit
// dst.ForeColor(), before the rop is applied.
void BitBlt(Surface& dst, int x, int y, int w, int h, const MonoBitmap& src, int sx, int sy,
            Rop rop);

}  // namespace tsumugi::gdi
