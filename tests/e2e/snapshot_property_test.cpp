// Restored equals never left: random games are played through, a snapshot
// is taken at one of their waits (or pauses of the top level), chosen at
// random, and put back through its bytes into a fresh engine of the same
// game that plays the rest of the same input. Everything after that point
// must be as in the uninterrupted run: the boxes shown, the trace of the
// lines run, the final state of the whole game, the final screen and the
// mix.
//
// The test command plays 2,000 games in four shards; for a long run (N games,
// from seed S):
//   TSUMUGI_SNAPSHOT_CASES=N TSUMUGI_SNAPSHOT_SEED=S build/tests/tsumugi_tests
//   --gtest_filter='*SnapshotProperty*'
// TSUMUGI_SNAPSHOT_MIX_EVERY=K makes and compares the mix of every K-th
// game (0: none).
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

#include "common/translation.h"
#include "engine/engine.h"
#include "platform/headless/headless_host.h"
#include "platform/media/media_devices.h"
#include "platform/media/wav_writer.h"
#include "strings/strings.h"
#include "support/playable_game.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// Where a run stood at a wait, and what it had written by then.
struct Point {
  Snapshot snapshot;
  size_t next_action = 0;
  uint64_t last_action_time = 0;
  size_t out_length = 0;
  size_t trace_length = 0;
  // Taken between the press and the release of this click, or a key's
  // down and up.
  std::optional<size_t> half_done;
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

// A small SoundFont, so that a game's music is quick to make.
constexpr const char* kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Where two texts part, line by line, for the report.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::istringstream in_a(a), in_b(b);
  std::string line_a, line_b;
  for (int n = 1;; ++n) {
    const bool more_a = static_cast<bool>(std::getline(in_a, line_a));
    const bool more_b = static_cast<bool>(std::getline(in_b, line_b));
    if (!more_a && !more_b) return "the same";
    if (more_a != more_b || line_a != line_b) {
      return "line " + std::to_string(n) + ": " + (more_b ? line_b : "(end)") + "\n against " +
             (more_a ? line_a : "(end)");
    }
  }
}

// One run of a game in this process.
struct GameRun {
  ExitStatus status = ExitStatus::kNormal;
  std::ostringstream out, err, trace;
  GameState state;
  gdi::Surface shown;
  // The mix, when it is listened to (--audio-out).
  media::WavWriter wav;
  fs::path wav_file;
};

// Where the part of a first run that a second must repeat begins.
struct RestFrom {
  size_t out = 0;
  size_t trace = 0;
  // The frame of the mix; none when the mix is not compared.
  std::optional<uint64_t> mix;
};

std::string MixFrom(GameRun& run, uint64_t from);

// Whether run `b` did all that `a` did from `from` on: the exit status, the
// boxes, the trace, the final state and screen, and the mix. Each
// difference is reported under `what`.
bool SameRest(const std::string& what, GameRun& a, GameRun& b, const RestFrom& from) {
  bool same = true;
  auto expect = [&](bool ok, const std::string& detail) {
    if (ok) return;
    same = false;
    ADD_FAILURE() << what << ": " << detail;
  };
  expect(b.status == a.status, "exit status " + std::to_string(static_cast<int>(b.status)) +
                                   " against " + std::to_string(static_cast<int>(a.status)));
  const std::string out_a = a.out.str().substr(from.out);
  expect(b.out.str() == out_a, "boxes: " + FirstDifference(out_a, b.out.str()));
  const std::string trace_a = a.trace.str().substr(from.trace);
  expect(b.trace.str() == trace_a, "trace: " + FirstDifference(trace_a, b.trace.str()));
  expect(b.state == a.state, "the final state differs: " + Differences(a.state, b.state));
  expect(b.shown == a.shown, "the final screen differs");
  if (from.mix) {
    const std::string mix_a = MixFrom(a, *from.mix);
    const std::string mix_b = MixFrom(b, 0);
    expect(mix_a == mix_b, "the mix differs (" + std::to_string(mix_b.size()) +
                               " bytes against " + std::to_string(mix_a.size()) + ")");
  }
  return same;
}

