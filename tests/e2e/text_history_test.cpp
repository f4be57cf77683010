// The text history (L): the session's text page by page with the choices
// taken, scrolled by the arrows and the wheel, closed by L, Escape or a right
// click; the game hears none of it, so a run that opened it ends exactly as
// one that never did.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_codec.h"
#include "support/engine_fixture.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

constexpr char kGame[] =
    ".tsw\n.tsp 10\nあい\n.tcl 0\nう\n.tcl 0\n.slt\n一\n二\n.\n.1\nえ\n.clk 0\n.end\n"
    ".2\nお\n.clk 0\nか\n.clk 0\n.end\n.\n";

TEST(TextHistory, HoldsEveryPageAndTheChoiceTakenAndTheGameNeverHearsOfItNorOfTheMenu) {
  const std::string plain = "click 5 5\nclick 5 5\nwait 100\nclick 10 38\nwait 100\nclick 5 5\n";
  // The history opened at each kind of wait; clicks, keys, the wheel and
  // Escape go to it, and it closes by each of its three ways. So does the
  // menu, through its settings and its keys, by F1, the middle button and
  // a right click.
  const std::string looked =
      "click 5 5\nkey F1\nkey Down\nkey Down\nkey Enter\nkey Escape\nwheel down\nkey Down\n"
      "key Enter\nkey Enter\nmiddle 5 5\nmiddle 5 5\nclick 5 5\nrclick 5 5\n"
      "key F1\nkey Space\nkey F1\nkey L\nclick 5 5\nkey Enter\nkey Up\nwheel up\nkey L\nclick 5 5\nwait 100\n"
      "key L\nclick 10 20\nkey Escape\nclick 10 38\nwait 100\nkey L\nrclick 5 5\nclick 5 5\n";
  EngineFixture a({{"data/start.txt", kGame}}, plain);
  EngineFixture b({{"data/start.txt", kGame}}, looked);
  EXPECT_EQ(a.Run(), ExitStatus::kNormal);
  EXPECT_EQ(b.Run(), ExitStatus::kNormal);
  EXPECT_TRUE(a.state() == b.state());
  EXPECT_EQ(a.Output(), b.Output());
  EXPECT_FALSE(b.engine().player.Texts().Open());

  std::vector<std::string> lines;
  for (const HistoryLine& line : b.engine().player.Texts().Lines()) {
    lines.push_back(std::string(line.page_start ? "| " : "") + (line.choice ? "> " : "") +
                    Utf16ToUtf8(line.text));
  }
  EXPECT_EQ(lines, (std::vector<std::string>{"あい", "| う", "| > 二", "お", "| か"}));
}

TEST(TextHistory, TheScreenScrollsAndClosingShowsTheGameAsItWas) {
  TempDir work;
  std::string script = ".tsw\n.tsp 0\n";
  for (int page = 1; page <= 30; ++page) script += "頁" + std::to_string(page) + "\n.tcl 0\n";
  WriteFile(work / "game/data/start.txt",
            Utf16ToCp932(Utf8ToUtf16(script + ".end\n")));
  std::string input;
  for (int page = 1; page < 30; ++page) input += "click 5 5\n";
  input += "screenshot game.png\nkey L\nscreenshot newest.png\nkey Up\nwheel up\n"
           "screenshot back.png\nwheel down\nkey Down\nscreenshot again.png\nkey L\n"
           "screenshot closed.png\n";
  WriteFile(work / "input", input);
  const RunResult run = RunTsumugi({"--headless", "--input", (work / "input").string(),
                                    "--save-dir", (work / "saves").string(), "game"},
                                   work.path());
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(ReadFile(work / "newest.png"), ReadFile(work / "game.png"));
  EXPECT_NE(ReadFile(work / "back.png"), ReadFile(work / "newest.png"));
  EXPECT_EQ(ReadFile(work / "again.png"), ReadFile(work / "newest.png"));
  EXPECT_EQ(ReadFile(work / "closed.png"), ReadFile(work / "game.png"));
}

}  // namespace
}  // namespace tsumugi::test
