// Wipe-pattern and cross-fade transitions of ".pic" and ".spr": the drawing
// steps, the frame series and the pacing on the engine's clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "common/text_codec.h"
#include "engine/graphics/transitions.h"
#include "platform/gdi/blend.h"
#include "unit/graphics_test_game.h"

namespace tsumugi::test {
namespace {

TEST(GraphicsTransitionSteps, PatternFramesAreTiledFromTheTopLeftAndCutToTheScreen) {
  TempDir dir;
  auto tile = [](int x, int y) { return static_cast<uint32_t>(x * 50 << 16 | y * 70 << 8 | 9); };
  WriteBitmap(dir / "small.bmp", 3, 2, tile);
  gdi::Surface pattern;
  std::string error;
  ASSERT_TRUE(LoadPatternFrame(dir / "small.bmp", pattern, &error)) << error;
  ASSERT_EQ(pattern.Width(), 640);
  ASSERT_EQ(pattern.Height(), 480);
  for (int y = 0; y < 480; y += 7) {
    for (int x = 0; x < 640; x += 11) ASSERT_EQ(pattern.PixelAt(x, y), tile(x % 3, y % 2));
  }
  EXPECT_EQ(pattern.PixelAt(639, 479), tile(639 % 3, 1));

  auto big = [](int x, int y) { return static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF)); };
  WriteBitmap(dir / "big.bmp", 700, 500, big);
  ASSERT_TRUE(LoadPatternFrame(dir / "big.bmp", pattern, &error));
  EXPECT_EQ(pattern.Width(), 640);
  EXPECT_EQ(pattern.PixelAt(639, 479), big(639, 479));

  WriteFile(dir / "broken.bmp", "BM not a picture");
  const gdi::Surface before = pattern;
  EXPECT_FALSE(LoadPatternFrame(dir / "broken.bmp", pattern, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(pattern.PixelAt(5, 5), before.PixelAt(5, 5));
}

TEST(GraphicsTransitionSteps, WipeFrameShowsTheSourceWherePatternIsBlack) {
  gdi::Surface dst(10, 10, 0x123456);
  gdi::Surface src(10, 10);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) src.Row(y)[x] = static_cast<uint32_t>(0xA00000 | x << 8 | y);
  }
  gdi::Surface pattern(10, 10);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) pattern.Row(y)[x] = (x + y) % 2 ? 0xFFFFFFu : 0u;
  }
  const gdi::Surface original_pattern = pattern;
  const uint32_t back = dst.PixelAt(0, 0);
  // Rectangle at (2, 2) of 6 x 10 taken from (1, 3); the source ends at row
  // 9, so only rows 2 to 8 of the destination have a source.
  WipeFrame(dst, {{2, 2, 6, 10}, 1, 3}, src, pattern);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 8 && y >= 2 && y < 9;
      const bool black = original_pattern.PixelAt(x, y) == 0;
      ASSERT_EQ(dst.PixelAt(x, y), inside && black ? src.PixelAt(x - 1, y + 1) : back)
          << x << "," << y;
    }
  }
}

// Two decimal digits, as effect words write levels and counts.
std::u16string FrameDigits(int n) {
  return std::u16string{static_cast<char16_t>(u'0' + n / 10), static_cast<char16_t>(u'0' + n % 10)};
}

uint32_t MixPixel(uint32_t source, uint32_t destination, float level) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    out |= uint32_t{gdi::MixByte(static_cast<uint8_t>(source >> shift),
                                 static_cast<uint8_t>(destination >> shift), level)}
           << shift;
  }
  return out;
}