headless::HeadlessOptions Options(const std::vector<headless::Action>& actions, GameRun& run,
                                  const fs::path& wav_file) {
  headless::HeadlessOptions options;
  options.actions = actions;
  options.out = &run.out;
  options.err = &run.err;
  // A game still going after two minutes loops for ever: both runs stop
  // there, with the same status.
  options.max_time = 120'000;
  // Where a script that lets no time pass is stopped depends on the wall
  // clock: such games are played, not compared.
  options.endless_script_limit = std::chrono::milliseconds(300);
  if (!wav_file.empty()) {
    std::string error;
    EXPECT_TRUE(run.wav.Open(wav_file.string(), &error)) << error;
    run.wav_file = wav_file;
    options.audio_out = &run.wav;
    options.soundfont = kSoundFont;
  }
  return options;
}

// The samples of a run's mix from frame `from` on (empty without one).
std::string MixFrom(GameRun& run, uint64_t from) {
  if (run.wav_file.empty()) return "";
  std::string error;
  EXPECT_TRUE(run.wav.Finish(&error)) << error;
  const std::string bytes = ReadFile(run.wav_file);
  constexpr size_t kHeader = 44, kFrame = 4;
  const size_t start = kHeader + static_cast<size_t>(from) * kFrame;
  return start <= bytes.size() ? bytes.substr(start) : "(the mix is shorter)";
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

// The games are played in four shards, one test each, so that the test
// command runs them side by side. The sanitizer build, several times
// slower, plays a fifth of them.
constexpr int kShards = 4;
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultCases = 400;
#else
constexpr int kDefaultCases = 2000;
#endif

class SnapshotProperty : public testing::TestWithParam<int> {};

TEST_P(SnapshotProperty, RestoredEqualsNeverLeft) {
  const int all = EnvNumber("TSUMUGI_SNAPSHOT_CASES", kDefaultCases);
  const int shard = GetParam();
  const int cases = all / kShards + (shard < all % kShards ? 1 : 0);
  const int seed = EnvNumber("TSUMUGI_SNAPSHOT_SEED", 1);
  // Every so many games are played with their mix made and compared.
  const int mix_every = EnvNumber("TSUMUGI_SNAPSHOT_MIX_EVERY", 4);
  TempDir dir;
  const fs::path game = dir / "game";
  PlayableGameMaker::WriteAssets(game);
  std::map<ExitStatus, int> statuses;
  long waits = 0, pauses = 0, restored = 0, endless = 0;
  int failures = 0;
  // The first game's number: a failure reported as game N of a seed is
  // played again alone with TSUMUGI_SNAPSHOT_FIRST=N TSUMUGI_SNAPSHOT_CASES=1.
  const int first = EnvNumber("TSUMUGI_SNAPSHOT_FIRST", 0) + shard * (all / kShards) +
                    std::min(shard, all % kShards);
  for (int i = first; i < first + cases && failures < 3; ++i) {
    const uint32_t game_seed = static_cast<uint32_t>(seed) * 1000003u + static_cast<uint32_t>(i);
    PlayableGameMaker maker(game_seed);
    const std::string input = maker.MakeGame(game);
    const headless::InputParseResult parsed = headless::ParseInputScript(input);
    ASSERT_EQ(parsed.error, "") << input;
    std::mt19937 pick(game_seed);
    const bool listen = mix_every > 0 && i % mix_every == 0;

    // The uninterrupted run. One of its first six waits and pauses,
    // chosen beforehand, is taken as a snapshot, sent through its bytes and
    // kept with the save files as they were; over many games every kind of
    // wait is taken.
    GameRun a;
    const fs::path saves_a = dir / "saves-a", saves_kept = dir / "saves-kept";
    CopyFolder(fs::path(), saves_a);
    std::optional<Point> kept;
    const int chosen = static_cast<int>(pick() % 6);
    int seen = 0;
    {
      // The host holds the game folder's lock until it goes.
      headless::HeadlessHost host_a(
          Options(parsed.actions, a, listen ? dir / "a.wav" : fs::path()));
      Engine engine(host_a, GameOptions(game, saves_a));
      engine.record.Start(&a.trace, false);
      engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
        (pause_left ? pauses : waits) += 1;
        if (seen++ != chosen) return;
        const Snapshot snapshot = TakeSnapshot(engine, pause_left);
        // Through its bytes and back, unchanged: the run from it starts
        // from what was read.
        Snapshot decoded;
        std::string why;
        if (!DecodeSnapshotPayload(EncodeSnapshotPayload(snapshot), &decoded, &why) ||
            !(decoded == snapshot)) {
          ADD_FAILURE() << "game " << i << ": a snapshot does not come back through its bytes ("
                        << why << ")";
        }
        kept = Point{std::move(decoded), host_a.NextAction(),  host_a.LastActionTime(),
                     a.out.str().size(), a.trace.str().size(), host_a.HalfDoneAction()};
        CopyFolder(saves_a, saves_kept);
      };
      a.status = engine.Run();
      a.state = engine.state;
      a.shown = host_a.ShownScreen();
    }
    ++statuses[a.status];
    if (a.err.str().find("without letting engine time pass") != std::string::npos) {
      ++endless;
      continue;
    }
    if (!kept) continue;

    // The rest, from the kept snapshot, in a fresh engine whose clock and
    // input stand where the first run's did.
    GameRun b;
    const fs::path saves_b = dir / "saves-b";
    CopyFolder(saves_kept, saves_b);
    headless::HeadlessOptions options =
        Options(parsed.actions, b, listen ? dir / "b.wav" : fs::path());
    options.start_time = kept->snapshot.engine_time;
    options.last_action_time = kept->last_action_time;
    options.first_action = kept->next_action;
    options.finish_action = kept->half_done;
    {
      headless::HeadlessHost host_b(options);
      Engine engine(host_b, GameOptions(game, saves_b));
      engine.record.Start(&b.trace, false);
      b.status = engine.RunFrom(kept->snapshot);
      b.state = engine.state;
      b.shown = host_b.ShownScreen();
    }
    // The same wall-clock stop in the second run (a loaded machine, a
    // sanitizer build) leaves nothing to compare either.
    if (b.err.str().find("without letting engine time pass") != std::string::npos) {
      ++endless;
      continue;
    }
    ++restored;
    const std::string what = "game " + std::to_string(i) + " (seed " + std::to_string(seed) +
                             "), restored at " + std::to_string(kept->snapshot.engine_time) +
                             " ms" + (kept->snapshot.pause_left ? " in a pause" : "") + ", before action " +
                             std::to_string(kept->next_action + 1) + " of " +
                             std::to_string(parsed.actions.size()) +
                             (kept->half_done ? " (action " + std::to_string(*kept->half_done + 1) + " half done)" : "");
    const bool same = SameRest(what, a, b,
                               {kept->out_length, kept->trace_length,
                                listen ? std::optional<uint64_t>(
                                             media::FrameAtMs(kept->snapshot.engine_time))
                                       : std::nullopt});
    if (!same) {
      ++failures;
      ADD_FAILURE() << what << ": script\n"
                    << ReadFile(game / "data/start.txt") << "\ninput\n"
                    << input << "\nstandard error, uninterrupted\n"
                    << a.err.str() << "\nstandard error, restored\n"
                    << b.err.str();
    }
  }
  std::cout << "[ snapshot] " << cases << " games from " << first << ", seed " << seed << ": " << waits << " waits and "
            << pauses << " pauses passed, " << restored << " restored, " << endless << " endless; ";
  for (const auto& [status, count] : statuses) {
    std::cout << "status " << static_cast<int>(status) << " x" << count << "  ";
  }
  std::cout << "\n";
}

