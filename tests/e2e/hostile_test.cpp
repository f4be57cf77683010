// Hostile games made up at random and played through the real binary:
// every command with extreme values, random scripts and input, damaged and
// bomb-like pictures, cursors, media and save files, menus and button bars
// that are cut short or nest. Each run must end by itself (no hang),
// with status 0, 1 or 3, without a crash or a sanitizer report, holding
// less than 500 MB.
//
// The test command plays a few; for a long run (N games, from seed S):
//   TSUMUGI_HOSTILE_CASES=N TSUMUGI_HOSTILE_SEED=S build-asan/tests/tsumugi_tests
//   --gtest_filter='Hostile*'
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <random>

#include "support/media_fixtures.h"
#include "support/test_support.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

class Maker {
 public:
  explicit Maker(uint32_t seed) : rng_(seed) {}

  int Below(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[static_cast<size_t>(Below(static_cast<int>(v.size())))];
  }

  std::string Value() {
    static const std::vector<std::string> extremes = {
        "0",     "-1",         "1",          "7",          "480",         "640",
        "4096",  "4097",       "65535",      "65536",      "2147483647",  "-2147483648",
        "2147483648", "99999999999", "",     "x",          "[a]",         "-0",
        "1000",  "1001",       "16384",      "a",          "[a]+[a]",     "3"};
    // Mostly ordinary numbers, so that scripts get on; often an extreme.
    return Below(5) != 0 ? std::to_string(static_cast<int>(rng_() % 700) - 20) : Pick(extremes);
  }
  std::string Picture() {
    static const std::vector<std::string> names = {"ok8", "ok24", "rle", "damaged", "cut",
                                                   "bomb", "max", "wide", "none", "../ok8",
                                                   "sub\\OK8", "ok8.bmp", "ok24.jpg"};
    return Pick(names);
  }
  std::string Colour() {
    static const std::vector<std::string> colours = {"0", "FFFFFF", "#123456", "red", "-1",
                                                     "FFFFFFFFFF", "", "1,2,3"};
    return Pick(colours);
  }
  std::string Page() {
    static const std::vector<std::string> pages = {"screen", "off0", "off1", "off2", "off999",
                                                   "off1000", "off", "offx", "base"};
    return Pick(pages);
  }
  std::string Effect() {
    static const std::vector<std::string> effects = {"0", "1", "7", "00", "0010", "021014",
                                                     "1000", "999999", "-1", "FF"};
    return Pick(effects);
  }

  std::string Media() {
    static const std::vector<std::string> names = {"tone", "song", "tune", "movie", "damaged",
                                                   "none", "../tone", "stop", "TONE", ""};
    return Pick(names);
  }

  // A menu or a button bar with its branches; one in six is cut short, so
  // that its branch search or block skip runs into the end of the file.
  std::string Block(int depth) {
    const bool buttons = Below(2) == 0;
    std::string block = buttons ? ".btn\n" : ".slt\n";
    const int count = Below(20) == 0 ? 300 : Below(5);
    for (int i = 0; i < count; ++i) {
      if (buttons) {
        block += Picture() + " " + Picture() + (Below(3) == 0 ? " " + Picture() : "") + " " +
                 Value() + " " + Value() + " " + Value() + "\n";
      } else {
        block += Pick(std::vector<std::string>{"はい", std::string(400, 'w'), "[s]", ""}) +
                 Value() + "\n";
      }
    }
    if (Below(6) == 0) return block;
    block += ".\n";
    for (int i = 1; i <= std::min(count, 4); ++i) {
      block += "." + std::to_string(i) + "\n" + Line(depth + 1) + "\n";
      block += buttons ? ".btn exit " + Value() + " " + Value() + " " + Value() + "\n"
                       : ".skp\n";
    }
    return block + ".";
  }

