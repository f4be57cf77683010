// A media service that plays nothing and records every call the engine
// makes, one short line each ("open 1 bgm.mid", "play 1", "stop 1"), so
// that a test can check the exact sequence. A test sets what the devices
// answer: the mode of each slot, the tracks of the disc, the video size.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/media/media_service.h"

namespace tsumugi::test {

class RecordingMedia final : public MediaService {
 public:
  std::vector<std::string> calls;
  std::array<DeviceMode, kSlotCount + 1> modes{};
  int tracks = 0;
  Size video_size{320, 240};
  // What Capture answers, and the state Restore was given last.
  MediaSnapshot captured;
  MediaSnapshot restored;

  // The calls recorded since the last Take, and a fresh start.
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(calls);
    return out;
  }

  bool Open(int slot, const std::filesystem::path& file) override {
    Log("open " + std::to_string(slot) + " " + file.filename().string());
    modes[slot] = DeviceMode::kStopped;
    return true;
  }
  bool OpenCd(int slot, const std::filesystem::path&) override {
    Log("open-cd " + std::to_string(slot));
    modes[slot] = DeviceMode::kStopped;
    return true;
  }
  int TrackCount(int) override { return tracks; }
  Size SourceSize(int) override { return video_size; }
  void ShowInVideoBox(int slot) override { Log("box " + std::to_string(slot)); }
  void Play(int slot, bool repeat) override {
    Log("play " + std::to_string(slot) + (repeat ? " repeat" : ""));
    modes[slot] = DeviceMode::kPlaying;
  }
  void PlayTracks(int slot, int from, int to) override {
    Log("play " + std::to_string(slot) + " from " + std::to_string(from) + " to " +
        std::to_string(to));
    modes[slot] = DeviceMode::kPlaying;
  }
  void SeekToStart(int slot) override { Log("seek " + std::to_string(slot) + " start"); }
  void SeekToTrack(int slot, int track) override {
    Log("seek " + std::to_string(slot) + " " + std::to_string(track));
  }
  void Stop(int slot) override {
    Log("stop " + std::to_string(slot));
    modes[slot] = DeviceMode::kStopped;
  }
  void Close(int slot) override {
    Log("close " + std::to_string(slot));
    modes[slot] = DeviceMode::kNotOpen;
  }
  DeviceMode Mode(int slot) override { return modes[slot]; }
  void PlaySound(const std::filesystem::path& file, bool repeat) override {
    Log("sound " + file.filename().string() + (repeat ? " repeat" : ""));
  }
  void StopSound() override { Log("sound stop"); }
  void WaitForSound() override { Log("sound wait"); }
  VideoBox& Box() override { return box_; }
  MediaSnapshot Capture() override {
    Log("capture");
    return captured;
  }
  void Restore(const MediaSnapshot& state) override {
    Log("restore");
    restored = state;
  }

 private:
  void Log(std::string call) { calls.push_back(std::move(call)); }
  VideoBox box_;
};

}  // namespace tsumugi::test