INSTANTIATE_TEST_SUITE_P(Shards, SnapshotProperty, testing::Range(0, kShards));

// Back and forward again equals never gone back: the same random games are
// played twice, the second time with the wheel turned up and down once at
// one of the waits the player answers (chosen at random among the first
// six that have one behind them). The boxes, the trace, the final state,
// the screen and the mix must be those of the run without it.
//   TSUMUGI_ROLLBACK_CASES=N TSUMUGI_SNAPSHOT_SEED=S build/tests/tsumugi_tests
//   --gtest_filter='*RollbackProperty*'
// The games of one shard of `all`: the first's number and how many.
struct ShardGames {
  int first = 0;
  int cases = 0;
};
ShardGames GamesOf(int shard, int all) {
  return {shard * (all / kShards) + std::min(shard, all % kShards),
          all / kShards + (shard < all % kShards ? 1 : 0)};
}

// Writes the random game of `game_seed` into `game` and gives its input.
std::vector<headless::Action> MakeGame(uint32_t game_seed, const fs::path& game,
                                       std::string* input) {
  PlayableGameMaker maker(game_seed);
  *input = maker.MakeGame(game);
  headless::InputParseResult parsed = headless::ParseInputScript(*input);
  EXPECT_EQ(parsed.error, "") << *input;
  return std::move(parsed.actions);
}

class RollbackProperty : public testing::TestWithParam<int> {};

