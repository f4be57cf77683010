// A game folder as a hostile archive would ship it: names that climb out of
// it, links to the rest of the disk, devices, FIFOs, huge and bomb-like
// files. The real binary runs each in a temporary folder.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <thread>

#include "common/text_codec.h"
#include "support/media_fixtures.h"
#include "support/test_support.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// A game folder with a picture and a secret beside it, outside the game.
struct Hostile {
  TempDir root;
  fs::path game = root / "game";
  fs::path data = game / "data";
  Hostile() {
    WriteBitmap(root / "outside/secret.bmp", 4, 4, 0xFF0000);
    WriteBitmap(game / "pics/beside.bmp", 4, 4, 0x00FF00);
  }
  void Script(const std::string& text) { WriteCp932(data / "start.txt", text); }
  RunResult Run(const std::vector<std::string>& more = {}) {
    std::vector<std::string> args = {"--headless"};
    args.insert(args.end(), more.begin(), more.end());
    args.push_back(game.string());
    return RunTsumugi(args);
  }
  // The report of a missing picture: a name with a "." is a file name.
  std::string Missing(const std::string& name) {
    const std::string where = data.string() + "/" + name;
    return OkBox("File「start.txt」  Line「1」\r\n\r\n" +
                 (name.find('.') != std::string::npos
                      ? "ファイル「" + where + "」は存在しません。"
                      : "「" + where + "」という名前の\r\nピクチャーファイルは存在しません") +
                 "\r\n実行を中止します") +
           "\n";
  }
};

TEST(HardeningFiles, NamesAndLinksCannotReachOutsideTheGameFolder) {
  // Both slashes, a link to a folder outside and a link to a file outside:
  // each is reported exactly like a missing picture, the cause on stderr.
  for (const std::string name : {"../../outside/secret.bmp", "..\\..\\outside\\secret.bmp", "out/secret",
                                 "link"}) {
    Hostile h;
    fs::create_directories(h.data);
    fs::create_directory_symlink(h.root / "outside", h.data / "out");
    fs::create_symlink(h.root / "outside/secret.bmp", h.data / "link.bmp");
    h.Script(".pic " + name + "\n");
    RunResult run = h.Run();
    EXPECT_EQ(run.status, 1) << name;
    EXPECT_EQ(run.out, h.Missing(name)) << name;
    EXPECT_NE(run.err.find("outside the game folder"), std::string::npos) << name << run.err;
  }
  // A picture beside the data folder is still the game's; so is a link that
  // stays inside.
  Hostile h;
  fs::create_directories(h.data);
  fs::create_symlink(h.game / "pics/beside.bmp", h.data / "inside.bmp");
  h.Script(".pic ..\\PICS\\beside.bmp\n.pic inside\n.end\n");
  RunResult run = h.Run();
  EXPECT_EQ(run.status, 0) << run.out << run.err;

  // Cursors go through the same lookup.
  Hostile c;
  c.Script(".cur ../../outside/secret.bmp\n");
  run = c.Run();
  EXPECT_EQ(run.out, OkBox("File「start.txt」  Line「1」\r\n\r\nファイル「" + c.data.string() +
                           "/../../outside/secret.bmp」は存在しません。\r\n実行を中止します") +
                         "\n");
}

TEST(HardeningFiles, TheScenarioScanStaysInsideTheGameFolder) {
  Hostile h;
  h.Script(".jmp evil\n");
  // A link to "/" would walk the whole disk; a link to a file outside would
  // make it a scenario.
  fs::create_directory_symlink("/", h.data / "root");
  WriteCp932(h.root / "outside/evil.txt", ".cap stolen\n");
  fs::create_symlink(h.root / "outside/evil.txt", h.data / "evil.txt");
  RunResult run = h.Run();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, OkBox("File「start.txt」  Line「1」\r\n\r\nファイル「evil.txt」は存在しません"
                           "\r\n実行を中止します") +
                         "\n");
  EXPECT_NE(run.err.find("data/root is a symbolic link that leads outside"), std::string::npos)
      << run.err;

  // The scenario folder itself must be inside (see also RunnerCatalogue).
  Hostile deep;
  std::string path = "data";
  for (int i = 0; i <= 65; ++i) path += "/d";
  WriteCp932(deep.game / path / "start.txt", ".end\n");
  run = deep.Run();
  EXPECT_EQ(run.out, OkBox("シナリオファイル（テキスト）が見つかりません。") + "\n");
  EXPECT_NE(run.err.find("is nested more than 64 folders deep"), std::string::npos) << run.err;
}

