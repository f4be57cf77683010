// The player's window on a real X server (Xvfb, no window manager), driven
// with xdotool and photographed with ffmpeg's screen grabber: its size and
// sharpness at every scale, clicks and the pointer in game coordinates,
// full screen, the caption, our own message box, and bad displays.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <csignal>
#include <functional>
#include <iostream>
#include <regex>
#include <optional>
#include <sstream>
#include <thread>

#include "common/text_codec.h"
#include "platform/gdi/bitblt.h"
#include "platform/gdi/font.h"
#include "platform/gdi/png_writer.h"
#include "support/test_support.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

bool HaveTools() {
  return fs::exists("/usr/bin/xdotool") && fs::exists("/usr/bin/ffmpeg");
}

// A command's standard output, run against the display.
std::string Tool(const VirtualDisplay& d, const std::string& command) {
  std::string out;
  FILE* pipe = popen(("DISPLAY=" + d.Name() + " " + command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// Waits up to 20 s for `done`; the window system answers asynchronously.
bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 400; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

struct Box {
  int x = -1, y = -1, w = 0, h = 0;
  friend bool operator==(const Box&, const Box&) = default;
};

// Parses the NAME=VALUE lines of xdotool's --shell output.
int ShellValue(const std::string& text, const std::string& name) {
  const size_t at = text.find(name + "=");
  return at == std::string::npos ? -1 : std::atoi(text.c_str() + at + name.size() + 1);
}

Box GeometryOf(const VirtualDisplay& d, const std::string& window) {
  const std::string g = Tool(d, "xdotool getwindowgeometry --shell " + window);
  return {ShellValue(g, "X"), ShellValue(g, "Y"), ShellValue(g, "WIDTH"), ShellValue(g, "HEIGHT")};
}

// The visible windows of the process, oldest first.
std::vector<std::string> WindowsOf(const VirtualDisplay& d, pid_t pid) {
  std::istringstream lines(Tool(d, "xdotool search --onlyvisible --pid " + std::to_string(pid)));
  std::vector<std::string> windows;
  for (std::string w; std::getline(lines, w);) windows.push_back(w);
  std::sort(windows.begin(), windows.end(),
            [](const std::string& a, const std::string& b) { return std::stol(a) < std::stol(b); });
  return windows;
}

// The process's first window, once it shows; empty when none came.
std::string FirstWindowOf(const VirtualDisplay& d, pid_t pid) {
  std::string w;
  WaitFor([&] {
    auto all = WindowsOf(d, pid);
    if (!all.empty()) w = all.front();
    return !w.empty();
  });
  return w;
}

Point Pointer(const VirtualDisplay& d) {
  const std::string p = Tool(d, "xdotool getmouselocation --shell");
  return {ShellValue(p, "X"), ShellValue(p, "Y")};
}

// The whole screen as the X server shows it, with or without the pointer.
gdi::Surface Screenshot(const VirtualDisplay& d, Size screen, bool pointer, const fs::path& png) {
  Tool(d, "ffmpeg -loglevel error -y -f x11grab -draw_mouse " + std::string(pointer ? "1" : "0") +
              " -video_size " + std::to_string(screen.width) + "x" + std::to_string(screen.height) +
              " -i " + d.Name() + " -frames:v 1 " + png.string());
  gdi::Surface shot;
  std::string error;
  // A shot that cannot be read stays empty, which no check accepts.
  static_cast<void>(gdi::ReadPng(png.string(), &shot, &error));
  return shot;
}

std::vector<std::string> WindowEnv(const VirtualDisplay& d) {
  return {"DISPLAY=" + d.Name(), "SDL_VIDEODRIVER", "WAYLAND_DISPLAY", "SDL_AUDIODRIVER=dummy",
          std::string("LSAN_OPTIONS=suppressions=") + TSUMUGI_SCENARIO_DIR +
              "/../sanitizer/lsan.supp"};
}

// How a window test runs the engine: on the display, with time to spare.
RunOptions WindowRun(const VirtualDisplay& d) {
  RunOptions options;
  options.env = WindowEnv(d);
  options.timeout_seconds = 120;
  return options;
}

// The test picture: 8-pixel vertical stripes of red and blue, crossed by a
// green line every 40 rows.
constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kGreen = 0x00FF00;
uint32_t Pattern(int x, int y) {
  if (y % 40 == 0) return kGreen;
  return (x / 8) % 2 ? kRed : kBlue;
}

// The window shows the picture at exactly twice its size.
bool ShowsAtTwice(const gdi::Surface& shot, const Box& window) {
  if (shot.Width() < window.x + 1280 || shot.Height() < window.y + 960) return false;
  for (int y = 0; y < 960; ++y) {
    for (int x = 0; x < 1280; ++x) {
      if (shot.PixelAt(window.x + x, window.y + y) != Pattern(x / 2, y / 2)) return false;
    }
  }
  return true;
}

// At 1000x750 the stripes are 12.5 pixels wide: only the single pixel on
// each border between two stripes may mix their colours.
bool SharpAtOddScale(const gdi::Surface& shot, const Box& window, std::string* why) {
  int mixed_seen = 0;
  for (int y = 16; y < 750; y += 25) {
    int run = 0;
    for (int x = 0; x < 1000; ++x) {
      const uint32_t p = shot.PixelAt(window.x + x, window.y + y);
      if (p == kRed || p == kBlue || p == kGreen) {
        run = 0;
        continue;
      }
      ++mixed_seen;
      if (++run > 1) {
        *why = "two blended pixels side by side at " + std::to_string(x) + "," + std::to_string(y);
        return false;
      }
    }
  }
  // Without any blending the borders would be a whole pixel off.
  *why = "no blended border pixels";
  return mixed_seen > 0;
}

struct WindowGame {
  TempDir dir;
  fs::path game = dir / "game";
  explicit WindowGame(const std::string& script) {
    WriteCp932(game / "data/config.txt", ".cap 紬の窓\n");
    WriteBitmap(game / "data/pattern.bmp", 640, 480, Pattern);
    WriteCp932(game / "data/start.txt", script);
  }
};

class WindowScaling : public testing::TestWithParam<const char*> {};

TEST_P(WindowScaling, TwiceOnFullHdSharpAtAnySizeAndFullScreen) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  const bool software = std::string(GetParam()) == "software";
  WindowGame g(".pic pattern\n.wat 600000\n");
  const fs::path png = g.dir / "shot.png";
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    const std::string w = FirstWindowOf(d, pid);
    ASSERT_FALSE(w.empty());
    const Box window = GeometryOf(d, w);
    EXPECT_EQ(window.w, 1280);
    EXPECT_EQ(window.h, 960);
    EXPECT_EQ(Tool(d, "xdotool getwindowname " + w), "紬の窓");
    // Window managers without the desktop conventions read the old title.
    if (fs::exists("/usr/bin/xprop")) {
      EXPECT_EQ(Tool(d, "xprop -id " + w + " WM_NAME"), "WM_NAME(UTF8_STRING) = \"紬の窓\"");
    }
    // Where OpenGL is only emulated, the software path loads none of it.
    const std::string maps = ReadFile("/proc/" + std::to_string(pid) + "/maps");
    if (software) EXPECT_EQ(maps.find("libGLX"), std::string::npos);
    else EXPECT_NE(maps.find("libGL"), std::string::npos);

    EXPECT_TRUE(WaitFor([&] { return ShowsAtTwice(Screenshot(d, {1920, 1080}, false, png), window); }))
        << "see " << png;

    Tool(d, "xdotool windowsize " + w + " 1000 750");
    std::string why;
    EXPECT_TRUE(WaitFor([&] {
      const Box b = GeometryOf(d, w);
      return b.w == 1000 && b.h == 750 &&
             SharpAtOddScale(Screenshot(d, {1920, 1080}, false, png), b, &why);
    })) << why;

    // A window squeezed to nothing and back shows the picture again.
    Tool(d, "xdotool windowsize " + w + " 1 1");
    EXPECT_TRUE(WaitFor([&] { return GeometryOf(d, w).w == 1; }));
    Tool(d, "xdotool windowsize " + w + " 1280 960");
    EXPECT_TRUE(WaitFor([&] { return ShowsAtTwice(Screenshot(d, {1920, 1080}, false, png), GeometryOf(d, w)); }));

    // F4: the whole screen, the picture in the middle between black bars;
    // F4 again: the window as it was.
    Tool(d, "xdotool mousemove --window " + w + " 10 10 key F4");
    EXPECT_TRUE(WaitFor([&] { return GeometryOf(d, w) == Box{0, 0, 1920, 1080}; }));
    EXPECT_TRUE(WaitFor([&] {
      const gdi::Surface shot = Screenshot(d, {1920, 1080}, false, png);
      // 1440x1080 from x = 240: stripes 18 pixels wide.
      return shot.PixelAt(100, 500) == 0 && shot.PixelAt(1800, 500) == 0 &&
             shot.PixelAt(240 + 4, 500) == kBlue && shot.PixelAt(240 + 18 + 4, 500) == kRed;
    })) << "see " << png;
    Tool(d, "xdotool key F4");
    EXPECT_TRUE(WaitFor([&] {
      const Box b = GeometryOf(d, w);
      return b.w == 1280 && b.h == 960;
    }));
    EXPECT_EQ(Tool(d, "xdotool getwindowname " + w), "紬の窓");
    Tool(d, "xdotool key Escape");
  };
  const RunResult run = RunTsumugi({"--renderer", GetParam(), g.game.string()}, options);
  EXPECT_EQ(run.status, 0) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Renderers, WindowScaling, testing::Values("software", "accelerated"));

// Whether `line`, drawn by the engine's own fonts at the box's size for a
// game shown at `scale`, appears in `shot`.
bool ShowsText(const gdi::Surface& shot, const std::u16string& line, int scale) {
  gdi::FontEngine fonts;
  auto font = fonts.GetFont({.face = u"MS UI Gothic", .height = 16 * scale});
  const Size extent = font->Extent(line, 0);
  gdi::Surface text(extent.width, extent.height, 0xF0F0F0);
  font->Draw(text, 0, 0, line, 0x000000, 0);
  for (int y = 0; y + text.Height() <= shot.Height(); ++y) {
    for (int x = 0; x + text.Width() <= shot.Width(); ++x) {
      bool same = true;
      for (int ty = 0; same && ty < text.Height(); ++ty) {
        for (int tx = 0; same && tx < text.Width(); ++tx) {
          same = shot.PixelAt(x + tx, y + ty) == text.PixelAt(tx, ty);
        }
      }
      if (same) return true;
    }
  }
  return false;
}

// Waits for the process's window and for something to be drawn in the
// first 200 pixels of its row y (a menu's text on a black screen).
bool WaitForMenu(const VirtualDisplay& d, pid_t pid, int y, const fs::path& png, std::string* w,
                 Box* window) {
  *w = FirstWindowOf(d, pid);
  if (w->empty()) return false;
  *window = GeometryOf(d, *w);
  return WaitFor([&] {
    const gdi::Surface shot = Screenshot(d, {1920, 1080}, false, png);
    for (int x = 0; x < 200; ++x) {
      if (shot.PixelAt(window->x + x, window->y + y) != 0) return true;
    }
    return false;
  });
}

TEST(WindowInput, ClicksPointerAndCursorAtTwiceThenOurOwnBoxInJapanese) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  // Three choices, one a line of 32 pixels. A click at window point
  // (100, 80) is game point (50, 40) at twice the size: the second choice;
  // taken as a game point it would be the third.
  WindowGame g(
      ".cur red\n.tsw\n.tsp 0\n.slt\n一つ目\n二つ目\n三つ目\n.\n.1\n.took_first\n"
      ".2\n.mcm 100 50\n.clk 0\n.took_second\n.3\n.took_third\n.\n");
  WriteFile(g.game / "data/red.cur", CursorFile(16, 16, 4, 4, 0xFFFF0000));
  const fs::path png = g.dir / "shot.png";
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    std::string w;
    Box window;
    // The third choice is drawn: the menu waits.
    ASSERT_TRUE(WaitForMenu(d, pid, 150, png, &w, &window));
    Tool(d, "xdotool mousemove --window " + w + " 100 80 click 1");
    // ".mcm 100 50" puts the pointer on window point (200, 100).
    const Point target{window.x + 200, window.y + 100};
    EXPECT_TRUE(WaitFor([&] { return Pointer(d) == target; }))
        << Pointer(d).x << "," << Pointer(d).y;
    // The pointer picture at twice its size, its hot spot (4, 4) on the
    // pointer: red from 8 pixels up and left of it, 32 pixels square.
    EXPECT_TRUE(WaitFor([&] {
      const gdi::Surface s = Screenshot(d, {1920, 1080}, true, png);
      const int x = target.x - 8, y = target.y - 8;
      return s.PixelAt(x, y) == kRed && s.PixelAt(x + 31, y + 31) == kRed &&
             s.PixelAt(x - 1, y) != kRed && s.PixelAt(x + 32, y + 31) != kRed;
    })) << "see " << png;
    // An arrow key moves the pointer by 10 game pixels: 20 in the window.
    Tool(d, "xdotool key Right");
    EXPECT_TRUE(WaitFor([&] { return Pointer(d) == Point{target.x + 20, target.y}; }));
    Tool(d, "xdotool click 1");

    // ".took_second" is no command: the error box, in our own window.
    std::string box;
    ASSERT_TRUE(WaitFor([&] {
      auto all = WindowsOf(d, pid);
      if (all.size() > 1) box = all.back();
      return !box.empty();
    }));
    const Box b = GeometryOf(d, box);
    // Drawn at the game's scale, twice the size of the text of a box over
    // a game at 1x.
    EXPECT_TRUE(WaitFor([&] {
      const gdi::Surface shot = Screenshot(d, {1920, 1080}, false, png);
      gdi::Surface inside(b.w, b.h);
      gdi::BitBlt(inside, 0, 0, b.w, b.h, shot, b.x, b.y, gdi::kSrcCopy);
      return ShowsText(inside, u"ないコマンドを指定しました", 2);
    })) << "see " << png;
    // A dialog of the game's window: a window manager gives it no
    // minimise or maximise button and keeps it above the game.
    const std::string props = Tool(d, "xprop -id " + box);
    EXPECT_NE(props.find("_NET_WM_WINDOW_TYPE(ATOM) = _NET_WM_WINDOW_TYPE_DIALOG"),
              std::string::npos) << props;
    EXPECT_NE(props.find("WM_TRANSIENT_FOR(WINDOW): window id # 0x" +
                         [&] {
                           std::ostringstream hex;
                           hex << std::hex << std::stol(w);
                           return hex.str();
                         }()),
              std::string::npos) << props;
    Tool(d, "xdotool key Return");
  };
  const RunResult run = RunTsumugi({g.game.string()}, options);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("ないコマンドを指定しました\n.took_second"), std::string::npos) << run.err;
}

