// The media devices of both hosts: the five slots, the wave sound and the
// mixer, on a clock of mix frames (44,100 a second).
//
// A host drives them with two calls: Render makes the mix up to a frame
// (ahead of what the player hears when a sound device plays it), Heard says
// which frame the player hears now, which draws the video pictures that are
// due and lets the media that have ended by then stop. Everything runs on
// the engine's thread.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/media/audio_source.h"
#include "platform/media/cd_tracks.h"
#include "platform/media/media_service.h"

namespace tsumugi::media {

class MidiSynth;
class VideoFile;

// Frames of the mix at a millisecond of the clock, and back (the first
// millisecond at or after a frame).
inline uint64_t FrameAtMs(uint64_t ms) { return ms * 441 / 10; }
inline uint64_t MsAtFrame(uint64_t frame) { return (frame * 10 + 440) / 441; }

class MediaDevices final : public MediaService {
 public:
  struct Options {
    // False: nothing is synthesized and no SoundFont is loaded; media still
    // run their course, so that they end at their time.
    bool sound = true;
    // The SoundFont for MIDI music; empty: the distribution's.
    std::filesystem::path soundfont;
    // Where the one line about a medium that cannot be played goes.
    std::ostream* err = nullptr;
    // How Restore brings MIDI music back to its place.
    RestoreMode restore = RestoreMode::kExact;
    // The frame the mix starts at: a run that goes on from a snapshot
    // starts its clock, and so its mix, where the snapshot was taken.
    uint64_t start_frame = 0;
  };

  explicit MediaDevices(Options options);
  ~MediaDevices() override;

  // MediaService.
  [[nodiscard]] bool Open(int slot, const std::filesystem::path& file) override;
  [[nodiscard]] bool OpenCd(int slot, const std::filesystem::path& game_folder) override;
  int TrackCount(int slot) override;
  Size SourceSize(int slot) override;
  void ShowInVideoBox(int slot) override;
  void Play(int slot, bool repeat) override;
  void PlayTracks(int slot, int from, int to) override;
  void SeekToStart(int slot) override;
  void SeekToTrack(int slot, int track) override;
  void Stop(int slot) override;
  void Close(int slot) override;
  DeviceMode Mode(int slot) override;
  void PlaySound(const std::filesystem::path& file, bool repeat) override;
  void StopSound() override;
  void WaitForSound() override {
    if (hold_) hold_();
  }
  // The box, with the latest picture drawn into it: the pictures of a video
  // are drawn only when someone looks (a screenshot, the window, a
  // command), so that a headless run converts none it passes over.
  VideoBox& Box() override {
    DrawPendingPicture();
    return box_;
  }
  MediaSnapshot Capture() override;
  void Restore(const MediaSnapshot& state) override;
  void SetVolumes(const MediaVolumes& volumes) override;
  const MediaVolumes& Volumes() const { return volumes_; }

  // --- For the host -----------------------------------------------------------
  // The host's way of holding the engine while the wave sound plays.
  void SetHold(std::function<void()> hold) { hold_ = std::move(hold); }

  // Frames of the mix made so far.
  uint64_t Position() const { return position_; }
  // Makes the mix from Position() up to `target` into `out` (two samples a
  // frame; null: the frames are passed over). Stops early when a medium
  // ends, so that the host can let it stop at its frame. Returns the number
  // of frames made.
  size_t Render(uint64_t target, int16_t* out);
  // The player hears frame `frame` now (at most Position()).
  void Heard(uint64_t frame);
  // The next frame at which Heard has a picture to draw or a video to end.
  std::optional<uint64_t> NextEvent() const;
  // True, once, when a slot has stopped by itself since the last call.
  bool TakeNotification();
  // The wave sound is still heard.
  bool SoundPlaying() const;
  // Anything is playing, or has ended without the host knowing yet (the
  // host need not come back often otherwise).
  bool Busy() const;
  // A video plays that will end by itself (it does not repeat).
  bool VideoPlaysToItsEnd() const;

