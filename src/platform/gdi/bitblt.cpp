#include "platform/gdi/bitblt.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

namespace tsumugi::gdi {
namespace {

// The binary raster operations, applied to a destination value d and a source
// value s. For colour pixels both have a zero top byte and for monochrome
// pixels both are 0 or 1; every operation keeps that true of its result.
struct CopyOp {
  template <typename T>
  static constexpr T Apply(T, T s) {
    return s;
  }
};
struct AndOp {
  template <typename T>
  static constexpr T Apply(T d, T s) {
    return static_cast<T>(d & s);
  }
};
struct XorOp {
  template <typename T>
  static constexpr T Apply(T d, T s) {
    return static_cast<T>(d ^ s);
  }
};
struct EraseOp {
  template <typename T>
  static constexpr T Apply(T d, T s) {
    return static_cast<T>(s & ~d);
  }
};
struct DstAndNotSrcOp {
  template <typename T>
  static constexpr T Apply(T d, T s) {
    return static_cast<T>(d & ~s);
  }
};

// Calls fn with the operation object for rop; false if rop is unknown.
template <typename Fn>
bool WithRop(uint32_t rop, Fn&& fn) {
  switch (rop) {
    case kSrcCopy:
      fn(CopyOp{});
      return true;
    case kSrcAnd:
      fn(AndOp{});
      return true;
    case kSrcInvert:
      fn(XorOp{});
      return true;
    case kSrcErase:
      fn(EraseOp{});
      return true;
    case kDstAndNotSrc:
      fn(DstAndNotSrcOp{});
      return true;
    default:
      return false;
  }
}

// Row kernels for rows that do not overlap; the restrict qualifiers let the
// compiler vectorise them.
template <typename Op>
void CombineRow(uint32_t* __restrict d, const uint32_t* __restrict s, int n) {
  for (int i = 0; i < n; ++i) d[i] = Op::Apply(d[i], s[i]);
}

// Colour to monochrome: 1 where the source pixel equals key.
template <typename Op>
void CombineRowToMono(uint8_t* __restrict d, const uint32_t* __restrict s, int n, uint32_t key) {
  for (int i = 0; i < n; ++i) d[i] = Op::Apply(d[i], static_cast<uint8_t>(s[i] == key ? 1 : 0));
}

// Monochrome to colour: 1 bits become one_color, 0 bits zero_color. Only
// the low bit of a source byte counts, so a stray value cannot select
// anything else.
template <typename Op>
void CombineRowFromMono(uint32_t* __restrict d, const uint8_t* __restrict s, int n,
                        uint32_t one_color, uint32_t zero_color) {
  const uint32_t diff = one_color ^ zero_color;
  for (int i = 0; i < n; ++i) {
    const uint32_t select = 0u - (s[i] & 1u);  // all ones for a 1 bit
    d[i] = Op::Apply(d[i], zero_color ^ (diff & select));
  }
}

// A blit rectangle reduced to the part where both the destination and the
// source pixel exist.
struct BlitRect {
  int dx, dy, sx, sy, w, h;
};

// Clips one axis: offsets [lo, hi) of a transfer of `len` pixels from `s` to
// `d` such that both d + i lies in [0, dst_len) and s + i in [0, src_len).
// All arithmetic is 64-bit, so no int argument can overflow it.
bool ClipAxis(int d, int s, int len, int dst_len, int src_len, int64_t* lo, int64_t* hi) {
  *lo = std::max({int64_t{0}, -int64_t{d}, -int64_t{s}});
  *hi = std::min({int64_t{len}, int64_t{dst_len} - d, int64_t{src_len} - s});
  return *lo < *hi;
}

bool ClipBlit(int dst_w, int dst_h, int x, int y, int w, int h, int src_w, int src_h, int sx,
              int sy, BlitRect* out) {
  if (w <= 0 || h <= 0) return false;
  int64_t i0, i1, j0, j1;
  if (!ClipAxis(x, sx, w, dst_w, src_w, &i0, &i1)) return false;
  if (!ClipAxis(y, sy, h, dst_h, src_h, &j0, &j1)) return false;
  // Every value below lies within a surface dimension, so fits an int.
  out->dx = static_cast<int>(x + i0);
  out->sx = static_cast<int>(sx + i0);
  out->w = static_cast<int>(i1 - i0);
  out->dy = static_cast<int>(y + j0);
  out->sy = static_cast<int>(sy + j0);
  out->h = static_cast<int>(j1 - j0);
  return true;
}

}  // namespace

bool IsSupportedRop(uint32_t rop) {
  return WithRop(rop, [](auto) {});
}

MonoBitmap::MonoBitmap(int width, int height)
    : width_(std::clamp(width, 0, Surface::kMaxDimension)),
      height_(std::clamp(height, 0, Surface::kMaxDimension)),
      bits_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0) {}