// The keyboard-only scenario's game and keys, in the window at twice the
// size: the arrow keys move the pointer by 10 game pixels, Enter presses.
TEST(WindowInput, AMenuAndAButtonBarFromTheKeyboardAlone) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  TempDir dir;
  fs::copy(fs::path(TSUMUGI_SCENARIO_DIR) / "choice_and_button_by_keyboard/game", dir / "game",
           fs::copy_options::recursive);
  const fs::path png = dir / "shot.png";
  auto keys = [](const std::string& key, int n) {
    std::string all;
    for (int i = 0; i < n; ++i) all += " " + key;
    return all;
  };
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    std::string w;
    Box window;
    // The second choice (game rows 40 to 71) is drawn.
    ASSERT_TRUE(WaitForMenu(d, pid, 100, png, &w, &window));
    // The headless player's pointer starts at the top-left corner; so does
    // this one. From here on, only keys.
    Tool(d, "xdotool mousemove --window " + w + " 0 0");
    // The choice's branch shows the button bar and waits for a click; the
    // keys that follow wait in the queue meanwhile.
    Tool(d, "xdotool key" + keys("Down", 4) + " Return sleep 0.3 key" + keys("Right", 11) +
                keys("Down", 17) + " Return");
    ASSERT_TRUE(WaitFor([&] { return WindowsOf(d, pid).size() > 1; }));
    Tool(d, "xdotool key Return");
  };
  const RunResult run = RunTsumugi({(dir / "game").string()}, options);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("ないコマンドを指定しました\n.took_button"), std::string::npos)
      << run.err;
}

