// Snapshots of the media devices: a state captured at one frame of the mix
// and restored into other devices at another frame goes on with the same
// samples, the same pictures and the same stop notifications as the devices
// that never left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <set>
#include <sstream>

#include "platform/media/audio_file.h"
#include "platform/media/media_devices.h"
#include "support/media_fixtures.h"
#include "support/test_support.h"

namespace tsumugi::media {
namespace {
using namespace test;
namespace fs = std::filesystem;

const char* kSmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A song of about 1.2 s on a piano and the drums: held and sustained notes,
// a pitch bend, reverb.
std::string Song() {
  return MakeMidi({{{0, {0xC0, 0}},
                    {0, {0xB0, 91, 90}},
                    {0, {0x90, 60, 100}},
                    {0, {0x90, 64, 90}},
                    {240, {0xB0, 64, 127}},
                    {0, {0x80, 60, 0}},
                    {240, {0x90, 67, 100}},
                    {200, {0xE0, 0, 80}},
                    {40, {0xB0, 64, 0}},
                    {100, {0x80, 64, 0}},
                    {0, {0x80, 67, 0}},
                    {0, {0xE0, 0, 64}},
                    {60, {0x90, 72, 110}},
                    {272, {0x80, 72, 0}}},
                   {{0, {0x99, 36, 100}}, {480, {0x89, 36, 0}}, {0, {0x99, 38, 100}}, {480, {0x89, 38, 0}}}});
}

// Another song, played by devices before they restore a state.
std::string OtherSong() {
  return MakeMidi({{{0, {0xC1, 48}}, {0, {0xB1, 91, 127}}, {0, {0x91, 50, 120}}, {0, {0x91, 57, 120}},
                    {4000, {0x81, 50, 0}}}});
}

// The frames of sound a file gives.
uint64_t SoundFrames(const fs::path& file) {
  std::string error;
  std::unique_ptr<AudioFile> sound = AudioFile::Open(file, &error);
  if (!sound) return 0;
  sound->Seek(UINT64_MAX, true);
  return sound->Position();
}

struct Files {
  TempDir dir;
  fs::path wav, mp3, midi, other_midi, video, effect;
  bool soundfont = fs::exists(kSmallSoundFont);
  // Frames of the looping WAV (also CD track 2), and where the effect and
  // the MP3 end.
  uint64_t wav_frames = 0, effect_end = 0, mp3_end = 0;

  Files() {
    wav = dir / "loop.wav";
    WriteFile(wav, MakeWav(1100));
    WriteFile(dir / "track02.wav", MakeWav(1100));
    WriteFile(dir / "track03.wav", MakeWav(400, 22050, 1, 660));
    wav_frames = SoundFrames(wav);
    // The effect ends just before the WAV and the CD's track 2 start again,
    // so that the frames read ahead of the mix there already hold the next
    // pass and the next track.
    effect = dir / "effect.wav";
    effect_end = wav_frames - 20;
    WriteFile(effect, MakeWavFrames(static_cast<int64_t>(effect_end), 44100, 2, 880));
    const std::string mp3_bytes = MakeMp3(1500);
    if (!mp3_bytes.empty()) {
      mp3 = dir / "tone.mp3";
      WriteFile(mp3, mp3_bytes);
      mp3_end = SoundFrames(mp3);
    }
    midi = dir / "song.mid";
    WriteFile(midi, Song());
    other_midi = dir / "other.mid";
    WriteFile(other_midi, OtherSong());
    video = dir / "movie.avi";
    VideoParams params;
    params.frames = 15;
    params.sound = true;
    params.colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF};
    std::string error;
    if (!WriteVideo(video, params, &error)) ADD_FAILURE() << error;
  }
};

const Files& TheFiles() {
  static const Files files;
  return files;
}

// Every kind of medium at once, from the present frame: looping MIDI on
// slot 1 and a looping WAV on slot 2, a video with sound in the box, an MP3
// that plays once on slot 4, CD tracks 2 to the end of the disc, and a wave
// sound.
void StartEverything(MediaDevices& d, const Files& f, bool midi) {
  if (midi) {
    EXPECT_TRUE(d.Open(kMidiSlot, f.midi));
    d.Play(kMidiSlot, true);
  }
  EXPECT_TRUE(d.Open(kMp3Slot, f.wav));
  d.Play(kMp3Slot, true);
  EXPECT_TRUE(d.Open(kVideoSlot, f.video));
  VideoBox& box = d.Box();
  box.picture = gdi::Surface(320, 240, 0x808080);
  box.left = 160;
  box.top = 120;
  box.visible = true;
  d.ShowInVideoBox(kVideoSlot);
  d.Play(kVideoSlot, false);
  if (!f.mp3.empty()) {
    EXPECT_TRUE(d.Open(kSecondVideoSlot, f.mp3));
    d.Play(kSecondVideoSlot, false);
  }
  EXPECT_TRUE(d.OpenCd(kCdSlot, f.dir.path()));
  d.PlayTracks(kCdSlot, 2, 0);
  d.PlaySound(f.effect, false);
}

size_t Hash(const gdi::Surface& s) {
  return std::hash<std::string_view>{}(std::string_view(
      reinterpret_cast<const char*>(s.Data()), static_cast<size_t>(s.Width()) * s.Height() * 4));
}

// What devices did from the frame a Player started at: the mix, and the
// frames (from there) of each stop notification and of each change of the
// box's picture.
struct Record {
  std::vector<int16_t> mix;
  std::vector<uint64_t> notifications;
  std::vector<std::pair<uint64_t, size_t>> pictures;
};

// Plays devices on as the headless host does: the mix stops at every
// picture and end, and what is due is heard there before it goes on.
class Player {
 public:
  explicit Player(MediaDevices& d) : d_(d), base_(d.Position()) {}

