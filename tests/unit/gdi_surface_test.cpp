#include <gtest/gtest.h>

#include <climits>
#include <utility>

#include "platform/gdi/surface.h"

namespace tsumugi::gdi {
namespace {

// A colour that differs for every pixel of a surface up to 255 x 255, with
// different values in all three bytes.
ColorRef Pattern(int x, int y) {
  return static_cast<ColorRef>(0x00400000 | (y << 8) | x) ^ 0x00002080u;
}

void Paint(Surface& s) {
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) s.SetPixel(x, y, Pattern(x, y));
  }
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

// A ColorRef is 0x00BBGGRR, a pixel 0x00RRGGBB; the top byte never reaches
// a pixel or a colour.
TEST(GdiSurface, StartsFilledWithBackgroundAndConvertsColourLayouts) {
  EXPECT_EQ(PixelFromColorRef(0xFF112233u), 0x00332211u);
  EXPECT_EQ(ColorRefFromPixel(0xFF332211u), 0x00112233u);
  EXPECT_TRUE(Surface().Empty());

  Surface s(3, 2, 0x80123456);
  EXPECT_EQ(s.Width(), 3);
  EXPECT_EQ(s.Height(), 2);
  EXPECT_EQ(s.BackColor(), 0x00123456u);
  EXPECT_EQ(s.ForeColor(), kBlack);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(s.PixelAt(x, y), 0x00563412u);
  }
  s.SetForeColor(0x01123456);
  EXPECT_EQ(s.ForeColor(), 0x00123456u);
  s.SetPixel(2, 1, 0xFFABCDEF);
  EXPECT_EQ(s.GetPixel(2, 1), 0x00ABCDEFu);
  EXPECT_EQ(s.Data()[1 * s.Stride() + 2], 0x00EFCDABu);
  s.Row(1)[1] = 0x00010203;
  EXPECT_EQ(s.GetPixel(1, 1), 0x00030201u);
}

TEST(GdiSurface, SizesAreClampedToZeroAndTheMaximum) {
  Surface negative(-5, 3);
  EXPECT_EQ(negative.Width(), 0);
  EXPECT_EQ(negative.Height(), 3);
  EXPECT_TRUE(negative.Empty());

  Surface wide(Surface::kMaxDimension + 1, 1);
  EXPECT_EQ(wide.Width(), Surface::kMaxDimension);
  Surface tall(1, INT_MAX);
  EXPECT_EQ(tall.Height(), Surface::kMaxDimension);
  EXPECT_EQ(tall.GetPixel(0, Surface::kMaxDimension - 1), kBlack);

  Surface s(2, 2);
  s.Resize(INT_MIN, INT_MAX);
  EXPECT_EQ(s.Width(), 0);
  EXPECT_EQ(s.Height(), Surface::kMaxDimension);
  s.Resize(3, -1);
  EXPECT_EQ(s.Width(), 3);
  EXPECT_EQ(s.Height(), 0);
}

TEST(GdiSurface, PointsOutsideAreInvalidAndIgnored) {
  Surface s(4, 3, 0x00111111);
  const Surface before = s;
  const int points[][2] = {{-1, 0},      {0, -1},      {4, 0},
                           {0, 3},       {4, 3},       {-1, -1},
                           {INT_MIN, 0}, {0, INT_MAX}, {INT_MAX, INT_MIN}};
  for (const auto& p : points) {
    EXPECT_EQ(s.GetPixel(p[0], p[1]), kInvalidColor) << p[0] << "," << p[1];
    s.SetPixel(p[0], p[1], 0x00FFFFFF);
  }
  ExpectSurfaceEq(before, s);
  EXPECT_EQ(Surface().GetPixel(0, 0), kInvalidColor);
}

TEST(GdiSurface, FillIsClippedToTheSurface) {
  constexpr ColorRef kFill = 0x00A0B0C0;
  struct Case {
    int x, y, w, h;
    // Expected filled area, as [x0, x1) x [y0, y1).
    int x0, x1, y0, y1;
  };
  const Case cases[] = {
      {1, 1, 2, 1, 1, 3, 1, 2},                          // inside
      {-2, 1, 4, 10, 0, 2, 1, 4},                        // over the left and bottom edges
      {3, -5, 10, 6, 3, 5, 0, 1},                        // over the top and right edges
      {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 0, 0},  // ends at -1
      {INT_MAX, 0, INT_MAX, 1, 0, 0, 0, 0},              // starts past the right edge
      {-1, -1, INT_MAX, INT_MAX, 0, 5, 0, 4},            // covers everything
      {0, 0, 0, 4, 0, 0, 0, 0},                          // zero width
      {0, 0, 5, INT_MIN, 0, 0, 0, 0},                    // negative height
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "Fill(" << c.x << "," << c.y << "," << c.w << "," << c.h << ")");
    Surface s(5, 4);
    Paint(s);
    s.Fill(c.x, c.y, c.w, c.h, kFill);
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 5; ++x) {
        const bool inside = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
        EXPECT_EQ(s.GetPixel(x, y), inside ? kFill : Pattern(x, y)) << "at " << x << "," << y;
      }
    }
  }
}

TEST(GdiSurface, ResizeKeepsTopLeftContentAndFillsExposedArea) {
  constexpr ColorRef kBack = 0x00FEDCBA;
  Surface s(3, 2);
  Paint(s);
  s.SetBackColor(kBack);

  s.Resize(5, 4);
  ASSERT_EQ(s.Width(), 5);
  ASSERT_EQ(s.Height(), 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(s.GetPixel(x, y), x < 3 && y < 2 ? Pattern(x, y) : kBack) << "at " << x << "," << y;
    }
  }

  // Narrower and taller at once: the right column goes, new rows appear.
  s.Resize(2, 6);
  ASSERT_EQ(s.Width(), 2);
  ASSERT_EQ(s.Height(), 6);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(s.GetPixel(x, y), y < 2 ? Pattern(x, y) : kBack) << "at " << x << "," << y;
    }
  }

  // Shrinking to nothing and growing again does not bring old content back.
  s.Resize(0, 0);
  EXPECT_TRUE(s.Empty());
  s.Resize(1, 1);
  EXPECT_EQ(s.GetPixel(0, 0), kBack);
  // Clear takes the current back colour.
  s.SetBackColor(0x00ABCDEF);
  s.Clear();
  EXPECT_EQ(s.GetPixel(0, 0), 0x00ABCDEFu);
}

TEST(GdiSurface, CopiesAreIndependentAndMovedFromIsEmpty) {
  Surface a(3, 2, 0x00102030);
  a.SetForeColor(0x00405060);
  Surface b = a;
  b.SetPixel(0, 0, kWhite);
  EXPECT_EQ(a.GetPixel(0, 0), 0x00102030u);

  Surface c(1, 1);
  c = std::move(b);
  EXPECT_EQ(c.Width(), 3);
  EXPECT_EQ(c.GetPixel(0, 0), kWhite);
  EXPECT_EQ(c.ForeColor(), 0x00405060u);
  EXPECT_TRUE(b.Empty());  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(b.GetPixel(0, 0), kInvalidColor);
  // A moved-from surface is usable again.
  b.Resize(2, 2);
  EXPECT_EQ(b.GetPixel(1, 1), b.BackColor());
}

}  // namespace
}  // namespace tsumugi::gdi