TEST(GraphicsCrossFadeEffect, WordsGiveLevelsAndFrameCounts) {
  struct Case {
    const char16_t* word;
    float start, end;
    int count;
  };
  // (The frame counts of the usual words are checked on the clock below.)
  for (const Case& c : {Case{u"0099", 0.0f, 9.9f, 100}, Case{u"0010200", 0.0f, 1.0f, 20},
                        Case{u"001000", 0.0f, 1.0f, 0}}) {
    const std::optional<CrossFade> fade = ParseCrossFade(c.word);
    ASSERT_TRUE(fade.has_value()) << Utf16ToUtf8(c.word);
    EXPECT_EQ(fade->start, c.start) << Utf16ToUtf8(c.word);
    EXPECT_EQ(fade->end, c.end) << Utf16ToUtf8(c.word);
    EXPECT_EQ(fade->count, c.count) << Utf16ToUtf8(c.word);
  }
  for (const char16_t* bad : {u"-010", u"+010", u" 010", u"０010", u"001", u""}) {
    EXPECT_FALSE(ParseCrossFade(bad).has_value()) << Utf16ToUtf8(bad);
  }

  // The first frame is at the start level, the last exactly at the end
  // level, even where the computed value would step past it.
  const CrossFade up{0.2f, 1.0f, 14};
  EXPECT_EQ(CrossFadeLevel(up, 0), 0.2f);
  EXPECT_EQ(CrossFadeLevel(up, 13), 1.0f);
  const CrossFade down{0.1f, 0.0f, 14};
  EXPECT_EQ(CrossFadeLevel(down, 13), 0.0f);
  for (int i = 1; i < 13; ++i) {
    EXPECT_LT(CrossFadeLevel(up, i - 1), CrossFadeLevel(up, i));
    EXPECT_GT(CrossFadeLevel(down, i - 1), CrossFadeLevel(down, i));
  }
  EXPECT_EQ(CrossFadeLevel(CrossFade{0.3f, 0.7f, 1}, 0), 0.3f);
  const float middle = CrossFadeLevel(CrossFade{0.0f, 1.0f, 11}, 5);
  EXPECT_EQ(middle, 0.5f);
}

// The mix as the formula reads, written plainly: source x level +
// destination x (1 - level), the factor in single precision, the sum in
// double precision, rounded to the nearest integer with halves to even.
uint8_t Formula(uint8_t source, uint8_t destination, float level) {
  const float k = 1.0f - level;
  const double sum = static_cast<double>(source) * static_cast<double>(level) +
                     static_cast<double>(destination) * static_cast<double>(k);
  return static_cast<uint8_t>(std::nearbyint(sum));
}

TEST(GraphicsCrossFadeEffect, EveryLevelAnEffectWordGivesMixesExactlyAsTheFormula) {
  // Every drawable level of every effect word "SSEE" and "SSEEFF": a level
  // is drawable only from 0 to 1, so words whose both levels are above 1.0
  // give none.
  std::vector<uint32_t> levels;
  for (int a = 0; a <= 99; ++a) {
    for (int b = 0; b <= 99; ++b) {
      if (a > 10 && b > 10) continue;
      const std::u16string pair = FrameDigits(a) + FrameDigits(b);
      for (int count = 0; count <= 99; ++count) {
        const std::optional<CrossFade> fade =
            ParseCrossFade(count == 0 ? pair : pair + FrameDigits(count));
        ASSERT_TRUE(fade.has_value());
        for (int i = 0; i < fade->count; ++i) {
          const float level = CrossFadeLevel(*fade, i);
          if (gdi::IsDrawableLevel(level)) levels.push_back(std::bit_cast<uint32_t>(level));
        }
      }
    }
  }
  std::sort(levels.begin(), levels.end());
  levels.erase(std::unique(levels.begin(), levels.end()), levels.end());
  ASSERT_GT(levels.size(), 100000u);

  // Random bytes; each level mixes its own stretch of them (an odd length,
  // so the vector kernel also runs its tail).
  constexpr size_t kStretch = 67;
  std::mt19937 random(5);
  std::vector<uint8_t> source(1 << 16), destination(1 << 16), out(kStretch);
  for (size_t i = 0; i < source.size(); ++i) {
    source[i] = static_cast<uint8_t>(random());
    destination[i] = static_cast<uint8_t>(random());
  }
  for (gdi::MixKernel kernel : {gdi::MixKernel::kPortable, gdi::MixKernel::kAvx2}) {
    if (!gdi::MixKernelAvailable(kernel)) continue;
    for (size_t n = 0; n < levels.size(); ++n) {
      const float level = std::bit_cast<float>(levels[n]);
      const size_t at = (n * 977) % (source.size() - kStretch);
      gdi::MixBytes(source.data() + at, destination.data() + at, out.data(), kStretch, level,
                    kernel);
      for (size_t i = 0; i < kStretch; ++i) {
        ASSERT_EQ(out[i], Formula(source[at + i], destination[at + i], level))
            << "kernel " << static_cast<int>(kernel) << " level " << std::hexfloat << level;
      }
    }
  }
}

