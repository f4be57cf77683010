// The window host on SDL's dummy video driver: the player's wish to leave
// reaches the engine during a hold, and message boxes the desktop cannot
// show are neither lost nor answered "yes".
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/sdl/sdl_host.h"

namespace tsumugi::sdl {
namespace {

struct Ended {
  std::string how;
};

class Sink final : public HostEvents {
 public:
  void OnMouseDown(MouseButton, int, int, int) override {}
  void OnMouseUp(MouseButton, int, int, int) override {}
  void OnKeyDown(KeyCode key, int) override { keys += std::to_string(static_cast<int>(key)) + " "; }
  void OnKeyUp(KeyCode, int) override {}
  void OnWheel(int notches) override { wheel += notches; }
  void OnKeyPress(int c) override {
    if (c == 27) throw Ended{"escape"};
  }
  void OnTimer(TimerId) override {}
  void OnCloseRequest() override { throw Ended{"close"}; }
  void OnTimeLimit() override {}
  void OnMediaNotify() override {}
  std::string keys;
  int wheel = 0;
};

class SdlHostTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    std::string error;
    if (!host_.Open(&error)) GTEST_SKIP() << "no SDL video: " << error;
    host_.SetEventSink(&sink_);
  }
  // Pushes an event from another thread after `ms`, as the desktop would
  // while the engine holds.
  std::thread Later(int ms, SDL_Event event) {
    return std::thread([=]() mutable {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      SDL_PushEvent(&event);
    });
  }
  static SDL_Event Key(SDL_Keycode key) {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.keysym.sym = key;
    return e;
  }
  SdlHost host_;
  Sink sink_;
};

TEST_F(SdlHostTest, TheCloseButtonAndEscapeEndALongHold) {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  for (const auto& [event, how] : {std::pair{quit, "close"}, std::pair{Key(SDLK_ESCAPE), "escape"}}) {
    std::thread pusher = Later(100, event);
    std::string ended;
    try {
      host_.Sleep(600000);  // ten minutes, unless the player leaves
    } catch (const Ended& e) {
      ended = e.how;
    }
    pusher.join();
    EXPECT_EQ(ended, how);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
}

TEST_F(SdlHostTest, OtherKeysWaitForTheEndOfTheHold) {
  std::thread pusher = Later(10, Key(SDLK_RETURN));
  host_.Sleep(200);
  pusher.join();
  EXPECT_EQ(sink_.keys, "");
  host_.DoEvents();
  EXPECT_EQ(sink_.keys, "13 ");
}

TEST_F(SdlHostTest, BoxesGoToStandardErrorAndAnUnshownQuestionIsNo) {
  testing::internal::CaptureStderr();
  host_.MessageBoxOk(u"ファイル「a.txt」\r\nは存在しません");
  const bool yes = host_.MessageBoxYesNo(u"フルスクリーン表示しますか？");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("message: ファイル「a.txt」\nは存在しません"), std::string::npos) << err;
  EXPECT_NE(err.find("question: フルスクリーン表示しますか？"), std::string::npos) << err;
  EXPECT_FALSE(yes) << err;
}

}  // namespace
}  // namespace tsumugi::sdl
