// ".pic" and ".spr" drawing at once: the argument rules, the picture cache,
// sprites over backgrounds, the reports of bad arguments, and bad input.
#include <gtest/gtest.h>

#include <climits>

#include "unit/graphics_test_game.h"

namespace tsumugi::test {
namespace {

constexpr uint32_t kKey = 0xFF00FF;

// A 8 x 6 picture whose every pixel has its own colour.
uint32_t Gradient(int x, int y) {
  return 0x102030u + static_cast<uint32_t>(x) * 0x110000u + static_cast<uint32_t>(y) * 0x001100u;
}

// A 4 x 4 sprite: key colour (top-left) on the diagonal and in the last row.
uint32_t Chara(int x, int y) {
  if (x == y || y == 3) return kKey;
  return 0x00C000u + static_cast<uint32_t>(x * 4 + y);
}

TEST(GraphicsPictureArguments, DestinationMayBeLeftOutAndTheSizeDefaultsToThePicture) {
  GraphicsGame g(".int zero\n");
  g.Picture("bg", 8, 6, Gradient);
  g.Start();

  g.Run(".pic bg");
  EXPECT_EQ(g.Screen(0, 0), Gradient(0, 0));
  EXPECT_EQ(g.Screen(7, 5), Gradient(7, 5));
  EXPECT_EQ(g.Screen(8, 5), 0u);
  EXPECT_EQ(g.Screen(7, 6), 0u);

  // A numeric second word (also after substitution) is the effect.
  g.Run(".pic bg 0 0 20 30");
  EXPECT_EQ(g.Screen(20, 30), Gradient(0, 0));
  g.Run(".pic bg [zero] 0 40 30");
  EXPECT_EQ(g.Screen(47, 35), Gradient(7, 5));

  // Into a page: the screen is not touched.
  g.Run(".pic off1 bg 0 0 100 50");
  EXPECT_EQ(g.Page(1, 100, 50), Gradient(0, 0));
  EXPECT_EQ(g.Screen(100, 50), 0u);
  // A lone page word is the source; the whole page comes to the screen.
  g.Run(".pic off1");
  EXPECT_EQ(g.Screen(107, 55), Gradient(7, 5));
  EXPECT_EQ(g.Screen(0, 0), 0u);

  // A width without a height draws nothing (the height is 0).
  g.Run(".pic bg 0 0 200 200 5");
  EXPECT_EQ(g.Screen(200, 200), 0u);
  // A part of the picture: 2 x 3 pixels from (4, 1).
  g.Run(".pic bg 0 0 300 300 2 3 4 1");
  EXPECT_EQ(g.Screen(300, 300), Gradient(4, 1));
  EXPECT_EQ(g.Screen(301, 302), Gradient(5, 3));
  EXPECT_EQ(g.Screen(302, 300), 0u);
  EXPECT_EQ(g.Screen(300, 303), 0u);

  // Surfaces as sources take 640 x 480 by default.
  g.Run(".pic off2 screen");
  EXPECT_EQ(g.Page(2, 301, 302), Gradient(5, 3));
  EXPECT_EQ(g.Page(2, 639, 479), 0u);
}

TEST(GraphicsPictureCache, SpriteAndOpaqueUsesReloadWhenTheStateDiffers) {
  GraphicsGame g;
  g.Picture("chara", 4, 4, Chara);
  g.Picture("bg", 8, 6, Gradient);
  g.Start();
  Graphics& graphics = g.engine().graphics;

  g.Run(".pic bg");
  g.Run(".spr chara 0 0 1 1");
  EXPECT_EQ(graphics.CharaPictureName, u"chara");
  EXPECT_TRUE(graphics.CharaPictureMasked);
  // The key colour shows the background, the other pixels the sprite.
  EXPECT_EQ(g.Screen(1, 1), Gradient(1, 1));
  EXPECT_EQ(g.Screen(2, 1), Chara(1, 0));

  // ".pic" of the picture ".spr" prepared shows its true key colour.
  g.Run(".pic chara 0 0 50 50");
  EXPECT_FALSE(graphics.CharaPictureMasked);
  EXPECT_EQ(g.Screen(50, 50), kKey);
  EXPECT_EQ(g.Screen(51, 53), kKey);
  EXPECT_EQ(g.Screen(51, 50), Chara(1, 0));

  // A cached picture is not read again; a change of state reads it.
  g.Remove("chara.bmp");
  g.Run(".pic chara 0 0 60 60");
  EXPECT_EQ(g.Screen(60, 60), kKey);
  EXPECT_NE(g.Error(".spr chara"), "");
}

TEST(GraphicsPictureCache, SpriteFromASurfaceIsCachedUnderItsWord) {
  GraphicsGame g;
  g.Picture("chara", 4, 4, Chara);
  g.Picture("bg", 8, 6, Gradient);
  g.Start();
  g.Run(".pic off1 chara 0 0 10 10");
  g.Run(".pic bg");
  // The region from (10, 10) of page 1: its top-left pixel is the key.
  g.Run(".spr screen off1 0 0 2 0 4 4 10 10");
  EXPECT_EQ(g.engine().graphics.CharaPictureName, u"off1");
  EXPECT_TRUE(g.engine().graphics.CharaPictureMasked);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(g.Screen(2 + x, y), Chara(x, y) == kKey ? Gradient(2 + x, y) : Chara(x, y))
          << x << "," << y;
    }
  }
  // The next picture source with any name is read from its file.
  g.Run(".pic chara 0 0 20 20");
  EXPECT_EQ(g.Screen(20, 20), kKey);
}

