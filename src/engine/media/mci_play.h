// The media device layer: one slot per kind of medium (1 MIDI, 2 MP3,
// 3 video, 4 second video, 5 CD), what the engine knows of each, and the
// handling of the notification a slot sends when it stops by itself: a
// looping slot starts again, another one is closed, and the end of a video
// hides the video box and resumes the script.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

#include "engine/state/game_state.h"

namespace tsumugi {

class Engine;
class MediaService;

class MciPlay {
 public:
  explicit MciPlay(Engine& engine);

  // Start a file on slot 1 or 2 from its beginning; a file that does not
  // exist does nothing.
  void PlayMidi(const std::filesystem::path& path, bool loop);
  void PlayMp3(const std::filesystem::path& path, bool loop);
  // Opens a video on slot 3 without playing it.
  void OpenVideo(const std::filesystem::path& path);
  // The size of the video open on slot 3 and not yet playing; 0 otherwise.
  int32_t VideoSourceWidth();
  int32_t VideoSourceHeight();
  // Plays slot 3 in the video box.
  void PlayVideo(bool loop);
  // Plays one track of the CD; a track outside the disc stops the slot.
  void PlayCd(int32_t track, bool loop);

  void StopDevice(int slot);
  void StopMidi() { StopDevice(1); }
  void StopMp3() { StopDevice(2); }
  void StopVideo() { StopDevice(3); }
  void StopCd() { StopDevice(5); }
  void StopAllDevices();

  // A slot has stopped by itself.
  void MciNotify();

 private:
  MediaService& Devices();
  void PlayFile(int slot, const std::filesystem::path& path, bool loop);
  // Plays CdTrack: to the start of the next track, or to the end of the
  // disc when it is the last.
  void PlayCdTrack();

  Engine& e_;
  MediaSlotsState& s_;
};

}  // namespace tsumugi
