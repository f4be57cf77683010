// Sound and video through the real binary: the mix written by --audio-out,
// and damaged media that must leave the game playing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi {
namespace {
using namespace test;
namespace fs = std::filesystem;

const char* kSmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// The frames of a 16-bit stereo WAV file written by --audio-out.
std::vector<int16_t> Frames(const std::string& wav) {
  std::vector<int16_t> samples((wav.size() - 44) / 2);
  std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
  return samples;
}

bool Silent(const std::vector<int16_t>& s, size_t from_frame, size_t to_frame) {
  for (size_t i = from_frame * 2; i < to_frame * 2; ++i) {
    if (s[i] != 0) return false;
  }
  return true;
}

TEST(AudioOut, HoldsEachSoundWhereTheClockPlayedItTheSameEveryRun) {
  if (!fs::exists(kSmallSoundFont)) GTEST_SKIP() << "no " << kSmallSoundFont;
  TempDir work;
  const std::string sound = MakeWav(500, 44100, 2);
  WriteFile(work / "game/data/se.wav", sound);
  WriteFile(work / "game/data/song.mid", MakeMidiNote(2000));
  WriteCp932(work / "game/data/start.txt",
             ".mid song 0\n.wat 500\n.mid stop\n.wat 500\n.wav se 0\n.wat 1000\n.end\n");
  std::string first;
  for (const char* out : {"a.wav", "b.wav"}) {
    RunResult run = RunTsumugi({"--headless", "--soundfont", kSmallSoundFont, "--audio-out",
                                (work / out).string(), (work / "game").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    if (first.empty()) first = ReadFile(work / out);
  }
  EXPECT_EQ(ReadFile(work / "b.wav"), first);

  const std::vector<int16_t> mix = Frames(first);
  ASSERT_EQ(mix.size(), 88200u * 2) << "2 s of engine time";
  EXPECT_FALSE(Silent(mix, 0, 22050)) << "the song sounds from the start";
  EXPECT_TRUE(Silent(mix, 22050, 44100)) << "silence after .mid stop at 500 ms";
  // From 1 s on, exactly the wave sound, then silence.
  const std::vector<int16_t> wave = Frames(sound);
  EXPECT_TRUE(std::equal(wave.begin(), wave.end(), mix.begin() + 44100 * 2));
  EXPECT_TRUE(Silent(mix, 44100 + 22050, 88200));
}

TEST(AudioOut, ANonSoundFontLeavesMidiSilentWithOneLine) {
  TempDir work;
  WriteFile(work / "font.sf2", "not a sound font");
  WriteFile(work / "game/data/song.mid", MakeMidiNote(200));
  WriteCp932(work / "game/data/start.txt", ".mid song 0\n.wat 300\n.mid song 0\n.wat 300\n.end\n");
  RunResult run = RunTsumugi({"--headless", "--soundfont", (work / "font.sf2").string(),
                              "--audio-out", (work / "out.wav").string(), (work / "game").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find("MIDI music plays silently"), std::string::npos) << run.err;
  const std::vector<int16_t> mix = Frames(ReadFile(work / "out.wav"));
  EXPECT_EQ(mix.size(), 26460u * 2);
  EXPECT_TRUE(Silent(mix, 0, 26460));
}

TEST(AudioOut, AFileThatCannotBeWrittenEndsWithStatusFour) {
  TempDir work;
  WriteCp932(work / "game/data/start.txt", ".end\n");
  RunResult run = RunTsumugi({"--headless", "--audio-out", (work / "no/such/folder/x.wav").string(),
                              (work / "game").string()});
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("cannot write"), std::string::npos);
  EXPECT_EQ(RunTsumugi({"--headless", "--no-sound", "--audio-out", "x.wav"}).status, 2);
}

// Damaged and extreme media: each one plays on in silence (or as far as it
// goes), with one line on standard error when it cannot be played at all.
TEST(BadMedia, GamesPlayOnWithoutThem) {
  TempDir fixtures;
  std::string error;
  ASSERT_TRUE(WriteVideo(fixtures / "good.avi", {}, &error)) << error;
  VideoParams none;
  none.frames = 0;
  ASSERT_TRUE(WriteVideo(fixtures / "none.avi", none, &error)) << error;
  VideoParams big;
  big.width = big.height = 4096;
  big.frames = 2;
  ASSERT_TRUE(WriteVideo(fixtures / "big.avi", big, &error)) << error;
  const std::string avi = ReadFile(fixtures / "good.avi");
  const std::string wav = MakeWav(1000);
  const std::string mid = MakeMidiNote(1000);
  const std::string mp3 = MakeMp3(1000);
  std::string corrupt_avi = avi;
  for (size_t i = 300; i < corrupt_avi.size(); i += 7) corrupt_avi[i] = static_cast<char>(i * 31);
  // A header that announces 4 GB of sound before one second of it.
  std::string huge_wav = wav;
  std::memcpy(&huge_wav[4], "\xF0\xFF\xFF\xFF", 4);
  std::memcpy(&huge_wav[40], "\xF0\xFF\xFF\xFF", 4);
  // 65,535 tracks announced, one there.
  std::string many_tracks = mid;
  many_tracks[10] = many_tracks[11] = '\xFF';
  std::string noise(5000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919) >> 3);

  struct Case {
    const char* name;
    std::string bytes;
    const char* line;  // plays "bad" + extension
    int held;          // ms the line holds the script (a refused video waits for the click)
    bool refused;
  } cases[] = {
      {"empty.wav", "", ".wav bad 1", 0, true},
      {"header.wav", wav.substr(0, 30), ".wav bad 1", 0, true},
      {"half.wav", wav.substr(0, 44 + 11025), ".wav bad 1", 250, false},
      {"huge.wav", huge_wav, ".wav bad 1", 1000, false},
      {"noise.wav", std::string("RIFF\x10\0\0\0WAVEfmt ", 16) + noise, ".wav bad 1", 0, true},
      {"empty.mp3", "", ".mp3 bad 1", 0, true},
      {"noise.mp3", noise, ".mp3 bad 1", 0, true},
      {"half.mp3", mp3.substr(0, mp3.size() / 2), ".mp3 bad 1", 0, false},
      {"empty.mid", "", ".mid bad 1", 0, true},
      {"noise.mid", "MThd" + noise, ".mid bad 1", 0, true},
      {"half.mid", mid.substr(0, 30), ".mid bad 1", 0, false},
      {"tracks.mid", many_tracks, ".mid bad 1", 0, false},
      {"empty.avi", "", ".avi bad 1 1", 10000, true},
      {"noise.avi", noise, ".avi bad 1 1", 10000, true},
      {"half.avi", avi.substr(0, avi.size() / 2), ".avi bad 1 1", -1, false},
      {"corrupt.avi", corrupt_avi, ".avi bad 1 1", -1, false},
      {"none.avi", ReadFile(fixtures / "none.avi"), ".avi bad 1 1", 0, false},
      {"big.avi", ReadFile(fixtures / "big.avi"), ".avi bad 1 1", 134, false},
  };
  for (const Case& c : cases) {
    TempDir work;
    const std::string extension = fs::path(c.name).extension().string();
    WriteFile(work / ("game/data/bad" + extension), c.bytes);
    WriteCp932(work / "game/data/config.txt", ".int t0 t1\n");
    WriteCp932(work / "game/data/start.txt", std::string(".now t0 = millisecond\n") + c.line +
                                                 "\n.now t1 = millisecond\n.let t1 = t1 - t0\n"
                                                 ".jmp held[t1]\n");
    WriteFile(work / "input", "wait 10000\nclick 320 240\n");
    RunResult run = RunTsumugi({"--headless", "--max-time", "60000", "--soundfont", kSmallSoundFont,
                                "--audio-out", (work / "out.wav").string(), "--input",
                                (work / "input").string(), (work / "game").string()});
    EXPECT_EQ(run.status, 1) << c.name << ": " << run.err;
    EXPECT_EQ(run.err.find("cannot play") != std::string::npos, c.refused) << c.name << ": " << run.err;
    if (c.held >= 0) {
      EXPECT_NE(run.out.find("held" + std::to_string(c.held) + ".txt"), std::string::npos)
          << c.name << ": " << run.out;
    }
  }
}

// Track files that cannot be played, each named in one line on standard
// error however often the game plays from the disc: a damaged one, and
// files so named that are no track (a FIFO, a folder, a link that leads out
// of the game folder, a link to nowhere), which are never opened.
TEST(BadMedia, EachCdTrackFileThatCannotPlayIsNamedOnce) {
  TempDir work;
  const fs::path game = work / "game";
  WriteFile(work / "outside/secret.wav", MakeWav(1000));
  WriteFile(game / "cd/track06.wav", MakeWav(1000));
  std::string noise(5000, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919) >> 3);
  WriteFile(game / "cd/track02.ogg", noise);
  ASSERT_EQ(mkfifo((game / "cd/track03.ogg").c_str(), 0600), 0);
  fs::create_directories(game / "track04.wav");
  fs::create_symlink(work / "outside/secret.wav", game / "cd/track05.mp3");
  fs::create_symlink(work / "nowhere.wav", game / "Track07.flac");
  WriteCp932(game / "data/start.txt",
             ".acd 5 1\n.wat 300\n.acd 6 1\n.wat 300\n.acd 2 0\n.wat 1000\n.acd 3 1\n.acd 2 1\n"
             ".acd 4 1\n.wat 100\n.acd 2 0\n.wat 100\n");
  const fs::path mix = work / "mix.wav";
  const RunResult run = RunTsumugi({"--headless", "--max-time", "60000", "--audio-out",
                                    mix.string(), game.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string lines[] = {
      "tsumugi: CD track file '" + (game / "cd/track03.ogg").string() +
          "' is passed over: not a regular file (a FIFO); track 3 is silent",
      "tsumugi: CD track file '" + (game / "track04.wav").string() +
          "' is passed over: not a regular file (a folder); track 4 is silent",
      "tsumugi: CD track file '" + (game / "cd/track05.mp3").string() +
          "' is passed over: it lies outside the game folder; track 5 is silent",
      "tsumugi: CD track file '" + (game / "Track07.flac").string() +
          "' is passed over: a symbolic link that leads nowhere; track 7 is silent",
      "tsumugi: cannot play '" + (game / "cd/track02.ogg").string() + "': ",
  };
  std::vector<std::string> said;
  std::istringstream err(run.err);
  for (std::string line; std::getline(err, line);) said.push_back(line);
  ASSERT_EQ(said.size(), std::size(lines)) << run.err;
  for (size_t i = 0; i < said.size(); ++i) EXPECT_TRUE(said[i].starts_with(lines[i])) << said[i];
  EXPECT_TRUE(said.back().ends_with("; CD track 2 is silent")) << said.back();
  // The file outside is not heard; the game's own track is.
  const std::vector<int16_t> frames = Frames(ReadFile(mix));
  ASSERT_GT(frames.size(), 2u * 26460);
  EXPECT_TRUE(Silent(frames, 0, 13230));
  EXPECT_FALSE(Silent(frames, 13230, 26460));
}

}  // namespace
}  // namespace tsumugi