TEST(GraphicsSprite, KeyColourShowsTheBackgroundExactlyAndOtherPixelsTheSprite) {
  GraphicsGame g;
  g.Picture("back", 64, 64,
            [](int x, int y) { return static_cast<uint32_t>(x * 4 << 16 | y * 4 << 8 | (x ^ y)); });
  g.Picture("chara", 4, 4, Chara);
  g.Start();
  g.Run(".pic back");
  const gdi::Surface before = g.ScreenSurface();
  g.Run(".spr chara 0 0 30 20");
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool in = x >= 30 && x < 34 && y >= 20 && y < 24;
      const uint32_t expected =
          in && Chara(x - 30, y - 20) != kKey ? Chara(x - 30, y - 20) : before.PixelAt(x, y);
      ASSERT_EQ(g.Screen(x, y), expected) << x << "," << y;
    }
  }
}

TEST(GraphicsSprite, APartOfASpriteSheetShowsThroughTheMaskOfThatPart) {
  // Two cells side by side; the right one has the key colour on its other
  // diagonal.
  auto sheet = [](int x, int y) {
    if (x < 4) return Chara(x, y);
    x -= 4;
    return x + y == 3 ? kKey : 0x0000C0u + static_cast<uint32_t>(x * 4 + y);
  };
  GraphicsGame g;
  g.Picture("back", 64, 64, [](int x, int y) { return static_cast<uint32_t>(x << 16 | y << 8); });
  g.Picture("sheet", 8, 4, sheet);
  g.Start();
  for (const char* line : {".spr sheet 0 0 30 20 4 4 4 0", ".spr sheet 0010 0 30 20 4 4 4 0"}) {
    g.Run(".pic back");
    const gdi::Surface before = g.ScreenSurface();
    g.Run(line);
    for (int y = 16; y < 28; ++y) {
      for (int x = 26; x < 38; ++x) {
        const bool in = x >= 30 && x < 34 && y >= 20 && y < 24;
        const uint32_t pixel = in ? sheet(x - 30 + 4, y - 20) : kKey;
        ASSERT_EQ(g.Screen(x, y), pixel != kKey ? pixel : before.PixelAt(x, y))
            << line << " at " << x << "," << y;
      }
    }
  }
}

