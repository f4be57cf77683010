// The media device layer against a recording fake: which device calls the
// media commands and the stop notification make, in which order.
#include <gtest/gtest.h>

#include "support/engine_fixture.h"
#include "support/recording_media.h"

namespace tsumugi {
namespace {
using namespace test;
using Calls = std::vector<std::string>;

class MediaDeviceLogic : public testing::Test {
 protected:
  MediaDeviceLogic()
      : game_({{"data/start.txt", ".avi v 1 0\n.let n = n + 1\n.clk 0\n"},
               {"data/config.txt", ".int n\n"},
               {"data/a.mid", "-"},
               {"data/b.mid", "-"},
               {"data/m.mp3", "-"},
               {"data/s.wav", "-"},
               {"data/v.avi", "-"}},
              "", Options()) {
    game_.StartWithoutRunning();
  }
  headless::HeadlessOptions Options() {
    headless::HeadlessOptions options;
    options.media = &media_;
    return options;
  }
  Calls Run(const std::string& line) {
    media_.Take();
    game_.Execute(line);
    return media_.Take();
  }
  Calls Notify() {
    media_.Take();
    game_.engine().OnMediaNotify();
    return media_.Take();
  }
  void Ended(int slot) { media_.modes[slot] = DeviceMode::kStopped; }
  int32_t N() {
    return game_.engine().state.vars.IntegerValues[game_.engine().vars.LookUpIntegerVariable(u"n")];
  }

