// The player's comforts through the real binary, timed on the runner's
// virtual clock: auto mode answers click waits after a delay that grows with
// the text, any press ends it; going back stops at the wait a quick load
// put back; Ctrl held passes everything up to a menu, Tab only what earlier
// runs read; Escape leaves an automatic save; the menu saves, loads and
// changes the settings; our own words follow the locale. The text log tells
// when each page was typed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/text_codec.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// Three pages of 1, 2 and 3 characters typed at 10 ms each, each ending at
// a click wait.
constexpr char kPages[] =
    ".tsw\r\n.tsp 10\r\n■\r\n.tcl 0\r\n■■\r\n.tcl 0\r\n■■■\r\n.clk 0\r\n.end\r\n";
// A page, a second's pause, a page and a menu (its lines at y 20 and 38)
// whose branches type a page each; the second then one more.
constexpr char kMenuGame[] =
    ".tsw\r\n.tsp 10\r\n■\r\n.tcl 0\r\n.wat 1000\r\n■■\r\n.tcl 0\r\n.slt\r\n一\r\n二\r\n"
    ".\r\n.1\r\n■■■\r\n.clk 0\r\n.end\r\n.2\r\n■■■■\r\n.clk 0\r\n■\r\n.clk 0\r\n.end\r\n.\r\n";

