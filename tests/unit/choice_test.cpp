// The reports for choice menus that cannot work (where a menu is laid out,
// its highlight, the rows a press hits and the branches taken are played by
// the scenarios).
#include <gtest/gtest.h>

#include "unit/choice_game.h"

namespace tsumugi::test {
namespace {

TEST(ChoiceMenu, MenusThatCannotWorkAreReported) {
  const std::string kMissing =
      "「.slt」内に選ばれた選択肢に対応する命令を指す「.3」が見つかりませんでした";
  const std::string kEnd = "必要な情報が得られぬままファイル末尾に達してしまいました";
  struct Case {
    std::string script;
    const char* input;
    int line;
    std::string message;
  };
  const Case cases[] = {
      // No marker for the third choice: reported at the block's closing line.
      {".slt\n一\n二\n三\n.\n.1\n.skp\n.\n", "click 10 70\n", 8, kMissing},
      // More choices than the window holds.
      {".txt maxline 2\n.slt\n一\n二\n三\n.\n", "", 5, "選択肢をテキスト表示欄に表示しきれません"},
      // A choice longer than the whole canvas, in a window of two lines.
      {".txt maxline 2\n.slt\n" + std::string(41, 'A') + std::string(40, 'B') + "\n.\n", "", 3,
       "選択肢をテキスト表示欄に表示しきれません"},
      // The list, or the search for the branch, runs into the end of the file.
      {".slt\n一\n", "", 2, kEnd},
      {".slt\n一\n.\n.2\n", "click 10 8\n", 4, kEnd},
  };
  for (const Case& c : cases) {
    ChoiceGame g(".tsw\n.tsp 0\n" + c.script, c.input);
    EXPECT_EQ(g.Run(), ExitStatus::kError) << c.script;
    EXPECT_EQ(g.OnlyMessage(), "File「start.txt」  Line「" + std::to_string(c.line + 2) +
                                   "」\r\n\r\n" + c.message + "\r\n実行を中止します")
        << c.script;
  }
}

}  // namespace
}  // namespace tsumugi::test
