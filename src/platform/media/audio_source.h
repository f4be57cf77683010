// A stream of sound for the mixer: stereo frames of 16-bit samples at the
// mix rate, read in order until it ends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace tsumugi::media {

class AudioSource {
 public:
  virtual ~AudioSource() = default;
  // Writes up to `frames` stereo frames to `out` (2 samples each); with
  // `out` null the frames are passed over without being made where that
  // saves work. Returns the number of frames, fewer than asked only at the
  // end of the stream.
  virtual int Read(int16_t* out, int frames) = 0;
  // Back to the beginning. False when the stream cannot start again.
  [[nodiscard]] virtual bool Rewind() = 0;
  // Frames given since the beginning.
  virtual uint64_t Position() const = 0;
  // Puts the stream `frame` frames from its beginning (at its end when it
  // is shorter), exactly as reading up to there would leave it; without
  // `exact` a source whose exact way is slow may come close instead.
  virtual void Seek(uint64_t frame, bool exact) = 0;
};

// A stream of silence of a given length: what stands in for a medium whose
// file has gone away, so that it still takes its time.
class SilentSource final : public AudioSource {
 public:
  explicit SilentSource(uint64_t length) : length_(length) {}
  int Read(int16_t* out, int frames) override {
    const uint64_t left = length_ - position_;
    const int n = left < static_cast<uint64_t>(frames) ? static_cast<int>(left) : frames;
    if (out) std::fill(out, out + static_cast<size_t>(n) * 2, int16_t{0});
    position_ += static_cast<uint64_t>(n);
    return n;
  }
  [[nodiscard]] bool Rewind() override {
    position_ = 0;
    return true;
  }
  uint64_t Position() const override { return position_; }
  void Seek(uint64_t frame, bool) override { position_ = frame < length_ ? frame : length_; }

 private:
  uint64_t length_;
  uint64_t position_ = 0;
};

}  // namespace tsumugi::media
