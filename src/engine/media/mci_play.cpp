#include "engine/media/mci_play.h"

#include "platform/media/media_service.h"

namespace tsumugi {

void MciPlay::PlayFile(int slot, const std::filesystem::path& path, bool loop) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  StopDevice(slot);
  s_.DevicePlaying[slot] = true;
  s_.DeviceLoops[slot] = loop;
  // A file the devices refuse stays silent; the slot then never stops by
  // itself. The devices tell the player why.
  MediaService& devices = Devices();
  static_cast<void>(devices.Open(slot, path));
  devices.Play(slot, false);
}

void MciPlay::PlayMidi(const std::filesystem::path& path, bool loop) {
  PlayFile(kMidiSlot, path, loop);
}

void MciPlay::PlayMp3(const std::filesystem::path& path, bool loop) {
  PlayFile(kMp3Slot, path, loop);
}

void MciPlay::OpenVideo(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  StopDevice(kVideoSlot);
  s_.VideoOpen[kVideoSlot] = true;
  // A video the devices refuse shows nothing and has no size; they tell the
  // player why.
  static_cast<void>(Devices().Open(kVideoSlot, path));
}

int32_t MciPlay::VideoSourceWidth() {
  if (!s_.VideoOpen[kVideoSlot] || s_.DevicePlaying[kVideoSlot]) return 0;
  return Devices().SourceSize(kVideoSlot).width;
}

int32_t MciPlay::VideoSourceHeight() {
  if (!s_.VideoOpen[kVideoSlot] || s_.DevicePlaying[kVideoSlot]) return 0;
  return Devices().SourceSize(kVideoSlot).height;
}

void MciPlay::PlayVideo(bool loop) {
  if (!s_.VideoOpen[kVideoSlot] || s_.DevicePlaying[kVideoSlot]) return;
  s_.DevicePlaying[kVideoSlot] = true;
  s_.DeviceLoops[kVideoSlot] = loop;
  MediaService& devices = Devices();
  devices.ShowInVideoBox(kVideoSlot);
  devices.Play(kVideoSlot, loop);
}

void MciPlay::PlayCd(int32_t track, bool loop) {
  StopDevice(kCdSlot);
  s_.DevicePlaying[kCdSlot] = true;
  s_.DeviceLoops[kCdSlot] = loop;
  MediaService& devices = Devices();
  // Without a disc there are no tracks, and the slot stops below.
  static_cast<void>(devices.OpenCd(kCdSlot, game_folder_));
  s_.CdTrackCount = devices.TrackCount(kCdSlot);
  s_.CdTrack = track;
  if (track <= 0 || track > s_.CdTrackCount) {
    StopDevice(kCdSlot);
    return;
  }
  PlayCdTrack();
}

void MciPlay::PlayCdTrack() {
  // The last track plays to the end of the disc; any other exactly to the
  // start of the next.
  Devices().PlayTracks(kCdSlot, s_.CdTrack, s_.CdTrack == s_.CdTrackCount ? 0 : s_.CdTrack + 1);
}

void MciPlay::StopDevice(int slot) {
  MediaService& devices = Devices();
  const bool video = slot == kVideoSlot || slot == kSecondVideoSlot;
  if (s_.DevicePlaying[slot]) {
    s_.DevicePlaying[slot] = false;
    if (video) s_.VideoOpen[slot] = false;
    devices.Stop(slot);
    devices.Close(slot);
  } else if (video && s_.VideoOpen[slot]) {
    devices.Close(slot);
    s_.VideoOpen[slot] = false;
  }
}

void MciPlay::StopAllDevices() {
  for (int slot = 1; slot <= kSlotCount; ++slot) StopDevice(slot);
}

void MciPlay::MciNotify() {
  MediaService& devices = Devices();
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    if (!s_.DevicePlaying[slot]) continue;
    if (devices.Mode(slot) != DeviceMode::kStopped) continue;
    if (s_.DeviceLoops[slot]) {
      if (slot == kCdSlot) {
        devices.SeekToTrack(kCdSlot, s_.CdTrack);
        PlayCdTrack();
      } else {
        devices.SeekToStart(slot);
        devices.Play(slot, false);
      }
    } else if (slot == kVideoSlot || slot == kSecondVideoSlot) {
      // The end of a video: the script goes on after its line.
      video_ended_(slot);
    } else {
      StopDevice(slot);
    }
  }
}

}  // namespace tsumugi
