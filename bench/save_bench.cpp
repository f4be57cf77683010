// Speed of saving and loading a large game state: all thirty call, recall
// and button memories full (64 lines of 40 characters each), the 256
// flags, and 10,000 variables.
//   BM_SaveInMemory  the state gathered, laid out and encoded: a ".sav"
//                    without the disk;
//   BM_Save          the whole ".sav", written beside the old file, flushed
//                    to disk and renamed over it;
//   BM_Load          the whole ".lod": read, checked, put in place, and
//                    every variable line run through ".let".
// Goal: each under 20 ms apart from the disk flush.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_game.h"
#include "median_reporter.h"

namespace tsumugi {
namespace {

constexpr char kConfig[] = ".int score[5000]\r\n.str name[5000]\r\n";

class LargeState {
 public:
  LargeState() : game_(".end\n", false, false, {{"config.txt", kConfig}}) {
    Engine& e = game_.engine();
    const std::u16string line =
        u"吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄";
    for (PageMemoryTable* table : {&e.state.text.RecallMemories, &e.state.buttons.ButtonMemories}) {
      for (PageMemory& m : *table) {
        m.File = 1;
        m.Line = 12345;
        m.LastLine = kMemoryLines - 1;
        m.CurrentLine = 14;
        for (TextLine& l : m.Lines) l = {line, 0, 0xFFFFFF, 0x000000};
      }
    }
    for (int i = 0; i < kMemoryCount; ++i)
      e.state.calls.MemoryFile[i] = 1, e.state.calls.MemoryLine[i] = 99;
    for (size_t i = 0; i < e.state.vars.Flags.size(); ++i) e.state.vars.Flags[i] = i % 3 == 0;
    for (size_t i = 0; i < e.state.vars.IntegerValues.size(); ++i) {
      e.state.vars.IntegerValues[i] = static_cast<int32_t>(i * 7919);
    }
    for (std::u16string& text : e.state.vars.TextValues) text = u"名前と空白 two words";
    game_.Run(".sav");
  }
  bench::BenchGame& game() { return game_; }

 private:
  bench::BenchGame game_;
};

void BM_SaveInMemory(benchmark::State& state) {
  LargeState large;
  SaveFiles& saves = large.game().engine().saves;
  Catalogue& catalogue = large.game().engine().catalogue;
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string out = SaveFiles::Encode(
        SaveLines(saves.Capture(), [&](int32_t file) { return catalogue.File(file).name; }));
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SaveInMemory)->Unit(benchmark::kMillisecond)->Repetitions(9);

void BM_Save(benchmark::State& state) {
  LargeState large;
  for (auto _ : state) large.game().Run(".sav");
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Repetitions(9);

void BM_Load(benchmark::State& state) {
  LargeState large;
  for (auto _ : state) large.game().Run(".lod");
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Repetitions(9);

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  return tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    auto median = [&](const char* name) { return reporter.Of(name).real; };
    std::printf("\nmedians, 30 full memories, 256 flags, 10,000 variables:\n");
    std::printf("  save without the disk      %7.2f ms  (goal: < 20 ms)\n",
                median("BM_SaveInMemory"));
    std::printf("  save, flushed and renamed  %7.2f ms\n", median("BM_Save"));
    std::printf("  load                       %7.2f ms  (goal: < 20 ms)\n", median("BM_Load"));
  });
}
