// Cross-fade blending: the exact arithmetic of every kernel, the padded
// buffers, and what a frame draws.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/gdi/blend.h"
#include "platform/gdi/surface.h"

namespace tsumugi::gdi {
namespace {

// The formula as it reads: source x level + destination x (1 - level), the
// factor in single precision, the sum in double precision, rounded to the
// nearest integer with halves to even.
uint8_t Formula(uint8_t source, uint8_t destination, float level) {
  const float k = 1.0f - level;
  const double sum = static_cast<double>(source) * static_cast<double>(level) +
                     static_cast<double>(destination) * static_cast<double>(k);
  return static_cast<uint8_t>(std::nearbyint(sum));
}

std::vector<MixKernel> AvailableKernels() {
  std::vector<MixKernel> kernels;
  for (MixKernel k : {MixKernel::kPortable, MixKernel::kAvx2}) {
    if (MixKernelAvailable(k)) kernels.push_back(k);
  }
  return kernels;
}

// Levels where the arithmetic changes character: tiny and subnormal levels,
// powers of two and their neighbours, both sides of one half and of one.
std::vector<float> EdgeLevels() {
  std::vector<float> levels = {0.0f, 1.0f, std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::min()};
  for (int e = -30; e <= 0; ++e) {
    const float p = std::ldexp(1.0f, e);
    levels.push_back(p);
    levels.push_back(std::nextafter(p, 0.0f));
    if (e < 0) levels.push_back(std::nextafter(p, 2.0f));
  }
  levels.push_back(0x1.8p-25f);
  levels.push_back(0x1.000002p-2f);
  return levels;
}

TEST(GdiBlendArithmetic, EveryKernelEqualsTheFormulaForAllBytePairs) {
  // All 65536 source and destination pairs at every level of interest.
  std::vector<uint8_t> source(65536), destination(65536), out(65536);
  for (int i = 0; i < 65536; ++i) {
    source[i] = static_cast<uint8_t>(i >> 8);
    destination[i] = static_cast<uint8_t>(i);
  }
  std::vector<float> levels = EdgeLevels();
  for (int k = 0; k <= 20; ++k) levels.push_back(static_cast<float>(k) / 20.0f);
  for (int k = 0; k <= 10; ++k) levels.push_back(static_cast<float>(k) / 10.0f);
  std::mt19937 random(11);
  std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
  for (int i = 0; i < 40; ++i) levels.push_back(uniform(random));

  for (MixKernel kernel : AvailableKernels()) {
    for (float level : levels) {
      MixBytes(source.data(), destination.data(), out.data(), out.size(), level, kernel);
      int wrong = 0;
      for (int i = 0; i < 65536; ++i) {
        const uint8_t expected = Formula(source[i], destination[i], level);
        if (out[i] != expected && ++wrong <= 3) {
          ADD_FAILURE() << "kernel " << static_cast<int>(kernel) << " level " << std::hexfloat
                        << level << std::defaultfloat << " source " << int{source[i]}
                        << " destination " << int{destination[i]} << ": " << int{out[i]}
                        << " instead of " << int{expected};
        }
      }
      ASSERT_EQ(wrong, 0);
      EXPECT_EQ(MixByte(source[12345], destination[12345], level),
                Formula(source[12345], destination[12345], level));
    }
  }
}

TEST(GdiBlendArithmetic, HalvesGoToTheEvenNeighbour) {
  // 255 x 0.5 = 127.5 gives 128; 1 x 0.5 = 0.5 gives 0; 3 x 0.5 gives 2.
  for (MixKernel kernel : AvailableKernels()) {
    const uint8_t source[3] = {255, 1, 3};
    const uint8_t destination[3] = {0, 0, 0};
    uint8_t out[3] = {};
    MixBytes(source, destination, out, 3, 0.5f, kernel);
    EXPECT_EQ(out[0], 128);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 2);
  }
}

// Surfaces of random colours.
Surface Noise(int w, int h, uint32_t seed) {
  Surface s(w, h);
  std::mt19937 random(seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s.Row(y)[x] = random() & 0x00FFFFFFu;
  }
  return s;
}

uint32_t MixPixel(uint32_t source, uint32_t destination, float level) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    out |= uint32_t{Formula(static_cast<uint8_t>(source >> shift),
                            static_cast<uint8_t>(destination >> shift), level)}
           << shift;
  }
  return out;
}

TEST(GdiBlendFrames, FramesOfRandomPicturesEqualTheFormulaAtTenthsAndTwentieths) {
  // A width that is not a multiple of four and a rectangle inside larger
  // surfaces, with both kernels.
  const Surface start = Noise(50, 40, 1);
  const Surface source = Noise(60, 30, 2);
  const int x = 3, y = 5, sx = 7, sy = 2, w = 37, h = 21;
  for (MixKernel kernel : AvailableKernels()) {
    std::vector<float> levels;
    for (int k = 0; k <= 10; ++k) levels.push_back(static_cast<float>(k) / 10.0f);
    for (int k = 0; k <= 20; ++k) levels.push_back(static_cast<float>(k) / 20.0f);
    Surface screen = start;
    BlendBuffers blend(kernel);
    ASSERT_TRUE(blend.Begin(screen, x, y, source, sx, sy, w, h));
    EXPECT_EQ(blend.PaddedWidth(), 40);
    for (float level : levels) {
      ASSERT_TRUE(blend.Step(screen, x, y, level));
      for (int j = 0; j < start.Height(); ++j) {
        for (int i = 0; i < start.Width(); ++i) {
          const bool inside = i >= x && i < x + w && j >= y && j < y + h;
          const uint32_t expected =
              inside ? MixPixel(source.PixelAt(sx + i - x, sy + j - y), start.PixelAt(i, j), level)
                     : start.PixelAt(i, j);
          ASSERT_EQ(screen.PixelAt(i, j), expected)
              << "kernel " << static_cast<int>(kernel) << " level " << level << " at " << i << ","
              << j;
        }
      }
    }
  }
}