TEST(WindowInput, OurBoxUnderAWindowManagerIsADialogAndTakesTheFirstClick) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  if (!d.StartWindowManager()) GTEST_SKIP() << "no window manager (openbox)";
  WindowGame g(".tsw\nこんにちは\n.xyz\n");
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    std::string game, box;
    ASSERT_TRUE(WaitFor([&] {
      auto all = WindowsOf(d, pid);
      if (all.size() > 1) game = all.front(), box = all.back();
      return !box.empty();
    }));
    const std::string props = Tool(d, "xprop -id " + box);
    EXPECT_NE(props.find("_NET_WM_WINDOW_TYPE_DIALOG"), std::string::npos) << props;
    EXPECT_NE(props.find("_NET_WM_STATE_MODAL"), std::string::npos) << props;
    // The window manager offers no maximising or resizing.
    EXPECT_NE(props.find("_NET_WM_ALLOWED_ACTIONS"), std::string::npos) << props;
    EXPECT_EQ(props.find("_NET_WM_ACTION_MAXIMIZE"), std::string::npos) << props;
    EXPECT_EQ(props.find("_NET_WM_ACTION_RESIZE"), std::string::npos) << props;
    // The player clicks the game behind the box, then OK, once: the box
    // is 480 pixels wide at twice the size, its button 52 high with 24
    // below it.
    // (Some window managers then give the game the focus; this one keeps
    // it on the box, so the focus is moved by hand.)
    Tool(d, "xdotool mousemove --window " + game + " 50 50 click 1 windowfocus --sync " + game);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Box b = GeometryOf(d, box);
    Tool(d, "xdotool mousemove --window " + box + " " + std::to_string(b.w / 2) + " " +
                std::to_string(b.h - 24 - 26) + " click 1");
    if (!WaitFor([&] { return WindowsOf(d, pid).empty(); })) {
      ADD_FAILURE() << "the first click on OK was lost";
      kill(pid, SIGKILL);
    }
  };
  const RunResult run = RunTsumugi({g.game.string()}, options);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 1) << run.err;
}

