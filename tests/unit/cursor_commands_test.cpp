// The pointer picture (".cur"): what the host is given to show, and the
// reports (the glide ".mcm" and the mouse modes are played by the scenarios).
#include <gtest/gtest.h>

#include "unit/graphics_test_pictures.h"
#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

TEST(CursorPicture, LoadedShownAndGivenBack) {
  TextGame g;
  g.File("hand.cur", CursorFile(32, 32, 3, 5, 0xFF112233));
  g.File("sub/arrow two.cur", CursorFile(16, 16, 0, 0, 0xFF445566));
  g.Start();
  g.Line(".cur hand");
  const gdi::CursorImage* image = g.host().CursorImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 32);
  EXPECT_EQ(image->hot_x, 3);
  EXPECT_EQ(image->hot_y, 5);
  EXPECT_EQ(image->argb[0], 0xFF112233u);
  // The whole rest of the line is the name; sub-folders may be part of it.
  g.Line(".cur sub\\arrow two.cur");
  ASSERT_NE(g.host().CursorImage(), nullptr);
  EXPECT_EQ(g.host().CursorImage()->width, 16);
  EXPECT_EQ(g.engine().cursor.Image(), g.host().CursorImage());
  g.Line(".cur normal");
  EXPECT_EQ(g.host().CursorImage(), nullptr);

  // A configuration line sets it at start-up.
  TextGame c({{"config.txt", ".cur hand\n"}});
  c.File("hand.cur", CursorFile(32, 32, 0, 0, 0xFF000000));
  c.Start();
  EXPECT_NE(c.host().CursorImage(), nullptr);
}

TEST(CursorPicture, MissingAndUnreadableFilesAreReported) {
  TextGame g;
  g.Start();
  const std::string folder = (g.game() / "data").string() + "/";
  EXPECT_EQ(g.Error(".cur nothing"),
            ReportAtStart("ファイル「" + folder + "nothing.cur」は存在しません。"));
  TextGame h;
  h.File("broken.cur", "not a cursor at all");
  h.Start();
  EXPECT_EQ(h.Error(".cur broken"),
            ReportAtStart("ファイル「" + (h.game() / "data").string() +
                          "/broken.cur」はカーソルファイルとして読み込めません"));
  EXPECT_EQ(h.host().CursorImage(), nullptr);
}

}  // namespace
}  // namespace tsumugi::test
