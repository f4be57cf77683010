#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <utility>

#include "platform/gdi/bitblt.h"
#include "platform/gdi/surface.h"

namespace tsumugi::gdi {
namespace {

// Distinct colours for every pixel of small surfaces; `seed` keeps the
// destination and source patterns apart.
ColorRef Pattern(int x, int y, uint32_t seed) {
  return (seed * 0x00010307u + static_cast<uint32_t>(x) * 0x00130000u +
          static_cast<uint32_t>(y) * 0x00001700u + static_cast<uint32_t>(x + y) * 0x00000025u) &
         0x00FFFFFFu;
}

Surface Painted(int w, int h, uint32_t seed) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, Pattern(x, y, seed));
  }
  return s;
}

void ExpectSurfaceEq(const Surface& expected, const Surface& actual) {
  ASSERT_EQ(expected.Width(), actual.Width());
  ASSERT_EQ(expected.Height(), actual.Height());
  for (int y = 0; y < expected.Height(); ++y) {
    for (int x = 0; x < expected.Width(); ++x) {
      EXPECT_EQ(expected.PixelAt(x, y), actual.PixelAt(x, y)) << "at " << x << "," << y;
    }
  }
}

// ---------------------------------------------------------------------------
// Raster operations

struct RopCase {
  const char* name;
  Rop rop;
  // Results for dst 0x00CCAA55 / src 0x00F0F0F0 and dst 0x00123456 / src
  // 0x0000FF00, worked out by hand.
  ColorRef first, second;
  // For dst 0x00CCAA55 and a 0 bit standing for ForeColor 0x000F0F0F.
  ColorRef on_zero;
  // Destination bits 0,0,1,1 against source bits 0,1,0,1.
  bool bits[4];
};

constexpr RopCase kRopCases[] = {
    {"SRCCOPY", kSrcCopy, 0x00F0F0F0, 0x0000FF00, 0x000F0F0F, {false, true, false, true}},
    {"SRCAND", kSrcAnd, 0x00C0A050, 0x00003400, 0x000C0A05, {false, false, false, true}},
    {"SRCINVERT", kSrcInvert, 0x003C5AA5, 0x0012CB56, 0x00C3A55A, {false, true, true, false}},
    {"SRCERASE", kSrcErase, 0x003050A0, 0x0000CB00, 0x0003050A, {false, true, false, false}},
    {"DSTANDNOTSRC",
     kDstAndNotSrc,
     0x000C0A05,
     0x00120056,
     0x00C0A050,
     {false, false, true, false}},
};

