// The reports of ".pic" and ".spr" for words that name no place, page,
// effect or picture (the drawing itself is played by the scenarios).
#include <gtest/gtest.h>

#include "unit/graphics_test_game.h"

namespace tsumugi::test {
namespace {

// A 8 x 6 picture whose every pixel has its own colour.
uint32_t Gradient(int x, int y) {
  return 0x102030u + static_cast<uint32_t>(x) * 0x110000u + static_cast<uint32_t>(y) * 0x001100u;
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

}  // namespace
}  // namespace tsumugi::test