  // Plays on to `to`, stopping also at `stops`; `at` is called at each stop
  // before the devices hear it (false) and after (true).
  void PlayTo(uint64_t to, const std::set<uint64_t>& stops = {},
              const std::function<void(bool)>& at = nullptr) {
    for (;;) {
      if (at) at(false);
      d_.Heard(d_.Position());
      if (d_.TakeNotification()) record.notifications.push_back(d_.Position() - base_);
      const size_t hash = Hash(d_.Box().picture);
      if (record.pictures.empty() || record.pictures.back().second != hash) {
        record.pictures.emplace_back(d_.Position() - base_, hash);
      }
      if (at) at(true);
      if (d_.Position() >= to) return;
      uint64_t stop = std::min(to, d_.Position() + 4096);
      if (std::optional<uint64_t> event = d_.NextEvent()) stop = std::min(stop, *event);
      if (auto next = stops.upper_bound(d_.Position()); next != stops.end()) stop = std::min(stop, *next);
      const size_t from = record.mix.size();
      record.mix.resize(from + (stop - d_.Position()) * 2);
      record.mix.resize(from + d_.Render(stop, record.mix.data() + from) * 2);
    }
  }

  Record record;

 private:
  MediaDevices& d_;
  uint64_t base_;
};

// "" when the mixes are the same, else where they first differ.
std::string Difference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  if (a.size() != b.size()) return "lengths " + std::to_string(a.size() / 2) + " and " + std::to_string(b.size() / 2);
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return "first different frame " + std::to_string(i / 2);
  }
  return "";
}

double Energy(const std::vector<int16_t>& mix, size_t from_frame, size_t to_frame) {
  double sum = 0;
  for (size_t i = from_frame * 2; i < to_frame * 2 && i < mix.size(); ++i) sum += static_cast<double>(mix[i]) * mix[i];
  return sum / static_cast<double>(std::max<size_t>(1, (to_frame - from_frame) * 2));
}

MediaDevices::Options Options(bool sound, std::ostream* err, RestoreMode mode = RestoreMode::kExact) {
  return {.sound = sound, .soundfont = kSmallSoundFont, .err = err, .restore = mode};
}

// A state taken from the devices that never left, and what they did after.
struct Taken {
  uint64_t frame;
  bool heard;
  MediaSnapshot state;
  size_t notifications;
};

