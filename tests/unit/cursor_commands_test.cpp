// The cursor commands: the pointer picture (".cur"), the pointer glide
// (".mcm") and, with the input tests, the mouse modes (".mmd").
#include <gtest/gtest.h>

#include <vector>

#include "unit/graphics_test_pictures.h"
#include "unit/text_test_game.h"

namespace tsumugi::test {
namespace {

TEST(CursorPicture, LoadedShownAndGivenBack) {
  TextGame g;
  g.File("hand.cur", CursorFile(32, 32, 3, 5, 0xFF112233));
  g.File("sub/arrow two.cur", CursorFile(16, 16, 0, 0, 0xFF445566));
  g.Start();
  g.Line(".cur hand");
  const gdi::CursorImage* image = g.host().CursorImage();
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 32);
  EXPECT_EQ(image->hot_x, 3);
  EXPECT_EQ(image->hot_y, 5);
  EXPECT_EQ(image->argb[0], 0xFF112233u);
  // The whole rest of the line is the name; sub-folders may be part of it.
  g.Line(".cur sub\\arrow two.cur");
  ASSERT_NE(g.host().CursorImage(), nullptr);
  EXPECT_EQ(g.host().CursorImage()->width, 16);
  EXPECT_EQ(g.engine().cursor.Image(), g.host().CursorImage());
  g.Line(".cur normal");
  EXPECT_EQ(g.host().CursorImage(), nullptr);

  // A configuration line sets it at start-up.
  TextGame c({{"config.txt", ".cur hand\n"}});
  c.File("hand.cur", CursorFile(32, 32, 0, 0, 0xFF000000));
  c.Start();
  EXPECT_NE(c.host().CursorImage(), nullptr);
}

TEST(CursorPicture, MissingAndUnreadableFilesAreReported) {
  TextGame g;
  g.Start();
  const std::string folder = (g.game() / "data").string() + "/";
  EXPECT_EQ(g.Error(".cur nothing"),
            ReportAtStart("ファイル「" + folder + "nothing.cur」は存在しません。"));
  TextGame h;
  h.File("broken.cur", "not a cursor at all");
  h.Start();
  EXPECT_EQ(h.Error(".cur broken"),
            ReportAtStart("ファイル「" + (h.game() / "data").string() +
                          "/broken.cur」はカーソルファイルとして読み込めません"));
  EXPECT_EQ(h.host().CursorImage(), nullptr);
}

// A host that records every pointer position the engine sets, with the
// engine time, and otherwise is the headless host.
class PointerRecordingHost final : public Host {
 public:
  explicit PointerRecordingHost(headless::HeadlessHost& inner) : inner_(inner) {}
  std::vector<std::pair<Point, uint64_t>> moves;

  void SetEventSink(HostEvents* sink) override { inner_.SetEventSink(sink); }
  uint32_t TimeGetTime() override { return inner_.TimeGetTime(); }
  void Sleep(uint32_t ms) override { inner_.Sleep(ms); }
  void DoEvents() override { inner_.DoEvents(); }
  void WaitEvents(uint32_t ms) override { inner_.WaitEvents(ms); }
  void RunEventLoop() override { inner_.RunEventLoop(); }
  void SetTimerInterval(TimerId t, uint32_t ms) override { inner_.SetTimerInterval(t, ms); }
  void EnableTimer(TimerId t, bool on) override { inner_.EnableTimer(t, on); }
  TimerSetting GetTimer(TimerId t) override { return inner_.GetTimer(t); }
  void RestoreTimer(TimerId t, const TimerSetting& s) override { inner_.RestoreTimer(t, s); }
  void MessageBoxOk(const std::u16string& text) override { inner_.MessageBoxOk(text); }
  bool MessageBoxYesNo(const std::u16string& text) override { return inner_.MessageBoxYesNo(text); }
  gdi::Surface& Screen() override { return inner_.Screen(); }
  void SetOverlay(const gdi::Surface* overlay, Point at) override { inner_.SetOverlay(overlay, at); }
  gdi::Surface ShownScreen() override { return inner_.ShownScreen(); }
  void Refresh() override { inner_.Refresh(); }
  void SetCaption(const std::u16string& caption) override { inner_.SetCaption(caption); }
  void ShowWindow(bool visible) override { inner_.ShowWindow(visible); }
  void SetWindowStyle(bool full, bool top) override { inner_.SetWindowStyle(full, top); }
  Size DesktopSize() override { return inner_.DesktopSize(); }
  DisplayChange ChangeDisplayMode(int w, int h, int bpp, bool test) override {
    return inner_.ChangeDisplayMode(w, h, bpp, test);
  }
  void RestoreDisplayMode() override { inner_.RestoreDisplayMode(); }
  Point GetCursorPos() override { return inner_.GetCursorPos(); }
  void SetCursorPos(Point p) override {
    moves.push_back({p, inner_.Now()});
    inner_.SetCursorPos(p);
  }
  uint64_t RandomSeed() override { return inner_.RandomSeed(); }
  MediaService& Media() override { return inner_.Media(); }
  bool AcquireInstanceLock(const std::string& folder) override {
    return inner_.AcquireInstanceLock(folder);
  }

 private:
  headless::HeadlessHost& inner_;
};

class Glide : public testing::Test {
 protected:
  Glide() : inner_(headless::HeadlessOptions{}), host_(inner_) {
    WriteCp932(dir_ / "data/start.txt", ";\n");
    EngineOptions options;
    options.game_folder = dir_.path();
    options.settings_file = dir_ / "none.ini";
    engine_ = std::make_unique<Engine>(host_, options);
    engine_->startup.StartEngine(/*run_script=*/false);
  }
  void Line(const std::string& line) { engine_->script.ExecuteLine(Utf8ToUtf16(line)); }

  TempDir dir_;
  headless::HeadlessHost inner_;
  PointerRecordingHost host_;
  std::unique_ptr<Engine> engine_;
};

TEST_F(Glide, TwentyStepsOfAMillisecondOnAStraightLine) {
  inner_.SetCursorPos({0, 0});
  host_.moves.clear();
  const uint64_t start = inner_.Now();
  Line(".mcm 100 50");
  ASSERT_EQ(host_.moves.size(), 20u);
  EXPECT_EQ(host_.moves[0].first, (Point{5, 2}));
  EXPECT_EQ(host_.moves[1].first, (Point{10, 5}));
  EXPECT_EQ(host_.moves[19].first, (Point{100, 50}));
  for (size_t i = 0; i < 20; ++i) EXPECT_EQ(host_.moves[i].second, start + i);
  EXPECT_EQ(inner_.Now(), start + 20);

  // Backwards, truncating toward zero; to where it already is, still twenty
  // steps.
  host_.moves.clear();
  Line(".mcm 0 [cy]");
  EXPECT_EQ(host_.moves[0].first, (Point{95, 48}));
  EXPECT_EQ(host_.moves[19].first, (Point{0, 0}));
  host_.moves.clear();
  Line(".mcm 0 0");
  ASSERT_EQ(host_.moves.size(), 20u);
  for (const auto& move : host_.moves) EXPECT_EQ(move.first, (Point{0, 0}));
  // Points outside the window are reached like any other.
  Line(".mcm -2147483648 2147483647");
  EXPECT_EQ(inner_.GetCursorPos(), (Point{INT32_MIN, INT32_MAX}));
}

}  // namespace
}  // namespace tsumugi::test
