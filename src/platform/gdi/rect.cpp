#include "platform/gdi/rect.h"

#include <algorithm>
#include <climits>

namespace tsumugi::gdi {
namespace {

int Saturate(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

}  // namespace

Rect Rect::Offset(int dx, int dy) const {
  return {Saturate(int64_t{x} + dx), Saturate(int64_t{y} + dy), width, height};
}

bool ClipBlit(Blit& blit, const Rect& dst, const Rect& src) {
  if (blit.Empty() || dst.Empty() || src.Empty()) return false;
  // Offsets from the corners that both the destination and the source pixel
  // allow.
  auto offsets = [](int length, int d, int64_t d_lo, int64_t d_hi, int s, int64_t s_lo,
                    int64_t s_hi) {
    return detail::Cut(detail::Cut({0, length}, d_lo - d, d_hi - d), s_lo - s, s_hi - s);
  };
  const detail::Span i =
      offsets(blit.width, blit.x, dst.x, dst.Right(), blit.sx, src.x, src.Right());
  const detail::Span j =
      offsets(blit.height, blit.y, dst.y, dst.Bottom(), blit.sy, src.y, src.Bottom());
  if (i.lo >= i.hi || j.lo >= j.hi) return false;
  // The moved corners lie inside dst and src, so fit an int.
  blit.x = static_cast<int>(blit.x + i.lo);
  blit.sx = static_cast<int>(blit.sx + i.lo);
  blit.width = static_cast<int>(i.hi - i.lo);
  blit.y = static_cast<int>(blit.y + j.lo);
  blit.sy = static_cast<int>(blit.sy + j.lo);
  blit.height = static_cast<int>(j.hi - j.lo);
  return true;
}

}  // namespace tsumugi::gdi