// Captures at several frames of one run, restores each into devices that
// stand at another frame (some of them having played other music first),
// and compares what both make on to the same end.
void CheckRestores(bool sound) {
  const Files& f = TheFiles();
  const bool midi = f.soundfont || !sound;
  const uint64_t end = 100000;
  // Early on; where the effect ends, with the next pass and track read
  // ahead; at the end of the MP3 before the devices hear of it; during
  // track 3; late, the song in its second pass; and where the video ends.
  std::vector<std::pair<uint64_t, bool>> points = {
      {7000, true}, {f.effect_end, true}, {f.wav_frames + 8000, true}, {80000, true}};
  if (f.mp3_end > 0) points.emplace_back(f.mp3_end, false);
  const std::set<uint64_t> stops = {7000, f.wav_frames - 500, f.wav_frames + 8000, 80000};
  // The video is the first to stop.
  auto video_end = [](const Record& r, bool heard) { return heard && r.notifications.size() == 1; };

  std::ostringstream errors;
  MediaDevices a(Options(sound, &errors));
  StartEverything(a, f, midi);
  std::vector<Taken> taken;
  Player play_a(a);
  bool video_taken = false;
  play_a.PlayTo(end, stops, [&](bool heard) {
    bool take = !video_taken && video_end(play_a.record, heard);
    video_taken = video_taken || take;
    for (const auto& [frame, after] : points) take = take || (frame == a.Position() && after == heard);
    if (take) {
      taken.push_back({a.Position(), heard, a.Capture(), play_a.record.notifications.size()});
    }
  });
  ASSERT_EQ(taken.size(), points.size() + 1);
  ASSERT_GE(play_a.record.notifications.size(), 2u);
  EXPECT_EQ(errors.str(), "");
  if (sound) {
    EXPECT_GT(Energy(play_a.record.mix, 0, end), 1e5);
  }
  // What the state says of the media at the end of the MP3: it has ended
  // and not been heard of; the CD is on track 3; the video stopped.
  if (f.mp3_end > 0) {
    const Taken& t = *std::find_if(taken.begin(), taken.end(), [](const Taken& t) { return !t.heard; });
    const MediaSlotSnapshot& mp3 = t.state.slots[kSecondVideoSlot];
    EXPECT_TRUE(mp3.ended == 0 && !mp3.notified);
    EXPECT_EQ(mp3.position, f.mp3_end);
    EXPECT_EQ(t.state.slots[kCdSlot].track, 3);
    EXPECT_EQ(t.state.slots[kVideoSlot].ended,
              static_cast<int64_t>(play_a.record.notifications[0]) - static_cast<int64_t>(f.mp3_end));
  }

  for (size_t i = 0; i < taken.size(); ++i) {
    const Taken& t = taken[i];
    SCOPED_TRACE("captured at " + std::to_string(t.frame) + (t.heard ? "" : " before it was heard"));
    // Restored elsewhere on the clock, into devices that played nothing or
    // other music before.
    const uint64_t there = 3001 * i;
    MediaDevices b(Options(sound, &errors));
    if (i % 2 == 1 && midi) {
      EXPECT_TRUE(b.Open(kMidiSlot, f.other_midi));
      b.Play(kMidiSlot, false);
    }
    Player warm_up(b);
    warm_up.PlayTo(there);
    b.Restore(t.state);
    EXPECT_EQ(b.Capture(), t.state) << "a restored state reads back the same";
    Player play_b(b);
    play_b.PlayTo(there + (end - t.frame));
    EXPECT_EQ(errors.str(), "");

    const std::vector<int16_t> expected(play_a.record.mix.begin() + static_cast<std::ptrdiff_t>(t.frame * 2),
                                        play_a.record.mix.end());
    EXPECT_EQ(Difference(play_b.record.mix, expected), "");
    std::vector<uint64_t> notifications;
    for (size_t k = t.notifications; k < play_a.record.notifications.size(); ++k) {
      notifications.push_back(play_a.record.notifications[k] - t.frame);
    }
    EXPECT_EQ(play_b.record.notifications, notifications);
    // The picture shown at the frame, then each new one.
    std::vector<std::pair<uint64_t, size_t>> pictures;
    for (const auto& [frame, hash] : play_a.record.pictures) {
      if (frame <= t.frame) pictures.clear();
      pictures.emplace_back(std::max(frame, t.frame) - t.frame, hash);
    }
    EXPECT_EQ(play_b.record.pictures, pictures);
  }

  // Capturing and restoring in the same devices at each of those frames
  // changes nothing at all.
  MediaDevices again(Options(sound, &errors));
  StartEverything(again, f, midi);
  Player play_again(again);
  play_again.PlayTo(end, stops, [&](bool heard) {
    for (const Taken& t : taken) {
      if (t.frame != again.Position() || t.heard != heard) continue;
      const MediaSnapshot first = again.Capture();
      EXPECT_EQ(first, t.state) << t.frame;
      again.Restore(first);
      EXPECT_EQ(again.Capture(), first) << t.frame;
    }
  });
  EXPECT_EQ(Difference(play_again.record.mix, play_a.record.mix), "");
  EXPECT_EQ(play_again.record.notifications, play_a.record.notifications);
  EXPECT_EQ(play_again.record.pictures, play_a.record.pictures);
}

TEST(MediaRestore, EveryMediumGoesOnWithTheSameSamplesPicturesAndStops) {
  if (!TheFiles().soundfont) std::cout << "no " << kSmallSoundFont << ": MIDI is left out\n";
  CheckRestores(true);
}

