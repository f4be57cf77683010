// Speed of video pictures, MIDI music and restored media.
//
// Prints, from one run: the median time to decode, scale and draw one
// picture of a 640 x 480 video into a 640 x 480 video box, for Cinepak and
// Microsoft Video 1 (videos made by the benchmark itself), the same for a
// 320 x 240 video stretched to the box, the time to render one second
// of a 16-channel MIDI song with the distribution's SoundFont, as a share of
// one processor core, and the time to restore a snapshot with a WAV or an
// MP3 60 s in and with that song 30 s in, rendered again or chased, and
// the first snapshot of the MP3, which measures its length.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "median_reporter.h"
#include "platform/gdi/surface.h"
#include "platform/media/media_devices.h"
#include "platform/media/midi_player.h"
#include "platform/media/video_file.h"
#include "support/media_fixtures.h"

namespace {

namespace fs = std::filesystem;
using tsumugi::gdi::Surface;
using namespace tsumugi::media;

fs::path Folder() {
  static const fs::path folder = [] {
    fs::path f = fs::temp_directory_path() / ("tsumugi-media-bench-" + std::to_string(::getpid()));
    fs::create_directories(f);
    return f;
  }();
  return folder;
}

fs::path Video(const std::string& codec, int width, int height) {
  const fs::path path = Folder() / (codec + std::to_string(width) + ".avi");
  if (!fs::exists(path)) {
    tsumugi::test::VideoParams params;
    params.codec = codec;
    params.width = width;
    params.height = height;
    // Cinepak's encoder is slow: fewer pictures, played round and round.
    params.frames = codec == "cinepak" ? 8 : 30;
    params.busy = true;
    std::string error;
    if (!tsumugi::test::WriteVideo(path, params, &error)) std::fprintf(stderr, "%s\n", error.c_str());
  }
  return path;
}

void VideoPicture(benchmark::State& state, const std::string& codec, int width, int height) {
  std::string error;
  std::unique_ptr<VideoFile> video = VideoFile::Open(Video(codec, width, height), &error);
  if (!video) {
    state.SkipWithError(error.c_str());
    return;
  }
  Surface box(640, 480);
  for (auto _ : state) {
    if (!video->DrawNext(&box)) {
      state.PauseTiming();
      static_cast<void>(video->Rewind());  // the file stays there for the whole run
      state.ResumeTiming();
      video->DrawNext(&box);
    }
    benchmark::DoNotOptimize(box.Data());
    benchmark::ClobberMemory();
  }
}

void BM_CinepakPicture(benchmark::State& state) { VideoPicture(state, "cinepak", 640, 480); }
void BM_Video1Picture(benchmark::State& state) { VideoPicture(state, "msvideo1", 640, 480); }
void BM_Video1Stretched(benchmark::State& state) { VideoPicture(state, "msvideo1", 320, 240); }

// Music of `seconds` seconds (four by default): every channel plays a
// four-note chord each quarter of a second with its own instrument (drums on
// channel 10).
fs::path Song(int seconds = 4) {
  const fs::path path = Folder() / ("song16-" + std::to_string(seconds) + ".mid");
  if (fs::exists(path)) return path;
  std::vector<tsumugi::test::MidiTrack> tracks;
  for (uint8_t channel = 0; channel < 16; ++channel) {
    tsumugi::test::MidiTrack track;
    track.push_back({0, {static_cast<uint8_t>(0xC0 | channel), static_cast<uint8_t>(channel * 7)}});
    for (int beat = 0; beat < seconds * 4; ++beat) {
      const uint8_t root = static_cast<uint8_t>(channel == 9 ? 35 + beat % 12 : 40 + channel * 2 + beat % 5);
      for (uint8_t k : {0, 4, 7, 12}) {
        track.push_back({0, {static_cast<uint8_t>(0x90 | channel), static_cast<uint8_t>(root + k), 90}});
      }
      track.push_back({230, {static_cast<uint8_t>(0x80 | channel), root, 0}});
      for (uint8_t k : {4, 7, 12}) {
        track.push_back({0, {static_cast<uint8_t>(0x80 | channel), static_cast<uint8_t>(root + k), 0}});
      }
      track.push_back({10, {0xFF, 0x01, 'x'}});
    }
    tracks.push_back(track);
  }
  std::ofstream(path, std::ios::binary) << tsumugi::test::MakeMidi(tracks);
  return path;
}

void BM_MidiSecond(benchmark::State& state) {
  std::string error;
  std::unique_ptr<MidiSynth> synth = MidiSynth::Create(DefaultSoundFont(), &error);
  std::unique_ptr<MidiPlayer> song = synth ? MidiPlayer::Open(Song(), synth.get(), &error) : nullptr;
  if (!song) {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<int16_t> second(44100 * 2);
  for (auto _ : state) {
    if (song->Read(second.data(), 44100) < 44100) {
      state.PauseTiming();
      static_cast<void>(song->Rewind());  // a song in memory always rewinds
      song->Read(second.data(), 4410);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(second.data());
  }
}

// A snapshot of devices playing `file` on `slot`, `seconds` into it.
tsumugi::MediaSnapshot PlayingAt(const fs::path& file, int slot, int seconds) {
  MediaDevices devices({});
  if (!devices.Open(slot, file)) std::abort();  // the files are the benchmark's own
  devices.Play(slot, true);
  tsumugi::MediaSnapshot state = devices.Capture();
  state.slots[static_cast<size_t>(slot)].position = static_cast<uint64_t>(seconds) * 44100;
  return state;
}

fs::path Sound(const std::string& kind, int seconds) {
  const fs::path path = Folder() / (std::to_string(seconds) + "s." + kind);
  if (!fs::exists(path)) {
    std::ofstream(path, std::ios::binary)
        << (kind == "mp3" ? tsumugi::test::MakeMp3(seconds * 1000)
                          : tsumugi::test::MakeWav(seconds * 1000, 22050));
  }
  return path;
}

void Restore(benchmark::State& state, const fs::path& file, int slot, int seconds,
             tsumugi::RestoreMode mode) {
  if (fs::file_size(file) == 0) {
    state.SkipWithError("no file");
    return;
  }
  const tsumugi::MediaSnapshot snapshot = PlayingAt(file, slot, seconds);
  MediaDevices::Options options;
  options.restore = mode;
  MediaDevices devices(options);
  for (auto _ : state) {
    devices.Restore(snapshot);
  }
  // The medium really was put back at its place.
  if (devices.Capture().slots[static_cast<size_t>(slot)].position != static_cast<uint64_t>(seconds) * 44100) {
    state.SkipWithError("not at its place");
  }
}

void BM_RestoreWav60(benchmark::State& state) {
  Restore(state, Sound("wav", 70), tsumugi::kMp3Slot, 60, tsumugi::RestoreMode::kExact);
}
void BM_RestoreMp360(benchmark::State& state) {
  Restore(state, Sound("mp3", 70), tsumugi::kMp3Slot, 60, tsumugi::RestoreMode::kExact);
}
void BM_RestoreMidi30Exact(benchmark::State& state) {
  Restore(state, Song(35), tsumugi::kMidiSlot, 30, tsumugi::RestoreMode::kExact);
}
// After the first restore the song's instruments are loaded (as they are
// for the song that plays at a quick load); the first one loads them from
// the SoundFont, some 20 ms more.
void BM_RestoreMidi30Fast(benchmark::State& state) {
  Restore(state, Song(35), tsumugi::kMidiSlot, 30, tsumugi::RestoreMode::kFast);
}

// The first snapshot of a medium decodes it to its end to know its length.
void BM_FirstCaptureMp3(benchmark::State& state) {
  const fs::path file = Sound("mp3", 70);
  for (auto _ : state) {
    state.PauseTiming();
    MediaDevices::Options options;
    options.sound = false;
    auto devices = std::make_unique<MediaDevices>(options);
    if (!devices->Open(tsumugi::kMp3Slot, file)) std::abort();
    state.ResumeTiming();
    benchmark::DoNotOptimize(devices->Capture());
    state.PauseTiming();
    devices.reset();
    state.ResumeTiming();
  }
}

BENCHMARK(BM_CinepakPicture)->Unit(benchmark::kMicrosecond)->Repetitions(9);
BENCHMARK(BM_Video1Picture)->Unit(benchmark::kMicrosecond)->Repetitions(9);
BENCHMARK(BM_Video1Stretched)->Unit(benchmark::kMicrosecond)->Repetitions(9);
BENCHMARK(BM_MidiSecond)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_RestoreWav60)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_RestoreMp360)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);
BENCHMARK(BM_RestoreMidi30Exact)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_RestoreMidi30Fast)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5);
BENCHMARK(BM_FirstCaptureMp3)->Unit(benchmark::kMillisecond)->Iterations(3)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  const int status = tsumugi::bench::RunAndSummarise(argc, argv, [](const auto& reporter) {
    auto median = [&](const char* name) { return reporter.Of(name); };
    const auto cinepak = median("BM_CinepakPicture");
    const auto video1 = median("BM_Video1Picture");
    const auto stretched = median("BM_Video1Stretched");
    const auto midi = median("BM_MidiSecond");
    const auto wav60 = median("BM_RestoreWav60");
    const auto mp360 = median("BM_RestoreMp360");
    const auto exact30 = median("BM_RestoreMidi30Exact");
    const auto fast30 = median("BM_RestoreMidi30Fast");
    const auto first_capture = median("BM_FirstCaptureMp3");
    std::printf("\nmedians                                wall-clock     processor\n");
    std::printf("  Cinepak 640x480 picture          %9.0f us  %9.0f us  (goal: under 2,000)\n",
                cinepak.real, cinepak.cpu);
    std::printf("  Video 1 640x480 picture          %9.0f us  %9.0f us  (goal: under 2,000)\n",
                video1.real, video1.cpu);
    std::printf("  Video 1 320x240 stretched        %9.0f us  %9.0f us\n", stretched.real,
                stretched.cpu);
    std::printf(
        "  one second of 16-channel MIDI    %9.1f ms  %9.1f ms  = %.1f%% of a core (goal: under "
        "5%%)\n",
        midi.real, midi.cpu, midi.cpu / 10.0);
    std::printf("  restore, WAV 60 s in             %9.1f ms  %9.1f ms\n", wav60.real, wav60.cpu);
    std::printf("  restore, MP3 60 s in             %9.1f ms  %9.1f ms\n", mp360.real, mp360.cpu);
    std::printf("  restore, MIDI 30 s in, rendered  %9.1f ms  %9.1f ms\n", exact30.real,
                exact30.cpu);
    std::printf("  restore, MIDI 30 s in, chased    %9.1f ms  %9.1f ms  (goal: under 16)\n",
                fast30.real, fast30.cpu);
    std::printf("  first snapshot, 70 s MP3         %9.1f ms  %9.1f ms\n", first_capture.real,
                first_capture.cpu);
    std::printf("  SoundFont: %s\n", DefaultSoundFont().c_str());
  });
  fs::remove_all(Folder());
  return status;
}