TEST(GraphicsWipe, TheSeriesRunsUpToTheFirstMissingFrame) {
  GraphicsGame g;
  for (int i = 0; i < 16; ++i)
    g.Picture("pat2" + std::string(i < 10 ? "0" : "") + std::to_string(i), 4, 4, 0);
  g.Picture("bg", 8, 8, 0xFFFFFF);
  g.Start();
  // The hold per frame is the wait for both commands.
  EXPECT_EQ(g.Duration(".pic bg 2 30"), 16u * 30u);
  EXPECT_EQ(g.Duration(".spr bg 2 30"), 16u * 30u);
  g.Remove("pat207.bmp");
  EXPECT_EQ(g.Duration(".pic bg 2 30"), 7u * 30u);

  // A series of a hundred frames runs them all; frame 100 would be
  // "pat3100".
  for (int i = 0; i < 100; ++i) {
    g.Picture("pat3" + std::string(i < 10 ? "0" : "") + std::to_string(i), 1, 1, 0);
  }
  EXPECT_EQ(g.Duration(".pic bg 3 1"), 100u);
  EXPECT_EQ(g.Screen(7, 7), 0xFFFFFFu);

  // Names of up to three characters are wipes.
  g.Picture("patabc00", 1, 1, 0);
  g.Picture("patabc01", 1, 1, 0);
  EXPECT_EQ(g.Duration(".pic off1 bg abc 10 20 0"), 2u * 10u);
  EXPECT_EQ(g.Page(1, 27, 7), 0xFFFFFFu);
}

TEST(GraphicsWipe, EveryFrameHasTheExtensionOfTheFirst) {
  GraphicsGame g;
  // Files are read by their content, so bitmaps stand in for JPEG files.
  const std::filesystem::path data = g.fixture().game() / "data";
  for (int i = 0; i < 3; ++i) WriteBitmap(data / ("pat50" + std::to_string(i) + ".jpg"), 4, 4, 0);
  g.Picture("pat600", 4, 4, 0);
  WriteBitmap(data / "pat601.jpg", 4, 4, 0);
  g.Picture("bg", 8, 8, 0xFFFFFF);
  g.Start();
  // A series of JPEG files runs all its frames.
  EXPECT_EQ(g.Duration(".pic bg 5 10"), 3u * 10u);
  EXPECT_EQ(g.Screen(7, 7), 0xFFFFFFu);
  // A series that starts with a bitmap ends where the bitmaps end.
  EXPECT_EQ(g.Duration(".pic bg 6 10"), 10u);
}

TEST(GraphicsWipe, PatternsLaidOutInScreenCoordinatesAndTiled) {
  GraphicsGame g;
  // Black where x + y is even: those pixels take the picture.
  g.Picture("pat900", 2, 2, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; });
  g.Picture("red", 100, 100, 0xFF0000);
  g.Start();
  g.Run(".pic red 9 0 301 203");
  for (int y = 200; y < 310; ++y) {
    for (int x = 298; x < 405; ++x) {
      const bool in = x >= 301 && x < 401 && y >= 203 && y < 303;
      ASSERT_EQ(g.Screen(x, y), in && (x + y) % 2 == 0 ? 0xFF0000u : 0u) << x << "," << y;
    }
  }
}

