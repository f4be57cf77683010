// Wipe-pattern and cross-fade transitions of ".pic" and ".spr": the drawing
// steps and the levels of the frames (the frame series and their pacing on
// the engine's clock are played by the scenarios).
#include <gtest/gtest.h>

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
  // (The frame counts of the usual words are played on the clock by the
  // scenarios.)
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

}  // namespace
}  // namespace tsumugi::test
