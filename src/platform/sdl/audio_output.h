// The sound device of the window host: SDL audio pulls the mix from a ring
// that the engine's thread fills ahead. The device's thread only copies
// from the ring (silence when it runs dry), so neither thread ever waits
// for the other.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tsumugi::sdl {

class AudioOutput {
 public:
  AudioOutput() = default;
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Opens the default device for 44.1 kHz 16-bit stereo. False with SDL's
  // reason when there is none.
  [[nodiscard]] bool Open(std::string* error);
  bool IsOpen() const { return device_ != 0; }

  // Frames the device has taken so far: what the player hears now.
  uint64_t Played() const { return read_.load(std::memory_order_acquire); }
  // Frames that fit into the ring now.
  size_t Room() const;
  // Appends frames (two samples each); at most Room() of them are taken.
  void Push(const int16_t* samples, size_t frames);

 private:
  static void Callback(void* self, Uint8* stream, int bytes);
  void Pull(int16_t* out, size_t frames);

  SDL_AudioDeviceID device_ = 0;
  std::vector<int16_t> ring_;
  size_t capacity_ = 0;  // frames, a power of two
  std::atomic<uint64_t> read_{0};
  std::atomic<uint64_t> write_{0};
};

}  // namespace tsumugi::sdl
