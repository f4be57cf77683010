// Quick save and quick load of a running game, timed as the player's layer
// does them (F5 and F9), on two games standing at a wait (the first
// argument of every benchmark):
//   game 0  the bundled sample game at its busiest wait: played with its
//           own input (games/sample/play.input), a snapshot of every wait
//           is looked at and the one with the most going on is kept (pages
//           in use, media playing, text in the window, then the size of the
//           state) and put back into a fresh engine of the game; the table
//           of the waits is printed with the summary;
//   game 1  a small game whose four off-screen pages hold pictures, with a
//           sprite, printed text, its text window and music, run up to its
//           first click wait.
//   BM_QuickSave   the whole quick save: the game taken, its state laid
//                  out, the thumbnail, compression and the PNG, written
//                  beside the old file, flushed and renamed over it;
//                  its parts:
//     BM_Take        the game taken (a copy of the state, the screen, the
//                    media);
//     BM_Payload     the state laid out as bytes;
//     BM_Thumbnail   the screen as shown, shrunk;
//     BM_Pack        compression and the PNG around it, in memory;
//     BM_PackEmpty   the same with an empty state: the PNG alone;
//     BM_Write       the file's bytes written, flushed and renamed;
//   BM_QuickLoad   the whole quick load: the file read and checked, the
//                  state decompressed and decoded, checked against the game
//                  and put in place (pictures loaded again, the screen
//                  presented, the media restored); its parts:
//     BM_ReadFile    read, every checksum, the thumbnail and the state
//                    decompressed;
//     BM_Decode      the state's bytes decoded and checked;
//     BM_Check       the snapshot checked against the game;
//     BM_Apply       the snapshot put in place.
// The allocator keeps the memory it is given back, so that the figures are
// those of the work. The whole save and load are also timed with fresh
// memory (second argument 1): before each, the allocator gives all it
// holds free back to the kernel, as it may well have done between two
// saves of a game being played, and the kernel then hands out every page
// anew. "faults" counts those page faults; they are dear on some machines,
// virtual ones above all.
// Goals: a snapshot within 5 ms, a restore within 16 ms, a file of at most
// 1 MB for a 640x480 game with four pages, and 100 snapshots kept in
// memory within 64 MB.
//
// The headless host presents by counting and keeps the media's time
// without decoding them, so a window's present and the decoders' restart
// are not in these figures; the disk's flush is, and varies with what
// else writes to the disk.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "bench_game.h"
#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/snapshot/snapshot_file.h"
#include "engine/state/snapshot.h"
#include "engine/state/state_layout.h"
#include "median_reporter.h"
#include "platform/headless/input_script.h"

#ifndef TSUMUGI_SAMPLE_GAME_DIR
#error "the build names the sample game's folder"
#endif

namespace tsumugi {
namespace {

namespace fs = std::filesystem;

constexpr double kMiB = 1 << 20;

}  // namespace

// Walks a snapshot's state as the writer does and counts the bytes it keeps
// beyond its own structure: pixels, texts that do not fit in place, the
// elements of its vectors. It lives outside the unnamed namespace, so that
// the layout's walks, which look up Walk in the namespace of their Io,
// find the state's own Walk functions for it.
class HeapBytes {
 public:
  static constexpr bool kReading = false;

  void operator()(bool&) {}
  template <typename T>
    requires(std::is_integral_v<T> || std::is_enum_v<T>)
  void operator()(T&) {}
  void operator()(std::u16string& text) { Text(text); }
  void operator()(std::string& text) { Text(text); }
  void operator()(std::filesystem::path& path) { Text(path.native()); }
  void operator()(gdi::Surface& surface) {
    pixels += static_cast<size_t>(surface.Width()) * static_cast<size_t>(surface.Height()) * 4;
  }
  void operator()(std::mt19937&) {}
  void Count(size_t&, size_t) {}

  size_t pixels = 0;
  size_t other = 0;

