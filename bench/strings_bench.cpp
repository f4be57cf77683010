// Extracting the texts of a large game for translators: 254 scenarios of
// 10,000 lines each (text lines, menus, printed texts, commands), read and
// written as a gettext template. Figures only. Goal: under 2 s.
//   build/bench/strings_bench
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench_game.h"
#include "common/text_codec.h"
#include "strings/strings.h"

using namespace tsumugi;

int main() {
  bench::BenchFolder game;
  // One scenario's 10,000 lines: a page of text, a menu, a printed text
  // and commands, 909 times (eleven lines each), and ".end".
  std::string lines;
  for (int i = 0; i < 909; ++i) {
    const std::string n = std::to_string(i % 900);
    lines += ".tsw\n";
    lines += "第" + n + "頁の一行目、風が吹いています。\n";
    lines += "二行目は[name]さんの台詞です。\n";
    lines += ".tcl 0 0\n";
    lines += "どちらへ？\n";
    lines += ".slt\n右の道 " + n + "\n左の道 " + n + "\n.\n";
    lines += ".tpr 10 10 第" + n + "章\n";
  }
  lines += ".end\n";
  const std::string bytes = Utf16ToCp932(Utf8ToUtf16(lines));
  size_t total = 0;
  for (int f = 0; f < 254; ++f) {
    const std::string name = f == 0 ? "start" : "scene" + std::to_string(f);
    std::ofstream(game.path() / "data" / (name + ".txt"), std::ios::binary) << bytes;
    total += 10000;
  }
  strings::StringsOptions options;
  options.game_folder = game.path();
  options.settings_file = game.path() / "none.ini";
  const auto start = std::chrono::steady_clock::now();
  const strings::Extracted extracted = strings::ExtractStrings(options);
  const std::string pot = strings::PotText(extracted.entries, "bench");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("254 scenarios, %zu lines: %zu entries, %.1f MB template in %.2f s (goal: under 2 s)%s\n",
              total, extracted.entries.size(), static_cast<double>(pot.size()) / 1e6, seconds,
              extracted.error.empty() ? "" : (" error: " + extracted.error).c_str());
  return 0;
}