MonoBitmap::MonoBitmap(MonoBitmap&& other) noexcept
    : width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)),
      bits_(std::exchange(other.bits_, {})) {}

MonoBitmap& MonoBitmap::operator=(MonoBitmap&& other) noexcept {
  if (this != &other) {
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    bits_ = std::exchange(other.bits_, {});
  }
  return *this;
}

bool MonoBitmap::Bit(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return Row(y)[x] != 0;
}

void MonoBitmap::SetBit(int x, int y, bool value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Row(y)[x] = value ? 1 : 0;
}

bool BitBlt(Surface& dst, int x, int y, int w, int h, const Surface& src, int sx, int sy,
            uint32_t rop) {
  if (!IsSupportedRop(rop)) return false;
  BlitRect r;
  if (!ClipBlit(dst.Width(), dst.Height(), x, y, w, h, src.Width(), src.Height(), sx, sy, &r)) {
    return true;
  }

  // Within one surface, walk rows in the order that reads every source row
  // before it is overwritten, as memmove does in one dimension. Segments of
  // different rows never overlap, so only a transfer within the same rows
  // needs the same care for columns.
  const bool same = &dst == &src;
  const bool rows_up = same && r.dy > r.sy;
  const bool same_rows = same && r.dy == r.sy;
  const bool cols_back = same_rows && r.dx > r.sx;

  WithRop(rop, [&](auto op) {
    using Op = decltype(op);
    for (int k = 0; k < r.h; ++k) {
      const int j = rows_up ? r.h - 1 - k : k;
      uint32_t* d = dst.Row(r.dy + j) + r.dx;
      const uint32_t* s = src.Row(r.sy + j) + r.sx;
      if constexpr (std::is_same_v<Op, CopyOp>) {
        std::memmove(d, s, static_cast<size_t>(r.w) * sizeof(uint32_t));
      } else if (!same_rows) {
        CombineRow<Op>(d, s, r.w);
      } else if (cols_back) {
        for (int i = r.w - 1; i >= 0; --i) d[i] = Op::Apply(d[i], s[i]);
      } else {
        for (int i = 0; i < r.w; ++i) d[i] = Op::Apply(d[i], s[i]);
      }
    }
  });
  return true;
}

bool BitBlt(MonoBitmap& dst, int x, int y, int w, int h, const Surface& src, int sx, int sy,
            uint32_t rop) {
  if (!IsSupportedRop(rop)) return false;
  BlitRect r;
  if (!ClipBlit(dst.Width(), dst.Height(), x, y, w, h, src.Width(), src.Height(), sx, sy, &r)) {
    return true;
  }

  const uint32_t key = PixelFromColorRef(src.BackColor());
  WithRop(rop, [&](auto op) {
    using Op = decltype(op);
    for (int j = 0; j < r.h; ++j) {
      CombineRowToMono<Op>(dst.Row(r.dy + j) + r.dx, src.Row(r.sy + j) + r.sx, r.w, key);
    }
  });
  return true;
}

bool BitBlt(Surface& dst, int x, int y, int w, int h, const MonoBitmap& src, int sx, int sy,
            uint32_t rop) {
  if (!IsSupportedRop(rop)) return false;
  BlitRect r;
  if (!ClipBlit(dst.Width(), dst.Height(), x, y, w, h, src.Width(), src.Height(), sx, sy, &r)) {
    return true;
  }

  const uint32_t one_color = PixelFromColorRef(dst.BackColor());
  const uint32_t zero_color = PixelFromColorRef(dst.ForeColor());
  WithRop(rop, [&](auto op) {
    using Op = decltype(op);
    for (int j = 0; j < r.h; ++j) {
      CombineRowFromMono<Op>(dst.Row(r.dy + j) + r.dx, src.Row(r.sy + j) + r.sx, r.w, one_color,
                             zero_color);
    }
  });
  return true;
}

}  // namespace tsumugi::gdi