TEST(MediaRestore, WithoutSoundThePlacesAndStopsAreTheSame) { CheckRestores(false); }

// Chased music: the notes held at the place sound again, and the song keeps
// its place and its end; the samples are close, not the same.
TEST(MediaRestore, ChasedMusicKeepsItsPlaceAndEnd) {
  const Files& f = TheFiles();
  if (!f.soundfont) GTEST_SKIP() << "no " << kSmallSoundFont;
  std::ostringstream errors;
  MediaDevices a(Options(true, &errors));
  EXPECT_TRUE(a.Open(kMidiSlot, f.midi));
  a.Play(kMidiSlot, false);
  Player play_a(a);
  // 0.3 s in, two notes are held by the pedal.
  const uint64_t place = 13230;
  play_a.PlayTo(place);
  const MediaSnapshot state = a.Capture();
  play_a.PlayTo(place + 80000);
  ASSERT_EQ(play_a.record.notifications.size(), 1u);

  MediaDevices b(Options(true, &errors, RestoreMode::kFast));
  Player warm_up(b);
  warm_up.PlayTo(500);
  b.Restore(state);
  EXPECT_EQ(b.Capture(), state);
  Player play_b(b);
  play_b.PlayTo(500 + 80000);
  EXPECT_EQ(play_b.record.notifications,
            std::vector<uint64_t>{play_a.record.notifications[0] - place});
  // The held notes sound from the first moment, struck again: louder than
  // they had become, about as loud as when they were first struck.
  const double struck = Energy(play_a.record.mix, 0, 8820);
  const double before = Energy(play_a.record.mix, place, place + 8820);
  const double after = Energy(play_b.record.mix, 0, 8820);
  EXPECT_GT(after, before / 2);
  EXPECT_GT(after, struck / 4);
  EXPECT_LT(after, struck * 4);
  EXPECT_EQ(errors.str(), "");
}

// A file gone before the restore: its medium is silent, named once on
// standard error, and still stops when it would have.
TEST(MediaRestore, AMediumWhoseFileIsGoneIsSilentAndStopsOnTime) {
  TempDir dir;
  const fs::path wav = dir / "once.wav";
  const fs::path video = dir / "movie.avi";
  WriteFile(wav, MakeWav(800));
  VideoParams params;
  params.frames = 9;
  params.sound = true;
  std::string error;
  ASSERT_TRUE(WriteVideo(video, params, &error)) << error;

  std::ostringstream errors;
  MediaDevices a(Options(true, &errors));
  EXPECT_TRUE(a.Open(kMp3Slot, wav));
  a.Play(kMp3Slot, false);
  EXPECT_TRUE(a.Open(kVideoSlot, video));
  a.ShowInVideoBox(kVideoSlot);
  a.Box().visible = true;
  a.Play(kVideoSlot, false);
  a.PlaySound(wav, true);
  Player play_a(a);
  play_a.PlayTo(10000);
  const MediaSnapshot state = a.Capture();
  play_a.PlayTo(60000);
  ASSERT_EQ(play_a.record.notifications.size(), 2u);

  fs::remove(wav);
  fs::remove(video);
  MediaDevices b(Options(true, &errors));
  b.Restore(state);
  EXPECT_EQ(errors.str(), "tsumugi: cannot play '" + wav.string() + "': " +
                              DescribeFileProblem(FileProblem::kMissing) + "\ntsumugi: cannot play '" +
                              video.string() + "': " + DescribeFileProblem(FileProblem::kMissing) +
                              "\ntsumugi: cannot play '" + wav.string() + "': " +
                              DescribeFileProblem(FileProblem::kMissing) + "\n");
  EXPECT_EQ(Hash(b.Box().picture), Hash(state.box.picture));
  EXPECT_EQ(b.Capture(), state) << "silence stands in at the same place";
  Player play_b(b);
  play_b.PlayTo(50000);
  EXPECT_EQ(play_b.record.pictures.size(), 1u);
  EXPECT_EQ(play_b.record.notifications,
            (std::vector<uint64_t>{play_a.record.notifications[0] - 10000,
                                   play_a.record.notifications[1] - 10000}));
  EXPECT_EQ(Energy(play_b.record.mix, 0, 50000), 0.0);
  EXPECT_EQ(b.Mode(kMp3Slot), DeviceMode::kStopped);
  EXPECT_EQ(b.Mode(kVideoSlot), DeviceMode::kStopped);
  // The looping wave sound goes on, silent.
  EXPECT_TRUE(b.SoundPlaying());
}

}  // namespace
}  // namespace tsumugi::media
