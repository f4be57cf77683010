// The player's menu through the real binary: save to a slot and load it
// back, a slot overwritten only after a yes, the settings screen keeping
// what it changes, and input running out with the menu open ending the run
// as Escape does. Keys drive it: F1 opens it, the arrows choose, Enter
// takes; its first line is "save", then "load", "settings".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text_codec.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

constexpr char kPages[] =
    ".tsw\r\n.tsp 10\r\n■\r\n.tcl 0\r\n■■\r\n.tcl 0\r\n■■■\r\n.clk 0\r\n.end\r\n";

// Runs the pages with `input` in `work` (its data folder stays from run to
// run); the text log.
std::string Play(const TempDir& work, const std::string& input,
                 std::vector<std::string> more = {}) {
  WriteFile(work / "game/data/start.txt", Utf16ToCp932(Utf8ToUtf16(kPages)));
  WriteFile(work / "input", input);
  std::vector<std::string> args = {"--headless", "--input", (work / "input").string(),
                                   "--save-dir", (work / "saves").string(), "--text-log",
                                   (work / "log").string()};
  args.insert(args.end(), more.begin(), more.end());
  args.push_back("game");
  const RunResult run = RunTsumugi(args, work.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  return ReadFile(work / "log");
}

TEST(PlayerMenu, ASlotIsSavedLoadedAndOverwrittenOnlyAfterAYes) {
  TempDir work;
  const std::string save = "key F1\nkey Enter\nkey Enter\n";
  const std::string load = "key F1\nkey Down\nkey Enter\nkey Enter\n";
  EXPECT_EQ(Play(work,
                 // Slot 1 holds the second page; the third is typed.
                 "click 5 5\n" + save + "click 5 5\n" +
                     // Saving over it: Enter answers the question no.
                     save + "key Enter\nkey F1\n" +
                     // Loading it gives the second page again.
                     load + "screenshot loaded.png\nclick 5 5\n" +
                     // Now yes: the slot holds the third page, whose wait
                     // a load goes back to.
                     save + "key Up\nkey Enter\n" + load + "click 5 5\n"),
            "10\tstart.txt:3\t■\n30\tstart.txt:5\t■■\n60\tstart.txt:7\t■■■\n"
            "90\tstart.txt:7\t■■■\n");
  EXPECT_TRUE(std::filesystem::exists(work / "saves/slot01.png"));
  EXPECT_FALSE(std::filesystem::exists(work / "saves/slot02.png"));
  // A damaged slot cannot be loaded: Enter on it does nothing and the
  // game goes on at its first page.
  WriteFile(work / "saves/slot01.png", "damaged");
  EXPECT_EQ(Play(work, load + "key F1\nclick 5 5\n"), "10\tstart.txt:3\t■\n30\tstart.txt:5\t■■\n");
}

TEST(PlayerMenu, TheSettingsScreenChangesThePaceAndKeepsItInTheFile) {
  TempDir work;
  const auto settings = work / "settings.toml";
  WriteFile(settings, "text_speed = 1.0\n");
  // Two steps right: 1.5, then 2; the next pages are typed at 5 ms a
  // character.
  EXPECT_EQ(Play(work,
                 "key F1\nkey Down\nkey Down\nkey Enter\nkey Right\nkey Right\nkey F1\n"
                 "click 5 5\nclick 5 5\n",
                 {"--settings", settings.string()}),
            "10\tstart.txt:3\t■\n20\tstart.txt:5\t■■\n35\tstart.txt:7\t■■■\n");
  EXPECT_NE(ReadFile(settings).find("text_speed = 2"), std::string::npos) << ReadFile(settings);
}

TEST(PlayerMenu, InputRunningOutWithTheMenuOpenEndsTheRunAsEscapeDoes) {
  TempDir work;
  Play(work, "click 5 5\nkey F1\nkey Down\nkey Enter\n");
  // The automatic save holds the second page; just after the start the
  // menu's first line goes on from it.
  EXPECT_EQ(Play(work, "key F1\nkey Enter\nclick 5 5\n"),
            "10\tstart.txt:3\t■\n40\tstart.txt:7\t■■■\n");
  // That run left the third page's wait, where --continue begins: the
  // click ends the game without typing anything.
  EXPECT_EQ(Play(work, "click 5 5\n", {"--continue"}), "");
}

TEST(PlayerMenu, OurOwnWordsAreEnglishWhenTheLocaleSaysSo) {
  TempDir work;
  WriteFile(work / "game/data/start.txt", Utf16ToCp932(Utf8ToUtf16(kPages)));
  WriteFile(work / "saves/quicksave.png", "damaged");
  WriteFile(work / "input", "key F9\n");
  const auto run = [&](std::vector<std::string> env) {
    RunOptions options;
    options.cwd = work.path();
    options.env = std::move(env);
    return RunTsumugi({"--headless", "--input", (work / "input").string(), "--save-dir",
                       (work / "saves").string(), "game"},
                      options)
        .out;
  };
  // A locale this system may well lack, and the one gettext always heeds.
  EXPECT_NE(run({"LC_ALL", "LANG=en_GB.UTF-8"}).find("Could not read the snapshot"),
            std::string::npos);
  EXPECT_NE(run({"LANGUAGE=en"}).find("The file is not a snapshot"), std::string::npos);
  EXPECT_NE(run({}).find("を読み込めませんでした"), std::string::npos);
}

}  // namespace
}  // namespace tsumugi::test
