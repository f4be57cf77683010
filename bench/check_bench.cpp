// The checker on a game as large as the engine allows: 254 scenarios of
// 10,000 lines each (text, variables, menus, button blocks, ".cas" blocks,
// calls and jumps between files, pictures), so that an editor can run it
// every time a scenario is saved. Goal: under 2 seconds.
//   BM_CheckLargestGame   the whole check: settings, configuration, catalogue,
//                         every line
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "check/checker.h"
#include "common/text_codec.h"
#include "bench_game.h"
#include "median_reporter.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi {
namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 254;
constexpr int kLines = 10000;

// The name of scenario n: "start", then "s1", "s2" and so on.
std::string ScenarioName(int n) {
  if (n == 0) return "start";
  std::string name = "s";  // (appended: GCC 12 warns wrongly on "s" + std::string)
  name += std::to_string(n);
  return name;
}

// One scenario: blocks of 25 lines repeated, each with a label, text with
// substitutions, a menu, a ".cas" block, a call into the next file and a
// jump back, pictures and sounds.
std::string Scenario(int file) {
  const int after = (file + 1) % kFiles;
  const std::string next = ScenarioName(after);
  std::string text;
  for (int block = 0; block * 25 < kLines; ++block) {
    const std::string n = std::to_string(block);
    text +=
        ":l" + n + "\r\n" +
        "\x81\x75\x82\xa8\x82\xcd\x82\xe6\x82\xa4\x81\x76 [score] [name] [item[i]]\r\n"
        ".let score = score + 1 * 2\r\n"
        ".pic bg 1 40\r\n"
        ".spr chara 0010 30 220 96\r\n"
        ".tcl 0 0\r\n"
        ".slt\r\none\r\ntwo\r\n.\r\n"
        ".1\r\n.let flag0" + std::to_string(block % 10) + "0 = 1\r\n.skp\r\n"
        ".2\r\n.sub " + next + " l" + n + " 3\r\n.skp\r\n.\r\n"
        ".cas score\r\n.= 1\r\n.wav click 0\r\n.skp\r\n.els\r\n.skp\r\n.\r\n"
        ".jmp " + next + " l" + n + "\r\n";
  }
  return text;
}

class LargestGame {
 public:
  LargestGame() {
    const fs::path data = folder_.path() / "data";
    std::ofstream(data / "config.txt") << ".int score i item[10]\r\n.str name\r\n";
    std::ofstream(data / "bg.bmp", std::ios::binary) << test::BitmapBytes(8, 8, [](int, int) { return 0u; });
    std::ofstream(data / "chara.bmp", std::ios::binary)
        << test::BitmapBytes(8, 8, [](int, int) { return 0x00FF00u; });
    std::ofstream(data / "click.wav") << "RIFF";
    std::ofstream(data / "pat100.bmp", std::ios::binary)
        << test::BitmapBytes(8, 8, [](int x, int) { return x < 4 ? 0u : 0xFFFFFFu; });
    for (int file = 0; file < kFiles; ++file) {
      std::ofstream(data / (ScenarioName(file) + ".txt"), std::ios::binary) << Scenario(file);
    }
  }
  const fs::path& folder() const { return folder_.path(); }

 private:
  bench::BenchFolder folder_;
};

void BM_CheckLargestGame(benchmark::State& state) {
  static LargestGame game;
  size_t findings = 0;
  for (auto _ : state) {
    findings = check::CheckGame({game.folder(), game.folder() / "none.ini"}).size();
  }
  state.counters["findings"] = static_cast<double>(findings);
}
BENCHMARK(BM_CheckLargestGame)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(false);

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  tsumugi::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto median = reporter.Of("BM_CheckLargestGame");
  std::printf("\nChecker over %d scenarios of %d lines: %.0f ms median (goal: under 2000 ms)\n",
              tsumugi::kFiles, tsumugi::kLines, median.real);
  benchmark::Shutdown();
}
