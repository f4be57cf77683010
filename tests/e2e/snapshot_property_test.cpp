// Restored equals never left: random games are played through, a snapshot
// is taken at every wait (and every pause of the top level), and one of
// them, chosen at random, is put back into a fresh engine of the same game
// that plays the rest of the same input. Everything after that point must
// be as in the uninterrupted run: the boxes shown, the trace of the lines
// run, the final state of the whole game and the final screen. Every
// snapshot must also come back unchanged through its bytes.
//
// The test command plays a few hundred games; for a long run (N games,
// from seed S):
//   TSUMUGI_SNAPSHOT_CASES=N TSUMUGI_SNAPSHOT_SEED=S build/tests/tsumugi_tests
//   --gtest_filter='SnapshotProperty*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "engine/engine.h"
#include "platform/headless/headless_host.h"
#include "support/playable_game.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

int EnvNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

// Where a run stood at a wait, and what it had written by then.
struct Point {
  Snapshot snapshot;
  size_t next_action = 0;
  uint64_t last_action_time = 0;
  size_t out_length = 0;
  size_t trace_length = 0;
  // Taken between the press and the release of a click, or a key's down
  // and up.
  bool second_half = false;
};

// The parts of two states that differ, for the report.
std::string Differences(const GameState& a, const GameState& b) {
  std::string parts;
  auto part = [&](bool same, const char* name) {
    if (!same) parts += std::string(parts.empty() ? "" : ", ") + name;
  };
  part(a.script == b.script, "script");
  part(a.input == b.input,
       ("input (run states " + std::to_string(static_cast<int>(a.input.RunState)) + "/" +
        std::to_string(static_cast<int>(b.input.RunState)) + ", held " +
        std::to_string(a.input.LeftHeld) + std::to_string(a.input.RightHeld) +
        std::to_string(a.input.EnterHeld) + std::to_string(a.input.SpaceHeld) + "/" +
        std::to_string(b.input.LeftHeld) + std::to_string(b.input.RightHeld) +
        std::to_string(b.input.EnterHeld) + std::to_string(b.input.SpaceHeld) + ")")
           .c_str());
  part(a.calls == b.calls, "calls");
  part(a.vars == b.vars, "vars");
  part(a.text.TextLines == b.text.TextLines, "text lines");
  part(a.text.PicTextCanvas == b.text.PicTextCanvas, "text canvas");
  part(a.text.PicTextSpace == b.text.PicTextSpace, "text space");
  part(a.text.PicTextSave == b.text.PicTextSave, "text save");
  part(a.text.PicMarkSave == b.text.PicMarkSave && a.text.PicMarkWork == b.text.PicMarkWork,
       "marker pictures");
  part(a.text == b.text, "text");
  part(a.print == b.print, "print");
  part(a.pages == b.pages, "pages");
  part(a.buttons == b.buttons, "buttons");
  part(a.cursor == b.cursor, "cursor");
  part(a.media == b.media, "media");
  part(a.window == b.window, "window");
  return parts;
}

// One run of a game in this process.
struct GameRun {
  ExitStatus status = ExitStatus::kNormal;
  std::ostringstream out, err, trace;
  GameState state;
  gdi::Surface shown;
};

headless::HeadlessOptions Options(const std::vector<headless::Action>& actions, GameRun& run) {
  headless::HeadlessOptions options;
  options.actions = actions;
  options.out = &run.out;
  options.err = &run.err;
  options.max_time = 3'600'000;
  return options;
}

EngineOptions GameOptions(const fs::path& game, const fs::path& saves) {
  EngineOptions options;
  options.game_folder = game;
  options.settings_file = game / "none.ini";
  options.save_dir = saves;
  options.seed = 7;
  return options;
}

// Copies the files of a folder (the save files as they were at a wait:
// they are the disk, not the game, and a snapshot does not hold them).
void CopyFolder(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::remove_all(to, ec);
  fs::create_directories(to);
  if (fs::exists(from)) fs::copy(from, to, fs::copy_options::recursive);
}