 private:
  template <typename S>
  void Text(const S& text) {
    const auto* data = reinterpret_cast<const char*>(text.data());
    const auto* self = reinterpret_cast<const char*>(&text);
    const bool in_place = data >= self && data < self + sizeof text;
    if (!in_place) other += (text.capacity() + 1) * sizeof(typename S::value_type);
  }
};

template <typename T>
void Walk(HeapBytes& io, std::vector<T>& items) {
  io.other += items.capacity() * sizeof(T);
  for (T& item : items) Walk(io, item);
}

namespace {

struct MemoryUse {
  size_t structure = 0;  // sizeof(Snapshot)
  size_t pixels = 0;
  size_t other = 0;
  size_t Total() const { return structure + pixels + other; }
};

MemoryUse MemoryOf(const Snapshot& taken) {
  Snapshot s = taken;
  HeapBytes io;
  Walk(io, s.state);
  io.other += s.scenarios.capacity() * sizeof(ScenarioMark);
  for (ScenarioMark& mark : s.scenarios) io(mark.name);
  io(s.screen);
  for (MediaSlotSnapshot& slot : s.media.slots) {
    io(slot.file);
    // A map's node: the entry and about four words of its own.
    for (auto& [track, file] : slot.tracks) {
      io.other += sizeof(std::pair<const int, fs::path>) + 32;
      io(file);
    }
  }
  io(s.media.sound.file);
  io(s.media.box.picture);
  return {sizeof(Snapshot), io.pixels, io.other};
}

// --- The games -------------------------------------------------------------------------------

// What is going on at a wait, for the choice of the busiest and the report.
struct WaitInfo {
  uint64_t time = 0;
  int pages = 0;
  int playing = 0;
  size_t characters = 0;
  int buttons = 0;
  size_t state_bytes = 0;

  auto Rank() const { return std::tie(pages, playing, characters, state_bytes); }
};

WaitInfo InfoOf(const Snapshot& s) {
  WaitInfo info;
  info.time = s.engine_time;
  for (const gdi::Surface& page : s.state.pages.Pages) info.pages += page.Empty() ? 0 : 1;
  for (const MediaSlotSnapshot& slot : s.media.slots) info.playing += slot.playing ? 1 : 0;
  info.playing += s.media.sound.active ? 1 : 0;
  for (const TextLine& line : s.state.text.TextLines) info.characters += line.Text.size();
  info.buttons = static_cast<int>(s.state.buttons.Buttons.size());
  info.state_bytes = EncodeSnapshotPayload(s).size();
  return info;
}

std::string Row(const WaitInfo& w) {
  char text[120];
  std::snprintf(text, sizeof text, "%8llu ms  %d pages  %d playing  %3zu characters  %d buttons  %5.2f MB",
                static_cast<unsigned long long>(w.time), w.pages, w.playing, w.characters,
                w.buttons, static_cast<double>(w.state_bytes) / kMiB);
  return text;
}

std::string ReadBytes(const fs::path& path) {
  std::string bytes, error;
  if (!ReadWholeFile(path, &bytes, &error)) throw std::runtime_error(error);
  return bytes;
}

// A game at a wait in an engine of its own, with a quick save of it on disk.
class Subject {
 public:
  virtual ~Subject() = default;
  virtual Engine& engine() = 0;
  virtual headless::HeadlessHost& host() = 0;

  std::string name;
  // The waits looked at, and the one kept.
  std::vector<WaitInfo> waits;
  WaitInfo kept;
  fs::path file;
  // The game's snapshot, its file as written, and the same file around an
  // empty state.
  Snapshot snapshot;
  std::string file_bytes;
  size_t empty_file_bytes = 0;

