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

// Calls fn with the operation object for rop; nothing for a value that
// names no operation.
template <typename Fn>
void WithRop(Rop rop, Fn&& fn) {
  switch (rop) {
    case kSrcCopy:
      fn(CopyOp{});
      return;
    case kSrcAnd:
      fn(AndOp{});
      return;
    case kSrcInvert:
      fn(XorOp{});
      return;
    case kSrcErase:
      fn(EraseOp{});
      return;
    case kDstAndNotSrc:
      fn(DstAndNotSrcOp{});
      return;
  }
}

// Cuts the copy to the pixels both bitmaps have and calls fn with the
// operation object of rop and the cut copy, unless nothing is left.
template <typename Dst, typename Src, typename Fn>
void ClippedBlit(const Dst& dst, int x, int y, int w, int h, const Src& src, int sx, int sy,
                 Rop rop, Fn&& fn) {
  Blit r{{x, y, w, h}, sx, sy};
  if (!ClipBlit(r, dst.Bounds(), src.Bounds())) return;
  WithRop(rop, [&](auto op) { fn(op, r); });
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

}  // namespace

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

void BitBlt(Surface& dst, int x, int y, int w, int h, const Surface& src, int sx, int sy, Rop rop) {
  ClippedBlit(dst, x, y, w, h, src, sx, sy, rop, [&](auto op, const Blit& r) {
    using Op = decltype(op);
    // Within one surface, walk rows in the order that reads every source row
    // before it is overwritten, as memmove does in one dimension. Segments of
    // different rows never overlap, so only a transfer within the same rows
    // needs the same care for columns.
    const bool same = &dst == &src;
    const bool rows_up = same && r.y > r.sy;
    const bool same_rows = same && r.y == r.sy;
    const bool cols_back = same_rows && r.x > r.sx;
    for (int k = 0; k < r.height; ++k) {
      const int j = rows_up ? r.height - 1 - k : k;
      uint32_t* d = dst.Row(r.y + j) + r.x;
      const uint32_t* s = src.Row(r.sy + j) + r.sx;
      if constexpr (std::is_same_v<Op, CopyOp>) {
        std::memmove(d, s, static_cast<size_t>(r.width) * sizeof(uint32_t));
      } else if (!same_rows) {
        CombineRow<Op>(d, s, r.width);
      } else if (cols_back) {
        for (int i = r.width - 1; i >= 0; --i) d[i] = Op::Apply(d[i], s[i]);
      } else {
        for (int i = 0; i < r.width; ++i) d[i] = Op::Apply(d[i], s[i]);
      }
    }
  });
}

void BitBlt(MonoBitmap& dst, int x, int y, int w, int h, const Surface& src, int sx, int sy,
            Rop rop) {
  const uint32_t key = PixelFromColorRef(src.BackColor());
  ClippedBlit(dst, x, y, w, h, src, sx, sy, rop, [&](auto op, const Blit& r) {
    using Op = decltype(op);
    for (int j = 0; j < r.height; ++j) {
      CombineRowToMono<Op>(dst.Row(r.y + j) + r.x, src.Row(r.sy + j) + r.sx, r.width, key);
    }
  });
}

void BitBlt(Surface& dst, int x, int y, int w, int h, const MonoBitmap& src, int sx, int sy,
            Rop rop) {
  const uint32_t one_color = PixelFromColorRef(dst.BackColor());
  const uint32_t zero_color = PixelFromColorRef(dst.ForeColor());
  ClippedBlit(dst, x, y, w, h, src, sx, sy, rop, [&](auto op, const Blit& r) {
    using Op = decltype(op);
    for (int j = 0; j < r.height; ++j) {
      CombineRowFromMono<Op>(dst.Row(r.y + j) + r.x, src.Row(r.sy + j) + r.sx, r.width, one_color,
                             zero_color);
    }
  });
}

}  // namespace tsumugi::gdi