TEST_P(RollbackProperty, BackAndForwardEqualsNeverGoneBack) {
  const auto [first, cases] = GamesOf(GetParam(), EnvNumber("TSUMUGI_ROLLBACK_CASES", kDefaultCases / 4));
  const int seed = EnvNumber("TSUMUGI_SNAPSHOT_SEED", 1);
  TempDir dir;
  const fs::path game = dir / "game";
  PlayableGameMaker::WriteAssets(game);
  long turned = 0, kept_waits = 0;
  int failures = 0;
  for (int i = first; i < first + cases && failures < 3; ++i) {
    const uint32_t game_seed = static_cast<uint32_t>(seed) * 1000003u + static_cast<uint32_t>(i);
    std::string input;
    const std::vector<headless::Action> actions = MakeGame(game_seed, game, &input);
    std::mt19937 pick(game_seed);
    const bool listen = i % 4 == 0;
    const int chosen = static_cast<int>(pick() % 6);

    auto play = [&](const std::vector<headless::Action>& actions, GameRun& run, const char* name,
                    std::optional<size_t>* wheel_at) {
      const fs::path saves = dir / (std::string("saves-") + name);
      CopyFolder(fs::path(), saves);
      headless::HeadlessHost host(
          Options(actions, run, listen ? dir / (std::string(name) + ".wav") : fs::path()));
      Engine engine(host, GameOptions(game, saves));
      engine.record.Start(&run.trace, false);
      int candidates = 0;
      if (wheel_at) {
        engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
          // A wait the player answers, with one kept behind it, where the
          // next action comes at once (a timed one would count its time
          // from the wheel instead).
          const size_t next = host.NextAction();
          Rollback& history = engine.player.History();
          if (pause_left || !engine.player.AtPlayerWait() || history.Count() < 2 ||
              history.Position() + 1 != history.Count() ||
              (next < actions.size() && actions[next].delay) || candidates++ > chosen) {
            return;
          }
          *wheel_at = next;
        };
      }
      run.status = engine.Run();
      run.state = engine.state;
      run.shown = host.ShownScreen();
      kept_waits += static_cast<long>(engine.player.History().Count());
    };

    GameRun a;
    std::optional<size_t> wheel_at;
    play(actions, a, "a", &wheel_at);
    if (!wheel_at || a.err.str().find("without letting engine time pass") != std::string::npos) {
      continue;
    }
    std::vector<headless::Action> turned_actions = actions;
    headless::Action up;
    up.kind = headless::Action::Kind::kWheel;
    up.notches = 1;
    headless::Action down = up;
    down.notches = -1;
    turned_actions.insert(turned_actions.begin() + static_cast<std::ptrdiff_t>(*wheel_at),
                          {up, down});
    GameRun b;
    play(turned_actions, b, "b", nullptr);
    if (b.err.str().find("without letting engine time pass") != std::string::npos) continue;
    ++turned;

    const std::string what = "game " + std::to_string(i) + " (seed " + std::to_string(seed) +
                             "), the wheel turned before action " + std::to_string(*wheel_at + 1);
    const bool same =
        SameRest(what, a, b, {0, 0, listen ? std::optional<uint64_t>(0) : std::nullopt});
    if (!same) {
      ++failures;
      ADD_FAILURE() << what << ": script\n"
                    << ReadFile(game / "data/start.txt") << "\ninput\n"
                    << input;
    }
  }
  std::cout << "[ rollback] " << cases << " games from " << first << ", seed " << seed << ": "
            << turned << " turned back and forward, " << kept_waits << " waits kept in all\n";
  EXPECT_GT(turned, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, RollbackProperty, testing::Range(0, kShards));

// A translation changes nothing the game holds: random games are played
// without one and with one that gives every text itself (so that the player
// takes the same ways), the game's own lines then kept apart from the shown
// ones. At every wait the game's own lines must be the shown ones, and the
// whole run must end as the one without a translation: the boxes, the trace,
// the state (what was shown of each kept page aside) and the save files.
class TranslationProperty : public testing::TestWithParam<int> {};

// The game's texts, each translated as itself.
std::shared_ptr<const Translation> SameTexts(const fs::path& game) {
  strings::StringsOptions options;
  options.game_folder = game;
  options.settings_file = game / "none.ini";
  const strings::Extracted texts = strings::ExtractStrings(options);
  EXPECT_EQ(texts.error, "");
  std::string po = strings::PotText(texts.entries, "game");
  for (size_t at = 0; (at = po.find("\nmsgid \"", at)) != std::string::npos;) {
    const size_t end = po.find('\n', at + 1);
    const std::string id = po.substr(at + 7, end - at - 7);
    const std::string empty = "\nmsgstr \"\"";
    if (id != "\"\"" && po.compare(end, empty.size(), empty) == 0) {
      po.replace(end, empty.size(), "\nmsgstr " + id);
    }
    at = end;
  }
  TranslationLoad load = Translation::FromPoText(po);
  EXPECT_NE(load.translation, nullptr) << load.error << "\n" << po;
  return load.translation;
}

