// Picture files of the text window and markers: finding them by name, the
// missing-file reports, unreadable files, and transparency masks.
#include <gtest/gtest.h>

#include "platform/gdi/bitblt.h"
#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

std::string Name(const std::filesystem::path& p) {
  return p.filename().string();
}

TEST(PictureFileLookup, ExtensionsCaseAndFolders) {
  TextGame g;
  g.File("face.bmp", "x");
  g.File("face.jpg", "x");
  g.File("only.jpg", "x");
  g.File("Sub/Pic.BMP", "x");
  g.File("odd.name.png", "x");
  std::filesystem::create_directories(g.game() / "data" / "dir.bmp");
  g.File("dir.jpg", "x");
  g.Start();
  GameFiles& files = g.engine().files;
  // A bitmap wins over a JPEG of the same name...
  EXPECT_EQ(Name(files.FindPictureFile(u"face")), "face.bmp");
  // ...but a name with an extension is used as written.
  EXPECT_EQ(Name(files.FindPictureFile(u"face.jpg")), "face.jpg");
  EXPECT_EQ(Name(files.FindPictureFile(u"only")), "only.jpg");
  EXPECT_EQ(Name(files.FindPictureFile(u"odd.name.png")), "odd.name.png");
  // Names written for a file system that ignores case, with backslashes.
  EXPECT_EQ(files.FindPictureFile(u"sub\\pic"), g.game() / "data" / "Sub" / "Pic.BMP");
  EXPECT_EQ(Name(files.FindPictureFile(u"FACE")), "face.bmp");
  // Only ordinary files count.
  EXPECT_EQ(Name(files.FindPictureFile(u"dir")), "dir.jpg");
}

TEST(PictureFileLookup, BothMissingFileMessagesExactly) {
  TextGame g;
  g.Start();
  const std::string folder = (g.game() / "data").string() + "/";
  EXPECT_EQ(
      g.Error(".txt space pic nothing"),
      ReportAtStart("「" + folder + "nothing」という名前の\r\nピクチャーファイルは存在しません"));
  TextGame h;
  h.Start();
  EXPECT_EQ(h.Error(".txt space pic sub\\nothing.bmp"),
            ReportAtStart("ファイル「" + (h.game() / "data").string() +
                          "/sub\\nothing.bmp」は存在しません。"));
}

TEST(PictureFileLookup, AFileThatIsNoPictureIsReported) {
  for (const std::string& bytes : {std::string("BM"), std::string("hello"),
                                   BitmapBytes(4, 4, [](int, int) { return 0u; }).substr(0, 60)}) {
    TextGame g;
    g.File("win.bmp", bytes);
    g.Start();
    EXPECT_EQ(g.Error(".txt space pic win"),
              ReportAtStart("ファイル「" + (g.game() / "data" / "win.bmp").string() +
                            "」はピクチャーファイルとして読み込めません"));
  }
}

gdi::Surface Picture(int w, int h, const std::function<uint32_t(int, int)>& colour) {
  gdi::Surface s(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) s.Row(y)[x] = colour(x, y);
  }
  return s;
}

TEST(PictureMask, WhiteWhereTheKeyColourIsAndThePictureBlackThere) {
  const auto colours = [](int x, int y) -> uint32_t {
    if ((x + y) % 3 == 0) return 0x20A040;  // the key colour, also at (0, 0)
    return x == 2 ? 0x000000u : 0x102030u * static_cast<uint32_t>(1 + x % 4);
  };
  gdi::Surface picture = Picture(7, 5, colours);
  gdi::Surface mask(1, 1);
  mask.SetBackColor(0x123456);  // whatever colours the mask had before
  mask.SetForeColor(0x654321);
  MakeMask(mask, picture);
  ASSERT_EQ(mask.Width(), 7);
  ASSERT_EQ(mask.Height(), 5);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const bool key = colours(x, y) == 0x20A040;
      EXPECT_EQ(mask.PixelAt(x, y), key ? 0xFFFFFFu : 0x000000u) << x << "," << y;
      EXPECT_EQ(picture.PixelAt(x, y), key ? 0x000000u : colours(x, y)) << x << "," << y;
    }
  }
  EXPECT_EQ(picture.BackColor(), gdi::ColorRefFromPixel(0x20A040));

  // Over any background, mask with AND then picture with XOR shows the
  // background exactly where the key colour was, and the picture elsewhere.
  gdi::Surface background = Picture(7, 5, [](int x, int y) { return 0x0F0F0Fu * (x + 3 * y); });
  gdi::Surface out = background;
  gdi::BitBlt(out, 0, 0, 7, 5, mask, 0, 0, gdi::kSrcAnd);
  gdi::BitBlt(out, 0, 0, 7, 5, picture, 0, 0, gdi::kSrcInvert);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      const bool key = colours(x, y) == 0x20A040;
      EXPECT_EQ(out.PixelAt(x, y), key ? background.PixelAt(x, y) : colours(x, y));
    }
  }
}

TEST(PictureMask, BlackKeysAndAKeyOnlyInTheCorner) {
  // A black top-left pixel: every black pixel is transparent, nothing changes.
  gdi::Surface black_key = Picture(4, 4, [](int x, int) { return x < 2 ? 0u : 0xFFFFFFu; });
  const gdi::Surface before = black_key;
  gdi::Surface mask;
  MakeMask(mask, black_key);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(mask.PixelAt(x, y), x < 2 ? 0xFFFFFFu : 0x000000u);
      EXPECT_EQ(black_key.PixelAt(x, y), before.PixelAt(x, y));
    }
  }
  // The key colour only at (0, 0).
  gdi::Surface corner =
      Picture(3, 3, [](int x, int y) { return x + y == 0 ? 0x777777u : 0x888888u; });
  MakeMask(mask, corner);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(mask.PixelAt(x, y), x + y == 0 ? 0xFFFFFFu : 0u);
  }
  // An empty picture gives an empty mask.
  gdi::Surface empty;
  MakeMask(mask, empty);
  EXPECT_TRUE(mask.Empty());
}

}  // namespace
}  // namespace tsumugi::test