TEST(HardeningFiles, DevicesFifosAndHugeFilesAreRefusedAtOnce) {
  // Each would be read forever or wait for a writer; each ends the run at
  // once with a message.
  struct Case {
    std::string file;
    std::function<void(const fs::path&)> make;
    std::string message;
  };
  auto fifo = [](const fs::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); };
  auto zero = [](const fs::path& p) { fs::create_symlink("/dev/zero", p); };
  auto huge = [](const fs::path& p) {
    WriteFile(p, "");
    fs::resize_file(p, (uint64_t{64} << 20) + 1);  // sparse: nothing written
  };
  const Case cases[] = {
      {"data/f.txt", fifo, "シナリオファイル「f.txt」を読み込めません。\r\n名前付きパイプです（通常のファイルではありません）"},
      {"data/h.txt", huge, "シナリオファイル「h.txt」を読み込めません。\r\nファイルが大きすぎます"},
      {"data/config.txt", fifo, "ファイル「config.txt」を読み込めません。\r\n名前付きパイプです（通常のファイルではありません）"},
      {"game.ini", fifo, "設定ファイル「$GAME/game.ini」を読み込めません\r\n名前付きパイプです（通常のファイルではありません）"},
  };
  for (const Case& c : cases) {
    Hostile h;
    h.Script(".end\n");
    WriteFile(h.game / "game.exe", "MZ");
    fs::create_directories((h.game / c.file).parent_path());
    c.make(h.game / c.file);
    RunResult run = h.Run();
    std::string message = c.message;
    if (size_t at = message.find("$GAME"); at != std::string::npos) {
      message.replace(at, 5, h.game.string());
    }
    EXPECT_EQ(run.status, 1) << c.file;
    EXPECT_EQ(run.out, OkBox(message) + "\n") << c.file << run.err;
  }
  // A link to a device outside the game folder is not read at all.
  Hostile z;
  z.Script(".end\n");
  zero(z.data / "z.txt");
  RunResult run = z.Run();
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("z.txt is a symbolic link that leads outside"), std::string::npos);
  // A picture that is a FIFO is no picture file; the cause is on stderr.
  Hostile h;
  h.Script(".pic pipe\n");
  fs::create_directories(h.data);
  fifo(h.data / "pipe.bmp");
  run = h.Run();
  EXPECT_EQ(run.out, h.Missing("pipe"));
  EXPECT_NE(run.err.find("not a regular file (a FIFO)"), std::string::npos) << run.err;
  // Input files too: a bad input file is a bad command line.
  for (const std::function<void(const fs::path&)>& make :
       std::vector<std::function<void(const fs::path&)>>{fifo, zero, huge}) {
    Hostile i;
    i.Script(".end\n");
    make(i.root / "input");
    EXPECT_EQ(i.Run({"--input", (i.root / "input").string()}).status, 2);
  }
}

TEST(HardeningPictures, BombsAndOversizedPicturesAreRefusedBeforeDecoding) {
  // A few KB claiming 16,384 x 16,384: refused from its header as a picture,
  // a window picture and a marker, without taking the memory it claims.
  for (const std::string line : {".pic bomb", ".txt space pic bomb", ".mst bomb bomb 0 0 0 500"}) {
    Hostile h;
    WriteFile(h.data / "bomb.bmp", Rle8(16384, 16384, true));
    h.Script(line + "\n");
    RunResult run = h.Run();
    std::cout << "[ memory ] " << line << ": peak " << run.peak_kb / 1024 << " MB\n";
    EXPECT_EQ(run.out, OkBox("File「start.txt」  Line「1」\r\n\r\nファイル「" + h.data.string() +
                             "/bomb.bmp」はピクチャーファイルとして読み込めません\r\n実行を中止します") +
                           "\n")
        << line;
    EXPECT_NE(run.err.find("the picture is too large"), std::string::npos) << run.err;
    EXPECT_LT(run.peak_kb, 100 * 1024) << line;
  }
  // Within the pixel limit but wider than any window may be: the window's
  // own limit holds for a size that comes from its picture.
  Hostile w;
  WriteFile(w.data / "wide.bmp", Rle8(2049, 16, true));
  w.Script(".txt space pic wide\n");
  RunResult run = w.Run();
  EXPECT_EQ(run.out, OkBox("File「start.txt」  Line「1」\r\n\r\nピクチャー「wide」の大きさ（2049x16）は"
                           "幅「2048」、高さ「2048」までにしてください\r\n実行を中止します") +
                         "\n");
  // A marker is shown on the screen: it is no larger.
  w.Script(".mst wide wide 0 0 0 500\n");
  EXPECT_NE(w.Run().out.find("幅「640」、高さ「480」までに"), std::string::npos);
}