 protected:
  // Called once the engine stands at the wait: the snapshot, its file
  // written where the benchmarks read it, the same file around an empty
  // state.
  void Prepare(const fs::path& folder) {
    Engine& e = engine();
    snapshot = TakeSnapshot(e, std::nullopt);
    kept = InfoOf(snapshot);
    file = folder / "saves" / "quicksave.png";
    fs::create_directories(file.parent_path());
    SnapshotFile f = SnapshotFileFor(e, snapshot);
    f.thumbnail = MakeThumbnail(host().ShownScreen());
    f.payload = EncodeSnapshotPayload(snapshot);
    std::string error, empty;
    if (!EncodeSnapshotFile(f, &file_bytes, &error) || !WriteSnapshotFile(file, f, &error)) {
      throw std::runtime_error(error);
    }
    f.payload.clear();
    if (!EncodeSnapshotFile(f, &empty, &error)) throw std::runtime_error(error);
    empty_file_bytes = empty.size();
  }
};

// The sample game, played to its busiest wait and restored there.
class SampleGame : public Subject {
 public:
  SampleGame() {
    name = "the sample game";
    const fs::path game = folder_.path();
    fs::copy(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data", game / "data",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const headless::InputParseResult input =
        headless::ParseInputScript(ReadBytes(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "play.input"));
    if (!input.error.empty()) throw std::runtime_error("play.input: " + input.error);

    std::optional<Snapshot> busiest;
    WaitInfo most;
    {
      std::ostringstream out, err;
      headless::HeadlessOptions options;
      options.actions = input.actions;
      options.out = &out;
      options.err = &err;
      headless::HeadlessHost played(options);
      Engine engine(played, Options());
      engine.player.snapshot_points = [&](std::optional<uint32_t> pause_left) {
        if (pause_left) return;
        Snapshot s = TakeSnapshot(engine, std::nullopt);
        waits.push_back(InfoOf(s));
        if (!busiest || most.Rank() < waits.back().Rank()) {
          busiest = std::move(s);
          most = waits.back();
        }
      };
      if (engine.Run() != ExitStatus::kNormal || !busiest) {
        throw std::runtime_error("the sample game did not play through: " + out.str() + err.str());
      }
    }

    headless::HeadlessOptions options;
    options.start_time = busiest->engine_time;
    options.out = &out_;
    options.err = &err_;
    host_ = std::make_unique<headless::HeadlessHost>(options);
    engine_ = std::make_unique<Engine>(*host_, Options());
    engine_->startup.StartEngine(/*run_script=*/false);
    ApplySnapshot(*engine_, *busiest, HeldInput::kAsTaken);
    ResumeAfterSnapshot(*engine_, *busiest);
    Prepare(game);
  }
  // The engine goes before its host and its folder.
  ~SampleGame() override {
    engine_.reset();
    host_.reset();
  }
  Engine& engine() override { return *engine_; }
  headless::HeadlessHost& host() override { return *host_; }

 private:
  EngineOptions Options() const {
    EngineOptions options;
    options.game_folder = folder_.path();
    options.settings_file = folder_.path() / "none.ini";
    options.save_dir = folder_.path() / "saves";
    return options;
  }

  bench::BenchFolder folder_;
  std::ostringstream out_, err_;
  std::unique_ptr<headless::HeadlessHost> host_;
  std::unique_ptr<Engine> engine_;
};

// Four pages of pictures composed off screen (two backgrounds, a figure,
// printed titles, one page made of halves of two), one of them on the screen with the figure over it, the
// sample game's framed window with a page of text, its music playing.
constexpr char kFourPages[] =
    ".cap 四枚のページ\n"
    ".mid morning 0\n"
    ".pic off0 bg1\n"
    ".spr off0 chara 0 0 220 96\n"
    ".pic off1 bg2\n"
    ".spr off1 chara 0 0 60 96\n"
    ".tpr off1 40 40 夕暮れ\n"
    ".pic off2 bg2\n"
    ".spr off2 chara 0 0 400 96\n"
    ".tpr off2 40 40 二つの景色\n"
    ".pic off3 bg1\n"
    ".pic off3 off2 0 0 0 0 320 480 0 0\n"
    ".pic screen off0\n"
    ".txt space pic window\n"
    ".txt space pos 0 312\n"
    ".txt canvas pos 28 18\n"
    ".txt canvas size 584 124\n"
    ".txt maxline 4\n"
    ".txt font size 24\n"
    ".mst tcl clk 0 4 5 500\n"
    ".tsw\n"
    "おはようございます。紬のサンプルゲームです。\n"
    "文字は一文字ずつ、打たれていきます。\n"
    "四枚のページには、それぞれ絵が描かれています。\n"
    ".tcl 0 0\n"
    ".end\n";

std::string Asset(const char* name) {
  return ReadBytes(fs::path(TSUMUGI_SAMPLE_GAME_DIR) / "data" / name);
}

class FourPages : public Subject {
 public:
  FourPages()
      : game_(kFourPages, false, true,
              {{"config.txt", ".scr 3\r\n"},
               {"bg1.bmp", Asset("bg1.bmp")},
               {"bg2.bmp", Asset("bg2.bmp")},
               {"chara.bmp", Asset("chara.bmp")},
               {"window.bmp", Asset("window.bmp")},
               {"tcl.bmp", Asset("tcl.bmp")},
               {"clk.bmp", Asset("clk.bmp")},
               {"morning.mid", Asset("morning.mid")}}) {
    name = "four pages";
    Prepare(game_.engine().options.game_folder);
  }
  Engine& engine() override { return game_.engine(); }
  headless::HeadlessHost& host() override { return game_.host(); }

