// Rectangles of pixels, the size of the game's screen, and the clipping of a
// copy between two surfaces: every piece of code that must keep coordinates
// inside what exists goes through the functions here.
#pragma once

#include <algorithm>
#include <cstdint>

namespace tsumugi::gdi {

namespace detail {

// A half-open range of coordinates, in 64 bits so that no sum of two ints
// overflows.
struct Span {
  int64_t lo;
  int64_t hi;
};

// The part of `span` inside [lo, hi): the one clipping step that every
// function below is made of.
constexpr Span Cut(Span span, int64_t lo, int64_t hi) {
  return {std::max(span.lo, lo), std::min(span.hi, hi)};
}

}  // namespace detail

// The game's drawing area. The screen, the off-screen pages and the scratch
// surfaces of full-screen effects all have this size.
inline constexpr int kScreenWidth = 640;
inline constexpr int kScreenHeight = 480;

// width x height pixels with the top-left one at (x, y). A width or height
// of 0 or less holds no pixel. Edges are computed in 64 bits, so any int
// values are valid.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  constexpr bool Empty() const { return width <= 0 || height <= 0; }
  // One past the last column and row.
  constexpr int64_t Right() const { return int64_t{x} + width; }
  constexpr int64_t Bottom() const { return int64_t{y} + height; }
  constexpr bool Contains(int px, int py) const {
    return !Empty() && px >= x && py >= y && px < Right() && py < Bottom();
  }
  // The same rectangle moved by (dx, dy); an origin that would leave the
  // range of int stops at its end.
  [[nodiscard]] Rect Offset(int dx, int dy) const;
  // The pixels both rectangles hold; {} when there are none.
  [[nodiscard]] constexpr Rect Intersect(const Rect& other) const;

  friend bool operator==(const Rect&, const Rect&) = default;
};

inline constexpr Rect kScreen{0, 0, kScreenWidth, kScreenHeight};

// The pixels of `bounds` that lie between the edges [left, right) x
// [top, bottom), given in 64 bits for callers whose positions can leave the
// range of int (a pen moved along a long line, lines far below a window);
// {} when there are none. `bounds` holds only pixels with int coordinates
// (as a surface's bounds do).
[[nodiscard]] constexpr Rect ClipEdges(int64_t left, int64_t top, int64_t right, int64_t bottom,
                                       const Rect& bounds) {
  if (bounds.Empty()) return {};
  const detail::Span across = detail::Cut({left, right}, bounds.x, bounds.Right());
  const detail::Span down = detail::Cut({top, bottom}, bounds.y, bounds.Bottom());
  if (across.lo >= across.hi || down.lo >= down.hi) return {};
  // Both spans lie inside bounds, so their starts and lengths fit an int.
  return {static_cast<int>(across.lo), static_cast<int>(down.lo),
          static_cast<int>(across.hi - across.lo), static_cast<int>(down.hi - down.lo)};
}

constexpr Rect Rect::Intersect(const Rect& other) const {
  if (Empty()) return {};
  return ClipEdges(x, y, Right(), Bottom(), other);
}

// A copy of the width x height pixels at (sx, sy) of a source to (x, y) of a
// destination.
struct Blit : Rect {
  int sx = 0;
  int sy = 0;

  friend bool operator==(const Blit&, const Blit&) = default;
};

// Shrinks `blit` to the pixels whose destination lies in `dst` and whose
// source lies in `src` (each a rectangle whose pixels have int coordinates,
// such as a surface's bounds); the two corners move together. False when no
// pixel is left; `blit` is then unusable. Any int values in `blit` are
// accepted.
[[nodiscard]] bool ClipBlit(Blit& blit, const Rect& dst, const Rect& src);

}  // namespace tsumugi::gdi
