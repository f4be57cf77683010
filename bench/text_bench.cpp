// Speed of drawing text lines.
//
// Prints, from one run, medians of:
//  - one line of 20 Japanese characters drawn twice (shadow, then text) on a
//    640 x 480 surface, smooth and crisp;
//  - what a typed character costs the text window: the line drawn six times
//    (four edge copies, shadow, text) and the 640 x 480 canvas copied to the
//    screen (goal: under 200 us);
//  - measuring the line, as the typing loop does before every character;
//  - a first drawing of 20 characters not yet in the glyph cache.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "median_reporter.h"
#include "platform/gdi/bitblt.h"
#include "platform/gdi/font.h"
#include "platform/gdi/surface.h"

namespace {

using tsumugi::gdi::BitBlt;
using tsumugi::gdi::ColorRef;
using tsumugi::gdi::Font;
using tsumugi::gdi::FontEngine;
using tsumugi::gdi::kSrcCopy;
using tsumugi::gdi::LogFont;
using tsumugi::gdi::Surface;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr ColorRef kShadow = 0x00000000;
constexpr ColorRef kText = 0x00FFFFFF;
// Twenty full-width characters: a full display line of the default window.
const std::u16string kLine = u"吾輩は猫である。名前はまだ無い。どこで生れ";

FontEngine& Engine(bool crisp) {
  static FontEngine smooth(false);
  static FontEngine sharp(true);
  return crisp ? sharp : smooth;
}

// A canvas with something under the text, as a window picture would be.
Surface Canvas() {
  Surface s(kWidth, kHeight);
  for (int y = 0; y < kHeight; ++y) {
    uint32_t* row = s.Row(y);
    for (int x = 0; x < kWidth; ++x)
      row[x] = static_cast<uint32_t>((x * 3 + y * 5) & 0xFF) * 0x010101u;
  }
  return s;
}

void BM_LineShadowThenText(benchmark::State& state) {
  const auto font = Engine(state.range(0) != 0).GetFont(LogFont{});
  Surface canvas = Canvas();
  font->Draw(canvas, 0, 0, kLine, kText, 0);  // fills the glyph cache
  for (auto _ : state) {
    font->Draw(canvas, 2, 34, kLine, kShadow, 0);
    font->Draw(canvas, 0, 32, kLine, kText, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_LineShadowThenText)
    ->ArgName("crisp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15);

void BM_TypedCharacter(benchmark::State& state) {
  const auto font = Engine(state.range(0) != 0).GetFont(LogFont{});
  Surface canvas = Canvas();
  Surface screen(kWidth, kHeight);
  font->Draw(canvas, 0, 0, kLine, kText, 0);
  const int y = 32;
  for (auto _ : state) {
    font->Draw(canvas, 0, y - 1, kLine, kShadow, 0);
    font->Draw(canvas, 0, y + 1, kLine, kShadow, 0);
    font->Draw(canvas, -1, y, kLine, kShadow, 0);
    font->Draw(canvas, 1, y, kLine, kShadow, 0);
    font->Draw(canvas, 2, y + 2, kLine, kShadow, 0);
    font->Draw(canvas, 0, y, kLine, kText, 0);
    BitBlt(screen, 0, 0, kWidth, kHeight, canvas, 0, 0, kSrcCopy);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TypedCharacter)
    ->ArgName("crisp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(15);

void BM_MeasureLine(benchmark::State& state) {
  const auto font = Engine(false).GetFont(LogFont{});
  font->Extent(kLine, 0);
  for (auto _ : state) benchmark::DoNotOptimize(font->Extent(kLine, 0));
}
BENCHMARK(BM_MeasureLine)->Unit(benchmark::kMicrosecond)->Repetitions(15);

// 20 kanji never drawn before, on a font whose size is already set up.
void BM_FirstDrawOfNewCharacters(benchmark::State& state) {
  const auto font = Engine(state.range(0) != 0).GetFont(LogFont{u"ＭＳ ゴシック", 32, true});
  Surface canvas = Canvas();
  font->Draw(canvas, 0, 0, u"あ", kText, 0);
  // Shared by all repetitions, so that each one meets new characters.
  static char16_t next = 0x4E00;
  std::u16string line(20, u' ');
  for (auto _ : state) {
    for (char16_t& c : line) c = next++;
    if (next > 0x9F00) state.SkipWithError("ran out of uncached kanji");
    font->Draw(canvas, 0, 32, line, kText, 0);
  }
}
BENCHMARK(BM_FirstDrawOfNewCharacters)
    ->ArgName("crisp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(40)
    ->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  return tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    auto median = [&](const std::string& name) { return reporter.Of(name).cpu; };
    std::printf("\nmedian processor times, one 20-character line of the 32-pixel default font:\n");
    std::printf("                                        smooth      crisp\n");
    std::printf("  shadow + text (2 draws)           %9.1f us %9.1f us\n",
                median("BM_LineShadowThenText/crisp:0"), median("BM_LineShadowThenText/crisp:1"));
    std::printf("  typed character (6 draws + copy)  %9.1f us %9.1f us  (goal: < 200 us)\n",
                median("BM_TypedCharacter/crisp:0"), median("BM_TypedCharacter/crisp:1"));
    std::printf("  first draw of 20 new characters   %9.1f us %9.1f us  (bold)\n",
                median("BM_FirstDrawOfNewCharacters/crisp:0"),
                median("BM_FirstDrawOfNewCharacters/crisp:1"));
    std::printf("  measuring the line                %9.2f us\n", median("BM_MeasureLine"));
  });
}