 private:
  bench::BenchGame game_;
};

std::array<std::unique_ptr<Subject>, 2> subjects;

Subject& TheGame(int64_t n) {
  auto& subject = subjects[static_cast<size_t>(n)];
  if (!subject) {
    if (n == 0) {
      subject = std::make_unique<SampleGame>();
    } else {
      subject = std::make_unique<FourPages>();
    }
  }
  return *subject;
}

// --- Memory --------------------------------------------------------------------------------

// The allocator is told to keep the memory it is given back, so that the
// figures are those of the work, whatever the allocator did before: by
// default it returns large blocks to the kernel as they are freed, or once
// enough lies free, and which benchmark then pays for fresh memory depends
// on the history of the run.
void KeepFreedMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, INT_MAX);
}

// Minor page faults of the process so far: memory the kernel hands out
// afresh.
long PageFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

// Page faults per iteration, by benchmark, for the summary.
std::map<std::string, double> faults_of;

// Runs `step` as the benchmark's iterations; "cold" (the benchmark's second
// argument, when it has one) first gives all the memory the allocator holds
// free back to the kernel, as it may have done between two saves of a game
// being played, so that the step pays for fresh memory. Its page faults go
// beside the times.
template <typename Step>
void Iterate(benchmark::State& state, const char* name, Step step) {
  const bool cold = state.range(1) != 0;
  const long before = PageFaults();
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      malloc_trim(0);
      state.ResumeTiming();
    }
    if (std::string error = step(); !error.empty()) {
      state.SkipWithError(error.c_str());
      break;
    }
  }
  const double faults = static_cast<double>(PageFaults() - before) /
                        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
  state.counters["faults"] = faults;
  faults_of[std::string(name) + "/" + std::to_string(state.range(0)) + "/" +
            std::to_string(state.range(1))] = faults;
}

// --- Quick save ------------------------------------------------------------------------------

// F5, as the player's layer does it.
std::string QuickSave(Subject& game) {
  Engine& e = game.engine();
  const Snapshot snapshot = TakeSnapshot(e, std::nullopt);
  SnapshotFile file = SnapshotFileFor(e, snapshot);
  file.thumbnail = MakeThumbnail(game.host().ShownScreen());
  file.payload = EncodeSnapshotPayload(snapshot);
  std::error_code ec;
  fs::create_directories(game.file.parent_path(), ec);
  std::string error;
  if (!WriteSnapshotFile(game.file, file, &error)) return error;
  return "";
}

void BM_QuickSave(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_QuickSave", [&] { return QuickSave(game); });
}

void BM_Take(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_Take", [&] {
    const Snapshot snapshot = TakeSnapshot(game.engine(), std::nullopt);
    benchmark::DoNotOptimize(&snapshot);
    return std::string();
  });
}

void BM_Payload(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_Payload", [&] {
    benchmark::DoNotOptimize(EncodeSnapshotPayload(game.snapshot).data());
    return std::string();
  });
}

void BM_Thumbnail(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_Thumbnail", [&] {
    const gdi::Surface thumbnail = MakeThumbnail(game.host().ShownScreen());
    benchmark::DoNotOptimize(thumbnail.Data());
    return std::string();
  });
}

// Compression and the PNG, in memory; with `empty`, around an empty state.
void Pack(benchmark::State& state, const char* name, bool empty) {
  Subject& game = TheGame(state.range(0));
  SnapshotFile file = SnapshotFileFor(game.engine(), game.snapshot);
  file.thumbnail = MakeThumbnail(game.host().ShownScreen());
  if (!empty) file.payload = EncodeSnapshotPayload(game.snapshot);
  Iterate(state, name, [&] {
    std::string bytes, error;
    if (!EncodeSnapshotFile(file, &bytes, &error)) return error;
    benchmark::DoNotOptimize(bytes.data());
    return std::string();
  });
}
void BM_Pack(benchmark::State& state) { Pack(state, "BM_Pack", false); }
void BM_PackEmpty(benchmark::State& state) { Pack(state, "BM_PackEmpty", true); }

void BM_Write(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_Write", [&] {
    std::string error;
    return WriteWholeFile(game.file, game.file_bytes, &error) ? std::string() : error;
  });
}