  RecordingMedia media_;
  EngineFixture game_;
};

TEST_F(MediaDeviceLogic, MusicSlotsOpenStopAndLoop) {
  EXPECT_EQ(Run(".mid a 0"), (Calls{"open 1 a.mid", "play 1"}));
  // A new song stops and closes the first before it opens.
  EXPECT_EQ(Run(".mid b 0"), (Calls{"stop 1", "close 1", "open 1 b.mid", "play 1"}));
  EXPECT_EQ(Run(".mp3 m 0 ignored"), (Calls{"open 2 m.mp3", "play 2"}));
  // Both looping pieces start again from their beginning when they end.
  Ended(1);
  Ended(2);
  EXPECT_EQ(Notify(), (Calls{"seek 1 start", "play 1", "seek 2 start", "play 2"}));
  // A slot still playing is left alone; one that does not loop is closed.
  EXPECT_EQ(Run(".mp3 m 1"), (Calls{"stop 2", "close 2", "open 2 m.mp3", "play 2"}));
  Ended(2);
  EXPECT_EQ(Notify(), (Calls{"stop 2", "close 2"}));
  // A notification for a slot that was stopped already does nothing.
  EXPECT_EQ(Run(".mid stop"), (Calls{"stop 1", "close 1"}));
  EXPECT_EQ(Notify(), Calls{});
  EXPECT_EQ(Run(".mid stop"), Calls{});
}

TEST_F(MediaDeviceLogic, OnlyPlayingModesLookForTheFile) {
  EXPECT_EQ(Run(".mid missing 7"), Calls{});
  EXPECT_EQ(Run(".mp3 missing 2 0"), Calls{});
  EXPECT_EQ(Run(".wav missing -1"), Calls{});
  EXPECT_NE(game_.ErrorFrom(".mp3 missing 1").find("missing.mp3」は存在しません。"),
            std::string::npos);
}

TEST_F(MediaDeviceLogic, WaveSounds) {
  EXPECT_EQ(Run(".wav s 0"), (Calls{"sound s.wav"}));
  EXPECT_EQ(Run(".wav s 1"), (Calls{"sound s.wav", "sound wait"}));
  EXPECT_EQ(Run(".wav s 2"), (Calls{"sound s.wav repeat"}));
  EXPECT_EQ(Run(".wav stop"), (Calls{"sound stop"}));
  EXPECT_EQ(Run(".wav s 3"), Calls{});
}

TEST_F(MediaDeviceLogic, CdTracks) {
  media_.tracks = 5;
  EXPECT_EQ(Run(".acd 3 0"), (Calls{"open-cd 5", "play 5 from 3 to 4"}));
  // A looping track starts again at its own start.
  Ended(5);
  EXPECT_EQ(Notify(), (Calls{"seek 5 3", "play 5 from 3 to 4"}));
  // The last track plays to the end of the disc; an empty word is track 1.
  EXPECT_EQ(Run(".acd 5 1"), (Calls{"stop 5", "close 5", "open-cd 5", "play 5 from 5 to 0"}));
  EXPECT_EQ(Run(".acd  1"), (Calls{"stop 5", "close 5", "open-cd 5", "play 5 from 1 to 2"}));
  EXPECT_EQ(Run(".acd stop"), (Calls{"stop 5", "close 5"}));
  // Tracks outside the disc stop the slot and play nothing.
  for (const char* track : {"0", "-1", "6", "99999999999"}) {
    EXPECT_EQ(Run(std::string(".acd ") + track + " 0"), (Calls{"open-cd 5", "stop 5", "close 5"}))
        << track;
  }
  media_.tracks = 0;
  EXPECT_EQ(Run(".acd 1 0"), (Calls{"open-cd 5", "stop 5", "close 5"}));
  EXPECT_EQ(Run(".acd 2 7"), Calls{});
  EXPECT_EQ(game_.ErrorFrom(".acd two 0"),
            ReportAtStart("「.acd」のトラック番号「two」が数値ではありません"));
}

TEST_F(MediaDeviceLogic, EndOfVideoHidesTheBoxAndResumesTheScriptOnce) {
  Engine& engine = game_.engine();
  engine.script.RunScript();
  EXPECT_EQ(media_.Take(), (Calls{"open 3 v.avi", "box 3", "play 3"}));
  EXPECT_EQ(engine.state.input.RunState, RunStateKind::kPlayingVideo);
  EXPECT_TRUE(media_.Box().visible);
  EXPECT_EQ(Notify(), Calls{});
  Ended(3);
  EXPECT_EQ(Notify(), (Calls{"stop 3", "close 3"}));
  EXPECT_FALSE(media_.Box().visible);
  EXPECT_EQ(N(), 1);
  EXPECT_EQ(engine.state.input.RunState, RunStateKind::kWaitClick);
  EXPECT_EQ(Notify(), Calls{});
  EXPECT_EQ(N(), 1);
}

TEST_F(MediaDeviceLogic, VideoBoxPlacement) {
  const VideoBox& box = media_.Box();
  struct Case {
    Size video;
    const char* line;
    int left, top, width, height;
  } cases[] = {
      {{320, 240}, ".avi v 1 1", 160, 120, 320, 240},
      // Halves are truncated toward zero, also for videos larger than the
      // window.
      {{321, 241}, ".avi v 1 1", 159, 119, 321, 241},
      {{1001, 701}, ".avi v 1 1", -180, -110, 1001, 701},
      {{320, 240}, ".avi v 1 0", 0, 0, 640, 480},
      // Other size modes keep the box as it was.
      {{100, 100}, ".avi v 1 1", 270, 190, 100, 100},
      {{320, 240}, ".avi v 1 7", 270, 190, 100, 100},
  };
  for (const Case& c : cases) {
    media_.video_size = c.video;
    Run(c.line);
    EXPECT_EQ((std::vector<int>{box.left, box.top, box.picture.Width(), box.picture.Height()}),
              (std::vector<int>{c.left, c.top, c.width, c.height}))
        << c.line << " " << c.video.width;
  }
  // Play mode 0 repeats; modes beyond 2 play nothing.
  EXPECT_EQ(Run(".avi v 0 7"),
            (Calls{"stop 3", "close 3", "open 3 v.avi", "box 3", "play 3 repeat"}));
  // The base colour is the box's own until a picture covers it.
  Run(".bsc 0000FF");
  EXPECT_EQ(Run(".avi v 3 7"), (Calls{"stop 3", "close 3", "open 3 v.avi"}));
  EXPECT_EQ(box.picture.GetPixel(50, 50), 0xFF0000u);
  EXPECT_EQ(Run(".tsw"), Calls{});
  EXPECT_EQ(game_.ErrorFrom(".avi v 1 1"),
            ReportAtStart("「.avi」は「.thd」がかかった状態でしか実行できません"));
}

TEST_F(MediaDeviceLogic, TheEndOfTheEngineClosesEveryDevice) {
  media_.tracks = 2;
  Run(".mid a 0");
  Run(".acd  0");
  media_.Take();
  EXPECT_THROW(game_.Execute(".end"), EngineEnded);
  EXPECT_EQ(media_.Take(), (Calls{"stop 1", "close 1", "stop 5", "close 5", "sound stop"}));
}

}  // namespace
}  // namespace tsumugi
