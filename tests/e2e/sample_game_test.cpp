// The bundled sample game plays from start to end, and what it shows is built
// from its own pictures: transparent frame and sprite keys, text with shadow.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/gdi/picture.h"
#include "platform/gdi/png_writer.h"
#include "support/test_support.h"

namespace tsumugi {
namespace {
using namespace test;

namespace fs = std::filesystem;

gdi::Surface Load(const fs::path& path) {
  gdi::Surface out;
  std::string error;
  EXPECT_TRUE(gdi::LoadPicture(path, &out, &error)) << path << ": " << error;
  return out;
}

gdi::Surface Shot(const fs::path& path) {
  gdi::Surface out;
  std::string error;
  EXPECT_TRUE(gdi::ReadPng(path.string(), &out, &error)) << error;
  return out;
}

// Counts the pixels of exactly one colour inside a rectangle.
int CountColour(const gdi::Surface& s, int x0, int y0, int x1, int y1, uint32_t colour) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += s.PixelAt(x, y) == colour;
  return n;
}

TEST(SampleGame, PlaysToTheEndWithItsPicturesAndText) {
  TempDir work;
  const fs::path game = CopyOfSampleGame(work);
  const fs::path data = game / "data";
  // The first wait is the ".clk" after two lines of the first scene; then
  // come a menu, a look back through the recall point and the round button;
  // the last wait is the ".tcl" of the evening scene.
  WriteFile(work / "input",
            "screenshot first.png\n"
            "click 320 400\nclick 320 400\nclick 320 400\n"
            "move 120 400\nwait 30\nscreenshot menu.png\n"
            "click 120 400\nclick 320 400\nrclick 320 400\nclick 320 400\n"
            "press left 95 40\nscreenshot pressed.png\nrelease left 95 40\n"
            "click 320 400\nclick 152 40\nclick 320 400\nclick 208 40\nclick 320 400\n"
            "screenshot last.png\n"
            "click 320 400\n");
  RunResult run = RunTsumugi({"--headless", "--input", (work / "input").string(), "--save-dir",
                             (work / "saves").string(), game.string()},
                            work.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");
  // The save button wrote the game's save; the load button read it back.
  EXPECT_TRUE(fs::exists(work / "saves" / "save.txt"));

  const gdi::Surface bg1 = Load(data / "bg1.bmp");
  const gdi::Surface bg2 = Load(data / "bg2.bmp");
  const gdi::Surface frame = Load(data / "window.bmp");
  const gdi::Surface chara = Load(data / "chara.bmp");
  const gdi::Surface sun_down = Load(data / "sun_down.bmp");
  const gdi::Surface first = Shot(work / "first.png");
  const gdi::Surface menu = Shot(work / "menu.png");
  const gdi::Surface pressed = Shot(work / "pressed.png");
  const gdi::Surface last = Shot(work / "last.png");

  // The window lies at (0, 312); its rounded corner is key colour and shows
  // the hill behind it, its panel is the picture's own pixels.
  EXPECT_EQ(first.PixelAt(1, 313), bg1.PixelAt(1, 313));
  EXPECT_EQ(first.PixelAt(638, 478), bg1.PixelAt(638, 478));
  EXPECT_EQ(first.PixelAt(20, 460), frame.PixelAt(20, 148));
  EXPECT_EQ(first.PixelAt(1, 330), frame.PixelAt(1, 18));
  // The character stands at (220, 96): green key pixels show the sky.
  EXPECT_EQ(first.PixelAt(220 + 5, 96 + 5), bg1.PixelAt(225, 101));
  EXPECT_EQ(first.PixelAt(220 + 100, 96 + 100), chara.PixelAt(100, 100));
  // Two typed lines on the canvas at (28, 330), 30 pixels apart: white glyphs
  // with black shadows, and nothing on the third line.
  for (int line = 0; line < 2; ++line) {
    const int top = 330 + 30 * line;
    EXPECT_GT(CountColour(first, 28, top, 612, top + 30, 0xFFFFFF), 200) << line;
    EXPECT_GT(CountColour(first, 28, top, 612, top + 30, 0x000000), 100) << line;
  }
  EXPECT_EQ(CountColour(first, 28, 390, 612, 420, 0xFFFFFF), 0);
  // The title printed right-aligned at the top right.
  EXPECT_GT(CountColour(first, 480, 12, 628, 36, 0xFFF0C0), 50);
  EXPECT_EQ(CountColour(first, 628, 0, 640, 36, 0xFFF0C0), 0);

  // The menu on lines 1 and 2 (30 pixels each) under the question: the
  // second choice, under the pointer, in the selected colour.
  EXPECT_EQ(CountColour(menu, 28, 360, 612, 390, 0xFFE080), 0);
  EXPECT_GT(CountColour(menu, 28, 360, 612, 390, 0x808080), 100);
  EXPECT_GT(CountColour(menu, 28, 390, 612, 420, 0xFFE080), 100);
  // The round button at (72, 16), held down.
  EXPECT_EQ(pressed.PixelAt(72 + 24, 16 + 24), sun_down.PixelAt(24, 24));

  // The evening scene came in by a cross-fade from page 1: its sun, its
  // sprite and its own title.
  EXPECT_EQ(last.PixelAt(470, 270), bg2.PixelAt(470, 270));
  EXPECT_EQ(last.PixelAt(225, 101), bg2.PixelAt(225, 101));
  EXPECT_EQ(last.PixelAt(320, 196), chara.PixelAt(100, 100));
  EXPECT_GT(CountColour(last, 480, 12, 628, 36, 0xFFF0C0), 50);

  // The game's own input file, which the play command uses, stops on that
  // last page too.
  RunResult play = RunTsumugi({"--headless", "--input", (game / "play.input").string(),
                               "--save-dir", (work / "saves").string(), "--screenshot",
                               "play.png", game.string()},
                              work.path());
  ASSERT_EQ(play.status, 0) << play.out << play.err;
  EXPECT_GT(CountColour(Shot(work / "play.png"), 28, 330, 612, 360, 0xFFFFFF), 200);
}

TEST(SampleGame, OpensWithItsMovieThenItsMusic) {
  const char* font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  if (!fs::exists(font)) GTEST_SKIP() << "no " << font;
  TempDir work;
  WriteFile(work / "input", "wait 1500\nscreenshot movie.png\n");
  RunResult run = RunTsumugi({"--headless", "--soundfont", font, "--audio-out", "mix.wav",
                              "--input", "input", CopyOfSampleGame(work).string()},
                             work.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  // Halfway through, the movie fills the screen: a night sky, nowhere black.
  const gdi::Surface movie = Shot(work / "movie.png");
  EXPECT_EQ(CountColour(movie, 0, 0, 640, 480, 0x000000), 0);
  // The three-second movie is silent; the morning music follows it.
  const std::string mix = ReadFile(work / "mix.wav");
  auto loudest = [&](double from, double to) {
    int peak = 0;
    for (size_t i = 44 + static_cast<size_t>(from * 44100) * 4;
         i + 1 < mix.size() && i < 44 + static_cast<size_t>(to * 44100) * 4; i += 2) {
      peak = std::max(peak, std::abs(static_cast<int16_t>((mix[i] & 0xFF) | (mix[i + 1] << 8))));
    }
    return peak;
  };
  EXPECT_EQ(loudest(0, 3), 0);
  EXPECT_GT(loudest(3, 4), 500);
}

}  // namespace
}  // namespace tsumugi