TEST(GraphicsWipe, AWipeOfASurfaceOntoItselfReadsAnUndisturbedSource) {
  GraphicsGame g;
  g.Picture("pat900", 5, 5, 0);  // all black: the whole source
  g.Picture("pat800", 2, 1, [](int x, int) { return x == 0 ? 0u : 0xFFFFFFu; });
  g.Picture("bg", 640, 480, [](int x, int y) { return static_cast<uint32_t>(x << 12 | y); });
  g.Start();
  g.Run(".pic bg");
  const gdi::Surface before = g.ScreenSurface();
  // The rectangle overlaps its source: (0..199) goes to (100..299).
  g.Run(".pic screen screen 9 0 100 10 200 50 0 10");
  for (int y = 10; y < 60; ++y) {
    for (int x = 0; x < 320; ++x) {
      const uint32_t expected =
          x >= 100 && x < 300 ? before.PixelAt(x - 100, y) : before.PixelAt(x, y);
      ASSERT_EQ(g.Screen(x, y), expected) << x << "," << y;
    }
  }
  // The same through a page.
  g.Run(".pic off1 bg");
  g.Run(".pic off1 off1 8 0 1 0 300 1 0 0");
  for (int x = 0; x < 302; ++x) {
    // Black pattern pixels lie on even columns.
    const bool moved = x >= 1 && x <= 300 && x % 2 == 0;
    const uint32_t expected = moved ? before.PixelAt(x - 1, 0) : before.PixelAt(x, 0);
    ASSERT_EQ(g.Page(1, x, 0), expected) << x;
  }
  // The same page written with two different words is still one surface:
  // an all-black wipe over a rectangle overlapping its own source moves the
  // source as it was, not as the wipe's first step left it.
  g.Run(".pic off1 bg");
  g.Run(".pic off1 off01 9 0 100 0 200 1 0 0");
  for (int x = 0; x < 320; ++x) {
    const uint32_t expected =
        x >= 100 && x < 300 ? before.PixelAt(x - 100, 0) : before.PixelAt(x, 0);
    ASSERT_EQ(g.Page(1, x, 0), expected) << x;
  }
}

TEST(GraphicsCrossFade, FrameCountsAndHoldsOnTheEngineClock) {
  GraphicsGame g;
  g.Picture("bg", 8, 8, 0xFFFFFF);
  g.Start();
  // Twenty frames from 0.0 to 1.0 with wait 30: ".pic" holds each frame for
  // wait x count, ".spr" for wait.
  EXPECT_EQ(g.Duration(".pic bg 001020 30"), 20u * 600u);
  EXPECT_EQ(g.Duration(".spr bg 001020 30"), 20u * 30u);
  // Four digits: |end - start| x 10 + 1 frames.
  EXPECT_EQ(g.Duration(".spr bg 0010 10"), 11u * 10u);
  EXPECT_EQ(g.Duration(".spr bg 0510 10"), 6u * 10u);
  EXPECT_EQ(g.Duration(".spr bg 1000 10"), 11u * 10u);
  // 0.7 - 0.4 in single precision is just below 0.3: the count is rounded,
  // not cut, to 4 frames.
  EXPECT_EQ(g.Duration(".spr bg 0407 10"), 4u * 10u);
  EXPECT_EQ(g.Duration(".pic bg 1010 100"), 100u);
  // A five-character effect takes the frame count from its fifth one.
  EXPECT_EQ(g.Duration(".spr bg 00103 10"), 3u * 10u);
  // Levels past 1.0 draw nothing but are paced.
  EXPECT_EQ(g.Duration(".pic bg 0099 1"), 100u * 100u);
  EXPECT_EQ(g.Duration(".spr bg 009999 1"), 99u);
  EXPECT_EQ(g.Duration(".spr bg 9999 1"), 1u);
  // A negative wait holds nothing.
  EXPECT_EQ(g.Duration(".pic bg 0010 -5"), 0u);
}

