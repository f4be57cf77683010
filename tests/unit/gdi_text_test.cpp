#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/font.h"
#include "platform/gdi/surface.h"

namespace tsumugi::gdi {
namespace {

constexpr ColorRef kRed = 0x000000FF;
constexpr ColorRef kTextColor = 0x0040C0E0;

// Fontconfig takes tens of milliseconds to load, so the tests that need no
// engine of their own share these.
FontEngine& SmoothEngine() {
  static FontEngine engine(false);
  return engine;
}
FontEngine& CrispEngine() {
  static FontEngine engine(true);
  return engine;
}

std::shared_ptr<const Font> DefaultFont(FontEngine& engine = SmoothEngine()) {
  return engine.GetFont(LogFont{});
}

// A background in which neighbouring pixels differ, so that a pixel drawn in
// the wrong place or a background that is not left alone shows.
ColorRef Pattern(int x, int y) {
  return (static_cast<uint32_t>(x) * 0x00010307u + static_cast<uint32_t>(y) * 0x00130100u +
          0x00204060u) &
         0x00FFFFFFu;
}

Surface Painted(int w, int h) {
  Surface s(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s.SetPixel(x, y, Pattern(x, y));
  }
  return s;
}

int CountChanged(const Surface& before, const Surface& after) {
  int n = 0;
  for (int y = 0; y < before.Height(); ++y) {
    for (int x = 0; x < before.Width(); ++x) n += before.PixelAt(x, y) != after.PixelAt(x, y);
  }
  return n;
}

// True when every pixel of `small` equals the pixel of `big` at (x + dx, y + dy).
::testing::AssertionResult SameAsRegion(const Surface& small, const Surface& big, int dx, int dy) {
  for (int y = 0; y < small.Height(); ++y) {
    for (int x = 0; x < small.Width(); ++x) {
      if (small.PixelAt(x, y) != big.PixelAt(x + dx, y + dy)) {
        return ::testing::AssertionFailure() << "differs at " << x << "," << y;
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// ---------------------------------------------------------------------------
// Metrics

TEST(GdiTextMetrics, DefaultFontIsIpaGothicWithFullWidthOneEmAndHalfWidthHalf) {
  const auto font = DefaultFont();
  EXPECT_EQ(font->Family(), "IPAGothic");
  EXPECT_EQ(font->PixelSize(), 32);
  EXPECT_EQ(font->Height(), 32);
  EXPECT_EQ(font->Ascent(), 28);
  EXPECT_EQ(font->Extent(u"", 0), (Size{0, 32}));
  EXPECT_EQ(font->Extent(u"漢", 0), (Size{32, 32}));
  // "ｱ" is half-width katakana.
  EXPECT_EQ(font->Extent(u"Aあ gｱ", 0).width, 16 + 32 + 16 + 16 + 16);

  // The text window breaks a line when the measured width less the spacing
  // exceeds the canvas: twenty full-width characters fill 640 pixels.
  EXPECT_EQ(font->Extent(std::u16string(20, u'あ'), 0).width, 640);
  EXPECT_EQ(font->Extent(std::u16string(40, u'A'), 0).width, 640);

  // Crisp drawing measures as smooth drawing does.
  const auto crisp = DefaultFont(CrispEngine());
  const std::u16string text = u"サンプルAg漢字、。「」!?";
  EXPECT_EQ(crisp->Extent(text, 2), font->Extent(text, 2));
  EXPECT_EQ(crisp->Ascent(), font->Ascent());
}

TEST(GdiTextMetrics, CharacterExtraFollowsEveryCharacterTheLastToo) {
  const auto font = DefaultFont();
  EXPECT_EQ(font->Extent(u"あいA", 3).width, 32 + 32 + 16 + 3 * 3);
  EXPECT_EQ(font->Extent(u"あいA", -5).width, 32 + 32 + 16 - 3 * 5);
  EXPECT_EQ(font->Extent(u"あ", 7), (Size{39, 32}));
  EXPECT_EQ(font->Extent(u"", 7).width, 0);
  // A surrogate pair is one character: one glyph, one extra (one no font
  // has, so that it is the missing-character glyph, as wide as the others).
  const std::u16string pair = u"\U000F0000";
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(font->Extent(pair, 0).width, 32);
  EXPECT_EQ(font->Extent(pair, 7).width, 39);
  EXPECT_EQ(font->Extent(pair + u"あ", 1).width, 66);
  // Widths beyond the range of int are clamped rather than wrapped.
  EXPECT_EQ(font->Extent(u"ああ", INT_MAX).width, INT_MAX);
  EXPECT_EQ(font->Extent(u"ああ", INT_MIN).width, INT_MIN);
}

TEST(GdiTextMetrics, EveryPixelSizeGivesLinesAsHighAsTheEm) {
  FontEngine& engine = SmoothEngine();
  for (const char16_t* face : {u"ＭＳ ゴシック", u"ＭＳ 明朝", u"ＭＳ Ｐゴシック"}) {
    for (int px = 6; px <= 72; ++px) {
      const auto font = engine.GetFont(LogFont{face, px});
      EXPECT_EQ(font->Height(), px) << px;
      EXPECT_GT(font->Ascent(), px / 2) << px;
      EXPECT_LT(font->Ascent(), px) << px;
    }
  }
  EXPECT_EQ(engine.GetFont(LogFont{u"ＭＳ ゴシック", 24})->Extent(u"あA", 0).width, 24 + 12);
}

TEST(GdiTextMetrics, OutOfRangeHeightsAreClamped) {
  FontEngine& engine = SmoothEngine();
  Surface canvas = Painted(64, 48);
  for (int height : {0, -1, -32, INT_MIN}) {
    const auto font = engine.GetFont(LogFont{u"ＭＳ ゴシック", height});
    EXPECT_EQ(font->PixelSize(), FontEngine::kMinHeight);
    EXPECT_GE(font->Height(), 1);
    font->Draw(canvas, 3, 3, u"あA", kRed, 0);
  }
  for (int height : {1001, 100000, INT_MAX}) {
    const auto font = engine.GetFont(LogFont{u"ＭＳ ゴシック", height});
    EXPECT_EQ(font->PixelSize(), FontEngine::kMaxHeight);
    EXPECT_EQ(font->Height(), 1000);
    EXPECT_EQ(font->Extent(u"あ", 0).width, 1000);
    font->Draw(canvas, -500, -800, u"あ", kRed, 0);
  }
}

// ---------------------------------------------------------------------------
// Faces

TEST(GdiTextFaces, WindowsJapaneseFacesBecomeIpaFaces) {
  FontEngine& engine = SmoothEngine();
  const struct {
    const char16_t* face;
    const char* family;
  } cases[] = {
      {u"ＭＳ ゴシック", "IPAGothic"},    {u"MS Gothic", "IPAGothic"},
      {u"ms gothic", "IPAGothic"},        {u"ＭＳゴシック", "IPAGothic"},
      {u"ＭＳ Ｐゴシック", "IPAPGothic"}, {u"MS PGothic", "IPAPGothic"},
      {u"MS UI Gothic", "IPAPGothic"},    {u"ＭＳ 明朝", "IPAMincho"},
      {u"MS Mincho", "IPAMincho"},        {u"ＭＳ Ｐ明朝", "IPAPMincho"},
      {u"MS PMincho", "IPAPMincho"},      {u"IPAMincho", "IPAMincho"},
      {u"ipapgothic", "IPAPGothic"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(engine.GetFont(LogFont{c.face})->Family(), c.family)
        << std::string(c.family) << " for " << static_cast<int>(c.face[0]);
  }
  // Proportional faces have proportional advances.
  EXPECT_LT(engine.GetFont(LogFont{u"ＭＳ Ｐゴシック"})->Extent(u"iii", 0).width, 48);
}

TEST(GdiTextFaces, UnknownFaceFallsBackToIpaGothic) {
  FontEngine& engine = SmoothEngine();
  const auto reference = DefaultFont();
  const std::u16string text = u"サンプルAg漢字";
  Surface expected = Painted(320, 40);
  reference->Draw(expected, 2, 3, text, kTextColor, 1);

  for (const char16_t* face : {u"No Such Face 123", u"", u"ＨＧ創英角ポップ体", u"sans-serif"}) {
    const auto font = engine.GetFont(LogFont{face});
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->Family(), "IPAGothic");
    EXPECT_EQ(font->Height(), reference->Height());
    EXPECT_EQ(font->Extent(text, 1), reference->Extent(text, 1));
    Surface drawn = Painted(320, 40);
    font->Draw(drawn, 2, 3, text, kTextColor, 1);
    EXPECT_TRUE(SameAsRegion(drawn, expected, 0, 0));
  }
}

TEST(GdiTextFaces, LatinFaceTakesJapaneseGlyphsFromIpaGothic) {
  FontEngine& engine = SmoothEngine();
  const auto latin = engine.GetFont(LogFont{u"DejaVu Sans", 32});
  if (latin->Family() != "DejaVu Sans") GTEST_SKIP() << "DejaVu Sans is not installed";
  const auto ipa = DefaultFont();
  EXPECT_EQ(latin->Extent(u"あ", 0).width, 32);

  // The same glyph, moved down by the difference of the two ascents.
  const int shift = latin->Ascent() - ipa->Ascent();
  ASSERT_GE(shift, 0);
  Surface from_latin = Painted(48, 48);
  latin->Draw(from_latin, 4, 0, u"あ", kTextColor, 0);
  Surface from_ipa = Painted(48, 48);
  ipa->Draw(from_ipa, 4, shift, u"あ", kTextColor, 0);
  EXPECT_TRUE(SameAsRegion(from_latin, from_ipa, 0, 0));
  EXPECT_GT(CountChanged(Painted(48, 48), from_latin), 50);
}

TEST(GdiTextFaces, ACharacterNeitherFaceHasComesFromAnyFontThatHasIt) {
  // Georgian letters are in DejaVu Sans, not in the IPA faces: a translation
  // that has them shows them in the Japanese game's face, never a blank or
  // the missing-character box.
  FontEngine& engine = SmoothEngine();
  if (engine.GetFont(LogFont{u"DejaVu Sans", 32})->Family() != "DejaVu Sans") {
    GTEST_SKIP() << "DejaVu Sans is not installed";
  }
  const auto ipa = DefaultFont();
  Surface letter = Painted(48, 48);
  ipa->Draw(letter, 4, 0, u"\u10D0", kTextColor, 0);
  Surface missing = Painted(48, 48);
  ipa->Draw(missing, 4, 0, u"\uE000", kTextColor, 0);  // no font has it
  EXPECT_GT(CountChanged(Painted(48, 48), letter), 20);
  EXPECT_FALSE(SameAsRegion(letter, missing, 0, 0));
  // It measures as its own font's letter, not as a full-width cell.
  EXPECT_LT(ipa->Extent(u"\u10D0", 0).width, 32);
}

// ---------------------------------------------------------------------------
// Drawing

TEST(GdiTextDraw, GlyphStaysInsideItsCellAndLeavesTheRestAlone) {
  const auto font = DefaultFont();
  const Surface before = Painted(320, 160);
  Surface canvas = before;
  font->Draw(canvas, 100, 50, u"あ", kRed, 0);

  // Every changed pixel lies inside the 32 x 32 cell and between the
  // background and the text colour in each channel; the strokes' cores are
  // the text colour itself.
  int full = 0, x0 = INT_MAX, x1 = INT_MIN;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      const ColorRef was = before.GetPixel(x, y);
      const ColorRef now = canvas.GetPixel(x, y);
      if (was == now) continue;
      ASSERT_TRUE(x >= 100 && x < 132 && y >= 50 && y < 82) << x << "," << y;
      x0 = std::min(x0, x);
      x1 = std::max(x1, x);
      full += now == kRed;
      for (int shift : {0, 8, 16}) {
        const int a = (was >> shift) & 0xFF, b = (kRed >> shift) & 0xFF, c = (now >> shift) & 0xFF;
        EXPECT_GE(c, std::min(a, b)) << x << "," << y;
        EXPECT_LE(c, std::max(a, b)) << x << "," << y;
      }
    }
  }
  // A glyph of a 32-pixel font covers most of its cell.
  EXPECT_GT(x1 - x0, 20);
  EXPECT_GT(full, 30);
}

TEST(GdiTextDraw, CrispGlyphsUseOnlyTheExactColour) {
  const auto font = DefaultFont(CrispEngine());
  const Surface before = Painted(320, 40);
  Surface canvas = before;
  font->Draw(canvas, 0, 0, u"サンプルAg漢字", kTextColor, 0);
  int changed = 0;
  for (int y = 0; y < canvas.Height(); ++y) {
    for (int x = 0; x < canvas.Width(); ++x) {
      if (canvas.PixelAt(x, y) == before.PixelAt(x, y)) continue;
      ++changed;
      EXPECT_EQ(canvas.GetPixel(x, y), kTextColor) << x << "," << y;
    }
  }
  EXPECT_GT(changed, 200);

  // Smoothing draws with intermediate shades.
  Surface smooth = before;
  DefaultFont(SmoothEngine())->Draw(smooth, 0, 0, u"サンプルAg漢字", kTextColor, 0);
  int shaded = 0;
  for (int y = 0; y < smooth.Height(); ++y) {
    for (int x = 0; x < smooth.Width(); ++x) {
      const ColorRef c = smooth.GetPixel(x, y);
      shaded += c != before.GetPixel(x, y) && c != kTextColor;
    }
  }
  EXPECT_GT(shaded, 50);
}

TEST(GdiTextDraw, PenAdvancesAsExtentMeasures) {
  const auto font = DefaultFont(CrispEngine());
  const std::u16string first = u"あ\U0001F600A";
  const std::u16string second = u"g漢";
  for (int extra : {0, 5, -3}) {
    Surface whole = Painted(300, 40);
    font->Draw(whole, 10, 4, first + second, kTextColor, extra);
    Surface pieces = Painted(300, 40);
    font->Draw(pieces, 10, 4, first, kTextColor, extra);
    font->Draw(pieces, 10 + font->Extent(first, extra).width, 4, second, kTextColor, extra);
    EXPECT_TRUE(SameAsRegion(whole, pieces, 0, 0)) << "extra " << extra;
  }
}

TEST(GdiTextDraw, ClipsAtEveryEdgeExactly) {
  // Drawing into a small surface must give exactly the matching window of
  // the same text drawn whole into a large one.
  constexpr int kW = 50, kH = 40, kMarginX = 320, kMarginY = 64;
  const std::u16string text = u"サンプルAg漢字";
  Surface big_background(kW + 2 * kMarginX, kH + 2 * kMarginY);
  for (int y = 0; y < big_background.Height(); ++y) {
    for (int x = 0; x < big_background.Width(); ++x) {
      big_background.SetPixel(x, y, Pattern(x - kMarginX, y - kMarginY));
    }
  }
  const Surface small_background = Painted(kW, kH);
  for (FontEngine* engine : {&SmoothEngine(), &CrispEngine()}) {
    const auto font = DefaultFont(*engine);
    for (int x : {-300, -40, -17, -1, 0, 9, 35, 49, 50}) {
      for (int y : {-45, -31, -5, 0, 20, 39, 40}) {
        Surface big = big_background;
        Surface small = small_background;
        font->Draw(big, x + kMarginX, y + kMarginY, text, kTextColor, 2);
        font->Draw(small, x, y, text, kTextColor, 2);
        EXPECT_TRUE(SameAsRegion(small, big, kMarginX, kMarginY)) << x << "," << y;
      }
    }
  }
}

TEST(GdiTextDraw, FarOutsideOrOnAnEmptySurfaceDrawsNothing) {
  const auto font = DefaultFont();
  const Surface before = Painted(64, 48);
  Surface canvas = before;
  const std::u16string text = u"サンプル漢字Ag";
  for (int x : {INT_MIN, INT_MIN + 5, -100000, 100000, INT_MAX - 5, INT_MAX}) {
    for (int y : {INT_MIN, -1000, 10, 1000, INT_MAX}) {
      font->Draw(canvas, x, y, text, kRed, 0);
      font->Draw(canvas, x, y, text, kRed, x > 0 ? 1000 : -1000);
    }
  }
  EXPECT_EQ(CountChanged(before, canvas), 0);

  // Huge spacing moves everything after the first character out of sight.
  Surface spaced = before;
  font->Draw(spaced, 0, 0, u"あい", kRed, INT_MAX);
  Surface single = before;
  font->Draw(single, 0, 0, u"あ", kRed, 0);
  EXPECT_TRUE(SameAsRegion(spaced, single, 0, 0));

  Surface empty;
  font->Draw(empty, 0, 0, text, kRed, 0);
  Surface zero_width(0, 10);
  font->Draw(zero_width, 0, 0, text, kRed, 0);
  EXPECT_TRUE(empty.Empty());
}

// ---------------------------------------------------------------------------
// Styles

TEST(GdiTextStyle, SimulatedBoldIsOnePixelWiderPerCharacter) {
  FontEngine& engine = CrispEngine();
  const auto regular = engine.GetFont(LogFont{});
  const auto bold = engine.GetFont(LogFont{u"ＭＳ ゴシック", 32, true});
  EXPECT_TRUE(bold->SimulatedBold());
  EXPECT_FALSE(regular->SimulatedBold());
  EXPECT_EQ(bold->Height(), regular->Height());
  EXPECT_EQ(bold->Extent(u"あいうA", 0).width, regular->Extent(u"あいうA", 0).width + 4);
  EXPECT_EQ(bold->Extent(u"あいうA", 2).width, regular->Extent(u"あいうA", 2).width + 4);

  // Overstruck one pixel to the right: every regular pixel stays set, and so
  // does the pixel to its right.
  Surface plain(80, 40, kBlack), heavy(80, 40, kBlack);
  regular->Draw(plain, 0, 0, u"あ", kWhite, 0);
  bold->Draw(heavy, 0, 0, u"あ", kWhite, 0);
  int added = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x + 1 < 80; ++x) {
      if (plain.PixelAt(x, y) != 0) {
        EXPECT_NE(heavy.PixelAt(x, y), 0u) << x << "," << y;
        EXPECT_NE(heavy.PixelAt(x + 1, y), 0u) << x << "," << y;
      }
      added += heavy.PixelAt(x, y) != 0 && plain.PixelAt(x, y) == 0;
    }
  }
  EXPECT_GT(added, 20);
}

TEST(GdiTextStyle, SimulatedItalicSlantsWithoutChangingAdvances) {
  FontEngine& engine = CrispEngine();
  const auto regular = engine.GetFont(LogFont{});
  const auto italic = engine.GetFont(LogFont{u"ＭＳ ゴシック", 32, false, true});
  EXPECT_TRUE(italic->SimulatedItalic());
  EXPECT_EQ(italic->Height(), regular->Height());
  EXPECT_EQ(italic->Extent(u"あいうA|", 3), regular->Extent(u"あいうA|", 3));

  // A vertical bar leans right: its top lies further right than its bottom.
  // (The left edge of each row, scanning from the top, of the first and the
  // last row drawn.)
  auto top_and_bottom_left_edges = [](const Font& font) {
    Surface s(40, 40, kBlack);
    font.Draw(s, 8, 0, u"|", kWhite, 0);
    std::vector<int> edges;
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 40; ++x) {
        if (s.PixelAt(x, y) == 0) continue;
        edges.push_back(x);
        break;
      }
    }
    return std::pair{edges.front(), edges.back()};
  };
  const auto [upright_top, upright_bottom] = top_and_bottom_left_edges(*regular);
  EXPECT_EQ(upright_top, upright_bottom);
  const auto [slanted_top, slanted_bottom] = top_and_bottom_left_edges(*italic);
  EXPECT_GT(slanted_top, slanted_bottom + 3);

  const auto both = engine.GetFont(LogFont{u"ＭＳ ゴシック", 32, true, true});
  EXPECT_TRUE(both->SimulatedBold());
  EXPECT_TRUE(both->SimulatedItalic());
  EXPECT_EQ(both->Extent(u"あA", 0).width, 32 + 16 + 2);
}

// ---------------------------------------------------------------------------
// Glyph cache

TEST(GdiTextGlyphCache, FontsOutliveTheirEngine) {
  std::shared_ptr<const Font> font;
  {
    FontEngine engine;
    font = engine.GetFont(LogFont{u"ＭＳ 明朝", 20});
  }
  Surface canvas(64, 32, kBlack);
  font->Draw(canvas, 0, 0, u"明朝", kWhite, 0);
  EXPECT_EQ(font->Extent(u"明朝", 0).width, 40);
  EXPECT_GT(CountChanged(Surface(64, 32, kBlack), canvas), 20);
}

}  // namespace
}  // namespace tsumugi::gdi
