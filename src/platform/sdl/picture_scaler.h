// Scaling the 640x480 picture into the window on the processor, one changed
// region at a time, and finding which regions changed.
//
// Every output pixel takes at most two source pixels along each axis, so a
// region of the output can be redrawn without redrawing the rest:
// - sharp: each output pixel is the area it covers in the picture. At a
//   whole-number scale that is always one source pixel (exact squares); at
//   other scales only the output pixels that straddle a border between two
//   source pixels mix them, so no blur is wider than one output pixel.
//   Below 1x the nearest pixel is taken.
// - smooth: bilinear filtering, as a graphics card does it.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/sdl/window_geometry.h"

namespace tsumugi::sdl {

enum class Filter { kSharp, kSmooth };

class PictureScaler {
 public:
  // Prepares the scaling of the 640x480 picture to a viewport of `size`.
  void Configure(Size size, Filter filter);
  Size ViewportSize() const { return size_; }

  // The part of the viewport (in viewport coordinates) that shows the
  // pixels of `source`, a rectangle of the picture.
  Rect Affected(const Rect& source) const;

  // Draws the part `area` of the viewport from `picture` into `dst`, where
  // dst[0] is the viewport's top-left pixel and `pitch` counts pixels.
  void Draw(const gdi::Surface& picture, const Rect& area, uint32_t* dst, int pitch);

 private:
  // Output pixel i takes source pixel index[i], mixed with index[i] + 1 by
  // weight[i] / 256.
  struct Axis {
    std::vector<int> index;
    std::vector<uint16_t> weight;
    void Build(int source, int output, Filter filter);
    // The output range [*first, *last) that shows sources [from, to).
    void Span(int from, int to, int* first, int* last) const;
  };
  // The row `source` of the picture scaled across the columns of `area`.
  const uint32_t* ScaledRow(const gdi::Surface& picture, int source, const Rect& area);

  Size size_;
  Axis x_, y_;
  // Two rows scaled across, with the source rows they came from.
  std::vector<uint32_t> rows_[2];
  int row_source_[2] = {-1, -1};
};

// Compares `frame` with `shown`, the copy of what the window shows (both
// 640x480), brings `shown` up to date and returns the changed parts, as
// bands of rows with the columns that changed in them; empty when nothing
// changed.
std::vector<Rect> TakeChanges(const gdi::Surface& frame, gdi::Surface* shown);

}  // namespace tsumugi::sdl