TEST(GdiBlendFrames, HalfOfWhiteOverBlackIs128AndTheEndsAreTheCaptures) {
  Surface screen(8, 4, kBlack);
  const Surface white(8, 4, kWhite);
  BlendBuffers blend;
  ASSERT_TRUE(blend.Begin(screen, 0, 0, white, 0, 0, 8, 4));
  ASSERT_TRUE(blend.Step(screen, 0, 0, 0.5f));
  for (uint8_t b : blend.MixedBytes()) ASSERT_EQ(b, 128);
  EXPECT_EQ(screen.GetPixel(7, 3), 0x808080u);
  // Frames mix the captures, not what earlier frames drew.
  ASSERT_TRUE(blend.Step(screen, 0, 0, 0.0f));
  EXPECT_EQ(screen.GetPixel(3, 2), kBlack);
  ASSERT_TRUE(blend.Step(screen, 0, 0, 1.0f));
  EXPECT_EQ(screen.GetPixel(3, 2), kWhite);
}

TEST(GdiBlendFrames, WidthOnePadsToFourAndDrawsOneColumn) {
  Surface screen(6, 3, kBlack);
  const Surface white(6, 3, kWhite);
  BlendBuffers blend;
  ASSERT_TRUE(blend.Begin(screen, 2, 0, white, 0, 0, 1, 3));
  EXPECT_EQ(blend.Width(), 1);
  EXPECT_EQ(blend.PaddedWidth(), 4);
  EXPECT_EQ(blend.MixedBytes().size(), 4u * 3u * 3u);
  ASSERT_TRUE(blend.Step(screen, 2, 0, 1.0f));
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(screen.GetPixel(x, y), x == 2 ? kWhite : kBlack) << x << "," << y;
    }
  }
}

TEST(GdiBlendFrames, LevelsOutsideZeroToOneDrawNothing) {
  const Surface start = Noise(10, 10, 3);
  const Surface source = Noise(10, 10, 4);
  Surface screen = start;
  BlendBuffers blend;
  ASSERT_TRUE(blend.Begin(screen, 0, 0, source, 0, 0, 10, 10));
  for (float level :
       {1.5f, -0.1f, std::nextafter(1.0f, 2.0f), -std::numeric_limits<float>::denorm_min(),
        std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
    EXPECT_FALSE(blend.Step(screen, 0, 0, level)) << level;
  }
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(screen.PixelAt(x, y), start.PixelAt(x, y));
  }
}

TEST(GdiBlendFrames, RectanglesReachingPastTheSurfacesAreClipped) {
  const Surface start = Noise(20, 20, 5);
  const Surface source = Noise(8, 8, 6);
  Surface screen = start;
  BlendBuffers blend;
  // The source rectangle starts left of and above its surface and ends past
  // it; the destination rectangle hangs over the right and bottom edges.
  ASSERT_TRUE(blend.Begin(screen, 14, 12, source, -2, -1, 12, 12));
  ASSERT_TRUE(blend.Step(screen, 14, 12, 1.0f));
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      const int u = x - 14 - 2, v = y - 12 - 1;  // the source pixel under (x, y)
      const bool from_source = x >= 14 && y >= 12 && u >= 0 && u < 8 && v >= 0 && v < 8;
      // Where the source has no pixel, the destination stays as it was.
      ASSERT_EQ(screen.PixelAt(x, y), from_source ? source.PixelAt(u, v) : start.PixelAt(x, y))
          << x << "," << y;
    }
  }
  // Drawn far off the surface: nothing happens, nothing breaks.
  EXPECT_TRUE(blend.Step(screen, std::numeric_limits<int>::max(), -5, 1.0f));
  EXPECT_TRUE(
      blend.Step(screen, std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), 1.0f));
}

TEST(GdiBlendLifecycle, EmptySizesAreRefusedAndEndIsHarmless) {
  Surface screen(4, 4, kBlack);
  const Surface white(4, 4, kWhite);
  BlendBuffers blend;
  blend.End();
  EXPECT_FALSE(blend.Active());
  for (auto [w, h] : {std::pair{0, 4},
                      {4, 0},
                      {-3, 4},
                      {4, -1},
                      {Surface::kMaxDimension + 1, 1},
                      {std::numeric_limits<int>::min(), 2}}) {
    EXPECT_FALSE(blend.Begin(screen, 0, 0, white, 0, 0, w, h)) << w << "x" << h;
    EXPECT_TRUE(blend.Active());
    EXPECT_FALSE(blend.Step(screen, 0, 0, 1.0f));
    EXPECT_EQ(screen.GetPixel(0, 0), kBlack);
  }
  ASSERT_TRUE(blend.Begin(screen, 0, 0, white, 0, 0, 4, 4));
  blend.End();
  blend.End();
  EXPECT_FALSE(blend.Active());
  EXPECT_TRUE(blend.MixedBytes().empty());
  EXPECT_FALSE(blend.Step(screen, 0, 0, 1.0f));
  EXPECT_EQ(screen.GetPixel(0, 0), kBlack);
}

}  // namespace
}  // namespace tsumugi::gdi
