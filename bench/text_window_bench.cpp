// Speed of the text window on a running engine (headless host):
//   BM_TypedCharacter  what one typed character costs: the 20th character
//                      of a line drawn with edge and shadow (the area it
//                      covers restored and every line reaching into it drawn
//                      again there), and the 640 x 480 canvas copied to the
//                      screen; goal: under 200 us, so that fast-forward
//                      keeps its 1 ms pace per character with room to spare;
//   BM_RedrawLine      the same with the whole 20-character line drawn again
//                      (the rows it covers restored and its neighbours
//                      redrawn there), as after a scroll or a colour change;
//   BM_ScrollStep      one of the four steps of a scroll of a full
//                      fourteen-line window: canvas erased, every line drawn,
//                      canvas copied to the screen;
// each smooth and crisp, with their medians printed after the table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_game.h"
#include "median_reporter.h"

namespace tsumugi {
namespace {

// Twenty full-width characters: a full display line of the default window.
const std::u16string kLine = u"吾輩は猫である。名前はまだ無い。どこで生れ";

// An engine started on a game whose window is shown over a patterned
// screen, with the edge on and every display line full.
class Bench {
 public:
  explicit Bench(bool crisp) : game_(".end\n", crisp, /*run=*/false) {
    gdi::Surface& screen = game_.host().Screen();
    for (int y = 0; y < screen.Height(); ++y) {
      for (int x = 0; x < screen.Width(); ++x) {
        screen.Row(y)[x] = static_cast<uint32_t>((x * 3 + y * 5) & 0xFF) * 0x010101u;
      }
    }
    game_.Run(".txt font edge 1");
    game_.Run(".tsw");
    for (TextLine& line : text().TextLines) {
      line.Text = kLine;
      line.TextColour = gdi::kWhite;
      line.ShadowColour = gdi::kBlack;
    }
  }

  TextWindowState& text() { return game_.engine().state.text; }
  TextWindow& window() { return game_.engine().text; }

 private:
  bench::BenchGame game_;
};

// The last of the 20 characters typed on a line in the middle of the
// window (neighbours above and below).
void BM_TypedCharacter(benchmark::State& state) {
  Bench bench(state.range(0) != 0);
  TextWindowState& text = bench.text();
  TextWindow& window = bench.window();
  const int line = 6;
  std::u16string& typed = text.TextLines[line].Text;
  for (auto _ : state) {
    state.PauseTiming();
    typed = kLine.substr(0, kLine.size() - 1);
    window.DrawTextLine(line, true);
    typed = kLine;
    state.ResumeTiming();
    window.DrawTextLine(line, true);
    window.PresentCanvas();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TypedCharacter)
    ->ArgName("crisp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000)
    ->Repetitions(11);

// The whole 20-character line drawn again, as when the canvas no longer
// shows it (after a scroll or a change of settings) or its colours change.
void BM_RedrawLine(benchmark::State& state) {
  Bench bench(state.range(0) != 0);
  TextWindowState& text = bench.text();
  TextWindow& window = bench.window();
  const int line = 6;
  bool swap = false;
  for (auto _ : state) {
    // A colour change each time makes every draw a whole-line one.
    text.TextLines[line].TextColour = (swap = !swap) ? gdi::kWhite : 0xFFFFFE;
    window.DrawTextLine(line, true);
    window.PresentCanvas();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RedrawLine)
    ->ArgName("crisp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(11);

// One iteration is a whole scroll, four steps; the summary divides by four.
void BM_ScrollStep(benchmark::State& state) {
  Bench bench(state.range(0) != 0);
  TextWindowState& text = bench.text();
  TextWindow& window = bench.window();
  for (auto _ : state) {
    window.ScrollTextUp();
    state.PauseTiming();
    text.TextLines.back().Text = kLine;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ScrollStep)
    ->ArgName("crisp")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(100)
    ->Repetitions(11);

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  return tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    auto median = [&](const std::string& name) { return reporter.Of(name).real; };
    std::printf("\nmedians, text window of the 32-pixel default font with edge and shadow:\n");
    std::printf("                                  smooth      crisp\n");
    std::printf("  one typed character         %9.1f us %9.1f us  (goal: < 200 us)\n",
                median("BM_TypedCharacter/crisp:0"), median("BM_TypedCharacter/crisp:1"));
    std::printf("  a whole line drawn again    %9.1f us %9.1f us\n",
                median("BM_RedrawLine/crisp:0"), median("BM_RedrawLine/crisp:1"));
    std::printf("  one scroll step (of four)   %9.1f us %9.1f us\n",
                median("BM_ScrollStep/crisp:0") / 4, median("BM_ScrollStep/crisp:1") / 4);
  });
}