// The text log of a run of `script` with `input`, in `work` (its saves and
// screenshots stay there from run to run); `err` gets its standard error.
std::string TextLogOf(const std::string& input, const char* script, const TempDir& work,
                      const std::vector<std::string>& more = {}, std::string* err = nullptr) {
  WriteFile(work / "game/data/start.txt", Utf16ToCp932(Utf8ToUtf16(script)));
  WriteFile(work / "input", input);
  std::vector<std::string> args = {"--headless", "--input", (work / "input").string(),
                                   "--save-dir", (work / "saves").string(), "--text-log",
                                   (work / "log").string()};
  args.insert(args.end(), more.begin(), more.end());
  args.push_back("game");
  const RunResult run = RunTsumugi(args, work.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  if (err) *err = run.err;
  return ReadFile(work / "log");
}

std::string TextLogOf(const std::string& input, const char* script = kPages) {
  TempDir work;
  return TextLogOf(input, script, work);
}

TEST(PlayerAuto, AClickWaitAnswersItselfAfterADelayThatGrowsWithTheText) {
  // Auto mode from the first wait (10 ms): 1,200 ms and 50 for its one
  // character; the second page is typed by 1,280 and waits 1,300 ms.
  EXPECT_EQ(TextLogOf("key A\nwait 10000\nscreenshot end.png\n"),
            "10\tstart.txt:3\t■\n1280\tstart.txt:5\t■■\n2610\tstart.txt:7\t■■■\n");
  // Switched on 500 ms into the first wait, the delay still counts from
  // its start.
  EXPECT_EQ(TextLogOf("wait 510\nkey A\nwait 10000\nscreenshot end.png\n"),
            "10\tstart.txt:3\t■\n1280\tstart.txt:5\t■■\n2610\tstart.txt:7\t■■■\n");
  // A click ends it: the second page waits for the player.
  EXPECT_EQ(TextLogOf("key A\nwait 100\nclick 5 5\nwait 10000\nscreenshot end.png\n"),
            "10\tstart.txt:3\t■\n130\tstart.txt:5\t■■\n");
  // So does a key, and A again.
  EXPECT_EQ(TextLogOf("key A\nwait 100\nkey Left\nwait 10000\nscreenshot end.png\n"),
            "10\tstart.txt:3\t■\n");
  EXPECT_EQ(TextLogOf("key A\nwait 100\nkey A\nwait 10000\nscreenshot end.png\n"),
            "10\tstart.txt:3\t■\n");
}

TEST(PlayerBack, GoingBackStopsAtTheWaitAQuickLoadPutBack) {
  // Saved at the second page and loaded at the third: going back from
  // there does nothing, so the click goes on to the third page again.
  EXPECT_EQ(TextLogOf("click 5 5\nkey F5\nclick 5 5\nkey F9\nkey PageUp\nkey PageUp\n"
                      "click 5 5\n"),
            "10\tstart.txt:3\t■\n30\tstart.txt:5\t■■\n60\tstart.txt:7\t■■■\n"
            "90\tstart.txt:7\t■■■\n");
}

TEST(PlayerSkip, CtrlHeldPassesEverythingUpToAMenuAndLettingGoGivesTheNormalPaceBack) {
  TempDir work;
  // The second page is typed at once 2 ms after the first: its click wait
  // and the pause took a millisecond each. After the menu, with Ctrl let
  // go, the branch is typed at 10 ms a character again.
  EXPECT_EQ(TextLogOf("keydown Ctrl\nwait 3000\nscreenshot skipped.png\nkeyup Ctrl\n"
                      "click 10 20\nwait 1000\nclick 5 5\n",
                      kMenuGame, work),
            "10\tstart.txt:3\t■\n12\tstart.txt:6\t■■\n3040\tstart.txt:13\t■■■\n");
  // The menu looks as it does when the player clicked the way there.
  TextLogOf("click 5 5\nclick 5 5\nwait 100\nscreenshot clicked.png\n", kMenuGame, work);
  EXPECT_EQ(ReadFile(work / "skipped.png"), ReadFile(work / "clicked.png"));
}

TEST(PlayerSkip, TabPassesOnlyTextReadBeforeAndStopsAtTheFirstLineNeverShown) {
  TempDir work;
  // The first run reads the first page only.
  EXPECT_EQ(TextLogOf("wait 100\n", kMenuGame, work), "10\tstart.txt:3\t■\n");
  // The next passes it, and the unread second page is typed at its pace and
  // waits.
  EXPECT_EQ(TextLogOf("key Tab\nwait 3000\n", kMenuGame, work),
            "10\tstart.txt:3\t■\n32\tstart.txt:6\t■■\n");
  // Then up to the menu, where skipping ends; the branch taken is new, and
  // Tab at its wait does not answer it.
  const std::string to_branch = "key Tab\nwait 3000\nclick 10 38\nwait 100\nkey Tab\nwait 100\n";
  EXPECT_EQ(TextLogOf(to_branch, kMenuGame, work),
            "10\tstart.txt:3\t■\n12\tstart.txt:6\t■■\n3050\tstart.txt:17\t■■■■\n");
  // Once read, Tab at that wait answers it (the click resumes the script at
  // the next tick of the 10 ms input timer), and the new last page is typed
  // at its pace.
  EXPECT_EQ(TextLogOf(to_branch, kMenuGame, work),
            "10\tstart.txt:3\t■\n12\tstart.txt:6\t■■\n3050\tstart.txt:17\t■■■■\n"
            "3121\tstart.txt:19\t■\n");
}

TEST(PlayerQuit, EscapeAtAWaitLeavesAnAutomaticSaveThatContinueGoesOnFrom) {
  TempDir work;
  EXPECT_EQ(TextLogOf("click 5 5\nkey Escape\n", kPages, work),
            "10\tstart.txt:3\t■\n30\tstart.txt:5\t■■\n");
  // The next run begins at the second page's wait: one click types the
  // third.
  EXPECT_EQ(TextLogOf("click 5 5\n", kPages, work, {"--continue"}), "30\tstart.txt:7\t■■■\n");
  // Without a save that can be read, the game starts from its beginning.
  WriteFile(work / "saves/autosave.png", "damaged");
  std::string err;
  EXPECT_EQ(TextLogOf("wait 100\n", kPages, work, {"--continue"}, &err),
            "10\tstart.txt:3\t■\n");
  EXPECT_NE(err.find("autosave.png"), std::string::npos) << err;
}

// The player's menu, driven by keys: F1 opens it, the arrows choose, Enter
// takes; its lines are "save", "load", "settings" and so on.

TEST(PlayerMenu, ASlotIsSavedLoadedAndOverwrittenOnlyAfterAYes) {
  TempDir work;
  const std::string save = "key F1\nkey Enter\nkey Enter\n";
  const std::string load = "key F1\nkey Down\nkey Enter\nkey Enter\n";
  // Slot 1 holds the second page; the third is typed. Saving over it:
  // Enter answers the question no, so loading it gives the second page
  // again. Now yes: the slot holds the third page, whose wait a load goes
  // back to.
  const std::string input = "click 5 5\n" + save + "click 5 5\n" + save + "key Enter\nkey F1\n" +
                            load + "click 5 5\n" + save + "key Up\nkey Enter\n" + load +
                            "click 5 5\n";
  EXPECT_EQ(TextLogOf(input, kPages, work),
            "10\tstart.txt:3\t■\n30\tstart.txt:5\t■■\n60\tstart.txt:7\t■■■\n"
            "90\tstart.txt:7\t■■■\n");
  EXPECT_TRUE(std::filesystem::exists(work / "saves/slot01.png"));
  EXPECT_FALSE(std::filesystem::exists(work / "saves/slot02.png"));
  // A damaged slot cannot be loaded: Enter on it does nothing and the
  // game goes on at its first page.
  WriteFile(work / "saves/slot01.png", "damaged");
  EXPECT_EQ(TextLogOf(load + "key F1\nclick 5 5\n", kPages, work),
            "10\tstart.txt:3\t■\n30\tstart.txt:5\t■■\n");
}

TEST(PlayerMenu, TheSettingsScreenChangesThePaceAndKeepsItInTheFile) {
  TempDir work;
  const auto settings = work / "settings.toml";
  WriteFile(settings, "text_speed = 1.0\n");
  // Two steps right: 1.5, then 2; the next pages are typed at 5 ms a
  // character.
  EXPECT_EQ(TextLogOf("key F1\nkey Down\nkey Down\nkey Enter\nkey Right\nkey Right\nkey F1\n"
                      "click 5 5\nclick 5 5\n",
                      kPages, work, {"--settings", settings.string()}),
            "10\tstart.txt:3\t■\n20\tstart.txt:5\t■■\n35\tstart.txt:7\t■■■\n");
  EXPECT_NE(ReadFile(settings).find("text_speed = 2"), std::string::npos) << ReadFile(settings);
}

TEST(PlayerMenu, InputRunningOutWithTheMenuOpenEndsTheRunAsEscapeDoes) {
  TempDir work;
  TextLogOf("click 5 5\nkey F1\nkey Down\nkey Enter\n", kPages, work);
  // The automatic save holds the second page; just after the start the
  // menu's first line goes on from it.
  EXPECT_EQ(TextLogOf("key F1\nkey Enter\nclick 5 5\n", kPages, work),
            "10\tstart.txt:3\t■\n40\tstart.txt:7\t■■■\n");
  // That run left the third page's wait, where --continue begins: the
  // click ends the game without typing anything.
  EXPECT_EQ(TextLogOf("click 5 5\n", kPages, work, {"--continue"}), "");
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