 private:
  // Where a new pass (or CD track) starts among the frames a voice has read
  // ahead of the mix, and where the pass before it stood then.
  struct PassStart {
    // Frames of the pass before still waiting in the buffer.
    size_t offset = 0;
    // The length of the pass before, its `given` at its end, its track.
    uint64_t position = 0;
    int64_t given = 0;
    int track = 0;
  };
  // A stream of sound being mixed, with the frames read ahead of the mix.
  struct Voice {
    std::unique_ptr<AudioSource> source;
    std::vector<int16_t> buffer;
    size_t buffered = 0;
    // The source has given everything it will.
    bool finished = false;
    // Frames given since the last start, so that an empty medium is not
    // started again and again without end. Below zero after a restore
    // while frames read ahead before are read again.
    int64_t given = 0;
    // The CD track the source plays.
    int track = 0;
    // Passes that start among the buffered frames, first first.
    std::vector<PassStart> pass_starts;
  };
  // Where the mix stands in a voice: what a voice opened afresh and put at
  // `position` of its pass needs to go on exactly as this one does.
  struct Place {
    uint64_t position = 0;
    int64_t given = 0;
    int track = 0;
  };
  // How long a medium plays, measured once for a snapshot: what a medium
  // whose file has gone away keeps of it.
  struct Lengths {
    uint64_t sound = 0;
    std::optional<int64_t> video_us;
    int track = 0;
  };
  struct Slot {
    bool open = false;
    std::filesystem::path path;
    bool is_cd = false;
    Voice voice;
    std::unique_ptr<VideoFile> video;
    // The length of a video whose file had gone away when it was restored:
    // it goes on without pictures for as long.
    std::optional<int64_t> lost_video_us;
    std::optional<int64_t> lost_video_decoded_us;
    bool in_box = false;
    bool playing = false;
    // An empty medium that would start again at once sits silent instead.
    bool stalled = false;
    // Pictures drawn in the present pass.
    uint64_t pictures = 0;
    bool repeat = false;
    // The frame at which the present pass started. Frames of a slot may lie
    // before the start of the mix once a state has been restored.
    int64_t start = 0;
    std::optional<int64_t> audio_end;
    // The frame at which the medium ended by itself, and whether the host
    // has been told.
    std::optional<int64_t> ended;
    bool notified = false;
    // An empty pass ended here; another empty pass from here never ends.
    std::optional<int64_t> empty_end;
    CdTrackFiles disc;
    int track = 0;
    int last_track = 0;
    // Tracks whose file the decoders refused: not opened again.
    std::set<int> refused_tracks;
    // Tracks whose file had gone away when they were restored, with their
    // length: they stay silent for as long.
    std::map<int, uint64_t> lost_tracks;
    std::optional<Lengths> lengths;
  };
  struct Sound {
    Voice voice;
    bool active = false;
    bool repeat = false;
    std::optional<int64_t> ended;
    std::filesystem::path path;
    std::optional<uint64_t> length;
  };

  Slot* SlotAt(int slot);
  void Report(const std::filesystem::path& file, const std::string& reason);
  std::unique_ptr<AudioSource> OpenAudio(const std::filesystem::path& file, std::string* error);
  MidiSynth* Synth();
  // Opens the file of track `track` as the source of the slot's voice
  // (none for a missing file), keeping what the voice has read ahead.
  void LoadTrack(Slot& s, int track);
  // Says once, the first time, that a track file cannot be played.
  void ReportTrackFile(const std::filesystem::path& file, const std::string& line);
  // Reads ahead until `frames` frames wait in the voice or its source is
  // done; `next` may put a following source in place (true) at the end.
  size_t Fill(Voice& v, size_t frames, const std::function<bool(Voice&)>& next);
  bool NextAfterEnd(Slot& s, Voice& v);
  // Whether the voice of a slot is mixed now.
  static bool Sounding(const Slot& s);
  void EndPass(Slot& s, int64_t frame);
  void RestartVideo(Slot& s, int64_t frame);
  // Draws the picture a video in the box has decoded but not drawn yet.
  void DrawPendingPicture();
  // The video of a slot has pictures, or had them before its file went away.
  static bool IsVideo(const Slot& s) { return s.video || s.lost_video_us; }
  int64_t Now() const { return static_cast<int64_t>(position_); }
  int64_t HeardNow() const { return static_cast<int64_t>(heard_); }

  // Snapshots.
  static Place PlaceOf(const Voice& v);
  MediaSlotSnapshot CaptureSlot(Slot& s);
  void RestoreSlot(int slot, const MediaSlotSnapshot& state);
  void RestoreSound(const SoundSnapshot& state);
  // Opens a file again for a restore (as a sound file only, or as music
  // too) and puts it at `position`; null with a reason when it cannot be.
  std::unique_ptr<AudioSource> Reopen(const std::filesystem::path& file, uint64_t position,
                                      bool sound_file_only, std::string* error);
  // Silence of `length` frames at `position`: what stands in for a medium
  // whose file has gone away, so that it still ends on time.
  static std::unique_ptr<AudioSource> StandIn(uint64_t length, uint64_t position);
  // The length of the sound of a file, decoded to its end (0 when it has
  // none).
  uint64_t MeasureSound(const std::filesystem::path& file);

  // The level of the voice of a slot, in percent: music or the sound of a
  // video, by the kind of the slot.
  int VolumeOf(int slot) const;

  Options options_;
  MediaVolumes volumes_;
  std::array<Slot, kSlotCount + 1> slots_;
  Sound sound_;
  VideoBox box_;
  // The video whose latest picture is due in the box but not yet drawn.
  VideoFile* pending_picture_ = nullptr;
  std::function<void()> hold_;
  // The track files said to be unplayable: each is named once a run,
  // however often the game plays from the disc.
  std::set<std::filesystem::path> reported_track_files_;
  std::unique_ptr<MidiSynth> synth_;
  bool synth_tried_ = false;
  uint64_t position_ = 0;
  uint64_t heard_ = 0;
  bool notify_ = false;
  // The present Render passes frames over instead of making them.
  bool skipping_ = false;
  std::vector<int32_t> mix_;
};

}  // namespace tsumugi::media