// The sizes a window took, in order, as seen by `xev` (its structure
// events) in `log`; repeated sizes count once.
std::vector<std::pair<int, int>> SizesSeen(const std::string& log) {
  std::vector<std::pair<int, int>> sizes;
  static const std::regex kConfigure(R"(width (\d+), height (\d+))");
  for (std::sregex_iterator it(log.begin(), log.end(), kConfigure), end; it != end; ++it) {
    const std::pair<int, int> size{std::stoi((*it)[1]), std::stoi((*it)[2])};
    if (sizes.empty() || sizes.back() != size) sizes.push_back(size);
  }
  return sizes;
}

// A game at a click wait: text in its window, no marker.
constexpr const char* kClickWaitGame = ".tsw\nクリックを待つ\n.clk 0\n.end\n";

TEST(WindowInput, HeldF4AndAltEnterSwitchTheScreenOncePerPress) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools() || !fs::exists("/usr/bin/xev")) {
    GTEST_SKIP() << "no Xvfb, xdotool, xev or ffmpeg";
  }
  WindowGame g(kClickWaitGame);
  const fs::path log = g.dir / "xev.log";
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    std::string w;
    Box window;
    ASSERT_TRUE(WaitForMenu(d, pid, 10, g.dir / "shot.png", &w, &window));
    std::system(("DISPLAY=" + d.Name() + " timeout 12 xev -id " + w +
                 " -event structure > " + log.string() + " 2>/dev/null &")
                    .c_str());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // The X server repeats a held key about 25 times a second.
    Tool(d, "xdotool keydown F4 sleep 2.4 keyup F4 sleep 1 keydown alt+Return sleep 2.4 "
            "keyup alt+Return sleep 1 key Escape");
  };
  const RunResult run = RunTsumugi({g.game.string()}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  // Windowed at twice the size, full screen once, windowed again once.
  const auto sizes = SizesSeen(ReadFile(log));
  ASSERT_EQ(sizes.size(), 3u) << ReadFile(log);
  EXPECT_EQ(sizes[0], std::make_pair(1280, 960));
  EXPECT_EQ(sizes[1], std::make_pair(1920, 1080));
  EXPECT_EQ(sizes[2], std::make_pair(1280, 960));
}