// --- Quick load ------------------------------------------------------------------------------

// F9, as the player's layer does it.
std::string QuickLoad(Subject& game) {
  Engine& e = game.engine();
  const SnapshotReadResult read = ReadSnapshotFile(game.file, SnapshotGameName(e));
  if (read.problem != SnapshotProblem::kNone) return read.detail;
  Snapshot snapshot;
  std::string why;
  if (!DecodeSnapshotPayload(read.file.payload, &snapshot, &why)) return why;
  std::vector<std::u16string> changed;
  if (!CheckSnapshot(e, snapshot, &changed).empty()) return "the snapshot does not fit the game";
  ApplySnapshot(e, snapshot, HeldInput::kAsNow);
  ResumeAfterSnapshot(e, snapshot);
  return "";
}

void BM_QuickLoad(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_QuickLoad", [&] { return QuickLoad(game); });
}

void BM_ReadFile(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  const std::string name = SnapshotGameName(game.engine());
  Iterate(state, "BM_ReadFile", [&] {
    const SnapshotReadResult read = ReadSnapshotFile(game.file, name);
    benchmark::DoNotOptimize(read.file.payload.data());
    return read.problem == SnapshotProblem::kNone ? std::string() : read.detail;
  });
}

void BM_Decode(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  const std::string payload = EncodeSnapshotPayload(game.snapshot);
  Iterate(state, "BM_Decode", [&] {
    Snapshot snapshot;
    std::string why;
    if (!DecodeSnapshotPayload(payload, &snapshot, &why)) return why;
    benchmark::DoNotOptimize(&snapshot);
    return std::string();
  });
}

void BM_Check(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_Check", [&] {
    std::vector<std::u16string> changed;
    return std::string(CheckSnapshot(game.engine(), game.snapshot, &changed).empty()
                           ? ""
                           : "the snapshot does not fit the game");
  });
}

void BM_Apply(benchmark::State& state) {
  Subject& game = TheGame(state.range(0));
  Iterate(state, "BM_Apply", [&] {
    ApplySnapshot(game.engine(), game.snapshot, HeldInput::kAsNow);
    ResumeAfterSnapshot(game.engine(), game.snapshot);
    return std::string();
  });
}

// The whole save and load on both games, with the memory kept and fresh;
// their parts with the memory kept.
void Whole(benchmark::internal::Benchmark* b) {
  b->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond)->Repetitions(9);
}
void Part(benchmark::internal::Benchmark* b) {
  b->ArgsProduct({{0, 1}, {0}})->Unit(benchmark::kMillisecond)->Repetitions(9);
}
BENCHMARK(BM_QuickSave)->Apply(Whole);
BENCHMARK(BM_Take)->Apply(Part);
BENCHMARK(BM_Payload)->Apply(Part);
BENCHMARK(BM_Thumbnail)->Apply(Part);
BENCHMARK(BM_Pack)->Apply(Part);
BENCHMARK(BM_PackEmpty)->Apply(Part);
BENCHMARK(BM_Write)->Apply(Part);
BENCHMARK(BM_QuickLoad)->Apply(Whole);
BENCHMARK(BM_ReadFile)->Apply(Part);
BENCHMARK(BM_Decode)->Apply(Part);
BENCHMARK(BM_Check)->Apply(Part);
BENCHMARK(BM_Apply)->Apply(Part);

}  // namespace
}  // namespace tsumugi

