#include "platform/media/media_devices.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <ostream>

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

MediaDevices::MediaDevices(Options options) : options_(std::move(options)) {}

MediaDevices::~MediaDevices() = default;

MediaDevices::Slot* MediaDevices::SlotAt(int slot) {
  if (slot < 1 || slot > kSlotCount) return nullptr;
  return &slots_[static_cast<size_t>(slot)];
}

void MediaDevices::Report(const std::filesystem::path& file, const std::string& reason) {
  if (options_.err) *options_.err << "tsumugi: cannot play '" << file.string() << "': " << reason << "\n";
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
      *options_.err << "tsumugi: " << error << "; MIDI music plays silently\n";
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
  s->start = position_;
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
  s.voice = Voice();
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
  *options_.err << "tsumugi: " << line << "\n";
}

void MediaDevices::PlayTracks(int slot, int from, int to) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open || !s->is_cd) return;
  s->last_track = to == 0 ? s->disc.count : std::min(to - 1, s->disc.count);
  LoadTrack(*s, from);
  Play(slot, false);
}

void MediaDevices::SeekToStart(int slot) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open) return;
  s->playing = false;
  if (s->is_cd) {
    LoadTrack(*s, 1);
    return;
  }
  if (s->voice.source) s->voice.source->Rewind();
  s->voice.buffered = 0;
  s->voice.finished = false;
  if (s->video) s->video->Rewind();
}

void MediaDevices::SeekToTrack(int slot, int track) {
  DrawPendingPicture();
  Slot* s = SlotAt(slot);
  if (!s || !s->open || !s->is_cd) return;
  s->playing = false;
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
  if (s->playing && !(s->ended && *s->ended <= heard_)) return DeviceMode::kPlaying;
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
}

void MediaDevices::StopSound() { sound_ = Sound(); }

bool MediaDevices::SoundPlaying() const {
  return sound_.active && !(sound_.ended && *sound_.ended <= heard_);
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
    if (!v.source) {
      if (!next(v)) v.finished = true;
      continue;
    }
    const int want = static_cast<int>(frames - v.buffered);
    const int got = v.source->Read(skipping_ ? nullptr : v.buffer.data() + v.buffered * 2, want);
    v.buffered += static_cast<size_t>(got);
    v.given += static_cast<uint64_t>(got);
    if (got < want && !next(v)) v.finished = true;
  }
  return v.buffered;
}

bool MediaDevices::NextAfterEnd(Slot& s, Voice& v) {
  if (s.is_cd) {
    if (s.track >= s.last_track) return false;
    // The next track follows at once, as on the disc; a track without a
    // file passes in no time.
    const uint64_t given = v.given;
    LoadTrack(s, s.track + 1);
    s.voice.given = given;
    return true;
  }
  // A video starts again as a whole, pictures and sound together.
  if (s.video || !s.repeat || v.given == 0) return false;
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
    size_t count = 0;
    for (int i = 1; i <= kSlotCount; ++i) {
      Slot& s = slots_[static_cast<size_t>(i)];
      if (!Sounding(s)) continue;
      m = std::min(m, Fill(s.voice, ahead, [this, &s](Voice& v) { return NextAfterEnd(s, v); }));
      voices[count++] = &s.voice;
    }
    if (sound_.active && !sound_.ended) {
      m = std::min(m, Fill(sound_.voice, ahead, [this](Voice& v) {
        if (!sound_.repeat || v.given == 0) return false;
        v.given = 0;
        return v.source->Rewind();
      }));
      voices[count++] = &sound_.voice;
    }

    if (out) {
      mix_.assign(m * 2, 0);
      for (size_t k = 0; k < count; ++k) {
        const int16_t* in = voices[k]->buffer.data();
        for (size_t i = 0; i < m * 2; ++i) mix_[i] += in[i];
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
    }
    position_ += m;
    made += m;

    // A medium whose sound has run out ends here.
    bool ended = false;
    for (int i = 1; i <= kSlotCount; ++i) {
      Slot& s = slots_[static_cast<size_t>(i)];
      if (!Sounding(s) || !s.voice.finished || s.voice.buffered > 0) continue;
      s.audio_end = position_;
      if (!s.video) EndPass(s, position_);
      ended = true;
    }
    if (sound_.active && !sound_.ended && sound_.voice.finished && sound_.voice.buffered == 0) {
      sound_.ended = position_;
      ended = true;
    }
    if (ended) break;
  }
  return made;
}

void MediaDevices::EndPass(Slot& s, uint64_t frame) {
  const bool empty = s.voice.given == 0 && s.pictures == 0;
  if (empty && s.empty_end == frame) {
    // The same empty medium again at the same moment: it would end and be
    // started again for ever without the clock moving. It stays silent
    // instead.
    s.stalled = true;
    return;
  }
  s.empty_end = empty ? std::optional<uint64_t>(frame) : std::nullopt;
  s.ended = frame;
  s.notified = false;
}

void MediaDevices::RestartVideo(Slot& s, uint64_t frame) {
  DrawPendingPicture();
  if (s.voice.given == 0 && s.pictures == 0) {
    s.stalled = true;
    return;
  }
  s.video->Rewind();
  if (s.voice.source) s.voice.source->Rewind();
  s.voice.buffered = 0;
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
    if (!s.open || !s.playing || s.stalled || s.ended || !s.video) continue;
    const int64_t elapsed = UsAtFrames(heard_ - std::min(heard_, s.start));
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
    const std::optional<int64_t> video_end = s.video->EndTime();
    if (s.video->NextPictureTime() || !video_end) continue;
    if (s.voice.source && !s.audio_end) continue;
    const uint64_t end = std::max(s.start + FramesAtUs(*video_end), s.audio_end.value_or(0));
    if (end > heard_) continue;
    if (s.repeat) {
      RestartVideo(s, end);
    } else {
      EndPass(s, end);
    }
  }
  for (Slot& s : slots_) {
    if (s.ended && !s.notified && *s.ended <= heard_) {
      s.notified = true;
      notify_ = true;
    }
  }
}

std::optional<uint64_t> MediaDevices::NextEvent() const {
  std::optional<uint64_t> next;
  auto consider = [&](uint64_t frame) {
    if (frame > heard_ && (!next || frame < *next)) next = frame;
  };
  for (int i = kVideoSlot; i <= kSecondVideoSlot; ++i) {
    const Slot& s = slots_[static_cast<size_t>(i)];
    if (!s.open || !s.playing || s.stalled || s.ended || !s.video) continue;
    if (std::optional<int64_t> t = s.video->NextPictureTime()) {
      consider(s.start + FramesAtUs(*t));
    } else if (std::optional<int64_t> end = s.video->EndTime()) {
      consider(std::max(s.start + FramesAtUs(*end), s.audio_end.value_or(0)));
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