// Save files as large as a load reads (64 MB): a text of 60 million
// characters is refused as damage without being decoded, and 32 million
// empty lines load without a string apiece. Either once took several times
// the file in memory.
TEST(HardeningFiles, HugeSaveFilesLoadInBoundedMemory) {
  Hostile h;
  WriteCp932(h.data / "config.txt", ".str name\n");
  // The last line shows what the variable holds, in the report of a jump.
  h.Script(".lod savetext.txt\n.lod saveempty.txt\n.lod saveempty.txt name\n.jmp [name]\n");
  std::string head = ":MemSection\r\n";
  for (int i = 0; i < 10; ++i) head += "\r\n0\r\n";
  for (int i = 0; i < 20; ++i) head += "\r\n0\r\n-1 0\r\n";
  head += ":FlagSection\r\n";
  for (int i = 0; i < 16; ++i) head += "0000000000000000\r\n";
  head += ":VarSection\r\n";
  WriteFile(h.data / "savetext.txt", head + ".let name = " + std::string(60 << 20, 'x') + "\r\n");
  std::string empty = head;
  empty.resize((64 << 20) - 20, '\n');
  WriteFile(h.data / "saveempty.txt", empty + ".let name = found\r\n");
  const RunResult run = h.Run();
  std::cout << "[ memory ] huge save files: peak " << run.peak_kb / 1024 << " MB\n";
  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> boxes = run.lines();
  ASSERT_EQ(boxes.size(), 2u) << run.out;
  EXPECT_EQ(boxes[0], OkBox("セーブファイル「" + (h.data / "savetext.txt").string() +
                            "」を読み込めませんでした\r\n100行目：行が長すぎます（2097152文字ま"
                            "で）\r\nロードせずに続けます"));
  EXPECT_NE(boxes[1].find("found.txt"), std::string::npos) << boxes[1];
  EXPECT_LT(run.peak_kb, 200 * 1024 + kSanitizerSlackKb);
}

TEST(HardeningRunner, AnEndlessLoopOverLargePicturesIsStopped) {
  // Each loop loads two 2048 x 2048 pictures and lets no engine time pass:
  // the guard stops it after 30 s of real time.
  Hostile h;
  WriteBitmap(h.data / "a.bmp", 2048, 2048, 0x102030);
  WriteBitmap(h.data / "b.bmp", 2048, 2048, 0x405060);
  h.Script(":loop\n.pic a\n.pic b\n.jmp start loop\n");
  RunResult run = h.Run();
  std::cout << "[ time   ] stopped after " << run.seconds << " s\n";
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.err.find("without letting engine time pass"), std::string::npos) << run.err;
}

TEST(HardeningRunner, LongWaitsAreBoundedAndCostNothing) {
  Hostile h;
  h.Script(".clk\n.end\n");
  // Beyond 2^31 ms, alone or in a row, a wait is bad input, as is such a
  // time limit.
  for (const std::string input : {"wait 100000000000\nclick 1 1\n", "wait 2147483648\nwait 1\n"}) {
    WriteFile(h.root / "input", input);
    EXPECT_EQ(h.Run({"--input", (h.root / "input").string()}).status, 2) << input;
  }
  EXPECT_EQ(h.Run({"--max-time", "2147483649"}).status, 2);
  // A long wait with nothing due is one step of the clock.
  WriteFile(h.root / "input", "wait 2000000000\rclick 1 1\r");
  RunResult run = h.Run({"--input", (h.root / "input").string(), "--max-time", "2147483648"});
  std::cout << "[ time   ] wait 2000000000 and a click: " << run.seconds << " s\n";
  EXPECT_EQ(run.status, 0) << run.err;
}

