// Speed and size of snapshot files, for a game state of five 640x480
// pictures of 32-bit pixels (four pages and the screen, 6 MB) and its page
// text:
//   BM_Encode           thumbnail, compression and the PNG around them,
//                       in memory;
//   BM_Write            the same, written beside the old file, flushed to
//                       disk and renamed over it;
//   BM_Decode           every check, the thumbnail and the state back;
//   BM_Compress/LEVEL/PHOTO, BM_Decompress/LEVEL/PHOTO
//                       the state alone through zstd at other levels, for
//                       the choice of the level, with pages of painted
//                       pictures (PHOTO 0) and of photographs, grainy all
//                       over (PHOTO 1).
// Goal: taking and restoring a snapshot each within about 5 ms apart from
// the disk.
#include <benchmark/benchmark.h>
#include <zstd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/snapshot/snapshot_file.h"
#include "median_reporter.h"

namespace tsumugi {
namespace {

constexpr int kLevels[] = {-5, -3, -1, 1, 3};

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  return x ^ (x >> 16);
}

uint32_t Rgb(double r, double g, double b) {
  auto channel = [](double v) { return static_cast<uint32_t>(std::clamp(v, 0.0, 255.0)); };
  return channel(r) << 16 | channel(g) << 8 | channel(b);
}

// A page as a game of that era shows one: a painted background (a sky
// shading into the horizon with a little grain, textured ground below), a
// figure in flat bands of colour with a dark outline, and a translucent
// text window with white text. A photograph has grain everywhere.
gdi::Surface Picture(int seed, bool photo = false) {
  gdi::Surface page(640, 480);
  const double cx = 220 + 60 * seed, cy = 230, rx = 90, ry = 170;
  for (int y = 0; y < 480; ++y) {
    uint32_t* row = page.Row(y);
    for (int x = 0; x < 640; ++x) {
      const uint32_t h = Hash(static_cast<uint32_t>((y * 640 + x) * 4 + seed));
      const double grain = static_cast<double>(h & 3) - 1.5;
      double r, g, b;
      if (y < 300) {
        r = 90 + y * 0.45 + grain, g = 140 + y * 0.3 + grain, b = 230 - y * 0.1 + grain;
      } else {
        const double texture = static_cast<double>((h >> 2) & 31) - 16;
        r = 70 + texture, g = 120 + texture + (y - 300) * 0.2, b = 50 + texture / 2;
      }
      const double dx = (x - cx) / rx, dy = (y - cy) / ry, d = dx * dx + dy * dy;
      if (d < 1) {
        const int band = dx + dy < -0.4 ? 2 : dx + dy < 0.5 ? 1 : 0;
        r = 150 + 40 * band, g = 90 + 35 * band, b = 110 + 30 * band;
        if (d > 0.93) r = g = b = 40;
      }
      if (photo) {
        const double noise = static_cast<double>((h >> 8) & 7) - 3.5;
        r += noise, g -= noise, b += noise / 2;
      }
      if (y >= 360 && y < 464 && x >= 16 && x < 624) {
        r = r * 0.4 + 20, g = g * 0.4 + 20, b = b * 0.4 + 60;
        if ((x / 2 + y / 3 * 7) % 11 < 3 && (y - 372) % 28 < 20 && x % 32 < 26) {
          r = g = b = 255;
        }
      }
      row[x] = Rgb(r, g, b);
    }
  }
  return page;
}

struct Sample {
  Sample() {
    screen = Picture(0);
    for (int i = 0; i < 4; ++i) {
      const gdi::Surface page = Picture(i);
      file.payload.append(reinterpret_cast<const char*>(page.Data()),
                          static_cast<size_t>(page.Width()) * page.Height() * 4);
    }
    file.payload.append(reinterpret_cast<const char*>(screen.Data()),
                        static_cast<size_t>(screen.Width()) * screen.Height() * 4);
    for (int i = 0; i < 5; ++i) {
      const gdi::Surface page = Picture(i % 4, true);
      photos.append(reinterpret_cast<const char*>(page.Data()),
                    static_cast<size_t>(page.Width()) * page.Height() * 4);
    }
    file.game = "bench";
    file.metadata = {u"紬の物語", 1234567, "2024-03-09T21:05:07",
                     u"「ここはどこ？」\n少女は呟いた。窓の外には見たことのない街が広がっていた。"};
    file.thumbnail = MakeThumbnail(screen);
    std::string error;
    if (!EncodeSnapshotFile(file, &bytes, &error)) std::fprintf(stderr, "%s\n", error.c_str());
  }
  gdi::Surface screen;
  SnapshotFile file;
  std::string bytes;
  // Pages of photographs, for the choice of the level.
  std::string photos;
};

const Sample& TheSample() {
  static const Sample sample;
  return sample;
}

const std::string& Payload(int64_t photo) {
  return photo != 0 ? TheSample().photos : TheSample().file.payload;
}

void BM_Encode(benchmark::State& state) {
  SnapshotFile file = TheSample().file;
  for (auto _ : state) {
    file.thumbnail = MakeThumbnail(TheSample().screen);
    std::string bytes, error;
    if (!EncodeSnapshotFile(file, &bytes, &error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMillisecond)->Repetitions(9);

void BM_Write(benchmark::State& state) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / "tsumugi-snapshot-bench.png";
  SnapshotFile file = TheSample().file;
  for (auto _ : state) {
    file.thumbnail = MakeThumbnail(TheSample().screen);
    std::string error;
    if (!WriteSnapshotFile(path, file, &error)) state.SkipWithError(error.c_str());
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond)->Repetitions(9);

void BM_Decode(benchmark::State& state) {
  for (auto _ : state) {
    const SnapshotReadResult read = DecodeSnapshotFile(TheSample().bytes, "bench");
    if (read.problem != SnapshotProblem::kNone) state.SkipWithError(read.detail.c_str());
    benchmark::DoNotOptimize(read.file.payload.data());
  }
}
BENCHMARK(BM_Decode)->Unit(benchmark::kMillisecond)->Repetitions(9);

std::string Compress(const std::string& data, int level) {
  std::string out(ZSTD_compressBound(data.size()), '\0');
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, level);
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1);
  out.resize(ZSTD_compress2(c, out.data(), out.size(), data.data(), data.size()));
  ZSTD_freeCCtx(c);
  return out;
}

void BM_Compress(benchmark::State& state) {
  const int level = static_cast<int>(state.range(0));
  const std::string& payload = Payload(state.range(1));
  for (auto _ : state) benchmark::DoNotOptimize(Compress(payload, level).data());
}
void EveryLevel(benchmark::internal::Benchmark* b) {
  for (const int photo : {0, 1}) {
    for (const int level : kLevels) b->Args({level, photo});
  }
}
BENCHMARK(BM_Compress)->Apply(EveryLevel)->Unit(benchmark::kMillisecond)->Repetitions(5);

void BM_Decompress(benchmark::State& state) {
  const std::string& payload = Payload(state.range(1));
  const std::string packed = Compress(payload, static_cast<int>(state.range(0)));
  std::string out(payload.size(), '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(ZSTD_decompress(out.data(), out.size(), packed.data(), packed.size()));
  }
}
BENCHMARK(BM_Decompress)->Apply(EveryLevel)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  return tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    using tsumugi::TheSample;
    // Wall-clock time, and processor time: the work alone on a busy machine.
    auto times = [&](const std::string& name) {
      const auto m = reporter.Of(name);
      char text[48];
      std::snprintf(text, sizeof text, "%6.2f ms (%6.2f)", m.real, m.cpu);
      return std::string(text);
    };
    const double raw = static_cast<double>(TheSample().file.payload.size());
    std::printf(
        "\nmedians, wall clock (processor), a state of %.1f MB "
        "(four 640x480 pages and the screen):\n",
        raw / (1 << 20));
    std::printf("  snapshot taken, in memory     %s  (goal: about 5 ms)\n",
                times("BM_Encode").c_str());
    std::printf("  written, flushed and renamed  %s\n", times("BM_Write").c_str());
    std::printf("  snapshot read back            %s  (goal: about 5 ms)\n",
                times("BM_Decode").c_str());
    std::printf("  file                          %6.2f MB  (%.0f%% of the state)\n",
                static_cast<double>(TheSample().bytes.size()) / (1 << 20),
                100.0 * static_cast<double>(TheSample().bytes.size()) / raw);
    for (const int photo : {0, 1}) {
      std::printf("\n  %-11s compress             decompress           packed\n",
                  photo != 0 ? "photographs" : "paintings");
      for (const int level : tsumugi::kLevels) {
        const std::string arg = "/" + std::to_string(level) + "/" + std::to_string(photo);
        const std::string& payload = tsumugi::Payload(photo);
        const double packed = static_cast<double>(tsumugi::Compress(payload, level).size());
        std::printf("  level %3d   %s  %s  %4.0f%%\n", level, times("BM_Compress" + arg).c_str(),
                    times("BM_Decompress" + arg).c_str(),
                    100.0 * packed / static_cast<double>(payload.size()));
      }
    }
  });
}