TEST(WindowInput, AStormOfHeldKeysAndClicksDoesNotHoldBackSigterm) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  // A menu: every click is a miss that the engine must look at.
  WindowGame g(".tsw\n.slt\n一つ目\n二つ目\n.\n.1\n.end\n.2\n.end\n");
  std::chrono::steady_clock::time_point signalled;
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    std::string w;
    Box window;
    ASSERT_TRUE(WaitForMenu(d, pid, 10, g.dir / "shot.png", &w, &window));
    Tool(d, "xdotool mousemove --window " + w + " 600 900 keydown alt+Return keydown F4 "
            "keydown Up click --repeat 300 --delay 2 1");
    kill(pid, SIGTERM);
    signalled = std::chrono::steady_clock::now();
    Tool(d, "xdotool keyup Up keyup F4 keyup alt+Return");
  };
  const auto start = std::chrono::steady_clock::now();
  const RunResult run = RunTsumugi({g.game.string()}, options);
  const double after_signal =
      run.seconds - std::chrono::duration<double>(signalled - start).count();
  std::cout << "[ time   ] ended " << after_signal << " s after SIGTERM\n";
  EXPECT_EQ(run.status, 128 + SIGTERM) << run.err;
  // The goal is a fraction of a second; the bound leaves room for a busy
  // machine, far below the seconds a starved engine took.
  EXPECT_LT(after_signal, 2.0);
}

