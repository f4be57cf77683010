// The sound of a file (WAV in PCM or ADPCM, MP3, a video's sound track, a
// CD-track file), decoded with FFmpeg and converted to the mix format.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/audio_source.h"
#include "platform/media/ffmpeg_input.h"

struct SwrContext;

namespace tsumugi::media {

class AudioFile final : public AudioSource {
 public:
  // Null with a reason in *error when the file has no sound the engine can
  // decode.
  static std::unique_ptr<AudioFile> Open(const std::filesystem::path& path, std::string* error);
  ~AudioFile() override;

  int Read(int16_t* out, int frames) override;
  // Opens the file again: every pass gives exactly the same samples.
  [[nodiscard]] bool Rewind() override;
  uint64_t Position() const override { return position_; }
  // Decodes from the start and throws the frames away: a decoder keeps
  // state from frame to frame (MP3 above all), so jumping to a time in the
  // file would not give the same samples.
  void Seek(uint64_t frame, bool exact) override;

 private:
  AudioFile() = default;
  [[nodiscard]] bool Start(std::string* error);
  // Decodes until converted frames are waiting or the file has ended.
  void Refill();
  void Convert(const uint8_t* const* data, int count);

  std::filesystem::path path_;
  DecodingStream stream_;
  SwrContext* resampler_ = nullptr;
  // What the converter was set up for.
  int in_format_ = -1;
  int in_rate_ = 0;
  AVChannelLayout in_layout_{};
  PacketPtr packet_;
  FramePtr frame_;
  // Converted frames not read yet (interleaved stereo), from `taken_` on.
  std::vector<int16_t> pending_;
  size_t taken_ = 0;
  bool flushed_ = false;
  uint64_t position_ = 0;
};

}  // namespace tsumugi::media