TEST(GraphicsSprite, ARegionStartingBeforeItsSurfaceKeepsItsPixelsInPlace) {
  GraphicsGame g;
  g.Picture("back", 64, 64, [](int x, int y) { return static_cast<uint32_t>(x << 16 | y << 8); });
  g.Picture("chara", 4, 4, Chara);
  g.Start();
  g.Run(".pic off1 chara 0 0 0 0");
  g.Run(".pic back");
  const gdi::Surface before = g.ScreenSurface();
  // The region starts two pixels above and left of the page: page pixel
  // (i, j) lands at (32 + i, 32 + j), and the part without a page pixel
  // leaves the screen as it was.
  g.Run(".spr screen off1 0 0 30 30 6 6 -2 -2");
  for (int y = 28; y < 40; ++y) {
    for (int x = 28; x < 40; ++x) {
      const bool on_page = x >= 32 && x < 36 && y >= 32 && y < 36;
      const uint32_t expected =
          on_page && Chara(x - 32, y - 32) != kKey ? Chara(x - 32, y - 32) : before.PixelAt(x, y);
      ASSERT_EQ(g.Screen(x, y), expected) << x << "," << y;
    }
  }
}

TEST(GraphicsSprite, TransitionsEndWithTheSamePictureAsADrawingAtOnce) {
  GraphicsGame g;
  g.Picture("back", 64, 64,
            [](int x, int y) { return static_cast<uint32_t>(0x400000 | x << 8 | y); });
  g.Picture("chara", 4, 4, Chara);
  g.Picture("pat100", 16, 16, 0x000000);  // one frame, all black: the source everywhere
  g.Start();
  g.Run(".pic back");
  g.Run(".spr chara 0 0 30 20");
  const gdi::Surface at_once = g.ScreenSurface();
  for (const char* line : {".spr chara 0010 0 30 20", ".spr chara 1 0 30 20"}) {
    g.Run(".pic back");
    g.Run(line);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) ASSERT_EQ(g.Screen(x, y), at_once.PixelAt(x, y)) << line;
    }
  }
}

TEST(GraphicsPictureArguments, APictureCoversTheShownTextWindowWithoutRedrawingIt) {
  GraphicsGame g;
  // A blue panel; its top-left pixel gives the key colour.
  g.Picture("window", 200, 100, [](int x, int y) { return x + y == 0 ? 0u : 0x0000FFu; });
  g.Picture("bg", 640, 480, 0x336699);
  g.Start();
  g.Run(".txt space pic window");
  g.Run(".tsw");
  ASSERT_EQ(g.Screen(100, 50), 0x0000FFu);
  g.Run(".pic bg 0 0 0 0 640 480");
  g.Run(".pic off1 bg 0010");
  g.Run(".spr bg 0 0 0 0 640 480");
  EXPECT_EQ(g.Screen(100, 50), 0x336699u);
  EXPECT_TRUE(g.engine().state.text.TextWindowVisible);
}

TEST(GraphicsPictureErrors, BadDestinationsSourcesAndEffectsAreReported) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {".pic scree bg", "存在しない描画先「scree」を指定しました"},
      // The effect word is not a number, so "bg" is taken as the destination.
      {".pic bg 0a10", "存在しない描画先「bg」を指定しました"},
      {".spr off1 base", "「.spr」の転送元に「base」は指定できません"},
      {".pic off3 bg", "存在しないページ「off3」を指定しました"},
      {".pic off-1", "存在しないページ「off-1」を指定しました"},
      {".pic off99999999999 bg", "存在しないページ「off99999999999」を指定しました"},
      {".spr screen off3", "存在しないページ「off3」を指定しました"},
      {".pic screen off", "「off」のページ番号が数値ではありません"},
      {".pic offx bg", "「offx」のページ番号が数値ではありません"},
      {".pic screen bg 0a10", "クロスフェード「0a10」のレベルとフレーム数は数字で指定してください"},
      {".pic screen bg 00x0", "クロスフェード「00x0」のレベルとフレーム数は数字で指定してください"},
      {".pic screen bg 001000", "フレーム数に１より小さい数は指定できません。"},
      {".spr screen bg 0010-1",
       "クロスフェード「0010-1」のレベルとフレーム数は数字で指定してください"},
  };
  for (const Case& c : cases) {
    GraphicsGame game;
    game.Picture("bg", 8, 6, Gradient);
    game.Start();
    EXPECT_EQ(game.Error(c.line), ReportAtStart(c.message)) << c.line;
  }
}

