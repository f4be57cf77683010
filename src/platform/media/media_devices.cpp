#include "platform/media/media_devices.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>
#include <ostream>

#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "platform/media/audio_file.h"
#include "platform/media/midi_player.h"
#include "platform/media/video_file.h"

namespace tsumugi::media {

namespace {

// The mix is made in chunks of at most this many frames.
constexpr size_t kChunk = 1024;

uint64_t FramesAtUs(int64_t us) {
  // The first frame at or after the moment.
  return us <= 0 ? 0 : (static_cast<uint64_t>(us) * 441 + 9999) / 10000;
}
int64_t UsAtFrames(uint64_t frames) { return static_cast<int64_t>(frames * 10000 / 441); }

bool LooksLikeMidi(const std::filesystem::path& file) {
  char head[12] = {};
  std::ifstream in(file, std::ios::binary);
  in.read(head, sizeof head);
  if (in.gcount() >= 4 && std::memcmp(head, "MThd", 4) == 0) return true;
  return in.gcount() == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
         std::memcmp(head + 8, "RMID", 4) == 0;
}

}  // namespace

MediaDevices::MediaDevices(Options options)
    : options_(std::move(options)), position_(options_.start_frame), heard_(options_.start_frame) {}

MediaDevices::~MediaDevices() = default;

MediaDevices::Slot* MediaDevices::SlotAt(int slot) {
  if (slot < 1 || slot > kSlotCount) return nullptr;
  return &slots_[static_cast<size_t>(slot)];
}

void MediaDevices::Report(const std::filesystem::path& file, const std::string& reason) {
  if (options_.err) Complain(*options_.err, "cannot play '" + file.string() + "': " + reason);
}

MidiSynth* MediaDevices::Synth() {
  if (!options_.sound) return nullptr;
  if (!synth_tried_) {
    synth_tried_ = true;
    const std::filesystem::path font =
        options_.soundfont.empty() ? DefaultSoundFont() : options_.soundfont;
    std::string error;
    if (font.empty()) {
      error = "no General MIDI SoundFont is installed (fluid-soundfont-gm)";
    } else {
      synth_ = MidiSynth::Create(font, &error);
      if (!synth_) error = "SoundFont '" + font.string() + "': " + error;
    }
    if (!synth_ && options_.err) {
      Complain(*options_.err, error + "; MIDI music plays silently");
    }
  }
  return synth_.get();
}

std::unique_ptr<AudioSource> MediaDevices::OpenAudio(const std::filesystem::path& file,
                                                     std::string* error) {
  if (LooksLikeMidi(file)) return MidiPlayer::Open(file, Synth(), error);
  return AudioFile::Open(file, error);
}

bool MediaDevices::Open(int slot, const std::filesystem::path& file) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || slot == kCdSlot) return false;
  Close(slot);
  std::string error;
  if (slot == kVideoSlot || slot == kSecondVideoSlot) {
    s->video = VideoFile::Open(file, &error);
    std::string sound_error;
    // A video without sound is an ordinary video; one without pictures
    // still plays its sound.
    s->voice.source = AudioFile::Open(file, &sound_error);
    if (!s->video && !s->voice.source) {
      Report(file, error);
      return false;
    }
  } else {
    s->voice.source = OpenAudio(file, &error);
    if (!s->voice.source) {
      Report(file, error);
      return false;
    }
  }
  s->open = true;
  s->path = file;
  return true;
}

bool MediaDevices::OpenCd(int slot, const std::filesystem::path& game_folder) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s) return false;
  Close(slot);
  s->open = true;
  s->is_cd = true;
  s->disc = FindCdTracks(game_folder);
  for (const PassedOverTrack& other : s->disc.passed_over) {
    std::string line = "CD track file '" + other.path.string() + "' is passed over: " +
                       (other.problem == FileProblem::kMissing
                            ? "a symbolic link that leads nowhere"
                            : DescribeFileProblem(other.problem));
    if (!s->disc.files.contains(other.track)) {
      line += "; track " + std::to_string(other.track) + " is silent";
    }
    ReportTrackFile(other.path, line);
  }
  return true;
}

