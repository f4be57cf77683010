// Going back through the waits: what the kept waits cost in memory, and how
// long one step back (or forward) takes, the snapshot unpacked and put in
// place with the screen presented. Figures only; nothing here passes or
// fails. Goals: 100 waits in at most 64 MB; one step in at most 16 ms.
//
//   the sample game   played with its own input (games/sample/play.input):
//                     the memory kept after each of its waits, and the
//                     memory of 100 waits at its mean cost a wait;
//   a long game       100 pages of the sample game's pictures, window and
//                     music: a new line of text on every page, a new
//                     background every tenth, a sprite every fifth;
//                     measured, not projected.
// Each then goes back one wait and forward again, many times: the median,
// least and most time of a step.
//   build-bench/bench/rollback_bench
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_game.h"
#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "platform/headless/headless_host.h"
#include "platform/headless/input_script.h"

namespace fs = std::filesystem;
using namespace tsumugi;
using tsumugi::bench::BenchFolder;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// A headless run of `actions` whose boxes and diagnostics go to `out` and
// `err`.
headless::HeadlessOptions Quiet(std::vector<headless::Action> actions, std::ostringstream& out,
                                std::ostringstream& err) {
  headless::HeadlessOptions options;
  options.actions = std::move(actions);
  options.out = &out;
  options.err = &err;
  return options;
}

EngineOptions OptionsFor(const fs::path& game) {
  EngineOptions options;
  options.game_folder = game;
  options.settings_file = game / "none.ini";
  options.save_dir = game / "saves";
  return options;
}

// Steps back one wait and forward again, `pairs` times, at the wait the
// engine stands at; prints the times of single steps.
void TimeSteps(Engine& engine, int pairs) {
  std::vector<double> ms;
  for (int i = 0; i < pairs; ++i) {
    for (int notches : {1, -1}) {
      const auto start = std::chrono::steady_clock::now();
      engine.player.Wheel(notches);
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                             start)
                       .count());
    }
  }
  std::sort(ms.begin(), ms.end());
  std::printf("  one step back or forward: median %.2f ms, least %.2f, most %.2f (%zu steps; "
              "goal 16 ms)\n",
              ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
}

void SampleGame() {
  BenchFolder folder;
  const fs::path game = folder.path();
  fs::copy(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data", game / "data",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  headless::InputParseResult input =
      headless::ParseInputScript(ReadText(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "play.input"));
  if (!input.error.empty()) throw std::runtime_error("play.input: " + input.error);
  // The last wait stays open: the steps are timed there.
  std::ostringstream out, err;
  headless::HeadlessHost host(Quiet(input.actions, out, err));
  Engine engine(host, OptionsFor(game));
  std::vector<std::pair<size_t, size_t>> kept;  // count, bytes
  engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
    if (pause_left) return;
    Rollback& history = engine.player.History();
    if (history.Count() != 0 && (kept.empty() || kept.back().first != history.Count())) {
      kept.emplace_back(history.Count(), history.Bytes());
    }
    if (host.NextAction() == input.actions.size() && kept.size() > 1) {
      TimeSteps(engine, 50);
    }
  };
  std::printf("The sample game, played with its own input:\n");
  engine.Run();
  if (kept.size() < 2) throw std::runtime_error("the sample game kept no waits: " + err.str());
  std::printf("  waits kept:");
  for (const auto& [count, bytes] : kept) std::printf(" %zu:%.2f", count, bytes / kMiB);
  std::printf(" (MiB)\n");
  const double first = static_cast<double>(kept.front().second);
  const double each = (static_cast<double>(kept.back().second) - first) /
                      static_cast<double>(kept.back().first - kept.front().first);
  std::printf("  the first wait %.2f MiB, each further wait %.3f MiB on average: 100 waits "
              "%.1f MiB (goal 64 MiB)\n",
              first / kMiB, each / kMiB, (first + 99 * each) / kMiB);
}

void LongGame() {
  std::string script = ".pic bg1\n.txt space pic window\n.txt space pos 0 312\n"
                       ".txt canvas pos 28 18\n.txt canvas size 584 124\n.tsw\n.tsp 40\n"
                       ".mp3 evening 0\n";
  const char* backgrounds[] = {"bg1", "bg2"};
  for (int page = 0; page < 100; ++page) {
    if (page % 10 == 9) script += ".pic " + std::string(backgrounds[page / 10 % 2]) + " 1 10\n";
    if (page % 5 == 4) script += ".spr chara 0010 10 " + std::to_string(100 + 2 * page) + " 96\n";
    script += "ページ" + std::to_string(page + 1) + "。今日もいい天気で、朝の光が窓から入ってくる。\n";
    script += ".tcl 0\n";
  }
  script += ".end\n";
  BenchFolder folder;
  const fs::path game = folder.path();
  fs::copy(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data", game / "data",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  std::string text;
  for (char c : script) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::string error;
  if (!WriteWholeFile(game / "data" / "start.txt", Utf16ToCp932(Utf8ToUtf16(text)), &error)) {
    throw std::runtime_error(error);
  }
  std::string input;
  for (int page = 0; page < 99; ++page) input += "click 320 400\n";
  std::ostringstream out, err;
  const headless::HeadlessOptions options =
      Quiet(headless::ParseInputScript(input).actions, out, err);
  headless::HeadlessHost host(options);
  Engine engine(host, OptionsFor(game));
  std::printf("A long game of 100 pages:\n");
  engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
    if (pause_left || host.NextAction() != options.actions.size()) return;
    Rollback& history = engine.player.History();
    std::printf("  %zu waits kept: %.1f MiB (goal 64 MiB)\n", history.Count(),
                history.Bytes() / kMiB);
    TimeSteps(engine, 50);
  };
  engine.Run();
  if (!err.str().empty() || !out.str().empty()) {
    throw std::runtime_error("the long game: " + out.str() + err.str());
  }
}

// The engine time from the start of the sample game to its first menu:
// with Ctrl held from the start, and played with its own input's clicks.
void SkipToFirstMenu() {
  BenchFolder folder;
  const fs::path game = folder.path();
  fs::copy(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data", game / "data",
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  const std::string own = ReadText(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "play.input");
  std::printf("The sample game from its start to its first menu:\n");
  const std::pair<const char*, std::string> runs[] = {
      {"Ctrl held", "wait 1\nkeydown Ctrl\nwait 3600000\n"}, {"its own input", own}};
  for (const auto& [what, input] : runs) {
    std::ostringstream out, err;
    headless::HeadlessHost host(Quiet(headless::ParseInputScript(input).actions, out, err));
    Engine engine(host, OptionsFor(game));
    std::optional<uint32_t> reached;
    engine.player.snapshot_points = [&](std::optional<uint32_t>) {
      if (engine.state.input.RunState != RunStateKind::kWaitChoice) return;
      reached = host.TimeGetTime();
      engine.form.EndEngine(ExitStatus::kNormal);
    };
    const auto start = std::chrono::steady_clock::now();
    engine.Run();
    const double wall =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!reached) throw std::runtime_error(std::string("no menu reached with ") + what);
    std::printf("  %s: %u ms of engine time (%.0f ms of wall time)\n", what, *reached, wall);
  }
}

}  // namespace

int main() {
  try {
    SkipToFirstMenu();
    SampleGame();
    LongGame();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "rollback_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