TEST(WindowBadInput, OptionsMissingSmallAndLostDisplays) {
  WindowGame g(".pic pattern\n.wat 600000\n");
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--scale", "0"}, {"--scale", "100"}, {"--scale", "2x"}, {"--filter", "blurry"},
           {"--renderer", "magic"}}) {
    const RunResult run = RunTsumugi({args[0], args[1], g.game.string()});
    EXPECT_EQ(run.status, 2) << args[1];
    EXPECT_NE(run.err.find(args[0] + " takes"), std::string::npos) << run.err;
  }

  RunOptions none;
  none.env = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
  none.timeout_seconds = 60;
  RunResult run = RunTsumugi({g.game.string()}, none);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("play with --headless"), std::string::npos) << run.err;

  if (!HaveTools()) GTEST_SKIP() << "no xdotool or ffmpeg";
  {
    // A desktop smaller than the game: the window fits it, scaled down.
    VirtualDisplay small(320, 240);
    if (!small.Ready()) GTEST_SKIP() << "no Xvfb";
    RunOptions options = WindowRun(small);
    options.while_running = [&](pid_t pid) {
      const std::string w = FirstWindowOf(small, pid);
      ASSERT_FALSE(w.empty());
      const Box b = GeometryOf(small, w);
      EXPECT_TRUE(b.w == 320 && b.h == 240) << b.w << "x" << b.h;
      Tool(small, "xdotool mousemove --window " + w + " 10 10 key Escape");
    };
    run = RunTsumugi({"--scale", "2", g.game.string()}, options);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("smaller than the game's 640x480 screen"), std::string::npos) << run.err;
  }
  {
    // The X server goes away under a waiting game: a clear line, status 1,
    // and the lock is gone, so the game starts again at once.
    VirtualDisplay lost;
    RunOptions options = WindowRun(lost);
    options.while_running = [&](pid_t pid) {
      ASSERT_TRUE(WaitFor([&] { return !WindowsOf(lost, pid).empty(); }));
      lost.Stop();
    };
    run = RunTsumugi({g.game.string()}, options);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("the connection to the display was lost"), std::string::npos) << run.err;
  }
  VirtualDisplay again;
  WriteCp932(g.game / "data/start.txt", ".end\n");
  RunOptions options = WindowRun(again);
  run = RunTsumugi({g.game.string()}, options);
  EXPECT_EQ(run.status, 0) << run.err;
}