  // One line of script (or a block, up to two deep).
  std::string Line(int depth = 0) {
    auto v = [&] { return Value(); };
    switch (Below(34)) {
      case 0:
        return ".pic " + Picture() + " " + Effect() + " " + v() + " " + v() + " " + v();
      case 1:
        return ".pic " + Page() + " " + Picture() + " " + Effect() + " " + v() + " " + v() + " " +
               v() + " " + v() + " " + v() + " " + v() + " " + v();
      case 2:
        return ".spr " + Page() + " " + Page() + " " + Effect() + " " + v() + " " + v() + " " +
               v() + " " + v() + " " + v() + " " + v() + " " + v();
      case 3:
        return ".spr " + Picture() + " " + Effect() + " " + v() + " " + v() + " " + v();
      case 4:
        return ".bsc " + Colour();
      case 5:
        return ".txt space pic " + (Below(2) ? Picture() : "screen " + v() + " " + v());
      case 6:
        return ".txt " + Pick(std::vector<std::string>{"space", "canvas"}) + " " +
               Pick(std::vector<std::string>{"pos", "size"}) + " " + v() + " " + v();
      case 7:
        return ".txt maxline " + v();
      case 8:
        return ".txt font " +
               Pick(std::vector<std::string>{"size", "spacing", "leading", "offset", "edge",
                                             "style", "name"}) +
               " " + v();
      case 9:
        return ".txt font color " +
               Pick(std::vector<std::string>{"usual", "shadow", "selected", "usualshadow"}) + " " +
               Colour();
      case 10:
        return Pick(std::vector<std::string>{".tsw", ".tcl", ".clk", ".tcl 1", ".thd 0",
                                             ".thd 1"});
      case 11:
        return ".tsp " + v() + " " + v();
      case 12:
        return ".tmd " + v();
      case 13:
        return ".wat " + v();
      case 14:
        return ".mst " + Picture() + " " + Picture() + " " + v() + " " + v() + " " + v() + " " +
               v();
      case 15:
        return ".tpr " + Page() + " " + v() + " " + v() + " テキスト" + v();
      case 16:
        return ".cur " + Pick(std::vector<std::string>{"hand", "broken", "normal", "ok8.bmp",
                                                      "../hand"});
      case 17:
        return ".mcm " + v() + " " + v();
      case 18:
        return ".mmd " + v() + " " + v();
      case 19:
        return ".let a = " + v() + " " + Pick(std::vector<std::string>{"+", "-", "*", "/", "%"}) +
               " " + v();
      case 20:
        return ".let s = [s][s]" + v();
      case 21:
        return ".rnd a " + v() + " " + v();
      case 22:
        return ".now a = " + Pick(std::vector<std::string>{"millisecond", "second", "year"});
      case 23:
        return ".cap " + v() + "[s]";
      case 24:
        return Pick(std::vector<std::string>{"こんにちは、世界。", "[a]と[s]", "ＡＢＣ" + v(),
                                             std::string(300, 'w'), ";" + v(), ".unknown"});
      case 25:
        return depth < 2 ? Block(depth) : ".bsw";
      case 26:
        return Pick(std::vector<std::string>{".rcl ", ".rcl exit ", ".btn exit ", ".sub exit ",
                                             ".bhd ", ".mmd 0 "}) +
               v() + (Below(2) ? " " + v() + " " + v() : "");
      case 27:
        return Pick(std::vector<std::string>{".bsw", ".skp", ".cas a", ".= 1", ".els", ".",
                                             ".jmp far", ".jmp other far", ".jmp nowhere"});
      case 28:
        return ".sav " + Pick(std::vector<std::string>{"", "save1", "game1", "../save1",
                                                      "/tmp/hostile.txt", "start.txt", "a.dat",
                                                      "sub\\x", "SAVE1.TXT"});
      case 29:
        return ".lod " + Pick(std::vector<std::string>{"", "save1", "save1 flag17", "save1 a",
                                                      "save1 s", "save9", "save9 a", "missing",
                                                      "../save1", "start.txt", "sub"});
      case 30:
        return Pick(std::vector<std::string>{".mid ", ".mp3 ", ".wav "}) + Media() + " " + v();
      case 31:
        return ".acd " + Pick(std::vector<std::string>{"2", "3", "0", "-1", "stop", "", "x",
                                                      "99999999999"}) +
               " " + v();
      case 32:
        return ".avi " + Media() + " " + v() + " " + v();
      default:
        return ".sub " + Pick(std::vector<std::string>{"other", "nothing", "other far"}) + " " + v();
    }
  }