int MediaDevices::TrackCount(int slot) {
  Slot* s = SlotAt(slot);
  return s && s->open && s->is_cd ? s->disc.count : 0;
}

Size MediaDevices::SourceSize(int slot) {
  Slot* s = SlotAt(slot);
  if (!s || !s->open || !s->video) return {};
  return {s->video->Width(), s->video->Height()};
}

void MediaDevices::ShowInVideoBox(int slot) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (s && s->open) s->in_box = true;
}

void MediaDevices::Play(int slot, bool repeat) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open) return;
  s->playing = true;
  s->repeat = repeat;
  s->start = Now();
  s->ended.reset();
  s->notified = false;
  s->audio_end.reset();
  s->voice.finished = false;
  s->voice.given = 0;
  s->pictures = 0;
  s->stalled = false;
}

void MediaDevices::LoadTrack(Slot& s, int track) {
  s.track = track;
  s.voice.track = track;
  s.voice.source.reset();
  if (auto lost = s.lost_tracks.find(track); lost != s.lost_tracks.end()) {
    s.voice.source = std::make_unique<SilentSource>(lost->second);
    return;
  }
  auto file = s.disc.files.find(track);
  if (file == s.disc.files.end() || s.refused_tracks.contains(track)) return;
  std::string error;
  s.voice.source = AudioFile::Open(file->second, &error);
  if (s.voice.source) return;
  s.refused_tracks.insert(track);
  ReportTrackFile(file->second, "cannot play '" + file->second.string() + "': " + error +
                                    "; CD track " + std::to_string(track) + " is silent");
}

void MediaDevices::ReportTrackFile(const std::filesystem::path& file, const std::string& line) {
  if (!reported_track_files_.insert(file).second || !options_.err) return;
  Complain(*options_.err, line);
}

void MediaDevices::PlayTracks(int slot, int from, int to) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open || !s->is_cd) return;
  s->last_track = to == 0 ? s->disc.count : std::min(to - 1, s->disc.count);
  s->voice = Voice();
  LoadTrack(*s, from);
  Play(slot, false);
}

void MediaDevices::SeekToStart(int slot) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open) return;
  s->playing = false;
  if (s->is_cd) {
    s->voice = Voice();
    LoadTrack(*s, 1);
    return;
  }
  // A sound that cannot be read again gives nothing more and ends.
  if (s->voice.source) static_cast<void>(s->voice.source->Rewind());
  s->voice.buffered = 0;
  s->voice.pass_starts.clear();
  s->voice.finished = false;
  // A video that cannot be read again has no pictures left and ends.
  if (s->video) static_cast<void>(s->video->Rewind());
}

void MediaDevices::SeekToTrack(int slot, int track) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open || !s->is_cd) return;
  s->playing = false;
  s->voice = Voice();
  LoadTrack(*s, track);
}

void MediaDevices::Stop(int slot) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (s) s->playing = false;
}

void MediaDevices::Close(int slot) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (s) *s = Slot();
}

DeviceMode MediaDevices::Mode(int slot) {
  Slot* s = SlotAt(slot);
  if (!s || !s->open) return DeviceMode::kNotOpen;
  if (s->playing && !(s->ended && *s->ended <= HeardNow())) return DeviceMode::kPlaying;
  return DeviceMode::kStopped;
}

void MediaDevices::PlaySound(const std::filesystem::path& file, bool repeat) {
  StopSound();
  std::string error;
  sound_.voice.source = AudioFile::Open(file, &error);
  if (!sound_.voice.source) {
    Report(file, error);
    return;
  }
  sound_.active = true;
  sound_.repeat = repeat;
  sound_.path = file;
}

void MediaDevices::StopSound() { sound_ = Sound(); }

bool MediaDevices::SoundPlaying() const {
  return sound_.active && !(sound_.ended && *sound_.ended <= HeardNow());
}

bool MediaDevices::Busy() const {
  if (SoundPlaying()) return true;
  // A slot that has ended is busy until the host has heard of it.
  return std::any_of(slots_.begin(), slots_.end(), [](const Slot& s) {
    return s.playing && !s.stalled && !(s.ended && s.notified);
  });
}