// F5 in the window saves at the wait with a note over the game for a
// second; F9 loads it back without a word.
TEST(WindowInput, F5SavesWithANoteAndF9LoadsWithoutAWord) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  WindowGame g(".pic pattern\n.wat 600000\n");
  const fs::path png = g.dir / "shot.png", saves = g.dir / "saves";
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    const std::string w = FirstWindowOf(d, pid);
    ASSERT_FALSE(w.empty());
    const Box window = GeometryOf(d, w);
    ASSERT_TRUE(WaitFor([&] { return ShowsAtTwice(Screenshot(d, {1920, 1080}, false, png), window); }));
    // Game pixel (626, 12), inside the note at the top right, is blue in
    // the picture.
    auto note_pixel = [&] {
      return Screenshot(d, {1920, 1080}, false, png).PixelAt(window.x + 2 * 626, window.y + 2 * 12);
    };
    Tool(d, "xdotool mousemove --window " + w + " 10 10 key F5");
    EXPECT_TRUE(WaitFor([&] { return fs::exists(saves / "quicksave.png"); }));
    EXPECT_TRUE(WaitFor([&] { return note_pixel() != kBlue; })) << "see " << png;
    EXPECT_TRUE(WaitFor([&] { return note_pixel() == kBlue; })) << "see " << png;
    Tool(d, "xdotool key F9");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(WindowsOf(d, pid).size(), 1u) << "no box";
    EXPECT_TRUE(ShowsAtTwice(Screenshot(d, {1920, 1080}, false, png), window)) << "see " << png;
    Tool(d, "xdotool key Escape");
  };
  const RunResult run = RunTsumugi({"--save-dir", saves.string(), g.game.string()}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("tsumugi:"), std::string::npos) << run.err;
}

// The player's own settings file: the window opens full screen, and F4
// gives a window at the file's scale, or at the one the command line names.
TEST(WindowInput, ThePlayersSettingsOpenItFullScreenAtTheirScale) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  WindowGame g(".pic pattern\n.wat 600000\n");
  WriteFile(g.dir / "config/tsumugi/settings.toml", "fullscreen = true\nscale = 1\n");
  for (const bool scale_given : {false, true}) {
    RunOptions options = WindowRun(d);
    options.env.push_back("XDG_CONFIG_HOME=" + (g.dir / "config").string());
    options.while_running = [&](pid_t pid) {
      const std::string w = FirstWindowOf(d, pid);
      ASSERT_FALSE(w.empty());
      EXPECT_TRUE(WaitFor([&] { return GeometryOf(d, w) == Box{0, 0, 1920, 1080}; }));
      Tool(d, "xdotool mousemove --window " + w + " 10 10 key F4");
      const int width = scale_given ? 1280 : 640;
      EXPECT_TRUE(WaitFor([&] {
        const Box b = GeometryOf(d, w);
        return b.w == width && b.h == width * 3 / 4;
      })) << "scale given: " << scale_given;
      Tool(d, "xdotool key F4");
      EXPECT_TRUE(WaitFor([&] { return GeometryOf(d, w) == Box{0, 0, 1920, 1080}; }));
      Tool(d, "xdotool key Escape");
    };
    std::vector<std::string> args = {g.game.string()};
    if (scale_given) args.insert(args.begin(), {"--scale", "2"});
    const RunResult run = RunTsumugi(args, options);
    EXPECT_EQ(run.status, 0) << run.err;
  }
}

