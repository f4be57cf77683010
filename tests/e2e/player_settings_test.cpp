// The player's settings file: what is read from it and what is said about a
// file or a key that is not right, writing it back, and its effect through
// the real binary: the text speed and auto mode's delays on the runner's
// virtual clock (the text log), and the volumes in the mix of --audio-out,
// which change nothing else of the run.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/text_codec.h"
#include "engine/player/player_settings.h"
#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// The settings in `text`, and what was said about them.
PlayerSettings Read(const TempDir& dir, const std::string& text, std::string* said) {
  WriteFile(dir / "settings.toml", text);
  std::ostringstream err;
  PlayerSettings settings = ReadPlayerSettings(dir / "settings.toml", err);
  *said = err.str();
  return settings;
}

size_t Lines(const std::string& text) {
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(PlayerSettingsFile, ReadsEveryKeyAndPassesOverOthers) {
  TempDir dir;
  std::string said;
  PlayerSettings expected;
  expected.text_speed = 2.5;
  expected.auto_base_ms = 800;
  expected.auto_per_char_ms = 0;
  expected.volumes = {10, 20, 0};
  expected.fullscreen = true;
  expected.scale = 3;
  expected.filter = PictureFilter::kSmooth;
  EXPECT_EQ(Read(dir,
                 "# a newer version's keys come too\n"
                 "text_speed = 2.5\nauto_base_ms = 800\nauto_per_char_ms = 0\n"
                 "music_volume = 10\nsound_volume = 20\nmovie_volume = 0\n"
                 "fullscreen = true\nscale = 3\nfilter = \"smooth\"\nlanguage = \"ja\"\n"
                 "[window]\nx = 5\n",
                 &said),
            expected);
  EXPECT_EQ(said, "");
  // A speed may be written as a whole number; what is left out keeps its
  // default, and so does all of an empty file or a missing one.
  PlayerSettings twice;
  twice.text_speed = 2;
  EXPECT_EQ(Read(dir, "text_speed = 2\n", &said), twice);
  EXPECT_EQ(Read(dir, "", &said), PlayerSettings{});
  std::ostringstream err;
  EXPECT_EQ(ReadPlayerSettings(dir / "none.toml", err), PlayerSettings{});
  EXPECT_EQ(said + err.str(), "");
}

TEST(PlayerSettingsFile, AKeyThatIsNotRightKeepsItsDefaultWithOneLine) {
  TempDir dir;
  std::string said;
  PlayerSettings expected;
  expected.volumes.movie = 40;
  EXPECT_EQ(Read(dir,
                 "music_volume = \"loud\"\nsound_volume = 150\ntext_speed = 0\n"
                 "filter = \"blurry\"\nfullscreen = 1\nscale = 2.0\nmovie_volume = 40\n"
                 "auto_base_ms = -1\n",
                 &said),
            expected);
  const std::string file = (dir / "settings.toml").string();
  const std::string at = "tsumugi: player settings '" + file + "', line ";
  EXPECT_EQ(said,
            at + "1: music_volume takes a whole number from 0 to 100, not a string; it keeps "
                 "its default, 100\n" +
                at + "2: sound_volume takes a whole number from 0 to 100, not 150; it keeps its "
                     "default, 100\n" +
                at + "3: text_speed takes a number from 0.1 to 100, not 0; it keeps its "
                     "default, 1.0\n" +
                at + "4: filter takes \"sharp\" or \"smooth\", not \"blurry\"; it keeps its "
                     "default, \"sharp\"\n" +
                at + "5: fullscreen takes true or false, not a whole number; it keeps its "
                     "default, false\n" +
                at + "6: scale takes a whole number from 0 to 16, not a number with a point; "
                     "it keeps its default, 0\n" +
                at + "8: auto_base_ms takes a whole number from 0 to 60000, not -1; it keeps "
                     "its default, 1200\n");
  // Not a number at all, in a key that takes one.
  EXPECT_EQ(Read(dir, "text_speed = nan\nauto_per_char_ms = 10001\n", &said), PlayerSettings{});
  EXPECT_EQ(Lines(said), 2u) << said;
  EXPECT_NE(said.find("not nan;"), std::string::npos) << said;
}

TEST(PlayerSettingsFile, ADamagedFileIsNamedInOneLineAndGivesEveryDefault) {
  TempDir dir;
  std::string said;
  const std::string file = (dir / "settings.toml").string();
  // Good keys before the damage count for nothing either.
  EXPECT_EQ(Read(dir, "music_volume = 10\nscale = 2\nfilter = \"sharp\n", &said), PlayerSettings{});
  EXPECT_EQ(Lines(said), 1u) << said;
  EXPECT_EQ(said.rfind("tsumugi: player settings '" + file + "', line 3: ", 0), 0u) << said;
  EXPECT_NE(said.find("; every setting keeps its default\n"), std::string::npos) << said;
  for (const std::string& bad : {std::string("music_volume = 10\nmusic_volume = 20\n"),
                                 std::string("\xff\xfe = 1\n"), std::string("[[[\n")}) {
    EXPECT_EQ(Read(dir, bad, &said), PlayerSettings{}) << bad;
    EXPECT_EQ(Lines(said), 1u) << said;
  }

  // What is no regular file, or far too large, is not read: at once, with
  // one line.
  const fs::path fifo = dir / "fifo.toml", folder = dir / "folder.toml", huge = dir / "huge.toml";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directories(folder);
  WriteFile(huge, "music_volume = 10\n" + std::string(2 << 20, '#'));
  for (const fs::path& path : {fifo, folder, huge}) {
    std::ostringstream err;
    EXPECT_EQ(ReadPlayerSettings(path, err), PlayerSettings{}) << path;
    EXPECT_EQ(Lines(err.str()), 1u) << err.str();
    EXPECT_EQ(err.str().rfind("tsumugi: player settings '" + path.string() + "': ", 0), 0u)
        << err.str();
  }
}

TEST(PlayerSettingsFile, WhatIsWrittenReadsBackEqualAndKeepsOtherKeys) {
  TempDir dir;
  const fs::path file = dir / "config/tsumugi/settings.toml";
  PlayerSettings settings;
  settings.text_speed = 0.1 + 0.2;  // no short decimal
  settings.auto_base_ms = 60000;
  settings.auto_per_char_ms = 7;
  settings.volumes = {0, 55, 100};
  settings.fullscreen = true;
  settings.scale = 16;
  settings.filter = PictureFilter::kSmooth;
  std::string error;
  // The folder is made.
  ASSERT_TRUE(WritePlayerSettings(file, settings, &error)) << error;
  std::ostringstream err;
  EXPECT_EQ(ReadPlayerSettings(file, err), settings);
  ASSERT_TRUE(WritePlayerSettings(file, PlayerSettings{}, &error)) << error;
  EXPECT_EQ(ReadPlayerSettings(file, err), PlayerSettings{});
  EXPECT_EQ(err.str(), "");

  // A newer version's keys stay, tables too; nothing else is left in the
  // folder.
  WriteFile(file, "language = \"ja\"\nscale = 2\n[window]\nx = 5\n");
  ASSERT_TRUE(WritePlayerSettings(file, settings, &error)) << error;
  const std::string text = ReadFile(file);
  EXPECT_NE(text.find("\nlanguage = "), std::string::npos) << text;
  EXPECT_NE(text.find("[window]\nx = 5"), std::string::npos) << text;
  EXPECT_EQ(text.find("scale = 2"), std::string::npos) << text;
  EXPECT_EQ(ReadPlayerSettings(file, err), settings);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);

  // A folder in the way is a failure with its cause, not a crash.
  EXPECT_FALSE(WritePlayerSettings(dir / "config", settings, &error));
  EXPECT_NE(error, "");
}

