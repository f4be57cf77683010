// Choice menus as the player sees them: where a menu is laid out, the hover
// highlight, taking a choice and the branch it runs, the rows a press hits,
// the ".0" block, and the reports for menus that cannot work.
#include <gtest/gtest.h>

#include "unit/choice_game.h"

namespace tsumugi::test {
namespace {

// Selected red, not selected blue, ordinary text white; crisp glyphs keep
// these colours exact.
constexpr const char* kColours =
    ".tsw\n.tsp 0\n.txt font color selected FF0000\n.txt font color notselected 0000FF\n";

TEST(ChoiceMenu, StartsOnAFreshLineAndLightsTheChoiceUnderThePointer) {
  // Text mode 1 leaves "はじめ" open on line 0; choice 2 is long enough to
  // continue on a second display line.
  const std::string script = std::string(".tmd 1\n") + kColours +
                             "はじめ\n.slt\n一\n"
                             "ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶ\n三\n.\n";
  struct Case {
    const char* input;
    std::string looks;  // display lines 0 to 5: W white, R selected, B not selected, - empty
  };
  const Case cases[] = {
      {"", "WBBBB-"},
      // On the first line of choice 2: both of its lines light up.
      {"move 300 70\nwait 20\n", "WBRRB-"},
      // Far right of the short third choice, on its last row.
      {"move 639 159\nwait 20\n", "WBBBR-"},
      // In the first row below the menu nothing is lit, and a lit choice
      // goes out again.
      {"move 300 70\nwait 20\nmove 5 160\nwait 20\n", "WBBBB-"},
  };
  for (const Case& c : cases) {
    ChoiceGame g(script, c.input);
    EXPECT_EQ(g.Run(), ExitStatus::kNormal);
    EXPECT_EQ(g.Looks(6), c.looks) << c.input;
  }
}

TEST(ChoiceMenu, TakingTheSecondOfThreePassesTheMarkersOfInnerBlocks) {
  // Branch 1 holds a menu whose list ends with "." and a ".cas" block, both
  // with a ".2" of their own; a ".rcl exit" line opens no block.
  ChoiceGame g(std::string(kColours) +
                   ".slt\n一\n二\n三\n.\n"
                   ".1\n.slt\n内一\n内二\n.\n.2\n.inner\n.skp\n.\n"
                   ".cas 1\n.2\n.\n.rcl exit 0 0 0\n.skp\n"
                   ".2\n.took2\n.3\n.took3\n.\n",
               "click 10 40\n");
  EXPECT_EQ(g.Run(), ExitStatus::kError);
  EXPECT_EQ(g.Probe(), ".took2");
  // The menu stays, the taken choice selected; its lines are ordinary now.
  EXPECT_EQ(g.Looks(4), "BRB-");
  for (const TextLine& line : g.text().TextLines) EXPECT_EQ(line.ChoiceNumber, 0);
}

TEST(ChoiceMenu, RowsOfEachLineBelongToItsChoice) {
  // Line height 40 (text 32 + leading 8); the canvas starts at (15, 26).
  ChoiceGame g(
      ".txt font leading 8\n.txt space pos 10 20\n.txt canvas pos 5 6\n"
      ".tsw\n.tsp 0\n.slt\n一\n二\n.\n",
      "");
  g.Run();
  auto hit = [&](int px, int py) { return g.window().ChoiceHitTest(15.0f + px, 26.0f + py); };
  for (int py = 0; py < 80; ++py) {
    const int r = py % 40;
    const int want = (r <= 31 || r == 39) ? py / 40 + 1 : 0;
    EXPECT_EQ(hit(0, py), want) << "row " << py;
    // The whole canvas width counts, not only the glyphs.
    EXPECT_EQ(hit(639, py), want) << "row " << py;
  }
  EXPECT_EQ(hit(640, 0), 0);
  EXPECT_EQ(hit(-1, 0), 0);
  EXPECT_EQ(hit(0, -1), 0);
  // Lines without a choice, and rows past the canvas.
  EXPECT_EQ(hit(0, 80), 0);
  EXPECT_EQ(hit(0, 480), 0);
}

TEST(ChoiceMenu, AZeroBlockRunsAtOnceAndPressesDuringItChooseNothing) {
  // The press at 50 ms falls into the ".wat" of the block, on choice 2.
  ChoiceGame g(".tsw\n.tsp 0\n.slt\n一\n二\n.0\n.wat 100\n案内\n.1\n.took1\n.2\n.took2\n.\n",
               "wait 50\nclick 10 40\nclick 10 8\n");
  EXPECT_EQ(g.Run(), ExitStatus::kError);
  EXPECT_EQ(g.Probe(), ".took1");
  EXPECT_EQ(g.text().TextLines[2].Text, u"案内");
  EXPECT_GE(g.host().Now(), 100u);
}

TEST(ChoiceMenu, TheFirstHoverTickPutsTheMenuOverWhatItsBlockDrew) {
  // The ".0" block covers the screen in green; the hover tick puts the
  // canvas, and so the menu, back on top of it, also when the pointer
  // rests off the menu and no line changes colour.
  ChoiceGame g(std::string(kColours) + ".slt\n一\n二\n.0\n.pic cover\n.1\n.took1\n.2\n.took2\n.\n",
               "move 5 300\nwait 30\n");
  g.Picture("cover.bmp", 640, 480, [](int, int) { return 0x00FF00u; });
  EXPECT_EQ(g.Run(), ExitStatus::kNormal);
  EXPECT_EQ(g.Looks(3), "BB-");
}

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