TEST(HardeningRunner, AScreenshotThatCannotBeWrittenEndsWithFourAndKeepsTheOldFile) {
  Hostile h;
  h.Script(".clk\n.cap after\n.clk\n");
  // The input's own screenshot: the run ends there.
  WriteFile(h.root / "input", "screenshot " + (h.root / "no/such/folder.png").string() + "\n");
  RunResult run = h.Run({"--input", (h.root / "input").string()});
  EXPECT_EQ(run.status, 4) << run.err;
  // --screenshot on a file system that is full: the old picture stays.
  WriteFile(h.root / "shots/end.png", "old picture");
  const std::string mount = "mount -t tmpfs -o size=16k tmpfs " + (h.root / "shots").string();
  const std::string script =
      "set -e; cp " + (h.root / "shots/end.png").string() + " /tmp/old.$$; " + mount + "; " +
      "cp /tmp/old.$$ " + (h.root / "shots/end.png").string() + "; rm /tmp/old.$$; " +
      "head -c 1000000 /dev/zero > " + (h.root / "shots/fill").string() + " 2>/dev/null || true; " +
      "set +e; " + TSUMUGI_BINARY + " --headless --screenshot " +
      (h.root / "shots/end.png").string() + " " + h.game.string() +
      " >/dev/null 2>&1; echo status=$?; cat " + (h.root / "shots/end.png").string();
  const std::string command = "unshare --mount --propagation private sh -c '" + script + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  if (pclose(pipe) != 0 || output.find("status=") == std::string::npos) {
    GTEST_SKIP() << "cannot mount a small file system here: " << output;
  }
  EXPECT_EQ(output, "status=4\nold picture");
}

TEST(HardeningRunner, TheLockLivesInAPrivateFolderAndGoesWithTheRun) {
  Hostile h;
  h.Script(".end\n");
  const fs::path cache = h.root / "cache";
  const std::vector<std::string> env = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME=" + cache.string()};
  // Another user's file where the lock used to be does not block the game.
  char old_name[64];
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : fs::canonical(h.game).string()) hash = (hash ^ c) * 1099511628211ull;
  std::snprintf(old_name, sizeof old_name, "/tmp/tsumugi-%016llx.lock",
                static_cast<unsigned long long>(hash));
  const int squatter = open(old_name, O_RDWR | O_CREAT, 0644);
  ASSERT_GE(squatter, 0);
  ASSERT_EQ(flock(squatter, LOCK_EX | LOCK_NB), 0);
  RunOptions options;
  options.env = env;
  RunResult run = RunTsumugi({"--headless", h.game.string()}, options);
  close(squatter);
  unlink(old_name);
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  struct stat st {};
  ASSERT_EQ(stat((cache / "tsumugi-locks").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // The lock file went with the run.
  EXPECT_TRUE(fs::is_empty(cache / "tsumugi-locks"));

  // A shared runtime folder is not used: nobody else can hold the lock.
  options.env = {"XDG_RUNTIME_DIR=/tmp", "XDG_CACHE_HOME=" + cache.string()};
  options.while_running = nullptr;
  EXPECT_EQ(RunTsumugi({"--headless", h.game.string()}, options).status, 0);

  // No place for a lock at all: said on stderr, and the game plays.
  WriteFile(h.root / "file", "");
  options.env = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME=" + (h.root / "file").string()};
  run = RunTsumugi({"--headless", h.game.string()}, options);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("no single-instance lock can be taken"), std::string::npos) << run.err;
}

TEST(HardeningRunner, SigtermEndsTheRunOrderly) {
  // The loop lets no engine time pass; SIGTERM ends it as Escape would,
  // with the screenshot written and the lock file removed.
  Hostile h;
  h.Script(".cap looping\n:loop\n.jmp start loop\n");
  const fs::path cache = h.root / "cache";
  RunOptions options;
  options.env = {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME=" + cache.string()};
  options.timeout_seconds = 25;
  options.while_running = [](pid_t pid) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(pid, SIGTERM);
  };
  RunResult run = RunTsumugi(
      {"--headless", "--screenshot", (h.root / "end.png").string(), h.game.string()}, options);
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.status, 128 + SIGTERM) << run.err;
  EXPECT_TRUE(fs::exists(h.root / "end.png"));
  EXPECT_TRUE(fs::is_empty(cache / "tsumugi-locks"));
}

