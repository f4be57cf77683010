// Quick save (F5) and quick load (F9) through the real binary on the sample
// game: a run that saves and ends, the next that starts with F9 and plays
// on as if it had never stopped; the snapshot files of three waits kept in
// the tree, so that a change of their format is seen; and every kind of
// bad snapshot file refused with a box while the game goes on untouched.
//
// After a change of the snapshot format or of the sample game, write the
// kept files again with TSUMUGI_UPDATE_SNAPSHOTS=1 and look at the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/snapshot/snapshot_file.h"
#include "engine/state/snapshot.h"
#include "platform/gdi/png_writer.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// The sample game's input (games/sample/play.input) in three parts, each
// ending at a wait: the first page, the menu with its second choice lit,
// and the evening scene with its music, before its last click.
const std::string kToMenu = "click 320 400\nclick 320 400\nclick 320 400\nmove 120 400\nwait 30\n";
const std::string kToEvening =
    "click 120 400\nclick 320 400\nrclick 320 400\nclick 320 400\nclick 95 40\n"
    "click 320 400\nclick 152 40\nclick 320 400\nclick 208 40\n";
const std::string kToEnd = "click 320 400\n";

struct Wait {
  const char* name;
  std::string before;
  std::string after;
};

const Wait kWaits[] = {
    {"first-page", "", kToMenu + kToEvening + kToEnd},
    {"menu", kToMenu, kToEvening + kToEnd},
    {"evening", kToMenu + kToEvening, kToEnd},
};

fs::path KeptSnapshot(const Wait& wait) {
  return fs::path(TSUMUGI_SNAPSHOT_DIR) / (std::string("sample-") + wait.name + ".png");
}

// A copy of the sample game with its own save folder and input.
struct Play {
  TempDir work;
  fs::path game = CopyOfSampleGame(work);
  fs::path saves = work / "saves";

