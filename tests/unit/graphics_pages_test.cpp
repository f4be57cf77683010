// Off-screen pages from the configuration file, and the base colour
// command ".bsc".
#include <gtest/gtest.h>

#include "unit/graphics_test_game.h"

namespace tsumugi::test {
namespace {

TEST(GraphicsPages, TheConfigurationFileSetsWhichPagesExist) {
  GraphicsGame two;
  two.Start();
  EXPECT_NE(two.engine().pages.Page(2), nullptr);
  EXPECT_EQ(two.engine().pages.Page(3), nullptr);

  GraphicsGame three(".scr 3\n");
  three.Start();
  three.Run(".pic off3 screen");
  EXPECT_EQ(three.Error(".pic off4 screen"),
            ReportAtStart("存在しないページ「off4」を指定しました"));

  GraphicsGame none(".scr 0\n");
  none.Start();
  none.Run(".pic off0 screen");
  EXPECT_EQ(none.Error(".pic off1 screen"),
            ReportAtStart("存在しないページ「off1」を指定しました"));

  // A negative count is ignored; of two lines the later one counts.
  GraphicsGame negative(".scr -1\n");
  negative.Start();
  EXPECT_EQ(negative.engine().pages.PageCount(), 2);
  GraphicsGame twice(".scr 5\n.scr -4\n.scr 1\n");
  twice.Start();
  EXPECT_EQ(twice.engine().pages.PageCount(), 1);
  EXPECT_EQ(twice.engine().pages.Page(2), nullptr);
}

TEST(GraphicsPages, TooManyPagesAreRefusedWhereTheConfigurationAsksForThem) {
  EngineFixture ok({{"data/start.txt", "\n"}, {"data/config.txt", ".scr 1000\n"}});
  ok.StartWithoutRunning();
  EXPECT_EQ(ok.engine().pages.PageCount(), 1000);

  EngineFixture many({{"data/start.txt", "\n"}, {"data/config.txt", "; pages\n.scr 1001\n"}});
  try {
    many.StartWithoutRunning();
    ADD_FAILURE() << "1001 pages were accepted";
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kError);
  }
  EXPECT_EQ(
      many.OnlyMessage(),
      "File「config.txt」  Line「2」\r\n\r\nページ数に１０００より大きい数は指定できません\r\n"
      "実行を中止します");
}

TEST(GraphicsBaseColour, ClearsTheScreenAndEveryPageAndColoursTheBaseSource) {
  GraphicsGame g(".scr 3\n");
  g.Picture("bg", 640, 480, 0x336699);
  g.Start();
  for (const char* line : {".pic bg", ".pic off0 bg", ".pic off1 bg", ".pic off3 bg"}) g.Run(line);
  g.Run(".bsc 00FF80");
  for (int n = 0; n <= 3; ++n) {
    EXPECT_EQ(g.Page(n, 0, 0), 0x00FF80u) << n;
    EXPECT_EQ(g.Page(n, 639, 479), 0x00FF80u) << n;
  }
  EXPECT_EQ(g.Screen(320, 240), 0x00FF80u);

  // "base" fills the whole screen, wherever the rectangle starts, and
  // ignores the source position.
  g.Run(".pic bg");
  g.Run(".pic screen base");
  EXPECT_EQ(g.Screen(0, 0), 0x00FF80u);
  EXPECT_EQ(g.Screen(639, 479), 0x00FF80u);
  g.Run(".pic bg");
  g.Run(".pic screen base 0 0 -100 -100 800 800 500 400");
  EXPECT_EQ(g.Screen(0, 0), 0x00FF80u);
  EXPECT_EQ(g.Screen(639, 479), 0x00FF80u);
  g.Run(".pic bg");
  g.Run(".pic screen base 0010 0 -100 -100 800 800 500 400");
  EXPECT_EQ(g.Screen(639, 479), 0x00FF80u);

  // Colour names work as everywhere.
  g.Run(".bsc red");
  EXPECT_EQ(g.Page(2, 5, 5), 0xFF0000u);
  EXPECT_EQ(g.Screen(5, 5), 0xFF0000u);
}

TEST(GraphicsBaseColour, AConfigurationLineColoursPagesMadeAfterIt) {
  GraphicsGame g(".bsc 0000FF\n.scr 3\n");
  g.Start();
  for (int n = 0; n <= 3; ++n) EXPECT_EQ(g.Page(n, 100, 100), 0x0000FFu) << n;
  EXPECT_EQ(g.Screen(100, 100), 0x0000FFu);
  g.Run(".pic screen base 0 0 0 0 10 10");
  EXPECT_EQ(g.Screen(5, 5), 0x0000FFu);
}

TEST(GraphicsBaseColour, OnlyWhileTheTextWindowIsHidden) {
  GraphicsGame g;
  g.Start();
  g.Run(".tsw");
  EXPECT_EQ(g.Error(".bsc red"),
            ReportAtStart("「.bsc」は「.thd」がかかった状態でしか実行できません"));
}

}  // namespace
}  // namespace tsumugi::test