bool MediaDevices::VideoPlaysToItsEnd() const {
  for (int i = kVideoSlot; i <= kSecondVideoSlot; ++i) {
    const Slot& s = slots_[static_cast<size_t>(i)];
    if (s.open && s.playing && !s.repeat && !s.stalled && !s.ended) return true;
  }
  return false;
}

bool MediaDevices::Sounding(const Slot& s) {
  return s.open && s.playing && !s.stalled && !s.audio_end && !s.ended &&
         (s.voice.source || s.is_cd);
}

size_t MediaDevices::Fill(Voice& v, size_t frames, const std::function<bool(Voice&)>& next) {
  if (v.buffer.size() < frames * 2) v.buffer.resize(frames * 2);
  while (v.buffered < frames && !v.finished) {
    int want = 0;
    int got = 0;
    if (v.source) {
      want = static_cast<int>(frames - v.buffered);
      got = v.source->Read(skipping_ ? nullptr : v.buffer.data() + v.buffered * 2, want);
      v.buffered += static_cast<size_t>(got);
      v.given += got;
    }
    if (v.source && got == want) continue;
    // The pass has ended; a following one may start among the frames read
    // ahead, and the mix has to know where.
    const PassStart end{v.buffered, v.source ? v.source->Position() : 0, v.given, v.track};
    if (next(v)) {
      v.pass_starts.push_back(end);
    } else {
      v.finished = true;
    }
  }
  return v.buffered;
}

bool MediaDevices::NextAfterEnd(Slot& s, Voice& v) {
  if (s.is_cd) {
    if (s.track >= s.last_track) return false;
    // The next track follows at once, as on the disc; a track without a
    // file passes in no time.
    LoadTrack(s, s.track + 1);
    return true;
  }
  // A video starts again as a whole, pictures and sound together.
  if (IsVideo(s) || !s.repeat || v.given == 0) return false;
  v.given = 0;
  return v.source->Rewind();
}

size_t MediaDevices::Render(uint64_t target, int16_t* out) {
  skipping_ = out == nullptr;
  if (target <= position_) return 0;
  const bool sounding = (sound_.active && !sound_.ended) ||
                        std::any_of(slots_.begin(), slots_.end(), Sounding);
  if (!sounding) {
    // Silence: a long pause of the engine passes at once.
    const uint64_t frames = target - position_;
    if (out) std::memset(out, 0, static_cast<size_t>(frames) * 2 * sizeof(int16_t));
    position_ = target;
    return static_cast<size_t>(frames);
  }
  size_t made = 0;
  while (position_ < target) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kChunk, target - position_));
    // Each voice reads one frame further than the chunk, so that a stream
    // ending exactly with the chunk is known to end there.
    const size_t ahead = n + 1;
    size_t m = n;
    std::array<Voice*, kSlotCount + 2> voices{};
    std::array<int, kSlotCount + 2> volumes{};
    size_t count = 0;
    for (int i = 1; i <= kSlotCount; ++i) {
      Slot& s = slots_[static_cast<size_t>(i)];
      if (!Sounding(s)) continue;
      m = std::min(m, Fill(s.voice, ahead, [this, &s](Voice& v) { return NextAfterEnd(s, v); }));
      volumes[count] = VolumeOf(i);
      voices[count++] = &s.voice;
    }
    if (sound_.active && !sound_.ended) {
      m = std::min(m, Fill(sound_.voice, ahead, [this](Voice& v) {
        if (!sound_.repeat || v.given == 0) return false;
        v.given = 0;
        return v.source->Rewind();
      }));
      volumes[count] = volumes_.sound;
      voices[count++] = &sound_.voice;
    }

    if (out) {
      mix_.assign(m * 2, 0);
      for (size_t k = 0; k < count; ++k) {
        const int16_t* in = voices[k]->buffer.data();
        // Only the player's volumes scale a voice: at 100 its samples are
        // mixed exactly as decoded.
        const int volume = volumes[k];
        if (volume == 100) {
          for (size_t i = 0; i < m * 2; ++i) mix_[i] += in[i];
        } else if (volume > 0) {
          for (size_t i = 0; i < m * 2; ++i) mix_[i] += in[i] * volume / 100;
        }
      }
      int16_t* to = out + made * 2;
      for (size_t i = 0; i < m * 2; ++i) {
        to[i] = static_cast<int16_t>(std::clamp(mix_[i], -32768, 32767));
      }
    }
    for (size_t k = 0; k < count; ++k) {
      Voice& v = *voices[k];
      v.buffered -= m;
      if (!skipping_ && v.buffered > 0) {
        std::memmove(v.buffer.data(), v.buffer.data() + m * 2, v.buffered * 2 * sizeof(int16_t));
      }
      // The passes the mix has reached are behind it.
      size_t passed = 0;
      for (PassStart& p : v.pass_starts) {
        if (p.offset <= m) {
          ++passed;
        } else {
          p.offset -= m;
        }
      }
      v.pass_starts.erase(v.pass_starts.begin(), v.pass_starts.begin() + static_cast<std::ptrdiff_t>(passed));
    }
    position_ += m;
    made += m;

    // A medium whose sound has run out ends here.
    bool ended = false;
    for (int i = 1; i <= kSlotCount; ++i) {
      Slot& s = slots_[static_cast<size_t>(i)];
      if (!Sounding(s) || !s.voice.finished || s.voice.buffered > 0) continue;
      s.audio_end = Now();
      if (!IsVideo(s)) EndPass(s, Now());
      ended = true;
    }
    if (sound_.active && !sound_.ended && sound_.voice.finished && sound_.voice.buffered == 0) {
      sound_.ended = Now();
      ended = true;
    }
    if (ended) break;
  }
  return made;
}

