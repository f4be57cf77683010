#include <gtest/gtest.h>

#include <climits>

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

}  // namespace
}  // namespace tsumugi::gdi