TEST(GraphicsPictureErrors, MissingPicturesAndPatternsAreReportedByTheFileLookUp) {
  GraphicsGame a;
  a.Start();
  EXPECT_NE(a.Error(".pic nothing").find("ピクチャーファイルは存在しません"), std::string::npos);
  // An empty source word is looked up like any name, even before anything
  // was loaded.
  GraphicsGame b;
  b.Start();
  EXPECT_NE(b.Error(".pic").find("ピクチャーファイルは存在しません"), std::string::npos);
  GraphicsGame c;
  c.Picture("bg", 8, 6, Gradient);
  c.Start();
  EXPECT_NE(c.Error(".pic bg 7").find("pat700"), std::string::npos);
}

// Input far outside what a game would write: clipped drawing, no crash, no
// access outside a surface (the sanitizer build runs these).
TEST(GraphicsBadInput, HugePicturesSizesAndCoordinatesAreClipped) {
  GraphicsGame g;
  g.Picture("big", 1500, 1100, [](int x, int y) {
    return static_cast<uint32_t>((x & 0xFF) << 16 | (y & 0xFF) << 8 | 7);
  });
  g.Picture("chara", 4, 4, Chara);
  g.Picture("pat100", 3, 5, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFu : 0u; });
  g.Start();

  // A picture far larger than the screen, moved so that its middle shows.
  g.Run(".pic big 0 0 -700 -500");
  EXPECT_EQ(g.Screen(0, 0), (700u & 0xFF) << 16 | (500u & 0xFF) << 8 | 7);
  EXPECT_EQ(g.Screen(639, 479), (1339u & 0xFF) << 16 | (979u & 0xFF) << 8 | 7);

  const std::string far[] = {
      "0 0 2147483647 2147483647",
      "0 0 -2147483648 -2147483648",
      "0 0 0 0 2147483647 2147483647 -2147483648 -2147483648",
      "0 0 -2147483648 -2147483648 2147483647 2147483647 2147483647 2147483647",
      "0 0 600 400 100000 100000 -50 -50",
      "0 0 0 0 0 0",
      "0 0 0 0 -5 -5",
      "0 0 10 10 -100 100"};
  for (const std::string& effect : {std::string("0"), std::string("1"), std::string("0010")}) {
    for (const std::string& args : far) {
      // Effects replace the leading "0"; the wait stays 0.
      const std::string rest = effect + args.substr(1);
      g.Run(".pic screen big " + rest);
      g.Run(".spr screen chara " + rest);
      g.Run(".spr off1 screen " + rest);
      g.Run(".pic screen screen " + rest);
      g.Run(".pic off2 base " + rest);
    }
  }
  // A sprite region far larger than its source stays within the source.
  g.Run(".spr off1 screen 0 0 0 0 100000 100000");
  EXPECT_LE(g.engine().graphics.PicChara.Width(), 640);
  EXPECT_LE(g.engine().graphics.PicChara.Height(), 480);
}

TEST(GraphicsBadInput, ZeroAndNegativeSizesDrawNothingButStillHoldTheFrames) {
  GraphicsGame g;
  g.Picture("bg", 8, 6, 0xFFFFFF);
  g.Picture("pat100", 8, 8, 0);
  g.Start();
  EXPECT_EQ(g.Duration(".pic bg 0 40 0 0 0 6"), 40u);
  EXPECT_EQ(g.Duration(".pic bg 1 40 0 0 -8 6"), 40u);
  EXPECT_EQ(g.Duration(".spr bg 0010 10 0 0 8 -6"), 11u * 10u);
  EXPECT_EQ(g.Duration(".pic bg 0010 10 0 0 8 0"), 11u * 110u);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) ASSERT_EQ(g.Screen(x, y), 0u);
  }
}

}  // namespace
}  // namespace tsumugi::test
