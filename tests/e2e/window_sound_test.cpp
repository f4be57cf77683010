// The window host under Xvfb with SDL's disk audio driver: music and a wave
// sound reach the sound device while text is typed at full speed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi {
namespace {
using namespace test;
namespace fs = std::filesystem;

// The strength of one frequency in a stretch of the left channel.
double Strength(const std::vector<int16_t>& s, size_t from, size_t frames, double frequency) {
  const double w = 2 * M_PI * frequency / 44100;
  double re = 0, im = 0;
  for (size_t i = 0; i < frames; ++i) {
    re += s[(from + i) * 2] * std::cos(w * i);
    im += s[(from + i) * 2] * std::sin(w * i);
  }
  return 2 * std::hypot(re, im) / static_cast<double>(frames);
}

// Under the sanitizers this is also the road on which a wave sound's
// decoder once freed a wild pointer: a wave starts, text is typed while it
// plays.
TEST(WindowSound, MusicAndAWaveSoundReachTheSoundDevice) {
  const char* font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  VirtualDisplay display;
  if (!display.Ready() || !fs::exists(font)) GTEST_SKIP() << "no Xvfb or no " << font;
  TempDir work;
  WriteFile(work / "game/data/song.mid", MakeMidiNote(3000));
  WriteFile(work / "game/data/se.wav", MakeWav(400, 22050, 1, 880, 12000));
  std::string text;
  for (int i = 0; i < 150; ++i) text += "あ";
  WriteCp932(work / "game/data/start.txt",
             ".mid song 0\n.tsp 1\n.tsw\n" + text + "\n.wav se 0\nいろはにほへと\n.wat 800\n.end\n");
  const fs::path raw = work / "device.raw";
  setenv("DISPLAY", display.Name().c_str(), 1);
  // The display and sound libraries keep a few allocations to the end of a
  // process; under the leak checker they would fail the run, not our code.
  setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
  RunResult run = RunTsumugi({"--soundfont", font, (work / "game").string()});
  unsetenv("SDL_DISKAUDIOFILE");
  unsetenv("SDL_AUDIODRIVER");
  ASSERT_EQ(run.status, 0) << run.err;
  // SDL announces its disk driver; the engine itself has nothing to say.
  EXPECT_EQ(run.err.find("tsumugi:"), std::string::npos) << run.err;

  const std::string bytes = ReadFile(raw);
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  const size_t frames = s.size() / 2;
  // The song's middle C sounds first, alone; later the wave sound's 880 Hz
  // sounds over it.
  size_t music = frames, wave = frames;
  for (size_t at = 0; at + 2048 <= frames; at += 1024) {
    const bool c = Strength(s, at, 2048, 261.6) > 100;
    const bool a = Strength(s, at, 2048, 880) > 3000;
    if (c && !a && music == frames) music = at;
    if (c && a && wave == frames) wave = at;
  }
  EXPECT_LT(music, frames) << "no music in " << frames << " frames";
  EXPECT_LT(wave, frames) << "no wave sound over the music";
  EXPECT_LT(music, wave);

  // Without a sound device the game still plays, and says so once.
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  run = RunTsumugi({"--soundfont", font, (work / "game").string()});
  unsetenv("SDL_AUDIODRIVER");
  unsetenv("ASAN_OPTIONS");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("tsumugi: no sound device"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

}  // namespace
}  // namespace tsumugi
