// Exploring every branch: wall and processor time of whole explorations.
// Figures only; nothing here passes or fails.
//
//   the sample game       explored whole, pages written (goal: under 2 s);
//   16 menus that meet    two choices each, both leading to the same next
//                         page: 65,536 ways through as written, 16 menus to
//                         explore (goal: under 5 s);
//   16 menus that never   the same, but each choice sets a flag of its own,
//   meet                  so that no two states are alike, cut by a limit
//                         of 5,000 paths: paths a second.
// Each with one job and with as many as there are processors.
//   build/bench/explore_bench
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "bench_game.h"
#include "common/text_codec.h"
#include "explore/explorer.h"

namespace fs = std::filesystem;
using namespace tsumugi;
using tsumugi::bench::BenchFolder;

namespace {

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void WriteScenario(const fs::path& game, const std::string& utf8) {
  std::string text;
  for (char c : utf8) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::ofstream(game / "data/start.txt", std::ios::binary) << Utf16ToCp932(Utf8ToUtf16(text));
}

// Sixteen menus in a row; with `apart`, each choice sets a flag of its own.
std::string Menus(bool apart) {
  std::string script = ".tsw\n";
  for (int i = 0; i < 16; ++i) {
    const std::string n = std::to_string(i);
    script += "分かれ道 " + n + "\n.slt\n右\n左\n.\n.1\n";
    if (apart) script += ".let flag" + std::to_string(100 + 2 * i) + " = 1\n";
    script += ".skp\n.2\n";
    if (apart) script += ".let flag" + std::to_string(101 + 2 * i) + " = 1\n";
    script += ".skp\n.\n合流\n.tcl 0 0\n";
  }
  return script + "おしまい\n.tcl 0 0\n.end\n";
}

void Measure(const char* what, const fs::path& game, int jobs, size_t max_paths,
             const fs::path& pages, const char* goal) {
  BenchFolder scratch;
  explore::ExploreOptions options;
  options.game_folder = game;
  options.settings_file = game / "none.ini";
  options.scratch_folder = scratch.path();
  if (!pages.empty()) {
    fs::create_directories(pages);
    options.pages_folder = pages;
  }
  options.jobs = jobs;
  options.max_paths = max_paths;
  const double cpu_before = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  const explore::Exploration x = explore::Explore(options);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ProcessorSeconds() - cpu_before;
  std::printf("%-28s jobs %d: %6zu paths, %4zu menus and bars, %5.2f s wall, %5.2f s processor, "
              "%8.0f paths/s%s%s\n",
              what, jobs, x.paths.size(), x.nodes.size(), wall, cpu,
              static_cast<double>(x.paths.size()) / wall, x.cut ? ", cut" : "", goal);
}

}  // namespace

int main() {
  const int processors = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  BenchFolder out;
  for (const int jobs : {1, processors}) {
    Measure("the sample game", TSUMUGI_SAMPLE_GAME_DIR, jobs, 10000, out.path() / "pages",
            "  (goal: under 2 s wall)");
  }
  BenchFolder meet;
  WriteScenario(meet.path(), Menus(false));
  for (const int jobs : {1, processors}) {
    Measure("16 menus that meet", meet.path(), jobs, 10000, {}, "  (goal: under 5 s wall)");
  }
  BenchFolder apart;
  WriteScenario(apart.path(), Menus(true));
  for (const int jobs : {1, processors}) {
    Measure("16 menus that never meet", apart.path(), jobs, 5000, {}, "");
  }
  return 0;
}