TEST(GdiBitBltRop, EachOperationCombinesColourBits) {
  for (const RopCase& c : kRopCases) {
    SCOPED_TRACE(c.name);
    Surface dst(4, 3, 0x00777777);
    dst.SetPixel(1, 1, 0x00CCAA55);
    dst.SetPixel(2, 1, 0x00123456);
    Surface src(2, 1);
    src.SetPixel(0, 0, 0x00F0F0F0);
    src.SetPixel(1, 0, 0x0000FF00);

    BitBlt(dst, 1, 1, 2, 1, src, 0, 0, c.rop);
    EXPECT_EQ(dst.PixelAt(1, 1), PixelFromColorRef(c.first));
    EXPECT_EQ(dst.PixelAt(2, 1), PixelFromColorRef(c.second));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 4; ++x) {
        if (y == 1 && (x == 1 || x == 2)) continue;
        EXPECT_EQ(dst.GetPixel(x, y), 0x00777777u) << "at " << x << "," << y;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Monochrome bitmaps

TEST(GdiMonoBitmap, EachOperationCombinesBitsFromColourAndColourFromBits) {
  // A source bit is 1 only for the back colour itself, not for one a bit
  // away from it.
  constexpr ColorRef kKey = 0x00336699;
  Surface src(4, 1, kKey ^ 0x00010000);
  src.SetBackColor(kKey);
  src.SetPixel(1, 0, kKey);
  src.SetPixel(3, 0, kKey);
  // 1 bits become BackColor 0x00F0F0F0, 0 bits ForeColor 0x000F0F0F.
  MonoBitmap mono(2, 1);
  mono.SetBit(0, 0, true);
  for (const RopCase& c : kRopCases) {
    SCOPED_TRACE(c.name);
    MonoBitmap bits(4, 1);
    bits.SetBit(2, 0, true);
    bits.SetBit(3, 0, true);
    BitBlt(bits, 0, 0, 4, 1, src, 0, 0, c.rop);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(bits.Bit(x, 0), c.bits[x]) << "bit " << x;

    Surface dst(2, 1, 0x00CCAA55);
    dst.SetBackColor(0x00F0F0F0);
    dst.SetForeColor(0x000F0F0F);
    BitBlt(dst, 0, 0, 2, 1, mono, 0, 0, c.rop);
    EXPECT_EQ(dst.GetPixel(0, 0), c.first);
    EXPECT_EQ(dst.GetPixel(1, 0), c.on_zero);
  }
}

// ---------------------------------------------------------------------------
// Clipping

// Where destination pixel (px, py) takes its source from, by the rule that
// a pixel is transferred only when both it and its source pixel exist.
std::optional<std::pair<int, int>> SourceOf(int px, int py, int x, int y, int w, int h, int sx,
                                            int sy, int src_w, int src_h) {
  const int64_t i = int64_t{px} - x;
  const int64_t j = int64_t{py} - y;
  if (i < 0 || i >= w || j < 0 || j >= h) return std::nullopt;
  const int64_t qx = sx + i;
  const int64_t qy = sy + j;
  if (qx < 0 || qx >= src_w || qy < 0 || qy >= src_h) return std::nullopt;
  return std::pair{static_cast<int>(qx), static_cast<int>(qy)};
}

struct ClipCase {
  const char* name;
  int x, y, w, h, sx, sy;
};

// Destination 6 x 5, source 4 x 3.
constexpr ClipCase kClipCases[] = {
    {"inside", 1, 1, 3, 2, 1, 0},
    {"dst left edge", -2, 1, 4, 2, 0, 0},
    {"dst right edge", 4, 1, 4, 2, 0, 0},
    {"dst bottom edge", 1, 3, 3, 3, 0, 0},
    {"src left edge", 1, 1, 4, 2, -1, 0},
    {"src right edge", 1, 1, 4, 2, 2, 0},
    {"src bottom edge", 1, 0, 3, 5, 0, 1},
    {"all edges at once", -1, -1, 100, 100, -1, -1},
    {"clipped by dst on one side and src on the other", -2, 0, 10, 3, 1, 0},
    {"right of dst", 6, 0, 4, 3, 0, 0},
    {"below dst", 0, 5, 4, 3, 0, 0},
    {"right of src", 0, 0, 4, 3, 4, 0},
    {"below src", 0, 0, 4, 3, 0, 3},
    {"zero width", 0, 0, 0, 3, 0, 0},
    {"negative size", 2, 2, -2, -2, 2, 2},
    {"INT_MIN size", 0, 0, INT_MIN, INT_MIN, 0, 0},
    {"INT_MAX size from negative origin", -2, -1, INT_MAX, INT_MAX, 0, 0},
    {"INT_MAX position", INT_MAX, INT_MAX, INT_MAX, INT_MAX, 0, 0},
    {"INT_MIN position ending left of dst", INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
    {"INT_MAX source", 0, 0, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    {"INT_MIN destination, INT_MAX source", INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    {"large offsets cancelling out", -1000000, 0, 2000000, 3, -1000000 + 2, 0},
};

TEST(GdiBitBltClip, ColourTransfersOnlyWherePixelsExistOnBothSides) {
  for (Rop rop : {kSrcCopy, kSrcInvert}) {
    for (const ClipCase& c : kClipCases) {
      SCOPED_TRACE(testing::Message() << c.name << (rop == kSrcCopy ? ", copy" : ", xor"));
      const Surface src = Painted(4, 3, 2);
      Surface dst = Painted(6, 5, 1);
      BitBlt(dst, c.x, c.y, c.w, c.h, src, c.sx, c.sy, rop);
      for (int py = 0; py < dst.Height(); ++py) {
        for (int px = 0; px < dst.Width(); ++px) {
          const auto from = SourceOf(px, py, c.x, c.y, c.w, c.h, c.sx, c.sy, 4, 3);
          const ColorRef old = Pattern(px, py, 1);
          ColorRef expected = old;
          if (from) {
            const ColorRef s = Pattern(from->first, from->second, 2);
            expected = rop == kSrcCopy ? s : (old ^ s);
          }
          EXPECT_EQ(dst.GetPixel(px, py), expected) << "at " << px << "," << py;
        }
      }
    }
  }
}

TEST(GdiBitBltClip, MonoTransfersClipLikeColour) {
  constexpr ColorRef kKey = 0x00000000;
  for (const ClipCase& c : kClipCases) {
    SCOPED_TRACE(c.name);
    // A source whose key pixels form a checkerboard; destination bits start at 1
    // so that copied zeros show.
    Surface src(4, 3, kWhite);
    src.SetBackColor(kKey);
    for (int y = 0; y < 3; ++y) {
      for (int x = (y & 1); x < 4; x += 2) src.SetPixel(x, y, kKey);
    }
    MonoBitmap mono(6, 5);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) mono.SetBit(x, y, true);
    }
    BitBlt(mono, c.x, c.y, c.w, c.h, src, c.sx, c.sy, kSrcCopy);
    for (int py = 0; py < 5; ++py) {
      for (int px = 0; px < 6; ++px) {
        const auto from = SourceOf(px, py, c.x, c.y, c.w, c.h, c.sx, c.sy, 4, 3);
        const bool expected = from ? src.GetPixel(from->first, from->second) == kKey : true;
        EXPECT_EQ(mono.Bit(px, py), expected) << "mono at " << px << "," << py;
      }
    }

    // And back: a mono source of the same checkerboard onto a colour surface.
    MonoBitmap mono_src(4, 3);
    for (int y = 0; y < 3; ++y) {
      for (int x = (y & 1); x < 4; x += 2) mono_src.SetBit(x, y, true);
    }
    Surface dst = Painted(6, 5, 1);
    dst.SetBackColor(0x00ABCDEF);
    dst.SetForeColor(0x00123456);
    BitBlt(dst, c.x, c.y, c.w, c.h, mono_src, c.sx, c.sy, kSrcCopy);
    for (int py = 0; py < 5; ++py) {
      for (int px = 0; px < 6; ++px) {
        const auto from = SourceOf(px, py, c.x, c.y, c.w, c.h, c.sx, c.sy, 4, 3);
        ColorRef expected = Pattern(px, py, 1);
        if (from) expected = mono_src.Bit(from->first, from->second) ? 0x00ABCDEFu : 0x00123456u;
        EXPECT_EQ(dst.GetPixel(px, py), expected) << "colour at " << px << "," << py;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Source and destination in the same surface

struct OverlapCase {
  const char* name;
  int x, y, w, h, sx, sy;
};

constexpr OverlapCase kOverlapCases[] = {
    {"down and right", 3, 2, 4, 3, 1, 1},
    {"up and left", 0, 0, 5, 4, 2, 2},
    {"right in the same rows", 2, 1, 5, 3, 0, 1},
    {"left in the same rows", 0, 1, 5, 3, 2, 1},
    {"straight down", 1, 2, 5, 4, 1, 0},
    {"straight up", 1, 0, 5, 4, 1, 2},
    {"down and left", 0, 3, 5, 3, 2, 1},
    {"up and right", 3, 0, 5, 3, 1, 2},
    {"onto itself", 1, 1, 4, 4, 1, 1},
    {"clipped at the edges", -1, 1, 10, 10, 1, -1},
};

TEST(GdiBitBltOverlap, SameSurfaceBehavesAsIfSourceWasCopiedFirst) {
  for (Rop rop : {kSrcCopy, kSrcInvert, kSrcErase}) {
    for (const OverlapCase& c : kOverlapCases) {
      SCOPED_TRACE(testing::Message()
                   << c.name << ", rop " << std::hex << static_cast<uint32_t>(rop));
      Surface s = Painted(8, 6, 3);
      // Reference: the same transfer from a separate copy of the surface.
      Surface expected = s;
      const Surface snapshot = s;
      BitBlt(expected, c.x, c.y, c.w, c.h, snapshot, c.sx, c.sy, rop);
      BitBlt(s, c.x, c.y, c.w, c.h, s, c.sx, c.sy, rop);
      ExpectSurfaceEq(expected, s);
    }
  }
}

}  // namespace
}  // namespace tsumugi::gdi