void MediaDevices::SetVolumes(const MediaVolumes& volumes) {
  volumes_ = {std::clamp(volumes.music, 0, 100), std::clamp(volumes.sound, 0, 100),
              std::clamp(volumes.movie, 0, 100)};
}

int MediaDevices::VolumeOf(int slot) const {
  return slot == kVideoSlot || slot == kSecondVideoSlot ? volumes_.movie : volumes_.music;
}

void MediaDevices::EndPass(Slot& s, int64_t frame) {
  const bool empty = s.voice.given == 0 && s.pictures == 0;
  if (empty && s.empty_end == frame) {
    // The same empty medium again at the same moment: it would end and be
    // started again for ever without the clock moving. It stays silent
    // instead.
    s.stalled = true;
    return;
  }
  s.empty_end = empty ? std::optional<int64_t>(frame) : std::nullopt;
  s.ended = frame;
  s.notified = false;
}

void MediaDevices::RestartVideo(Slot& s, int64_t frame) {
  DrawPendingPicture();
  if (s.voice.given == 0 && s.pictures == 0 && !s.lost_video_us) {
    s.stalled = true;
    return;
  }
  // A video that cannot be read again has no pictures left and ends.
  if (s.video) static_cast<void>(s.video->Rewind());
  if (s.voice.source) static_cast<void>(s.voice.source->Rewind());  // as above, it ends
  s.voice.buffered = 0;
  s.voice.pass_starts.clear();
  s.voice.finished = false;
  s.voice.given = 0;
  s.audio_end.reset();
  s.pictures = 0;
  s.start = frame;
}

void MediaDevices::DrawPendingPicture() {
  if (pending_picture_ == nullptr) return;
  VideoFile* video = pending_picture_;
  pending_picture_ = nullptr;
  video->DrawHeld(&box_.picture);
}

