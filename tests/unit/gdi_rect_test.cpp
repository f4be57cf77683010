#include <gtest/gtest.h>

#include <climits>

#include "platform/gdi/rect.h"

namespace tsumugi::gdi {
namespace {

struct IntersectCase {
  const char* name;
  Rect a, b, expected;
};

constexpr IntersectCase kIntersectCases[] = {
    {"inside", {1, 2, 3, 4}, {0, 0, 10, 10}, {1, 2, 3, 4}},
    {"negative origin", {-5, -3, 8, 8}, {0, 0, 10, 10}, {0, 0, 3, 5}},
    {"offset bounds", {0, 0, 10, 10}, {4, -2, 3, 5}, {4, 0, 3, 3}},
    {"edges touching", {0, 0, 4, 4}, {4, 0, 4, 4}, {}},
    {"zero width", {1, 1, 0, 5}, {0, 0, 10, 10}, {}},
    {"negative height", {1, 1, 5, -5}, {0, 0, 10, 10}, {}},
    {"empty bounds", {0, 0, 5, 5}, {2, 2, 0, 0}, {}},
    {"INT_MAX size from INT_MIN ends at -1", {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {-2, -2, 5, 5},
     {-2, -2, 1, 1}},
    {"INT_MAX size from -1", {-1, -1, INT_MAX, INT_MAX}, {0, 0, 640, 480}, {0, 0, 640, 480}},
    {"INT_MAX origin and size", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, {0, 0, INT_MAX, INT_MAX}, {}},
    {"last int pixel",
     {INT_MAX - 1, 0, INT_MAX, 1},
     {0, 0, INT_MAX, INT_MAX},
     {INT_MAX - 1, 0, 1, 1}},
};

TEST(GdiRect, IntersectionsAndCopiesStayInsideWithoutOverflow) {
  for (const IntersectCase& c : kIntersectCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a.Intersect(c.b), c.expected);
    EXPECT_EQ(c.b.Intersect(c.a), c.expected);
    // A copy within one rectangle onto another clips to their common part.
    Blit blit{c.a, c.a.x, c.a.y};
    const bool left = ClipBlit(blit, c.b, c.a);
    EXPECT_EQ(left, !c.expected.Empty());
    if (left) {
      EXPECT_EQ(blit, (Blit{c.expected, c.expected.x, c.expected.y}));
    }
  }
  // Edges beyond int, as a pen far along a line gives them.
  EXPECT_EQ(ClipEdges(int64_t{INT_MAX} + 5, 0, int64_t{INT_MAX} + 9, 5, {0, 0, 10, 10}), Rect{});
  EXPECT_EQ(ClipEdges(int64_t{INT_MIN} - 5, 2, 3, 4, {0, 0, 10, 10}), (Rect{0, 2, 3, 2}));
  EXPECT_EQ((Rect{INT_MAX - 1, INT_MIN + 1, 2, 2}.Offset(5, -5)), (Rect{INT_MAX, INT_MIN, 2, 2}));
  EXPECT_TRUE((Rect{-2, -2, 3, 3}.Contains(0, 0)));
  EXPECT_FALSE((Rect{INT_MAX, 0, INT_MAX, 1}.Contains(INT_MIN, 0)));
}

}  // namespace
}  // namespace tsumugi::gdi
