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
#pragma once

#include <cstdint>
#include <filesystem>

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
  gdi::Surface picture{640, 480, gdi::kBlack};
  bool visible = false;
  // Counts every change, so that a host knows when to show the screen again.
  uint64_t version = 0;

  bool Contains(int x, int y) const {
    return visible && x >= left && y >= top && x - left < picture.Width() &&
           y - top < picture.Height();
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

// What the media devices are doing, as plain data: what a snapshot of the
// game keeps of them.
struct MediaSnapshot {
  friend bool operator==(const MediaSnapshot&, const MediaSnapshot&) = default;
};

class MediaService {
 public:
  virtual ~MediaService() = default;

  // --- Device slots 1 to 5 ----------------------------------------------------
  // Opens a MIDI, MP3 or video file on a slot. False when it cannot be
  // played; the slot then stays not open.
  virtual bool Open(int slot, const std::filesystem::path& file) = 0;
  // Opens the CD drive on a slot. The disc is the track files of the game
  // folder (see CdTrackFiles).
  virtual bool OpenCd(int slot, const std::filesystem::path& game_folder) = 0;
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
};

}  // namespace tsumugi
