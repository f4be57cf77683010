// The command table against the engine and the checker: the engine runs
// every command of the table, and a word that stops the engine is what the
// checker reports, with the engine's own message.
#include "engine/script/command_table.h"

#include <gtest/gtest.h>

#include "check/checker.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "support/engine_fixture.h"

namespace tsumugi {
namespace {

using test::EngineFixture;

TEST(CommandTable, TheEngineRunsEveryCommand) {
  EngineFixture f({{"data/start.txt", ".end\n"}});
  f.StartWithoutRunning();
  for (const CommandDef& command : AllCommands()) {
    EXPECT_TRUE(f.engine().script.HasCommand(command.name)) << Utf16ToUtf8(Synopsis(command));
  }
}

TEST(CommandTable, TheCheckerReportsWhatStopsTheEngine) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {".foo", "ないコマンドを指定しました"},
      {".rcl 12", "メモリー番号が不正です"},
      {".sub start here 10", "メモリー番号が不正です"},
      {".bsc pink", "ない色を指定しました"},
      {".txt font color usual 12345", "ない色を指定しました"},
      {".acd one 0", "「.acd」のトラック番号「one」が数値ではありません"},
      {".pic off7 base", "存在しないページ「off7」を指定しました"},
      {".pic there base", "存在しない描画先「there」を指定しました"},
      {".spr base 0", "「.spr」の転送元に「base」は指定できません"},
      {".pic screen base 12x4",
       "クロスフェード「12x4」のレベルとフレーム数は数字で指定してください"},
      {".tpr off2 0 0 hi", "「.tpr off2」の描画先のページが存在しません"},
      {".txt maxline 0", "「.txt maxline」の引数は「0」以下には設定出来ません"},
      {".jmp start nowhere", "ラベル「nowhere」は存在しません"},
      {".let nobody = 1", "宣言されていない変数に代入しようとしました"},
      {".rnd n = 1 to x", "宣言されていない整数型変数が使われました"},
      {".let flag1 = 1", "000～255の番号で終わらないフラグ名が使われました"},
      {".sav start.txt", "セーブファイル名が不正です"},
  };
  for (const Case& c : cases) {
    EngineFixture f({{"data/config.txt", ".scr 1\n.int n\n"},
                     {"data/start.txt", std::string(c.line) + "\n:here\n"}});
    f.Run();
    EXPECT_NE(f.OnlyMessage().find(c.message), std::string::npos) << c.line;
    const std::string stops = "(the engine stops with \"" + std::string(c.message);
    bool found = false;
    for (const check::Finding& finding : check::CheckGame({f.game(), f.game() / "none.ini"})) {
      found = found || (finding.line == 1 && finding.message.find(stops) != std::string::npos);
    }
    EXPECT_TRUE(found) << c.line;
  }
}

}  // namespace
}  // namespace tsumugi