  std::string Input() {
    std::string input;
    const int n = Below(12);
    for (int i = 0; i < n; ++i) {
      switch (Below(7)) {
        case 0:
          input += "wait " + std::to_string(Below(20000)) + "\n";
          break;
        case 1:
          input += "key " + Pick(std::vector<std::string>{"Enter", "Space", "F4", "AltEnter",
                                                          "Left", "Down"}) + "\n";
          break;
        case 6:
          // The player's own: going back and forward, at waits and during
          // typing, transitions, videos and boxes alike.
          input += Pick(std::vector<std::string>{"wheel up", "wheel down", "key PageUp",
                                                 "key PageDown", "key F1", "key Tab", "key A",
                                                 "key L", "key Ctrl", "middle 320 240"}) +
                   "\n";
          break;
        case 2:
          input += "rclick " + std::to_string(Below(700)) + " " + std::to_string(Below(500)) + "\n";
          break;
        default:
          input += "click " + std::to_string(Below(700) - 30) + " " +
                   std::to_string(Below(500) - 10) + "\n";
      }
    }
    return input;
  }

  // A picture damaged at random: flipped bytes, a cut, or a header field
  // set to an extreme.
  std::string Damage(std::string bytes) {
    if (bytes.empty()) return bytes;
    switch (Below(3)) {
      case 0:
        for (int i = Below(8) + 1; i > 0; --i) {
          bytes[static_cast<size_t>(Below(static_cast<int>(bytes.size())))] =
              static_cast<char>(rng_());
        }
        break;
      case 1:
        bytes.resize(static_cast<size_t>(Below(static_cast<int>(bytes.size()))));
        break;
      default: {
        const size_t at = static_cast<size_t>(2 + Below(52));
        const uint32_t value = Pick(std::vector<uint32_t>{0, 1, 0x7FFFFFFF, 0x80000000,
                                                          0xFFFFFFFF, 16384, 4097, 1u << 24});
        for (int i = 0; i < 4 && at + i < bytes.size(); ++i) {
          bytes[at + i] = static_cast<char>(value >> (8 * i));
        }
      }
    }
    return bytes;
  }

 private:
  std::mt19937 rng_;
};

// Media files, made once: encoding a movie takes a while.
struct MediaFiles {
  std::string wav = MakeWav(1500);
  std::string midi = MakeMidiNote(2000);
  std::string mp3 = MakeMp3(500);
  std::string avi;
  MediaFiles() {
    TempDir dir;
    VideoParams video;
    video.width = 64;
    video.height = 48;
    video.frames = 8;
    std::string error;
    if (WriteVideo(dir / "movie.avi", video, &error)) avi = ReadFile(dir / "movie.avi");
  }
};

