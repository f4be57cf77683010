// libFuzzer target for the glue between the decoders and the engine: the
// MIDI reader and player, the FFmpeg sound and video readers, and the media
// devices mixing and drawing them. The first byte chooses the path; the
// rest is the file. Run by scripts/fuzz.sh.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_targets.h"
#include "platform/media/audio_file.h"
#include "platform/media/media_devices.h"
#include "platform/media/midi_player.h"
#include "platform/media/video_file.h"

namespace {

std::filesystem::path Scratch(const char* extension) {
  return std::filesystem::path("/dev/shm") /
         ("tsumugi-fuzz-" + std::to_string(getpid()) + extension);
}

void Write(const std::filesystem::path& path, const uint8_t* data, size_t size) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data),
                                              static_cast<std::streamsize>(size));
}

}  // namespace

int tsumugi::fuzz::Media(const uint8_t* data, size_t size) {
  using namespace tsumugi;
  using namespace tsumugi::media;
  if (size < 1) return 0;
  const uint8_t mode = data[0] % 4;
  ++data;
  --size;
  std::string error;
  int16_t buffer[2048];
  switch (mode) {
    case 0: {  // MIDI: read, then play every event through to the end.
      MidiSong song;
      if (!ParseMidiSong(std::string_view(reinterpret_cast<const char*>(data), size), &song,
                         &error)) {
        return 0;
      }
      for (size_t i = 0; i + 1 < song.events.size(); ++i) {
        if (song.events[i].frame > song.events[i + 1].frame) __builtin_trap();
        if (song.events[i].offset + song.events[i].size > song.bytes.size()) __builtin_trap();
      }
      const auto path = Scratch(".mid");
      Write(path, data, size);
      std::unique_ptr<MidiPlayer> player = MidiPlayer::Open(path, nullptr, &error);
      for (int i = 0; player && i < 200 && player->Read(buffer, 1024) == 1024; ++i) {
      }
      std::filesystem::remove(path);
      break;
    }
    case 1: {  // Sound: decode up to ten seconds.
      const auto path = Scratch(".wav");
      Write(path, data, size);
      std::unique_ptr<AudioFile> file = AudioFile::Open(path, &error);
      for (int i = 0; file && i < 430 && file->Read(buffer, 1024) == 1024; ++i) {
      }
      std::filesystem::remove(path);
      break;
    }
    case 2: {  // Pictures: decode and draw up to a hundred, stretched.
      const auto path = Scratch(".avi");
      Write(path, data, size);
      std::unique_ptr<VideoFile> video = VideoFile::Open(path, &error);
      gdi::Surface box(97, 61);
      for (int i = 0; video && i < 100 && video->DrawNext(&box); ++i) {
      }
      std::filesystem::remove(path);
      break;
    }
    case 3: {  // The devices: a video with its sound, mixed and drawn.
      const auto path = Scratch(".avi");
      Write(path, data, size);
      MediaDevices devices({.sound = true, .soundfont = {}, .err = nullptr});
      devices.Box().picture = gdi::Surface(160, 120);
      if (devices.Open(kVideoSlot, path)) {
        devices.ShowInVideoBox(kVideoSlot);
        devices.Play(kVideoSlot, true);
        for (int i = 0; i < 200; ++i) {
          const uint64_t target = devices.Position() + 1024;
          devices.Render(target, buffer);
          devices.Heard(devices.Position());
          devices.TakeNotification();
        }
      }
      std::filesystem::remove(path);
      break;
    }
  }
  return 0;
}