TEST(PlayerSettingsFile, LivesUnderXdgConfigHome) {
  EXPECT_EQ(PlayerSettingsFileFor("/cfg", "/home/p"), fs::path("/cfg/tsumugi/settings.toml"));
  EXPECT_EQ(PlayerSettingsFileFor("cfg", "/home/p"),
            fs::path("/home/p/.config/tsumugi/settings.toml"));
  EXPECT_EQ(PlayerSettingsFileFor(nullptr, "/home/p"),
            fs::path("/home/p/.config/tsumugi/settings.toml"));
}

// Two pages of 4 and 2 characters typed at 20 ms each, auto mode switched
// on at the first click wait: the text log of a run in a game folder of
// its own, with `settings` as the player's own file, and named to the
// runner with --settings when `named`.
RunResult TypedRun(const std::string& settings, bool named, std::string* log) {
  TempDir work;
  WriteFile(work / "game/data/start.txt",
            Utf16ToCp932(Utf8ToUtf16(".tsw\r\n.tsp 20\r\n■■■■\r\n.tcl 0\r\n■■\r\n.clk 0\r\n"
                                     ".end\r\n")));
  WriteFile(work / "input", "key A\nwait 10000\nscreenshot end.png\n");
  // The player's own file says the same; a headless run reads it only when
  // named.
  WriteFile(work / "config/tsumugi/settings.toml", settings);
  std::vector<std::string> args;
  if (named) args = {"--settings", (work / "config/tsumugi/settings.toml").string()};
  args.insert(args.end(), {"--headless", "--input", (work / "input").string(), "--save-dir",
                           (work / "saves").string(), "--text-log", (work / "log").string(),
                           "game"});
  RunOptions options;
  options.cwd = work.path();
  options.env = {"XDG_CONFIG_HOME=" + (work / "config").string()};
  const RunResult run = RunTsumugi(args, options);
  *log = ReadFile(work / "log");
  return run;
}

