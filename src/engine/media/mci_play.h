// The media device layer: one slot per kind of medium (1 MIDI, 2 MP3,
// 3 video, 4 second video, 5 CD), what the engine knows of each, and the
// handling of the notification a slot sends when it stops by itself: a
// looping slot starts again, another one is closed, and the end of a video
// hides the video box and resumes the script.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "engine/state/game_state.h"

namespace tsumugi {

class MediaService;

class MciPlay {
 public:
  // `video_ended` runs when the video of a slot comes to its end by itself:
  // the video box goes, the slot's device stops and the script goes on.
  MciPlay(MediaService& devices, MediaSlotsState& state, std::filesystem::path game_folder,
          std::function<void(int slot)> video_ended)
      : devices_(devices), s_(state), game_folder_(std::move(game_folder)),
        video_ended_(std::move(video_ended)) {}

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

  // A slot has stopped by itself. The caller keeps the engine from counting
  // as waiting until every slot has been looked at: a script run for one
  // slot comes back here.
  void MciNotify();

 private:
  MediaService& Devices() { return devices_; }
  void PlayFile(int slot, const std::filesystem::path& path, bool loop);
  // Plays CdTrack: to the start of the next track, or to the end of the
  // disc when it is the last.
  void PlayCdTrack();

  MediaService& devices_;
  MediaSlotsState& s_;
  const std::filesystem::path game_folder_;
  const std::function<void(int slot)> video_ended_;
};

}  // namespace tsumugi
