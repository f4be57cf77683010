// The player's comforts through the real binary, timed on the runner's
// virtual clock: auto mode answers click waits after a delay that grows with
// the text, any press ends it; going back stops at the wait a quick load
// put back. The text log tells when each page was typed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/text_codec.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// Three pages of 1, 2 and 3 characters typed at 10 ms each, each ending at
// a click wait; the text log of a run with `input`.
std::string TextLogOf(const std::string& input) {
  TempDir work;
  WriteFile(work / "game/data/start.txt",
            Utf16ToCp932(Utf8ToUtf16(".tsw\r\n.tsp 10\r\n■\r\n.tcl 0\r\n■■\r\n.tcl 0\r\n"
                                     "■■■\r\n.clk 0\r\n.end\r\n")));
  WriteFile(work / "input", input);
  const RunResult run =
      RunTsumugi({"--headless", "--input", (work / "input").string(), "--save-dir",
                  (work / "saves").string(), "--text-log", (work / "log").string(), "game"},
                 work.path());
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  return ReadFile(work / "log");
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

}  // namespace
}  // namespace tsumugi::test