TEST(GraphicsCrossFade, TheLastFrameIsAtTheEndLevelAndOneFrameAtItsLevel) {
  GraphicsGame g;
  g.Picture("grey", 8, 8, 0xC86432);
  g.Start();
  g.Run(".pic grey 0005 0 10 10");
  EXPECT_EQ(g.Screen(10, 10), MixPixel(0xC86432, 0, 0.5f));
  EXPECT_EQ(g.Screen(10, 10), 0x643219u);
  g.Run(".pic grey 1010 0 20 10");
  EXPECT_EQ(g.Screen(20, 10), 0xC86432u);
  g.Run(".pic grey 0303 0 30 10");
  EXPECT_EQ(g.Screen(30, 10), MixPixel(0xC86432, 0, 0.3f));
  EXPECT_EQ(g.Screen(38, 10), 0u);
  // A fade back to the destination leaves it as it was.
  g.Run(".pic grey 1000 0 10 10");
  EXPECT_EQ(g.Screen(10, 10), 0x643219u);
  // Computed, the last level of 0.1 to 0.0 over 14 frames falls just below
  // zero; the fade still ends on the destination.
  g.Run(".pic grey 0 0 40 10");
  g.Run(".pic off1 010014 0 40 10 8 8 40 10");
  EXPECT_EQ(g.Screen(40, 10), 0xC86432u);
  // And a fade from 0.2 to 1.0 over 14 frames, whose computed last level
  // is just above one, still ends on the source.
  g.Run(".pic grey 021014 0 50 10");
  EXPECT_EQ(g.Screen(50, 10), 0xC86432u);
}

TEST(GraphicsCrossFade, EscapeDuringAFadeEndsTheEngineAndFreesTheBuffers) {
  EngineFixture f({{"data/start.txt", "\n"}}, "wait 250\nkey Escape\n");
  WriteBitmap(f.game() / "data" / "bg.bmp", 8, 8, 0xFFFFFF);
  f.StartWithoutRunning();
  try {
    f.Execute(".pic bg 0010 100");
    ADD_FAILURE() << "the fade ran to its end";
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kNormal);
  }
  // Frames are held 1100 ms; events run after each frame.
  EXPECT_EQ(f.host().Now(), 1100u);
  EXPECT_FALSE(f.engine().graphics.Blend().Active());
}

TEST(GraphicsRefresh, EveryFrameDrawnOnTheScreenIsShownAndDrawingOnPagesIsNot) {
  GraphicsGame g;
  g.Picture("bg", 8, 8, 0xFFFFFF);
  g.Picture("chara", 4, 4, [](int x, int y) { return x == y ? 0xFF00FFu : 0x00C000u; });
  for (int i = 0; i < 3; ++i) g.Picture("pat40" + std::to_string(i), 2, 2, 0);
  g.Start();
  const headless::HeadlessHost& host = g.fixture().host();
  struct Case {
    const char* line;
    int refreshes;
  };
  for (const Case& c :
       {Case{".pic bg", 1}, Case{".spr chara", 1}, Case{".pic screen bg 4", 3},
        Case{".spr chara 4", 3}, Case{".pic bg 0010", 11}, Case{".spr chara 001005", 5},
        Case{".pic off1 bg", 0}, Case{".spr off1 chara", 0}, Case{".pic off1 bg 4", 0},
        Case{".spr off2 chara 0010", 0}, Case{".bsc red", 1}}) {
    const int before = host.RefreshCount();
    g.Run(c.line);
    EXPECT_EQ(host.RefreshCount() - before, c.refreshes) << c.line;
  }
}

TEST(GraphicsPacing, APictureAtOnceHoldsFromTheStartOfTheCommand) {
  GraphicsGame g;
  g.Picture("bg", 8, 8, 0xFFFFFF);
  g.Start();
  EXPECT_EQ(g.Duration(".pic bg 0 500"), 500u);
  EXPECT_EQ(g.Duration(".spr bg 0 500"), 500u);
  EXPECT_EQ(g.Duration(".pic bg"), 0u);
  // The hold is signed: a huge wait times a frame count is not wrapped
  // into a short or negative one.
  EXPECT_EQ(g.Duration(".pic bg 0010 2147483647 0 0 0 0"), uint64_t{11} * 2147483647u);
}

}  // namespace
}  // namespace tsumugi::test
