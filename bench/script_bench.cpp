// Speed of the interpreter on long scenarios, on the headless host:
//   BM_RunScenario/mixed   100,000 lines of ".let", ".cas" blocks and ".jmp"
//   BM_RunScenario/let     100,000 lines of ".let" only
// both with a "lines_per_second" counter (each run passes every line of the
// file once: it is executed, read by a ".cas" scan or a ".skp", or is the
// label a ".jmp" lands on);
//   BM_JumpToLastLine      ".jmp" to a label on the last of 100,000 lines
//   BM_ForwardScanToLastLine  the same label found by reading the file from
//                          the top one line at a time, comparing each
// and, after the table, how many times faster the jump is than the scan.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "app/command_line.h"
#include "bench_game.h"
#include "common/text_codec.h"
#include "engine/engine.h"
#include "platform/headless/headless_host.h"

namespace tsumugi {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 100000;

// A game folder under the temporary folder, removed afterwards.
class GameFolder {
 public:
  // Writes a scenario-folder file in CP932 with CR LF line ends.
  void Write(const std::string& name, const std::string& text) const {
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 8);
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    std::ofstream out(folder_.path() / "data" / name, std::ios::binary);
    out << Utf16ToCp932(Utf8ToUtf16(crlf));
  }
  const fs::path& path() const { return folder_.path(); }

 private:
  bench::BenchFolder folder_;
};

// An engine on the headless host, started up to the first line of "start"
// (configuration read, catalogue built) without running it.
class BenchEngine {
 public:
  explicit BenchEngine(const GameFolder& game) {
    headless::HeadlessOptions options;
    options.out = &out_;
    options.err = &err_;
    host_ = std::make_unique<headless::HeadlessHost>(options);
    EngineOptions engine_options;
    engine_options.game_folder = game.path();
    engine_options.settings_file = SettingsFileFor(game.path());
    engine_ = std::make_unique<Engine>(*host_, engine_options);
    Guard([&] { engine_->startup.StartEngine(/*run_script=*/false); });
  }

  Engine& engine() { return *engine_; }
  headless::HeadlessHost& host() { return *host_; }

  // Runs engine code; an error report of the engine is a failure of the
  // benchmark, not a figure.
  template <typename Action>
  void Guard(Action action) {
    try {
      action();
    } catch (const EngineEnded&) {
      throw std::runtime_error("the engine ended: " + out_.str() + err_.str());
    }
  }

 private:
  std::ostringstream out_;
  std::ostringstream err_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
};

// Groups of lines that read every line once: a counter, a three-way ".cas"
// whose branches end with ".skp", and a jump to the label right after it.
std::string MixedScenario() {
  std::string text;
  int lines = 0;
  for (int group = 0; lines + 14 <= kLines; ++group) {
    std::string label = "g";  // (appended: GCC 12 warns wrongly on "g" + std::string)
    label += std::to_string(group);
    text +=
        ".let n = n + 1\n.let i = n % 3\n.cas i\n.= 0\n.let j = j + 2\n.skp\n.= 1\n"
        ".let j = j - 1\n.skp\n.els\n.skp\n.\n.jmp start " +
        label + "\n:" + label + "\n";
    lines += 14;
  }
  for (; lines < kLines; ++lines) text += ".let n = n + 0\n";
  return text;
}

std::string LetScenario() {
  std::string text;
  for (int i = 0; i < kLines; ++i) text += ".let n = n + 1\n";
  return text;
}

void BM_RunScenario(benchmark::State& state, bool mixed) {
  GameFolder game;
  game.Write("config.txt", ".int n i j\n");
  game.Write("start.txt", mixed ? MixedScenario() : LetScenario());
  BenchEngine bench(game);
  Script& script = bench.engine().script;
  const int start = script.FindScenario(u"start");
  for (auto _ : state) {
    script.RewindScenario(start);
    bench.Guard([&] { script.RunScript(); });
    // The host stops a script that runs for long without engine time
    // passing; between runs a millisecond goes by.
    state.PauseTiming();
    bench.host().Sleep(1);
    state.ResumeTiming();
  }
  if (bench.engine().state.script.CurrentLineNumber != kLines)
    state.SkipWithError("the run did not reach the end");
  state.counters["lines_per_second"] =
      benchmark::Counter(static_cast<double>(kLines) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(BM_RunScenario, mixed, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RunScenario, let, false)->Unit(benchmark::kMillisecond);

// A file whose only label is on its last line, and a start file to jump from.
struct LongFileGame {
  LongFileGame() {
    std::string text;
    for (int i = 1; i < kLines; ++i) {
      text += '\t';
      text += i % 7 == 0 ? ".let n = 1" : "text line";
      text += '\n';
    }
    text += ":last\n";
    game.Write("config.txt", ".int n\n");
    game.Write("long.txt", text);
    game.Write("start.txt", "; jumps from here\n");
  }
  GameFolder game;
};

void BM_JumpToLastLine(benchmark::State& state) {
  LongFileGame files;
  BenchEngine bench(files.game);
  Script& script = bench.engine().script;
  for (auto _ : state) {
    bench.Guard([&] { script.ExecuteLine(u".jmp long last"); });
    benchmark::DoNotOptimize(bench.engine().state.script.CurrentLineNumber);
  }
  if (bench.engine().state.script.CurrentLineNumber != kLines)
    state.SkipWithError("the jump missed the label");
}
BENCHMARK(BM_JumpToLastLine)->Unit(benchmark::kMicrosecond);

// The label search done the plain way: rewind, then read line after line
// (counted, tabs removed) and compare each with the label line.
void BM_ForwardScanToLastLine(benchmark::State& state) {
  LongFileGame files;
  BenchEngine bench(files.game);
  Script& script = bench.engine().script;
  const std::u16string wanted = u":last";
  for (auto _ : state) {
    bench.Guard([&] {
      script.OpenScenario(u"long");
      const std::vector<std::u16string>& lines =
          bench.engine().catalogue.File(bench.engine().state.script.CurrentFile).lines;
      for (;;) {
        if (bench.engine().state.script.CurrentLineNumber >= static_cast<int>(lines.size())) {
          throw std::runtime_error("label not found");
        }
        bench.engine().state.script.CurrentLine =
            lines[bench.engine().state.script.CurrentLineNumber];
        ++bench.engine().state.script.CurrentLineNumber;
        script.StripLeadingTabs();
        if (bench.engine().state.script.CurrentLine == wanted) break;
      }
    });
    benchmark::DoNotOptimize(bench.engine().state.script.CurrentLineNumber);
  }
  if (bench.engine().state.script.CurrentLineNumber != kLines)
    state.SkipWithError("the scan missed the label");
}
BENCHMARK(BM_ForwardScanToLastLine)->Unit(benchmark::kMicrosecond);

// Prints the table as usual and keeps the time per iteration of each run,
// so that the jump can be set against the scan afterwards.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        seconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
      }
    }
  }
  const std::map<std::string, double>& times() const { return seconds_; }

 private:
  std::map<std::string, double> seconds_;
};

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tsumugi::RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& times = reporter.times();
  auto jump = times.find("BM_JumpToLastLine");
  auto scan = times.find("BM_ForwardScanToLastLine");
  if (jump != times.end() && scan != times.end() && jump->second > 0) {
    // Both figures are in the unit of their benchmark: microseconds.
    std::printf(
        "jump to the last line of %d: %.3f us; forward scan: %.3f us; the jump is %.0f times "
        "faster\n",
        tsumugi::kLines, jump->second, scan->second, scan->second / jump->second);
  }
  benchmark::Shutdown();
  return 0;
}
