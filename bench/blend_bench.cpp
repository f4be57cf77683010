// Speed of the cross-fade and of the wipe-pattern transition.
//
// Prints, from one run: the median time of one cross-fade frame over the
// whole screen (BlendStep), of the plain per-byte formula it must equal, of
// the memory-bound floor (one pass averaging two buffers of the same size
// into a third), the ratio of the frame to the floor, and the median time of
// one wipe frame (loading a pattern file, tiling it, three raster
// operations). Also checks that the frame's bytes equal the formula's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/graphics/transitions.h"
#include "median_reporter.h"
#include "platform/gdi/blend.h"
#include "platform/gdi/surface.h"

namespace {

using tsumugi::gdi::BlendBuffers;
using tsumugi::gdi::Surface;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kBytes = size_t{kWidth} * kHeight * 3;
// A level whose products are not exact in few bits: the general case.
constexpr float kLevel = 0.37f;

Surface Noise(uint32_t seed) {
  Surface s(kWidth, kHeight);
  std::mt19937 random(seed);
  for (int y = 0; y < kHeight; ++y) {
    uint32_t* row = s.Row(y);
    for (int x = 0; x < kWidth; ++x) row[x] = random() & 0x00FFFFFFu;
  }
  return s;
}

// The formula, byte by byte, written as plainly as it reads.
void ReferenceMix(const std::vector<uint8_t>& source, const std::vector<uint8_t>& destination,
                  std::vector<uint8_t>& out, float level) {
  const float k = 1.0f - level;
  for (size_t i = 0; i < out.size(); ++i) {
    const double v =
        static_cast<double>(source[i]) * level + static_cast<double>(destination[i]) * k;
    out[i] = static_cast<uint8_t>(std::nearbyint(v));
  }
}

void BlendStepWith(benchmark::State& state, tsumugi::gdi::MixKernel kernel) {
  Surface destination = Noise(1);
  const Surface source = Noise(2);
  BlendBuffers blend(kernel);
  if (!blend.Begin(destination, 0, 0, source, 0, 0, kWidth, kHeight)) {
    state.SkipWithError("the blend refused the screen's size");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(blend.Step(destination, 0, 0, kLevel));
    benchmark::DoNotOptimize(destination.Data());
    benchmark::ClobberMemory();
  }
}

// The kernel this processor runs best, and the one for any processor.
void BM_BlendStep(benchmark::State& state) {
  BlendStepWith(state, tsumugi::gdi::BestMixKernel());
}
void BM_BlendStepPortable(benchmark::State& state) {
  BlendStepWith(state, tsumugi::gdi::MixKernel::kPortable);
}

void BM_ReferenceFormula(benchmark::State& state) {
  Surface destination = Noise(1);
  const Surface source = Noise(2);
  BlendBuffers blend;
  if (!blend.Begin(destination, 0, 0, source, 0, 0, kWidth, kHeight)) {
    state.SkipWithError("the blend refused the screen's size");
    return;
  }
  std::vector<uint8_t> out(blend.MixedBytes().size());
  for (auto _ : state) {
    ReferenceMix(blend.SourceBytes(), blend.DestinationBytes(), out, kLevel);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void BM_MemoryFloor(benchmark::State& state) {
  std::vector<uint8_t> a(kBytes), b(kBytes), c(kBytes);
  std::mt19937 random(3);
  for (size_t i = 0; i < kBytes; ++i) {
    a[i] = static_cast<uint8_t>(random());
    b[i] = static_cast<uint8_t>(random());
  }
  for (auto _ : state) {
    const uint8_t* __restrict pa = a.data();
    const uint8_t* __restrict pb = b.data();
    uint8_t* __restrict pc = c.data();
    for (size_t i = 0; i < kBytes; ++i) pc[i] = static_cast<uint8_t>((pa[i] + pb[i] + 1) >> 1);
    benchmark::DoNotOptimize(c.data());
    benchmark::ClobberMemory();
  }
}

// A 64 x 64 pattern, black on the left half and white on the right, as a
// 24-bit bitmap file.
std::filesystem::path WritePatternFile() {
  const int w = 64, h = 64;
  const int row_bytes = (w * 3 + 3) / 4 * 4;
  const uint32_t data_size = static_cast<uint32_t>(row_bytes * h);
  std::vector<uint8_t> file(54 + data_size, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  file[26] = 1;
  file[28] = 24;
  put32(34, data_size);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t v = x < w / 2 ? 0 : 255;
      for (int c = 0; c < 3; ++c) file[54 + y * row_bytes + x * 3 + c] = v;
    }
  }
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / "tsumugi_blend_bench_pat.bmp";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return path;
}

void BM_WipeFrame(benchmark::State& state) {
  const std::filesystem::path pattern_file = WritePatternFile();
  Surface destination = Noise(1);
  const Surface source = Noise(2);
  Surface pattern(kWidth, kHeight);
  std::string error;
  for (auto _ : state) {
    if (!tsumugi::LoadPatternFrame(pattern_file, pattern, &error)) {
      state.SkipWithError(error.c_str());
      break;
    }
    tsumugi::WipeFrame(destination, {{0, 0, kWidth, kHeight}, 0, 0}, source, pattern);
    benchmark::DoNotOptimize(destination.Data());
    benchmark::ClobberMemory();
  }
  std::filesystem::remove(pattern_file);
}

BENCHMARK(BM_BlendStep)->Unit(benchmark::kMicrosecond)->Repetitions(15);
BENCHMARK(BM_BlendStepPortable)->Unit(benchmark::kMicrosecond)->Repetitions(15);
BENCHMARK(BM_ReferenceFormula)->Unit(benchmark::kMicrosecond)->Repetitions(15);
BENCHMARK(BM_MemoryFloor)->Unit(benchmark::kMicrosecond)->Repetitions(15);
BENCHMARK(BM_WipeFrame)->Unit(benchmark::kMicrosecond)->Repetitions(15);

// Whether frames drawn by BlendBuffers, with every kernel this processor
// runs, equal the plain formula at levels from 0 to 1 in twentieths and at
// the benchmark's level.
bool FramesEqualFormula() {
  using tsumugi::gdi::MixKernel;
  for (MixKernel kernel : {MixKernel::kPortable, MixKernel::kAvx2}) {
    if (!tsumugi::gdi::MixKernelAvailable(kernel)) continue;
    Surface destination = Noise(1);
    const Surface source = Noise(2);
    BlendBuffers blend(kernel);
    if (!blend.Begin(destination, 0, 0, source, 0, 0, kWidth, kHeight)) return false;
    std::vector<uint8_t> expected(blend.MixedBytes().size());
    std::vector<float> levels = {kLevel};
    for (int k = 0; k <= 20; ++k) levels.push_back(static_cast<float>(k) / 20.0f);
    for (float level : levels) {
      if (!blend.Step(destination, 0, 0, level)) return false;
      ReferenceMix(blend.SourceBytes(), blend.DestinationBytes(), expected, level);
      if (expected != blend.MixedBytes()) return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::AddCustomContext("note", "the ratio below divides medians of this run");
  tsumugi::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  auto median = [&](const char* name) { return reporter.Of(name); };
  const auto step = median("BM_BlendStep");
  const auto portable = median("BM_BlendStepPortable");
  const auto reference = median("BM_ReferenceFormula");
  const auto floor = median("BM_MemoryFloor");
  const auto wipe = median("BM_WipeFrame");
  // On a busy machine the wall-clock time includes waiting for a processor;
  // the processor time shows the work alone.
  std::printf("\nmedians over 640 x 480          wall-clock     processor\n");
  std::printf("  BlendStep                   %9.1f us  %9.1f us\n", step.real, step.cpu);
  std::printf("  BlendStep, portable kernel  %9.1f us  %9.1f us\n", portable.real, portable.cpu);
  std::printf("  reference formula           %9.1f us  %9.1f us\n", reference.real, reference.cpu);
  std::printf("  memory-bound floor          %9.1f us  %9.1f us\n", floor.real, floor.cpu);
  std::printf("  BlendStep / floor           %9.2f     %9.2f     (goal: 8 or less)\n",
              step.real / floor.real, step.cpu / floor.cpu);
  std::printf("  reference / floor           %9.2f     %9.2f\n", reference.real / floor.real,
              reference.cpu / floor.cpu);
  std::printf("  one wipe frame              %9.1f us  %9.1f us\n", wipe.real, wipe.cpu);
  std::printf(
      "  mixing kernel: %s\n",
      tsumugi::gdi::BestMixKernel() == tsumugi::gdi::MixKernel::kAvx2 ? "AVX2" : "portable");
  const bool identical = FramesEqualFormula();
  std::printf("  frames equal the formula: %s\n", identical ? "yes" : "NO");
  return identical ? 0 : 1;
}
