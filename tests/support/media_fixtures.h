// Media files made by the tests themselves: tones as WAV and MP3, MIDI
// songs, AVI videos in the codecs of the time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tsumugi::test {

// A 16-bit PCM WAV file of a sine tone.
std::string MakeWav(int milliseconds, int rate = 22050, int channels = 1, int frequency = 440,
                    int amplitude = 8000);
// The same, `frames` frames long.
std::string MakeWavFrames(int64_t frames, int rate, int channels = 1, int frequency = 440,
                          int amplitude = 8000);

// A MIDI file. Each track is a list of (delta ticks, message bytes), meta
// events written as FF TYPE DATA...; 480 ticks a quarter note, so 960 ticks
// a second at the default tempo.
using MidiTrack = std::vector<std::pair<uint32_t, std::vector<uint8_t>>>;
std::string MakeMidi(const std::vector<MidiTrack>& tracks, int format = 1);
// A song of one held note on channel 1 lasting `milliseconds`.
std::string MakeMidiNote(int milliseconds);

// An MP3 file of a sine tone, encoded with the LAME encoder. Empty when the
// encoder is missing.
std::string MakeMp3(int milliseconds, int frequency = 330);

struct VideoParams {
  int width = 320;
  int height = 240;
  int frames = 30;
  int fps = 15;
  // An FFmpeg encoder: "msvideo1", "cinepak", "rawvideo".
  std::string codec = "msvideo1";
  // Picture i is filled with colour i % colours.size() (0xRRGGBB), with a
  // white square in its top-left corner.
  std::vector<uint32_t> colours = {0xFF0000, 0x0000FF};
  // A tone as sound track (22,050 Hz mono PCM) as long as the pictures.
  bool sound = false;
  // Pictures full of moving detail, as a real movie has, instead of plain
  // colours.
  bool busy = false;
};
// Writes an AVI file; false with a reason when it could not be made.
bool WriteVideo(const std::filesystem::path& path, const VideoParams& params, std::string* error);

// Makes one fixture from a line "PATH KIND ARGS...", below `folder`:
//   PATH wav MS [RATE]      PATH mp3 MS      PATH midi MS
//   PATH avi WxH MS CODEC [sound]
// False with a reason for a line it cannot make.
bool MakeFixture(const std::filesystem::path& folder, const std::string& line, std::string* error);

}  // namespace tsumugi::test
