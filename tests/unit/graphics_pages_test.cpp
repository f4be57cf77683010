// Off-screen pages from the configuration file, and the base colour
// command ".bsc".
#include <gtest/gtest.h>

#include "unit/graphics_test_game.h"

namespace tsumugi::test {
namespace {

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
