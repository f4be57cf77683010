// A stream of sound for the mixer: stereo frames of 16-bit samples at the
// mix rate, read in order until it ends.
#pragma once

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
  virtual bool Rewind() = 0;
};

}  // namespace tsumugi::media