TEST(SnapshotProperty, RestoredEqualsNeverLeft) {
  const int cases = EnvNumber("TSUMUGI_SNAPSHOT_CASES", 300);
  const int seed = EnvNumber("TSUMUGI_SNAPSHOT_SEED", 1);
  TempDir dir;
  const fs::path game = dir / "game";
  PlayableGameMaker::WriteAssets(game);
  std::map<ExitStatus, int> statuses;
  long waits = 0, pauses = 0, restored = 0;
  int failures = 0;
  for (int i = 0; i < cases && failures < 3; ++i) {
    const uint32_t game_seed = static_cast<uint32_t>(seed) * 1000003u + static_cast<uint32_t>(i);
    PlayableGameMaker maker(game_seed);
    const std::string input = maker.MakeGame(game);
    const headless::InputParseResult parsed = headless::ParseInputScript(input);
    ASSERT_EQ(parsed.error, "") << input;
    std::mt19937 pick(game_seed);

    // The uninterrupted run, with a snapshot at every wait; one of them,
    // chosen as they come (each one replaces the kept one with probability
    // 1/n), is kept with the save files as they were.
    GameRun a;
    const fs::path saves_a = dir / "saves-a", saves_kept = dir / "saves-kept";
    CopyFolder(fs::path(), saves_a);
    std::optional<Point> kept;
    int seen = 0;
    {
      // The host holds the game folder's lock until it goes.
      headless::HeadlessHost host_a(Options(parsed.actions, a));
      Engine engine(host_a, GameOptions(game, saves_a));
      engine.record.Start(&a.trace, false);
      engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
        Snapshot snapshot = TakeSnapshot(engine, pause_left);
        (pause_left ? pauses : waits) += 1;
        // Through its bytes and back, unchanged.
        Snapshot decoded;
        std::string why;
        if (!DecodeSnapshotPayload(EncodeSnapshotPayload(snapshot), &decoded, &why) ||
            !(decoded == snapshot)) {
          ADD_FAILURE() << "game " << i << ": a snapshot does not come back through its bytes ("
                        << why << ")";
        }
        if (static_cast<int>(pick() % static_cast<uint32_t>(++seen)) != 0) return;
        kept = Point{std::move(snapshot), host_a.NextAction(), host_a.LastActionTime(),
                     a.out.str().size(), a.trace.str().size(), host_a.SecondHalfPending()};
        CopyFolder(saves_a, saves_kept);
      };
      a.status = engine.Run();
      a.state = engine.state;
      a.shown = host_a.ShownScreen();
    }
    ++statuses[a.status];
    if (!kept) continue;

    // The rest, from the kept snapshot, in a fresh engine whose clock and
    // input stand where the first run's did.
    GameRun b;
    const fs::path saves_b = dir / "saves-b";
    CopyFolder(saves_kept, saves_b);
    headless::HeadlessOptions options = Options(parsed.actions, b);
    options.start_time = kept->snapshot.engine_time;
    options.last_action_time = kept->last_action_time;
    options.first_action = kept->next_action;
    options.finish_first_action = kept->second_half;
    {
      headless::HeadlessHost host_b(options);
      Engine engine(host_b, GameOptions(game, saves_b));
      engine.record.Start(&b.trace, false);
      b.status = engine.RunFrom(kept->snapshot);
      b.state = engine.state;
      b.shown = host_b.ShownScreen();
    }
    ++restored;
    const std::string what = "game " + std::to_string(i) + " (seed " + std::to_string(seed) +
                             "), restored at " + std::to_string(kept->snapshot.engine_time) +
                             " ms" + (kept->snapshot.pause_left ? " in a pause" : "");
    bool same = true;
    auto expect = [&](bool ok, const std::string& detail) {
      if (ok) return;
      same = false;
      ADD_FAILURE() << what << ": " << detail;
    };
    expect(b.status == a.status, "exit status " + std::to_string(static_cast<int>(b.status)) +
                                     " against " + std::to_string(static_cast<int>(a.status)));
    expect(b.out.str() == a.out.str().substr(kept->out_length),
           "boxes\n" + b.out.str() + "\nagainst\n" + a.out.str().substr(kept->out_length));
    const std::string trace_a = a.trace.str().substr(kept->trace_length);
    expect(b.trace.str() == trace_a,
           "trace\n" + b.trace.str().substr(0, 3000) + "\nagainst\n" + trace_a.substr(0, 3000));
    expect(b.state == a.state, "the final state differs: " + Differences(a.state, b.state));
    expect(b.shown == a.shown, "the final screen differs");
    if (!same) {
      ++failures;
      ADD_FAILURE() << what << ": script\n"
                    << ReadFile(game / "data/start.txt") << "\ninput\n"
                    << input;
    }
  }
  std::cout << "[ snapshot] " << cases << " games, seed " << seed << ": " << waits << " waits and "
            << pauses << " pauses taken and read back, " << restored << " restored; ";
  for (const auto& [status, count] : statuses) {
    std::cout << "status " << static_cast<int>(status) << " x" << count << "  ";
  }
  std::cout << "\n";
}

}  // namespace
}  // namespace tsumugi::test