void MediaDevices::Heard(uint64_t frame) {
  heard_ = std::max(heard_, std::min(frame, position_));
  for (int i = kVideoSlot; i <= kSecondVideoSlot; ++i) {
    Slot& s = slots_[static_cast<size_t>(i)];
    if (!s.open || !s.playing || s.stalled || s.ended || !IsVideo(s)) continue;
    std::optional<int64_t> video_end = s.lost_video_us;
    if (s.video) {
      const int64_t elapsed = UsAtFrames(static_cast<uint64_t>(std::max<int64_t>(0, HeardNow() - s.start)));
      if (s.video->DecodeUntil(elapsed)) {
        ++s.pictures;
        if (s.in_box) {
          // A picture of another video in the box would be covered whole.
          if (pending_picture_ != nullptr && pending_picture_ != s.video.get()) DrawPendingPicture();
          pending_picture_ = s.video.get();
          ++box_.version;
        } else {
          s.video->DrawHeld(nullptr);
        }
      }
      video_end = s.video->EndTime();
      if (s.video->NextPictureTime()) continue;
    }
    if (!video_end) continue;
    if (s.voice.source && !s.audio_end) continue;
    const int64_t end = std::max(s.start + static_cast<int64_t>(FramesAtUs(*video_end)),
                                 s.audio_end.value_or(std::numeric_limits<int64_t>::min()));
    if (end > HeardNow()) continue;
    if (s.repeat) {
      RestartVideo(s, end);
    } else {
      EndPass(s, end);
    }
  }
  for (Slot& s : slots_) {
    if (s.ended && !s.notified && *s.ended <= HeardNow()) {
      s.notified = true;
      notify_ = true;
    }
  }
}

std::optional<uint64_t> MediaDevices::NextEvent() const {
  std::optional<uint64_t> next;
  auto consider = [&](int64_t frame) {
    if (frame > HeardNow() && (!next || static_cast<uint64_t>(frame) < *next)) {
      next = static_cast<uint64_t>(frame);
    }
  };
  for (int i = kVideoSlot; i <= kSecondVideoSlot; ++i) {
    const Slot& s = slots_[static_cast<size_t>(i)];
    if (!s.open || !s.playing || s.stalled || s.ended || !IsVideo(s)) continue;
    if (std::optional<int64_t> t = s.video ? s.video->NextPictureTime() : std::nullopt) {
      consider(s.start + static_cast<int64_t>(FramesAtUs(*t)));
    } else if (std::optional<int64_t> end = s.video ? s.video->EndTime() : s.lost_video_us) {
      consider(std::max(s.start + static_cast<int64_t>(FramesAtUs(*end)),
                        s.audio_end.value_or(std::numeric_limits<int64_t>::min())));
    }
  }
  return next;
}

bool MediaDevices::TakeNotification() {
  const bool due = notify_;
  notify_ = false;
  return due;
}

}  // namespace tsumugi::media

// --- Snapshots ---------------------------------------------------------------