  RunResult Run(const std::string& input, std::vector<std::string> extra = {}) const {
    WriteFile(work / "input", input);
    std::vector<std::string> args = {"--headless", "--input", (work / "input").string(),
                                     "--save-dir", saves.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(game.string());
    return RunTsumugi(args, work.path());
  }
  gdi::Surface Shot(const std::string& name) const {
    gdi::Surface out;
    std::string error;
    EXPECT_TRUE(gdi::ReadPng((work / name).string(), &out, &error)) << error;
    return out;
  }
  fs::path QuickSave() const { return saves / "quicksave.png"; }
};

// The sample game's name in its snapshots, and another game's.
const std::string kSampleGame = SnapshotGameName({u"start", u"system"});
const std::string kOtherGame = SnapshotGameName({u"extra", u"start", u"system"});

std::string Payload(const fs::path& file) {
  const SnapshotReadResult read = ReadSnapshotFile(file, kSampleGame);
  EXPECT_EQ(read.problem, SnapshotProblem::kNone) << file << ": " << read.detail;
  return read.file.payload;
}

// The whole game run without a stop: the screen at the end.
gdi::Surface Uninterrupted() {
  static const gdi::Surface shot = [] {
    Play play;
    const RunResult run = play.Run(kToMenu + kToEvening + kToEnd + "screenshot end.png\n");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    return play.Shot("end.png");
  }();
  return shot;
}

TEST(QuickSave, AcrossRunsTheGameGoesOnAsIfItHadNeverStopped) {
  for (const Wait& wait : kWaits) {
    SCOPED_TRACE(wait.name);
    Play play;
    // The first run saves at the wait and ends there; the note is drawn
    // over the game and goes after a second.
    RunResult run = play.Run(wait.before +
                             "key F5\nscreenshot noted.png\nwait 1000\n"
                             "screenshot saved.png\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    ASSERT_TRUE(fs::exists(play.QuickSave()));
    EXPECT_NE(play.Shot("noted.png"), play.Shot("saved.png"));
    // Nothing of ours lands in the game's folder.
    EXPECT_FALSE(fs::exists(play.game / "data/quicksave.png"));

    // The snapshot's format is the one kept in the tree.
    if (std::getenv("TSUMUGI_UPDATE_SNAPSHOTS") != nullptr) {
      fs::copy_file(play.QuickSave(), KeptSnapshot(wait), fs::copy_options::overwrite_existing);
    }
    EXPECT_EQ(Payload(play.QuickSave()), Payload(KeptSnapshot(wait)))
        << "the snapshot format changed: see the head of this file";

    // The next run starts with F9, without a word, on the screen that was
    // saved, and plays on to the same end.
    fs::copy_file(KeptSnapshot(wait), play.QuickSave(), fs::copy_options::overwrite_existing);
    run = play.Run("key F9\nscreenshot loaded.png\n" + wait.after + "screenshot end.png\n");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(play.Shot("loaded.png") == play.Shot("saved.png"));
    EXPECT_TRUE(play.Shot("end.png") == Uninterrupted());
  }
}

TEST(QuickSave, ASnapshotOfTheFirstFormatStillLoads) {
  // Written before the game's own text lines were kept beside the shown
  // ones (a translation): it has none, and the game goes on all the same.
  Play play;
  fs::create_directories(play.saves);
  fs::copy_file(fs::path(TSUMUGI_SNAPSHOT_DIR) / "sample-evening-version1.png", play.QuickSave());
  const RunResult run = play.Run("key F9\n" + kToEnd + "screenshot end.png\n");
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(play.Shot("end.png") == Uninterrupted());
}

TEST(QuickSave, QuickSavesLiveInTheGamesDataFolderNeverBesideItsScenarios) {
  Play play;
  const fs::path data_home = play.work / "xdg";
  RunOptions options;
  options.cwd = play.work.path();
  options.env = {"XDG_DATA_HOME=" + data_home.string()};
  WriteFile(play.work / "input", "key F5\n");
  const RunResult run = RunTsumugi(
      {"--headless", "--input", (play.work / "input").string(), play.game.string()}, options);
  ASSERT_EQ(run.status, 0) << run.out << run.err;
  int found = 0;
  for (const auto& entry : fs::recursive_directory_iterator(data_home)) {
    if (entry.path().filename() == "quicksave.png") {
      ++found;
      EXPECT_EQ(entry.path().parent_path().parent_path(), data_home / "tsumugi") << entry.path();
    }
  }
  EXPECT_EQ(found, 1);
  for (const auto& entry : fs::recursive_directory_iterator(play.game)) {
    EXPECT_NE(entry.path().extension(), ".png") << entry.path();
  }
}

// A bad quick save is refused whole with a box; the game goes on from
// where it stood, to the same end as if F9 had never been pressed.
TEST(QuickSave, BadSnapshotsAreRefusedAndNothingChanges) {
  Play saved;
  ASSERT_EQ(saved.Run(kToMenu + "key F5\n").status, 0);
  const std::string good = ReadFile(saved.QuickSave());
  ASSERT_GT(good.size(), 1000u);

  // Another game: the sample game with one more scenario.
  Play other;
  WriteCp932(other.game / "data/extra.txt", "ほかのゲーム\n");
  ASSERT_EQ(other.Run("key F5\n").status, 0);

  ASSERT_EQ(ReadSnapshotFile(other.QuickSave(), kOtherGame).problem, SnapshotProblem::kNone);

  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  std::string damaged = good;
  damaged[damaged.size() / 2] = static_cast<char>(damaged[damaged.size() / 2] ^ 0x20);
  std::string binary(5000, '\0');
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7919 >> 3);
  const Case cases[] = {
      {"damaged", damaged, "ファイルが壊れています"},
      {"cut short", good.substr(0, good.size() * 2 / 3), "ファイルが途中で切れています"},
      {"empty", "", "ファイルが空です"},
      {"binary", binary, "スナップショットではありません"},
      {"another game's", ReadFile(other.QuickSave()), "別のゲームのスナップショットです"},
  };
  const gdi::Surface end = Uninterrupted();
  auto expect_refused = [&](const char* what, const std::string& reason, auto&& prepare) {
    SCOPED_TRACE(what);
    Play play;
    fs::create_directories(play.saves);
    prepare(play);
    const RunResult run =
        play.Run(kToMenu + "key F9\n" + kToEvening + kToEnd + "screenshot end.png\n");
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string path = play.QuickSave().string();
    EXPECT_EQ(run.out,
              OkBox("スナップショット「" + path + "」を読み込めませんでした\r\n" + reason) + "\n")
        << run.err;
    EXPECT_TRUE(play.Shot("end.png") == end);
  };
  for (const Case& c : cases) {
    expect_refused(c.what, c.reason,
                   [&](const Play& play) { WriteFile(play.QuickSave(), c.bytes); });
  }
  expect_refused("huge", "ファイルが大きすぎます", [&](const Play& play) {
    WriteFile(play.QuickSave(), good);
    fs::resize_file(play.QuickSave(), kMaxSnapshotFileBytes + 1);
  });
  expect_refused("newer", "新しい版のTsumugiで作られたスナップショットです", [&](const Play& play) {
    SnapshotFile file = ReadSnapshotFile(saved.QuickSave(), kSampleGame).file;
    file.format_version = kSnapshotFormatVersion + 1;
    std::string error;
    ASSERT_TRUE(WriteSnapshotFile(play.QuickSave(), file, &error)) << error;
  });
}

// A picture that a snapshot loads again (a button's, here) has gone from
// the folder since: the snapshot is refused with the box the engine shows
// for a missing picture, and the game goes on where it stood.
TEST(QuickSave, ASnapshotNeedingAPictureThatIsGoneIsRefused) {
  Play play;
  const std::string to_buttons =
      kToMenu + "click 120 400\nclick 320 400\nrclick 320 400\nclick 320 400\n";
  ASSERT_EQ(play.Run(to_buttons + "key F5\n").status, 0);
  ASSERT_EQ(play.Run("screenshot first.png\n").status, 0);
  fs::remove(play.game / "data/note.bmp");
  const RunResult run = play.Run("key F9\nscreenshot after.png\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, OkBox("スナップショット「" + play.QuickSave().string() +
                           "」を読み込めませんでした\r\n「" + (play.game / "data/note").string() +
                           "」という名前の\r\nピクチャーファイルは存在しません") +
                         "\n");
  EXPECT_TRUE(play.Shot("after.png") == play.Shot("first.png"));
}