TEST(PlayerSettingsRun, TextSpeedAndAutoDelaysOnlyFromAFileNamedToTheRunner) {
  const std::string settings = "text_speed = 2\nauto_base_ms = 100\nauto_per_char_ms = 10\n";
  std::string log;
  // Without --settings: 80 ms of typing, then 1,200 ms and 50 for each of
  // the four characters, then 40 ms.
  RunResult run = TypedRun(settings, false, &log);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(log, "80\tstart.txt:3\t■■■■\n1520\tstart.txt:5\t■■\n");
  // With it: typing takes half as long, and auto mode waits 100 ms and 10
  // for each character.
  run = TypedRun(settings, true, &log);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(log, "40\tstart.txt:3\t■■■■\n200\tstart.txt:5\t■■\n");

  // A damaged file: one line, and the game plays at the defaults.
  run = TypedRun("text_speed = 2\ntext_speed = 3\n", true, &log);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.err), 1u) << run.err;
  EXPECT_NE(run.err.find("', line 2: "), std::string::npos) << run.err;
  EXPECT_EQ(log, "80\tstart.txt:3\t■■■■\n1520\tstart.txt:5\t■■\n");
  // A file named that is not there is a bad command line.
  TempDir game;
  run = RunTsumugi({"--headless", "--settings", "no-such-settings.toml", game.path().string()},
                   game.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--settings 'no-such-settings.toml': no such file"), std::string::npos)
      << run.err;
}

const char* kSmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// The samples of a 16-bit stereo WAV file written by --audio-out, from
// `from_ms` to `to_ms` of engine time.
std::vector<int16_t> Samples(const std::string& wav, int from_ms, int to_ms) {
  const size_t from = 44 + static_cast<size_t>(from_ms) * 441 / 10 * 4;
  const size_t to = std::min(wav.size(), 44 + static_cast<size_t>(to_ms) * 441 / 10 * 4);
  std::vector<int16_t> samples(to > from ? (to - from) / 2 : 0);
  if (!samples.empty()) std::memcpy(samples.data(), wav.data() + from, samples.size() * 2);
  return samples;
}

TEST(PlayerSettingsRun, VolumesScaleWhatIsHeardAndNothingElse) {
  if (!fs::exists(kSmallSoundFont)) GTEST_SKIP() << "no " << kSmallSoundFont;
  TempDir work;
  // MIDI music, then a CD track (music too), then a wave sound, then a
  // movie with sound, each alone.
  WriteFile(work / "game/data/song.mid", MakeMidiNote(1000));
  WriteFile(work / "game/cd/track02.wav", MakeWav(1000, 44100, 2, 330));
  WriteFile(work / "game/data/se.wav", MakeWav(300, 44100, 2, 440));
  VideoParams movie;
  movie.frames = 15;
  movie.sound = true;
  std::string error;
  ASSERT_TRUE(WriteVideo(work / "game/data/movie.avi", movie, &error)) << error;
  WriteCp932(work / "game/data/start.txt",
             ".mid song 1\n.wat 400\n.mid stop\n.acd 2 1\n.wat 400\n.acd stop\n.wav se 0\n"
             ".wat 400\n.avi movie 1 1\n.end\n");
  WriteFile(work / "settings.toml", "music_volume = 50\nsound_volume = 25\nmovie_volume = 0\n");

  auto play = [&](const std::string& name, std::vector<std::string> args) {
    args.insert(args.end(), {"--headless", "--soundfont", kSmallSoundFont, "--audio-out",
                             (work / (name + ".wav")).string(), "--trace",
                             (work / (name + ".trace")).string(), "--screenshot",
                             (work / (name + ".png")).string(), (work / "game").string()});
    const RunResult run = RunTsumugi(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    return run;
  };
  const RunResult loud = play("loud", {});
  const RunResult soft = play("soft", {"--settings", (work / "settings.toml").string()});
  // The game sees nothing of it: the same lines at the same times, the same
  // screen, the same mix length.
  EXPECT_EQ(soft.out, loud.out);
  EXPECT_EQ(ReadFile(work / "soft.trace"), ReadFile(work / "loud.trace"));
  EXPECT_NE(ReadFile(work / "loud.trace"), "");
  EXPECT_EQ(ReadFile(work / "soft.png"), ReadFile(work / "loud.png"));
  const std::string a = ReadFile(work / "loud.wav"), b = ReadFile(work / "soft.wav");
  ASSERT_EQ(b.size(), a.size());

  // Each medium sounds at full level in the first run, and at its volume
  // in the second, sample for sample (away from where one gives way to the
  // next).
  struct Part {
    const char* what;
    int from_ms, to_ms, volume;
  } parts[] = {{"MIDI", 50, 350, 50}, {"CD", 450, 750, 50}, {"wave", 850, 1050, 25},
               {"movie", 1250, 2000, 0}};
  for (const Part& part : parts) {
    const std::vector<int16_t> full = Samples(a, part.from_ms, part.to_ms);
    const std::vector<int16_t> scaled = Samples(b, part.from_ms, part.to_ms);
    ASSERT_EQ(full.size(), static_cast<size_t>(part.to_ms - part.from_ms) * 441 / 10 * 2)
        << part.what;
    int peak = 0;
    size_t wrong = 0;
    for (size_t i = 0; i < full.size(); ++i) {
      peak = std::max(peak, std::abs(static_cast<int>(full[i])));
      if (scaled[i] != full[i] * part.volume / 100) ++wrong;
    }
    EXPECT_GT(peak, 1000) << part.what << " is silent";
    EXPECT_EQ(wrong, 0u) << part.what;
  }
}

}  // namespace
}  // namespace tsumugi::test