namespace tsumugi::media {

namespace {

// Music is rendered again up to its place only this far into a pass (half
// an hour, about a minute of work); a place further on is chased, so that
// a damaged snapshot or a song of absurd length cannot hold the engine up.
constexpr uint64_t kLongestExactRestore = uint64_t{30} * 60 * 44100;

// Moments of a snapshot further than this from the capture (some 800
// years of mix) are taken as this far: a damaged snapshot cannot make the
// frame counts overflow.
constexpr int64_t kFarthestMoment = int64_t{1} << 50;

std::optional<int64_t> Relative(std::optional<int64_t> frame, int64_t now) {
  if (!frame) return std::nullopt;
  return *frame - now;
}

}  // namespace

MediaDevices::Place MediaDevices::PlaceOf(const Voice& v) {
  if (!v.pass_starts.empty()) {
    // The mix is still in the pass before the first new one.
    const PassStart& p = v.pass_starts.front();
    return {p.position - std::min<uint64_t>(p.position, p.offset),
            p.given - static_cast<int64_t>(p.offset), p.track};
  }
  const uint64_t read = v.source ? v.source->Position() : 0;
  return {read - std::min<uint64_t>(read, v.buffered), v.given - static_cast<int64_t>(v.buffered),
          v.track};
}

uint64_t MediaDevices::MeasureSound(const std::filesystem::path& file) {
  std::string error;
  if (FileKindProblem(file) != FileProblem::kNone) return 0;
  if (LooksLikeMidi(file)) {
    std::unique_ptr<MidiPlayer> song = MidiPlayer::Open(file, nullptr, &error);
    return song ? song->Length() : 0;
  }
  std::unique_ptr<AudioFile> sound = AudioFile::Open(file, &error);
  if (!sound) return 0;
  sound->Seek(std::numeric_limits<uint64_t>::max(), true);
  return sound->Position();
}

MediaSlotSnapshot MediaDevices::CaptureSlot(Slot& s) {
  MediaSlotSnapshot c;
  if (!s.open) return c;
  const Place place = PlaceOf(s.voice);
  if (!s.lengths || (s.is_cd && s.lengths->track != place.track)) {
    // Measured once for the medium (for each track of a CD).
    Lengths lengths;
    lengths.track = place.track;
    if (s.is_cd) {
      if (auto lost = s.lost_tracks.find(place.track); lost != s.lost_tracks.end()) {
        lengths.sound = lost->second;
      } else if (auto file = s.disc.files.find(place.track);
                 file != s.disc.files.end() && !s.refused_tracks.contains(place.track)) {
        lengths.sound = MeasureSound(file->second);
      }
    } else {
      lengths.sound = s.voice.source ? MeasureSound(s.path) : 0;
      if (s.video && FileKindProblem(s.path) == FileProblem::kNone) {
        lengths.video_us = VideoFile::ScanLength(s.path);
      }
    }
    s.lengths = lengths;
  }
  const int64_t now = Now();
  c.open = true;
  c.file = s.path;
  c.is_cd = s.is_cd;
  c.in_box = s.in_box;
  c.playing = s.playing;
  c.repeat = s.repeat;
  c.stalled = s.stalled;
  c.position = place.position;
  c.given = place.given;
  c.length = s.lengths->sound;
  c.video_length_us = s.lengths->video_us;
  c.pass_start = s.start - now;
  c.video_decoded_us = s.video ? s.video->DecodedUntil() : s.lost_video_decoded_us;
  c.pictures = s.pictures;
  c.audio_end = Relative(s.audio_end, now);
  c.ended = Relative(s.ended, now);
  c.notified = s.notified;
  c.empty_end = Relative(s.empty_end, now);
  if (s.is_cd) {
    c.tracks = s.disc.files;
    c.track_count = s.disc.count;
    c.track = place.track;
    c.last_track = s.last_track;
    c.refused_tracks = s.refused_tracks;
  }
  return c;
}

MediaSnapshot MediaDevices::Capture() {
  DrawPendingPicture();
  MediaSnapshot state;
  for (int i = 1; i <= kSlotCount; ++i) {
    state.slots[static_cast<size_t>(i)] = CaptureSlot(slots_[static_cast<size_t>(i)]);
  }
  if (sound_.active) {
    SoundSnapshot& c = state.sound;
    const Place place = PlaceOf(sound_.voice);
    if (!sound_.length) sound_.length = MeasureSound(sound_.path);
    c.active = true;
    c.file = sound_.path;
    c.repeat = sound_.repeat;
    c.position = place.position;
    c.given = place.given;
    c.length = *sound_.length;
    c.ended = Relative(sound_.ended, Now());
  }
  state.box.left = box_.left;
  state.box.top = box_.top;
  state.box.picture = box_.picture;
  state.box.visible = box_.visible;
  state.notification_due = notify_;
  return state;
}

std::unique_ptr<AudioSource> MediaDevices::Reopen(const std::filesystem::path& file,
                                                  uint64_t position, bool sound_file_only,
                                                  std::string* error) {
  // Nothing but a regular file is opened: a FIFO could hold the engine for
  // ever.
  if (const FileProblem problem = FileKindProblem(file); problem != FileProblem::kNone) {
    *error = DescribeFileProblem(problem);
    return nullptr;
  }
  std::unique_ptr<AudioSource> source =
      sound_file_only ? AudioFile::Open(file, error) : OpenAudio(file, error);
  if (source) {
    source->Seek(position, options_.restore == RestoreMode::kExact && position <= kLongestExactRestore);
  }
  return source;
}

std::unique_ptr<AudioSource> MediaDevices::StandIn(uint64_t length, uint64_t position) {
  auto silence = std::make_unique<SilentSource>(length);
  silence->Seek(position, true);
  return silence;
}

void MediaDevices::RestoreSlot(int slot, const MediaSlotSnapshot& c) {
  Slot& s = slots_[static_cast<size_t>(slot)];
  if (!c.open || (!c.is_cd && (slot == kCdSlot || c.file.empty()))) return;
  const int64_t now = Now();
  auto at = [now](std::optional<int64_t> relative) -> std::optional<int64_t> {
    if (!relative) return std::nullopt;
    return now + std::clamp(*relative, -kFarthestMoment, kFarthestMoment);
  };
  s.open = true;
  s.path = c.file;
  s.is_cd = c.is_cd;
  s.in_box = c.in_box;
  s.playing = c.playing;
  s.repeat = c.repeat;
  s.stalled = c.stalled;
  s.pictures = c.pictures;
  s.start = *at(c.pass_start);
  s.audio_end = at(c.audio_end);
  s.ended = at(c.ended);
  s.notified = c.notified;
  s.empty_end = at(c.empty_end);
  s.lengths = Lengths{c.length, c.video_length_us, c.track};
  std::string error;
  if (c.is_cd) {
    // A disc holds at most 99 tracks.
    s.disc.files = c.tracks;
    s.disc.count = std::clamp(c.track_count, 0, 99);
    s.last_track = std::clamp(c.last_track, 0, s.disc.count);
    s.refused_tracks = c.refused_tracks;
    s.track = std::clamp(c.track, 0, 99);
    s.voice.track = s.track;
    auto file = s.disc.files.find(s.track);
    if (file != s.disc.files.end() && !s.refused_tracks.contains(s.track)) {
      s.voice.source = Reopen(file->second, c.position, true, &error);
      if (!s.voice.source) {
        ReportTrackFile(file->second, "cannot play '" + file->second.string() + "': " + error +
                                          "; CD track " + std::to_string(s.track) + " is silent");
        s.lost_tracks[s.track] = c.length;
        s.voice.source = StandIn(c.length, c.position);
      }
    }
  } else if (slot == kVideoSlot || slot == kSecondVideoSlot) {
    if (const FileProblem problem = FileKindProblem(c.file); problem != FileProblem::kNone) {
      error = DescribeFileProblem(problem);
    } else {
      s.video = VideoFile::Open(c.file, &error);
      std::string sound_error;
      if (c.length > 0) s.voice.source = Reopen(c.file, c.position, true, &sound_error);
    }
    if (s.video) {
      if (c.video_decoded_us) {
        // The box already holds the latest picture.
        s.video->DecodeUntil(*c.video_decoded_us);
        s.video->DrawHeld(nullptr);
      }
    } else if (!s.voice.source) {
      Report(c.file, error);
      s.lost_video_us = c.video_length_us.value_or(0);
      s.lost_video_decoded_us = c.video_decoded_us;
      if (c.length > 0) s.voice.source = StandIn(c.length, c.position);
    }
  } else {
    s.voice.source = Reopen(c.file, c.position, false, &error);
    if (!s.voice.source) {
      Report(c.file, error);
      s.voice.source = StandIn(c.length, c.position);
    }
  }
  s.voice.given = std::clamp(c.given, -kFarthestMoment, kFarthestMoment);
}

void MediaDevices::RestoreSound(const SoundSnapshot& c) {
  if (!c.active || c.file.empty()) return;
  std::string error;
  sound_.voice.source = Reopen(c.file, c.position, true, &error);
  if (!sound_.voice.source) {
    Report(c.file, error);
    sound_.voice.source = StandIn(c.length, c.position);
  }
  sound_.voice.given = std::clamp(c.given, -kFarthestMoment, kFarthestMoment);
  sound_.active = true;
  sound_.repeat = c.repeat;
  sound_.path = c.file;
  sound_.length = c.length;
  if (c.ended) sound_.ended = Now() + std::clamp(*c.ended, -kFarthestMoment, kFarthestMoment);
}

void MediaDevices::Restore(const MediaSnapshot& state) {
  for (int i = 1; i <= kSlotCount; ++i) Close(i);
  StopSound();
  pending_picture_ = nullptr;
  for (int i = 1; i <= kSlotCount; ++i) RestoreSlot(i, state.slots[static_cast<size_t>(i)]);
  RestoreSound(state.sound);
  box_.left = state.box.left;
  box_.top = state.box.top;
  box_.picture = state.box.picture;
  box_.visible = state.box.visible;
  ++box_.version;
  notify_ = state.notification_due;
}

}  // namespace tsumugi::media
