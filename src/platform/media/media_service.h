// The media service a host hands out: five device slots driven by typed
// calls (open, play with or without repeat, seek, stop, close, mode), the
// wave-sound player, and the video box the video slots draw into.
//
// The engine calls these on its own thread. When a slot stops by itself at
// the end of its medium, the host delivers HostEvents::OnMediaNotify
// through its event pump, like any other event; a slot stopped or closed by
// the engine gives no notification.
//
// No call reports a failure to the engine: a file the decoders refuse, a
// missing SoundFont or a missing sound device leave the medium silent (and
// a video without pictures), with one line on standard error.
//
// The player's volumes scale what is heard of each kind of medium and
// nothing else: positions, lengths, ends and notifications stay as they are.
//
// Capture tells the whole state of the slots, the wave sound and the video
// box as plain data; Restore puts such a state back, in the same service or
// in a fresh one of the same game, so that every medium goes on from where
// it was.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"

namespace tsumugi {

// The slots, by number.
inline constexpr int kMidiSlot = 1;
inline constexpr int kMp3Slot = 2;
inline constexpr int kVideoSlot = 3;
inline constexpr int kSecondVideoSlot = 4;
inline constexpr int kCdSlot = 5;
inline constexpr int kSlotCount = 5;

enum class DeviceMode {
  kNotOpen,  // nothing open on the slot, or its open failed
  kStopped,  // open, not playing (never started, stopped, or at its end)
  kPlaying,
};

// The video box: a child window over the drawing area that shows a video.
// The engine places it, shows and hides it and gives it its background
// colour; the video slots draw their pictures into `picture`, stretched to
// fill it; the host lays it over the screen whenever it shows the screen.
struct VideoBox {
  int left = 0;
  int top = 0;
  gdi::Surface picture{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};
  bool visible = false;
  // Counts every change, so that a host knows when to show the screen again.
  uint64_t version = 0;

  bool Contains(int x, int y) const {
    return visible && gdi::Rect{left, top, picture.Width(), picture.Height()}.Contains(x, y);
  }
};

// `screen` with the box laid over it where the box is visible.
gdi::Surface ComposeWithVideoBox(const gdi::Surface& screen, const VideoBox& box);
// The same into an existing surface of the screen's size (no allocation
// once it has that size).
void ComposeWithVideoBox(const gdi::Surface& screen, const VideoBox& box, gdi::Surface* out);
// The same with the player's layer laid over it, when there is one.
void ComposeShown(const gdi::Surface& screen, const VideoBox& box, const gdi::Surface* overlay,
                  Point at, gdi::Surface* out);

// How a restore brings MIDI music back to its place. The synthesizer's
// sounding notes, envelopes and reverb are state that only playing the song
// re-creates.
enum class RestoreMode {
  // The song is rendered from its start up to the place and the sound
  // thrown away: the music goes on sample for sample as if it had never
  // been interrupted, at some 25 to 35 ms of work per second of music
  // before the place. Sound files and videos are always decoded up to
  // their place, which is quick.
  kExact,
  // The song's controllers, programs and pitch bends up to the place are
  // sent at once and the notes held there are struck again: close to the
  // ear, not the same samples, and done in a few milliseconds.
  kFast,
};

// The state of one device slot. Frames are frames of the mix (44,100 a
// second). Places inside the medium count from the start of its present
// pass (a looping medium starts a new pass each time round; a CD, each
// track); moments count from the moment of the capture, negative before
// it, so that a state taken at one point of the mix can be put back at any
// other.
struct MediaSlotSnapshot {
  bool open = false;
  // The medium; empty for the CD, whose files are in `tracks`.
  std::filesystem::path file;
  bool is_cd = false;
  bool in_box = false;
  bool playing = false;
  bool repeat = false;
  // An empty medium that would start again at once, sitting silent.
  bool stalled = false;
  // Frames of the present pass (a CD: of `track`) the mix has taken.
  uint64_t position = 0;
  // Frames of the medium's sound counted since it was last started, less
  // any the mix has not taken yet; it tells an empty pass from one that
  // gave sound.
  int64_t given = 0;
  // Frames of one pass of the medium (a CD: of `track`): how long a
  // medium whose file has gone away stays silent in its place.
  uint64_t length = 0;
  // Microseconds of a video's pictures, as its file tells them.
  std::optional<int64_t> video_length_us;
  // The moment the present pass started (the clock of a video's pictures).
  int64_t pass_start = 0;
  // Microseconds of the video decoded so far: its pictures up to there
  // have been shown or passed over.
  std::optional<int64_t> video_decoded_us;
  // Pictures shown in the present pass.
  uint64_t pictures = 0;
  // The moment the sound of a video ran out.
  std::optional<int64_t> audio_end;
  // The moment the medium ended by itself, and whether the host was told.
  std::optional<int64_t> ended;
  bool notified = false;
  // The moment an empty pass ended.
  std::optional<int64_t> empty_end;
  // The CD: its track files, the number of tracks, the present track, the
  // last track of the span that plays, and the tracks whose file the
  // decoders refused.
  std::map<int, std::filesystem::path> tracks;
  int track_count = 0;
  int track = 0;
  int last_track = 0;
  std::set<int> refused_tracks;