TEST(QuickSave, WithoutAQuickSaveOrAFolderToWriteTheGameGoesOn) {
  const gdi::Surface end = Uninterrupted();
  {
    // F9 with no quick save: a note, nothing else.
    Play play;
    const RunResult run = play.Run(kToMenu + "key F9\nscreenshot noted.png\n" + kToEvening +
                                   kToEnd + "screenshot end.png\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(play.Shot("end.png") == end);
  }
  {
    // F5 where the file cannot be written (a folder stands in its
    // place): a box naming the file and the cause; the game goes on.
    Play play;
    fs::create_directories(play.QuickSave() / "inside");
    const RunResult run =
        play.Run(kToMenu + "key F5\n" + kToEvening + kToEnd + "screenshot end.png\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(
        run.out.find("スナップショット「" + play.QuickSave().string() + "」に書き込めませんでした"),
        std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("not a regular file (a folder)"), std::string::npos) << run.out;
    EXPECT_TRUE(play.Shot("end.png") == end);
  }
}

TEST(QuickSave, APatchedGameIsRestoredAtTheRecordedLineWithOneLineSaid) {
  Play play;
  ASSERT_EQ(play.Run(kToMenu + "key F5\n").status, 0);
  // The scenario gains a comment line at its end: the same game, patched.
  const fs::path start = play.game / "data/start.txt";
  WriteFile(start, ReadFile(start) + "; a translator's note\r\n");
  const RunResult run = play.Run("key F9\n" + kToEvening + kToEnd + "screenshot end.png\n");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.err,
            "tsumugi: the scenario start has changed since the snapshot was taken; going on at "
            "its recorded line\n");
  EXPECT_TRUE(play.Shot("end.png") == Uninterrupted());
}

}  // namespace
}  // namespace tsumugi::test