TEST(WindowInput, TheWheelGoesBackAWaitAndForwardAgain) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  // A red page, then a green one; each at a click wait.
  WindowGame g(".tsw\n.tsp 0\n.txt font color usual FF0000\n■\n.tcl 0\n"
               ".txt font color usual 00FF00\n■\n.clk 0\n.wat 600000\n");
  const fs::path png = g.dir / "shot.png";
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    const std::string w = FirstWindowOf(d, pid);
    ASSERT_FALSE(w.empty());
    const Box window = GeometryOf(d, w);
    // Game pixel (16, 16), inside the page's square.
    auto square = [&] {
      return Screenshot(d, {1920, 1080}, false, png).PixelAt(window.x + 2 * 16, window.y + 2 * 16);
    };
    ASSERT_TRUE(WaitFor([&] { return square() == kRed; })) << "see " << png;
    Tool(d, "xdotool mousemove --window " + w + " 600 600 click 1");
    EXPECT_TRUE(WaitFor([&] { return square() == kGreen; })) << "see " << png;
    Tool(d, "xdotool click 4");  // the wheel up
    EXPECT_TRUE(WaitFor([&] { return square() == kRed; })) << "see " << png;
    Tool(d, "xdotool click 5");  // and down
    EXPECT_TRUE(WaitFor([&] { return square() == kGreen; })) << "see " << png;
    Tool(d, "xdotool key Escape");
  };
  const RunResult run = RunTsumugi({"--save-dir", (g.dir / "saves").string(), g.game.string()},
                                   options);
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(WindowInput, F1OpensThePlayersMenuOverTheGameAndTheMiddleButtonClosesIt) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  WindowGame g(".tsw\n.tsp 0\n.txt font color usual FF0000\n■\n.clk 0\n.wat 600000\n");
  const fs::path png = g.dir / "menu.png";
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    const std::string w = FirstWindowOf(d, pid);
    ASSERT_FALSE(w.empty());
    const Box window = GeometryOf(d, w);
    auto at = [&](int x, int y) {
      return Screenshot(d, {1920, 1080}, false, png).PixelAt(window.x + 2 * x, window.y + 2 * y);
    };
    ASSERT_TRUE(WaitFor([&] { return at(16, 16) == kRed; })) << "see " << png;
    // The menu's first line, chosen, at twice the game's size; the game
    // dimmed behind it.
    // Keys go to the window under the pointer: there is no window manager.
    Tool(d, "xdotool mousemove --window " + w + " 600 600 key F1");
    EXPECT_TRUE(WaitFor([&] { return at(100, 160) == 0x304870; })) << "see " << png;
    EXPECT_EQ(at(16, 16), 0x3f0000u) << "see " << png;
    Tool(d, "xdotool mousemove --window " + w + " 600 600 click 2");
    EXPECT_TRUE(WaitFor([&] { return at(16, 16) == kRed; })) << "see " << png;
    Tool(d, "xdotool key Escape");
  };
  const RunResult run = RunTsumugi({"--save-dir", (g.dir / "saves").string(), g.game.string()},
                                   options);
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(WindowInput, EscapeWhileTextIsTypedEndsTheGameWithoutAnAutomaticSave) {
  VirtualDisplay d(1920, 1080);
  if (!d.Ready() || !HaveTools()) GTEST_SKIP() << "no Xvfb, xdotool or ffmpeg";
  // Four seconds of typing: Escape comes in the middle of a line, where
  // the game cannot be kept; only a wait is.
  WindowGame g(".tsw\n.tsp 200\nあいうえおかきくけこさしすせそたち\n.clk 0\n");
  RunOptions options = WindowRun(d);
  options.while_running = [&](pid_t pid) {
    const std::string w = FirstWindowOf(d, pid);
    ASSERT_FALSE(w.empty());
    usleep(500000);
    // Keys go to the window under the pointer: there is no window manager.
    Tool(d, "xdotool mousemove --window " + w + " 600 600 key Escape");
  };
  const RunResult run = RunTsumugi({"--save-dir", (g.dir / "saves").string(), g.game.string()},
                                   options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(g.dir / "saves/autosave.png"));
}

}  // namespace
}  // namespace tsumugi::test