  friend bool operator==(const MediaSlotSnapshot&, const MediaSlotSnapshot&) = default;
};

// The wave sound, counted like a slot.
struct SoundSnapshot {
  bool active = false;
  std::filesystem::path file;
  bool repeat = false;
  uint64_t position = 0;
  int64_t given = 0;
  uint64_t length = 0;
  std::optional<int64_t> ended;

  friend bool operator==(const SoundSnapshot&, const SoundSnapshot&) = default;
};

// The video box with its picture as pixels (its background colour
// included), so that the player sees at once what was there.
struct VideoBoxSnapshot {
  int left = 0;
  int top = 0;
  gdi::Surface picture{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};
  bool visible = false;

  friend bool operator==(const VideoBoxSnapshot& a, const VideoBoxSnapshot& b);
};

struct MediaSnapshot {
  // By slot number; element 0 is unused.
  std::array<MediaSlotSnapshot, kSlotCount + 1> slots;
  SoundSnapshot sound;
  VideoBoxSnapshot box;
  // A slot has stopped by itself and the host has not yet taken the news.
  bool notification_due = false;

  friend bool operator==(const MediaSnapshot&, const MediaSnapshot&) = default;
};

// How loud the player wants each kind of medium, in percent (0 to 100) of
// its own level: music (MIDI, MP3 and CD tracks), wave sounds, and the
// sound of videos. The player's, not the game's: no snapshot keeps them.
struct MediaVolumes {
  int music = 100;
  int sound = 100;
  int movie = 100;

  friend bool operator==(const MediaVolumes&, const MediaVolumes&) = default;
};

class MediaService {
 public:
  virtual ~MediaService() = default;

  // --- Device slots 1 to 5 ----------------------------------------------------
  // Opens a MIDI, MP3 or video file on a slot. False when it cannot be
  // played; the slot then stays not open.
  [[nodiscard]] virtual bool Open(int slot, const std::filesystem::path& file) = 0;
  // Opens the CD drive on a slot. The disc is the track files of the game
  // folder (see CdTrackFiles).
  [[nodiscard]] virtual bool OpenCd(int slot, const std::filesystem::path& game_folder) = 0;
  // The number of tracks of the disc of an open CD slot; 0 without a disc.
  virtual int TrackCount(int slot) = 0;
  // The picture size of the video of an open video slot; 0 x 0 otherwise.
  virtual Size SourceSize(int slot) = 0;
  // The video slot shows its pictures in the video box, filling it.
  virtual void ShowInVideoBox(int slot) = 0;
  // Plays from the present position; with `repeat` the medium starts again
  // by itself at its end and never stops on its own.
  virtual void Play(int slot, bool repeat) = 0;
  // Plays the CD from the start of track `from` to the start of track `to`,
  // or to the end of the disc when `to` is 0.
  virtual void PlayTracks(int slot, int from, int to) = 0;
  virtual void SeekToStart(int slot) = 0;
  virtual void SeekToTrack(int slot, int track) = 0;
  virtual void Stop(int slot) = 0;
  virtual void Close(int slot) = 0;
  virtual DeviceMode Mode(int slot) = 0;

  // --- Wave sounds -----------------------------------------------------------
  // Plays a wave sound once or repeatedly in the background; a new sound
  // replaces the one that plays.
  virtual void PlaySound(const std::filesystem::path& file, bool repeat) = 0;
  virtual void StopSound() = 0;
  // Returns when the wave sound has ended. Meanwhile the engine does
  // nothing: the host keeps the window painted, and Escape and closing the
  // window still end the engine; other input waits until the sound is over.
  virtual void WaitForSound() = 0;

  virtual VideoBox& Box() = 0;

  // --- The player's volumes ---------------------------------------------------
  // From the next sound mixed on; values outside 0 to 100 are taken as the
  // nearest end.
  virtual void SetVolumes(const MediaVolumes& volumes) = 0;

  // --- Snapshots --------------------------------------------------------------
  // The first capture of a medium decodes it once to its end, to know how
  // long it plays.
  virtual MediaSnapshot Capture() = 0;
  // Closes whatever plays, opens each medium of `state` again and puts it
  // at its place. A file that cannot be opened any more is named in one
  // line on standard error and its medium stays silent for as long as it
  // would have played, so that it still ends (or starts again) on time.
  virtual void Restore(const MediaSnapshot& state) = 0;
};

}  // namespace tsumugi