TEST(HardeningRunner, StopSignalsEndAHoldInTheWindowOrderly) {
  // A hold ignores the game's input: a transition of 24 days, a wave
  // sound of 20 s that the script waits for. SIGTERM and SIGINT end either
  // at once, through the engine's own end.
  const std::string long_sound = MakeWav(20000, 8000);
  for (const int signal_number : {SIGTERM, SIGINT}) {
    for (const bool sound : {false, true}) {
      Hostile h;
      WriteBitmap(h.data / "bg.bmp", 8, 8, 0x336699);
      WriteFile(h.data / "long.wav", long_sound);
      h.Script(sound ? ".wav long 1\n" : ".pic bg 0 2147483647\n");
      RunOptions options;
      options.env = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy", "DISPLAY",
                     "XDG_RUNTIME_DIR", "XDG_CACHE_HOME=" + (h.root / "cache").string()};
      options.timeout_seconds = 25;
      options.while_running = [&](pid_t pid) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        kill(pid, signal_number);
      };
      RunResult run = RunTsumugi(
          {"--screenshot", (h.root / "end.png").string(), h.game.string()}, options);
      std::cout << "[ time   ] window run with signal " << signal_number << " in a "
                << (sound ? "wave sound" : "transition") << ": " << run.seconds
                << " s (signal after 1 s)\n";
      EXPECT_FALSE(run.timed_out);
      // Far below the 20 s the sound would have held it.
      EXPECT_LT(run.seconds, 10);
      EXPECT_EQ(run.status, 128 + signal_number) << run.err;
      EXPECT_TRUE(fs::exists(h.root / "end.png"));
      EXPECT_TRUE(fs::is_empty(h.root / "cache/tsumugi-locks"));
    }
  }
}

TEST(HardeningRunner, ReasonsForBadFoldersAndSettingsFiles) {
  Hostile h;
  h.Script(".end\n");
  WriteFile(h.root / "plain", "");
  RunResult run = RunTsumugi({"--headless", (h.root / "plain").string()});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("is not a folder"), std::string::npos) << run.err;
  for (const fs::path& ini : {h.root / "missing.ini", h.data}) {
    run = RunTsumugi({"--headless", "--ini", ini.string(), h.game.string()});
    EXPECT_EQ(run.status, 2) << ini;
  }
  // A game folder the player cannot read (as root, the run is nobody's).
  fs::permissions(h.root.path(), fs::perms::all, fs::perm_options::add);
  fs::permissions(h.game, fs::perms::none);
  RunOptions options;
  options.as_nobody = true;
  run = RunTsumugi({"--headless", h.game.string()}, options);
  fs::permissions(h.game, fs::perms::owner_all);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("cannot be read: Permission denied"), std::string::npos) << run.err;
}

TEST(HardeningFiles, JapaneseNamesStoredAsCp932BytesAreFound) {
  Hostile h;
  const std::string background = Utf16ToCp932(u"背景");
  const std::string pointer = Utf16ToCp932(u"指");
  WriteBitmap(h.data / (background + ".BMP"), 4, 4, 0x123456);
  WriteFile(h.data / (pointer + ".cur"), "");
  h.Script(".pic 背景\n.cur 指\n");
  RunResult run = h.Run();
  // The picture is shown; the cursor file is found (and is no cursor).
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("Line「2」"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("カーソルファイルとして読み込めません"), std::string::npos) << run.out;
}

TEST(HardeningWindow, TheWindowHostEndsCleanUnderTheSanitizers) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "not a sanitizer build";
#endif
  VirtualDisplay display;
  if (!display.Ready()) GTEST_SKIP() << "no Xvfb";
  Hostile h;
  h.Script(".wat 300\n.end\n");
  RunOptions options;
  options.env = {"DISPLAY=" + display.Name(), "SDL_VIDEODRIVER",
                 std::string("LSAN_OPTIONS=suppressions=") + TSUMUGI_SCENARIO_DIR +
                     "/../sanitizer/lsan.supp"};
  options.timeout_seconds = 60;
  RunResult run = RunTsumugi({h.game.string()}, options);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tsumugi::test