void MakeGame(Maker& m, const fs::path& game) {
  static const MediaFiles media;
  const fs::path data = game / "data";
  WriteFile(data / "tone.wav", media.wav);
  WriteFile(data / "song.mid", media.midi);
  WriteFile(data / "tune.mp3", media.mp3);
  WriteFile(data / "movie.avi", media.avi);
  WriteFile(game / "cd/track02.wav", media.wav);
  const std::vector<std::string> all = {media.wav, media.midi, media.mp3, media.avi};
  for (const char* ext : {".wav", ".mid", ".mp3", ".avi"}) {
    WriteFile(data / (std::string("damaged") + ext), m.Damage(m.Pick(all)));
  }
  // A save file of the right shape, damaged at random.
  std::string save = ":MemSection\r\nstart\r\n3\r\n";
  for (int i = 1; i < 10; ++i) save += "\r\n0\r\n";
  for (int i = 0; i < 20; ++i) save += "\r\n0\r\n-1 0\r\n";
  save += ":FlagSection\r\n";
  for (int i = 0; i < 16; ++i) save += "0100000000000000\r\n";
  save += ":VarSection\r\n.let a = 1\r\n.let s = [a]\r\n";
  WriteFile(data / "save9.txt", m.Damage(save));
  WriteFile(data / "ok8.bmp", Rle8(16, 16, false));
  WriteBitmap(data / "ok24.bmp", 12, 9, [](int x, int y) { return 0x10u * x + 0x1000u * y; });
  WriteFile(data / "sub/ok8.bmp", Rle8(8, 8, false));
  WriteFile(data / "rle.bmp", Rle8(300, 200, true));
  WriteFile(data / "damaged.bmp", m.Damage(Rle8(32, 16, m.Below(2) == 0)));
  WriteFile(data / "cut.bmp", m.Damage(BitmapBytes(20, 20, [](int, int) { return 0x808080u; })));
  WriteFile(data / "bomb.bmp", Rle8(16384, 16384, true));
  WriteFile(data / "max.bmp", Rle8(4096, 4096, true));
  WriteFile(data / "wide.bmp", Rle8(16384, 1024, true));
  WriteFile(data / "hand.cur", m.Damage(std::string("\0\0\2\0\1\0\x20\x20\0\0\1\0\1\0", 14) +
                                        std::string(300, '\x11')));
  WriteFile(data / "broken.cur", "no cursor");
  WriteFile(game / "tsumugi.ini", "Style=Window\r\nZOrder=Normal\r\nDir=data\r\n");
  WriteCp932(data / "config.txt",
             ".int a\n.str s\n.scr " + (m.Below(4) ? "3" : m.Value()) + "\n");
  std::string other = ":far\n";
  for (int i = m.Below(6); i > 0; --i) other += m.Line() + "\n";
  WriteCp932(data / "other.txt", other + ".rcl\n");
  std::string start;
  for (int i = m.Below(30) + 1; i > 0; --i) start += m.Line() + "\n";
  WriteCp932(data / "start.txt", start + ".clk\n.end\n");
}

TEST(Hostile, RandomGamesEndCleanlyWithinMemory) {
  const int cases = EnvNumber("TSUMUGI_HOSTILE_CASES", 12);
  const int seed = EnvNumber("TSUMUGI_HOSTILE_SEED", 1);
  std::map<int, int> statuses;
  long peak_kb = 0;
  double longest = 0;
  int failures = 0;
  for (int i = 0; i < cases && failures < 5; ++i) {
    Maker m(static_cast<uint32_t>(seed) * 1000003u + static_cast<uint32_t>(i));
    TempDir dir;
    MakeGame(m, dir / "game");
    WriteFile(dir / "input", m.Input());
    RunOptions options;
    options.cwd = dir.path();
    options.timeout_seconds = 120;
    RunResult run = RunTsumugi({"--headless", "--max-time", "3600000", "--input", "input",
                                "--screenshot", "end.png", "game"},
                               options);
    ++statuses[run.timed_out ? -1 : run.status];
    peak_kb = std::max(peak_kb, run.peak_kb);
    longest = std::max(longest, run.seconds);
    const bool clean = !run.timed_out && (run.status == 0 || run.status == 1 || run.status == 3) &&
                       run.err.find("Sanitizer") == std::string::npos &&
                       run.err.find("runtime error") == std::string::npos &&
                       run.peak_kb < 500 * 1024;
    if (!clean) {
      ++failures;
      ADD_FAILURE() << "case " << i << " (seed " << seed << "): status " << run.status
                    << (run.timed_out ? " (hung)" : "") << ", peak " << run.peak_kb / 1024
                    << " MB\nscript:\n"
                    << ReadFile(dir / "game/data/start.txt") << "\ninput:\n"
                    << ReadFile(dir / "input") << "\nstderr:\n"
                    << run.err.substr(0, 4000);
    }
  }
  std::cout << "[ hostile] " << cases << " games, seed " << seed << ": ";
  for (const auto& [status, count] : statuses) {
    std::cout << (status < 0 ? "hung" : "status " + std::to_string(status)) << " x" << count
              << "  ";
  }
  std::cout << "| peak memory " << peak_kb / 1024 << " MB, longest " << longest << " s\n";
}

}  // namespace
}  // namespace tsumugi::test
