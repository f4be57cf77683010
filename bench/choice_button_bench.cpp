// Speed of what runs on the window's timers while the player decides:
//   BM_HoverTick   one Timer1 tick of a menu of six choices under eight
//                  lines of text (a full fourteen-line window): the choice
//                  under the pointer looked up, every line drawn again and
//                  the canvas copied to the screen. "moving" puts the
//                  pointer on another choice at every tick (two lines
//                  change); otherwise it rests on one (no line changes).
//                  "written" also changes every line's colour, so that
//                  every line is really drawn again, as the tick is written
//                  without the engine's shortcut for lines that look as they
//                  did. Goal: under 1 ms, so that a player waiting at a menu
//                  costs under 10% of one core.
//   BM_TrackTick   one Timer4 tick of a held 200 x 60 button: the screen
//                  under it put back, its pressed or normal look drawn over
//                  it, the screen refreshed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_game.h"
#include "median_reporter.h"
#include "unit/graphics_test_pictures.h"

namespace tsumugi {
namespace {

constexpr char kMenu[] =
    ".tsw\n.tsp 0\n"
    "吾輩は猫である。名前はまだ無い。どこで生れ\n"
    "たかとんと見当がつかぬ。何でも薄暗いじめじ\n"
    "めした所でニャーニャー泣いていた事だけは記\n"
    "憶している。吾輩はここで始めて人間というも\n"
    "のを見た。しかもあとで聞くとそれは書生とい\n"
    "う人間中で一番獰悪な種族であったそうだ。こ\n"
    "の書生というのは時々我々を捕えて煮て食うと\n"
    "いう話である。しかしその当時は何という考も\n"
    ".slt\n一　朝の丘へ行く\n二　川辺を歩く\n三　町へ出る\n"
    "四　家に帰る\n五　友を訪ねる\n六　何もしない\n.\n.1\n.\n";

// Rows of the first two choices (display lines 8 and 9 of 32 pixels).
constexpr int kChoiceOneY = 8 * 32 + 10;
constexpr int kChoiceTwoY = 9 * 32 + 10;

void BM_HoverTick(benchmark::State& state) {
  bench::BenchGame game(kMenu, state.range(0) != 0, /*run=*/true);
  const bool moving = state.range(1) != 0;
  const bool written = state.range(2) != 0;
  TextWindow& text = game.engine().text;
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    game.host().SetCursorPos({100, moving && flip ? kChoiceTwoY : kChoiceOneY});
    if (written) {
      const gdi::ColorRef white = flip ? gdi::kWhite : 0xFFFFFE;
      game.engine().state.text.SelectedColour = white;
      game.engine().state.text.NotSelectedColour = flip ? 0x808080 : 0x808081;
      for (TextLine& line : game.engine().state.text.TextLines) {
        if (line.ChoiceNumber == 0) line.TextColour = white;
      }
    }
    text.HoverTick();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_HoverTick)
    ->ArgNames({"crisp", "moving", "written"})
    ->Args({0, 0, 0})
    ->Args({0, 1, 0})
    ->Args({0, 0, 1})
    ->Args({1, 0, 0})
    ->Args({1, 1, 0})
    ->Args({1, 0, 1})
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(11);

void BM_TrackTick(benchmark::State& state) {
  auto look = [](uint32_t body) {
    return test::BitmapBytes(200, 60, [body](int x, int y) {
      return (x < 4 || y < 4 || x >= 196 || y >= 56) ? 0xFF00FFu : body ^ ((x ^ y) & 0x3F);
    });
  };
  bench::BenchGame game(".btn\nup down 220 210 0\n.\n.\n.bsw\n.clk 0\n", false, /*run=*/true,
                        {{"up.bmp", look(0xC04040)}, {"down.bmp", look(0x40C040)}});
  game.engine().OnMouseDown(MouseButton::kLeft, 0, 300, 240);
  bool flip = false;
  for (auto _ : state) {
    // On the button and off it by turns: both looks are drawn.
    flip = !flip;
    game.host().SetCursorPos({flip ? 300 : 10, 240});
    game.engine().buttons.TrackTick();
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TrackTick)->Unit(benchmark::kMicrosecond)->Repetitions(11);

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  return tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    auto median = [&](const std::string& name) { return reporter.Of(name).real; };
    std::printf("\nmedians, menu of six choices in a full window (32-pixel default font):\n");
    std::printf("                                              smooth      crisp\n");
    for (const char* moving : {"0", "1"}) {
      const std::string args = std::string("/moving:") + moving + "/written:0";
      std::printf("  hover tick, pointer %-9s          %9.1f us %9.1f us  (goal: < 1000 us)\n",
                  *moving == '1' ? "moving" : "resting", median("BM_HoverTick/crisp:0" + args),
                  median("BM_HoverTick/crisp:1" + args));
    }
    std::printf("  hover tick, every line drawn again  %9.1f us %9.1f us\n",
                median("BM_HoverTick/crisp:0/moving:0/written:1"),
                median("BM_HoverTick/crisp:1/moving:0/written:1"));
    std::printf("  button tracking tick, 200 x 60      %9.1f us\n", median("BM_TrackTick"));
  });
}