// The folder's files and their bytes.
std::map<std::string, std::string> Files(const fs::path& folder) {
  std::map<std::string, std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(folder, ec)) {
    if (entry.is_regular_file()) files[entry.path().lexically_relative(folder).string()] = ReadFile(entry.path());
  }
  return files;
}

TEST_P(TranslationProperty, TheGameHoldsWhatItWouldWithoutOne) {
  const auto [first, cases] = GamesOf(GetParam(), EnvNumber("TSUMUGI_SNAPSHOT_CASES", kDefaultCases) / 4);
  const int seed = EnvNumber("TSUMUGI_SNAPSHOT_SEED", 1);
  TempDir dir;
  const fs::path game = dir / "game";
  PlayableGameMaker::WriteAssets(game);
  int failures = 0;
  long translated_lines = 0;
  for (int i = first; i < first + cases && failures < 3; ++i) {
    const uint32_t game_seed = static_cast<uint32_t>(seed) * 1000033u + static_cast<uint32_t>(i);
    std::string input;
    const std::vector<headless::Action> actions = MakeGame(game_seed, game, &input);
    const std::string what = "game " + std::to_string(i) + " (seed " + std::to_string(seed) + ")";

    GameRun a, b;
    const fs::path saves_a = dir / "saves-a", saves_b = dir / "saves-b";
    CopyFolder(fs::path(), saves_a);
    CopyFolder(fs::path(), saves_b);
    {
      headless::HeadlessHost host(Options(actions, a, fs::path()));
      Engine engine(host, GameOptions(game, saves_a));
      engine.record.Start(&a.trace, false);
      a.status = engine.Run();
      a.state = engine.state;
      a.shown = host.ShownScreen();
    }
    {
      headless::HeadlessHost host(Options(actions, b, fs::path()));
      EngineOptions options = GameOptions(game, saves_b);
      options.translation = SameTexts(game);
      Engine engine(host, options);
      engine.record.Start(&b.trace, false);
      engine.player.snapshot_points = [&](std::optional<uint32_t>) {
        const TextWindowState& t = engine.state.text;
        if (t.HeldLines != t.TextLines || t.HeldCurrentLine != t.CurrentTextLine) {
          ADD_FAILURE() << what << ": the game's own lines part from the shown ones at "
                        << engine.host.Clock().TimeGetTime() << " ms";
        }
        for (const TextLine& line : t.TextLines) translated_lines += !line.Text.empty();
      };
      b.status = engine.Run();
      b.state = engine.state;
      b.shown = host.ShownScreen();
    }
    if (a.err.str().find("without letting engine time pass") != std::string::npos ||
        b.err.str().find("without letting engine time pass") != std::string::npos) {
      continue;
    }
    // What was shown of each kept page is beside the game.
    TextWindowState& t = b.state.text;
    t.HeldLines.clear();
    t.HeldSnapLines.clear();
    t.HeldCurrentLine = a.state.text.HeldCurrentLine;
    t.HeldSnapLastLine = a.state.text.HeldSnapLastLine;
    t.HeldSnapCurrentLine = a.state.text.HeldSnapCurrentLine;
    for (PageMemoryTable* table : {&t.RecallMemories, &b.state.buttons.ButtonMemories}) {
      for (PageMemory& memory : *table) memory = {memory.File, memory.Line, memory.LastLine,
                                                  memory.CurrentLine, memory.Lines, {}, -1, 0};
    }
    bool same = SameRest(what, a, b, {});
    // What was shown of the saved pages is the player's, beside the saves.
    std::map<std::string, std::string> written_b = Files(saves_b);
    written_b.erase("shown-pages");
    if (Files(saves_a) != written_b) {
      ADD_FAILURE() << what << ": the save files differ";
      same = false;
    }
    if (!same) {
      ++failures;
      ADD_FAILURE() << what << ": script\n" << ReadFile(game / "data/start.txt") << "\ninput\n" << input;
    }
  }
  // The texts were there to translate.
  EXPECT_GT(translated_lines, 0);
}

INSTANTIATE_TEST_SUITE_P(Shards, TranslationProperty, testing::Range(0, kShards));

}  // namespace
}  // namespace tsumugi::test