int main(int argc, char** argv) {
  tsumugi::KeepFreedMemory();
  const int status = tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    using tsumugi::kMiB;
    std::vector<std::string> summary;
    for (int n = 0; n < 2; ++n) {
      tsumugi::Subject& game = tsumugi::TheGame(n);
      const std::string warm = "/" + std::to_string(n) + "/0";
      const std::string cold = "/" + std::to_string(n) + "/1";
      // Wall-clock time, and processor time: the work alone on a busy
      // machine; with fresh memory, the page faults.
      auto times = [&](const std::string& name, const std::string& arg = "") {
        const auto m = reporter.Of(name + (arg.empty() ? warm : arg));
        char text[80];
        int length = std::snprintf(text, sizeof text, "%7.2f ms (%6.2f)", m.real, m.cpu);
        if (arg == cold) {
          std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "  %5.0f page faults",
                        tsumugi::faults_of[name + cold]);
        }
        return std::string(text);
      };
      std::printf("\n%s, at the wait of %s\n", game.name.c_str(), tsumugi::Row(game.kept).c_str());
      if (!game.waits.empty()) {
        std::printf("  the waits of its play-through:\n");
        for (const tsumugi::WaitInfo& w : game.waits) {
          std::printf("    %s\n", tsumugi::Row(w).c_str());
        }
      }
      std::printf("  medians, wall clock (processor):\n");
      std::printf("  quick save                    %s  (goal: 5 ms)\n", times("BM_QuickSave").c_str());
      std::printf("    taken                       %s\n", times("BM_Take").c_str());
      std::printf("    state laid out              %s\n", times("BM_Payload").c_str());
      std::printf("    thumbnail                   %s\n", times("BM_Thumbnail").c_str());
      std::printf("    compressed, PNG             %s\n", times("BM_Pack").c_str());
      std::printf("      of which the PNG alone    %s\n", times("BM_PackEmpty").c_str());
      std::printf("    written, flushed, renamed   %s\n", times("BM_Write").c_str());
      std::printf("    with fresh memory           %s\n", times("BM_QuickSave", cold).c_str());
      std::printf("  quick load                    %s  (goal: 16 ms)\n", times("BM_QuickLoad").c_str());
      std::printf("    file read, decompressed     %s\n", times("BM_ReadFile").c_str());
      std::printf("    state decoded               %s\n", times("BM_Decode").c_str());
      std::printf("    checked against the game    %s\n", times("BM_Check").c_str());
      std::printf("    put in place                %s\n", times("BM_Apply").c_str());
      std::printf("    with fresh memory           %s\n", times("BM_QuickLoad", cold).c_str());

      const double file = static_cast<double>(game.file_bytes.size());
      const double raw = static_cast<double>(game.kept.state_bytes);
      const double packed = static_cast<double>(game.file_bytes.size() - game.empty_file_bytes);
      const tsumugi::MemoryUse memory = tsumugi::MemoryOf(game.snapshot);
      const double one = static_cast<double>(memory.Total());
      std::printf("  file                          %9.0f bytes, %5.2f MB  (goal: 1 MB with four pages)\n",
                  file, file / kMiB);
      std::printf("  state laid out                %9.0f bytes, %5.2f MB; compressed %5.2f MB (%.1f%%)\n",
                  raw, raw / kMiB, packed / kMiB, 100.0 * packed / raw);
      std::printf("  one snapshot in memory        %9.0f bytes, %5.2f MB  (pixels %.2f MB, the rest %.0f kB)\n",
                  one, one / kMiB, static_cast<double>(memory.pixels) / kMiB,
                  static_cast<double>(memory.structure + memory.other) / 1024);
      std::printf("  100 snapshots in memory       %8.1f MB  (goal: 64 MB)\n", 100 * one / kMiB);
      std::printf("  100 kept compressed           %8.1f MB\n", 100 * packed / kMiB);

      char line[200];
      std::snprintf(line, sizeof line,
                    "Snapshot of %s: %.2f ms median, %.2f ms with fresh memory (goal 5 ms)",
                    game.name.c_str(), reporter.Of("BM_QuickSave" + warm).real,
                    reporter.Of("BM_QuickSave" + cold).real);
      summary.push_back(line);
      std::snprintf(line, sizeof line,
                    "Restore of %s: %.2f ms median, %.2f ms with fresh memory (goal 16 ms)",
                    game.name.c_str(), reporter.Of("BM_QuickLoad" + warm).real,
                    reporter.Of("BM_QuickLoad" + cold).real);
      summary.push_back(line);
      std::snprintf(line, sizeof line, "Snapshot file of %s: %.0f bytes (goal 1,048,576 with four pages)",
                    game.name.c_str(), file);
      summary.push_back(line);
      std::snprintf(line, sizeof line,
                    "Snapshots of %s in memory: %.1f MB for one, %.0f MB for 100, %.1f MB for 100 "
                    "compressed (goal 64 MB for 100)",
                    game.name.c_str(), one / kMiB, 100 * one / kMiB, 100 * packed / kMiB);
      summary.push_back(line);
    }
    std::printf("\n");
    for (const std::string& line : summary) std::printf("%s\n", line.c_str());
  });
  tsumugi::subjects = {};
  return status;
}
