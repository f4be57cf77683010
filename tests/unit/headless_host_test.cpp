// The timing rules of the headless runner: when actions happen, timers on
// the way, jumps of the virtual clock, the time limit and the watchdog; and
// the input file's line ends and limits.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/headless/headless_host.h"

namespace tsumugi::headless {
namespace {

// Records every event with the engine time it came at; `on_press` lets a
// test act as the engine inside an event.
class Recorder final : public HostEvents {
 public:
  explicit Recorder(HeadlessHost& host) : host_(host) { host.SetEventSink(this); }
  void OnMouseDown(MouseButton, int, int x, int) override {
    Log("down" + std::to_string(x));
    if (on_press) on_press(x);
  }
  void OnMouseUp(MouseButton, int, int x, int) override { Log("up" + std::to_string(x)); }
  void OnKeyDown(KeyCode, int) override {}
  void OnKeyUp(KeyCode, int) override {}
  void OnWheel(int notches) override { Log("wheel" + std::to_string(notches)); }
  void OnKeyPress(int) override { Log("escape"); }
  void OnTimer(TimerId) override { Log("tick"); }
  void OnCloseRequest() override { Log("close"); }
  void OnMediaNotify() override { Log("media"); }
  void OnTimeLimit() override {
    Log("limit");
    throw 3;
  }
  std::string log;
  std::function<void(int)> on_press;

 private:
  void Log(const std::string& what) { log += what + "@" + std::to_string(host_.Now()) + " "; }
  HeadlessHost& host_;
};

HeadlessOptions WithInput(const std::string& input) {
  HeadlessOptions options;
  InputParseResult parsed = ParseInputScript(input);
  EXPECT_EQ(parsed.error, "");
  options.actions = parsed.actions;
  return options;
}

TEST(HeadlessClock, ActionsComeAtOnceWhenTheEngineWaitsAndTimedOnesExactlyOnTime) {
  HeadlessHost host(WithInput("click 1 1\nclick 2 2\nwait 10\nclick 3 3\n"));
  Recorder r(host);
  // The engine spends 40 ms after the first click: the next untimed action
  // comes when it waits again, the timed one 10 ms after that.
  r.on_press = [&](int x) {
    if (x == 1) host.Sleep(40);
  };
  host.RunEventLoop();
  EXPECT_EQ(r.log, "down1@0 up1@40 down2@40 up2@40 down3@50 up3@50 escape@50 ");
}

TEST(HeadlessClock, ATimedActionInterruptsAPauseAndCountsFromItsOwnTime) {
  HeadlessHost host(WithInput("wait 150\npress left 1 1\nwait 100\nrelease left 1 1\n"));
  Recorder r(host);
  // A pause of the engine is cut at the action.
  host.WaitEvents(1000);
  EXPECT_EQ(r.log, "down1@150 ");
  // Asleep past the next one, it comes at the next pump; the one after
  // would still count from its due time.
  host.Sleep(1000);
  host.DoEvents();
  EXPECT_EQ(r.log, "down1@150 up1@1150 ");
}

TEST(HeadlessClock, TimersTickOnTheWayAndBeforeAnActionDueWithThem) {
  HeadlessHost host(WithInput("wait 300\nclick 1 1\n"));
  Recorder r(host);
  host.SetTimerInterval(TimerId::kTimer3, 100);
  host.EnableTimer(TimerId::kTimer3, true);
  host.RunEventLoop();
  EXPECT_EQ(r.log, "tick@100 tick@200 tick@300 down1@300 up1@300 escape@300 ");
}

TEST(HeadlessClock, AWaitWithNothingDueIsOneStepAndTimersStillTickEachTime) {
  HeadlessHost host(WithInput("wait 2147483648\nclick 1 1\n"));
  Recorder r(host);
  host.RunEventLoop();
  EXPECT_EQ(r.log, "down1@2147483648 up1@2147483648 escape@2147483648 ");
  EXPECT_EQ(host.ClockSteps(), 1u);

  HeadlessHost ticking(WithInput("wait 1000000\nclick 1 1\n"));
  Recorder t(ticking);
  ticking.SetTimerInterval(TimerId::kTimer1, 1000);
  ticking.EnableTimer(TimerId::kTimer1, true);
  ticking.RunEventLoop();
  EXPECT_EQ(ticking.ClockSteps(), 1000u);
}

TEST(HeadlessClock, TheTimeLimitStopsTheClockWhereItIs) {
  HeadlessOptions options;
  options.max_time = 500;
  HeadlessHost host(options);
  Recorder r(host);
  host.Sleep(499);
  EXPECT_THROW(host.Sleep(2), int);
  EXPECT_EQ(r.log, "limit@500 ");
}

TEST(HeadlessClock, TheWatchdogLooksAtRealTimeOnEveryPump) {
  HeadlessOptions options;
  options.endless_script_limit = std::chrono::milliseconds(50);
  HeadlessHost host(options);
  Recorder r(host);
  // A loop whose every round takes a millisecond and lets no engine time
  // pass is stopped after about 50 rounds, not thousands.
  int rounds = 0;
  try {
    for (; rounds < 5000; ++rounds) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      host.DoEvents();
    }
  } catch (int) {
  }
  EXPECT_EQ(r.log, "limit@0 ");
  EXPECT_LT(rounds, 5000);
}

TEST(HeadlessInput, LineEndsAndTheLongestWait) {
  // CR LF, LF and a lone CR end lines alike; line numbers count each.
  InputParseResult parsed = ParseInputScript("click 1 2\rwait 5\r\nkey Enter\nmove 3 4");
  ASSERT_EQ(parsed.error, "");
  ASSERT_EQ(parsed.actions.size(), 3u);
  EXPECT_EQ(parsed.actions[1].delay, 5u);
  EXPECT_EQ(parsed.actions[2].line, 4);
  EXPECT_EQ(ParseInputScript("click 1 2\r\rjump\r").error, "line 3: unknown action 'jump'");
  // 2^31 ms is the longest wait, alone or as waits in a row.
  EXPECT_EQ(ParseInputScript("wait 2147483648\nclick 1 1").error, "");
  EXPECT_NE(ParseInputScript("wait 2147483649\nclick 1 1").error, "");
  EXPECT_NE(ParseInputScript("wait 2147483648\nwait 1\nclick 1 1").error, "");
  EXPECT_NE(ParseInputScript("wait 99999999999999999999999").error, "");
}

TEST(HeadlessInput, TheWheelTheMiddleButtonAndThePlayersKeys) {
  HeadlessHost host(WithInput("wheel up\nwait 5\nwheel down\nmiddle 7 8\nkey PageUp\n"));
  Recorder r(host);
  host.RunEventLoop();
  EXPECT_EQ(r.log, "wheel1@0 wheel-1@5 down7@5 up7@5 escape@5 ");
  for (const char* name : {"F1", "Tab", "A", "L", "PageUp", "PageDown", "Ctrl"}) {
    EXPECT_EQ(ParseInputScript(std::string("keydown ") + name).error, "") << name;
  }
  EXPECT_EQ(ParseInputScript("wheel left").error, "line 1: 'wheel' takes up or down");
  EXPECT_EQ(ParseInputScript("middle 1").error, "line 1: 'middle' takes X Y");
  EXPECT_NE(ParseInputScript("key a").error, "");
}

}  // namespace
}  // namespace tsumugi::headless
