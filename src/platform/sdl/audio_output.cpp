#include "platform/sdl/audio_output.h"

#include <algorithm>
#include <cstring>

namespace tsumugi::sdl {

namespace {
// About 370 ms: room for the engine to fill well ahead of the device.
constexpr size_t kRingFrames = 16384;
}  // namespace

AudioOutput::~AudioOutput() {
  if (device_) {
    SDL_CloseAudioDevice(device_);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }
}

bool AudioOutput::Open(std::string* error) {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *error = SDL_GetError();
    return false;
  }
  capacity_ = kRingFrames;
  ring_.assign(capacity_ * 2, 0);
  SDL_AudioSpec want{};
  want.freq = 44100;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = &AudioOutput::Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  // SDL converts when the device wants another format.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    *error = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

size_t AudioOutput::Room() const {
  const uint64_t used = write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire);
  return capacity_ - static_cast<size_t>(used);
}

void AudioOutput::Push(const int16_t* samples, size_t frames) {
  frames = std::min(frames, Room());
  uint64_t at = write_.load(std::memory_order_relaxed);
  for (size_t i = 0; i < frames;) {
    const size_t index = static_cast<size_t>(at % capacity_);
    const size_t n = std::min(frames - i, capacity_ - index);
    std::memcpy(ring_.data() + index * 2, samples + i * 2, n * 2 * sizeof(int16_t));
    i += n;
    at += n;
  }
  write_.store(at, std::memory_order_release);
}

void AudioOutput::Pull(int16_t* out, size_t frames) {
  uint64_t at = read_.load(std::memory_order_relaxed);
  const uint64_t end = write_.load(std::memory_order_acquire);
  const size_t available = static_cast<size_t>(std::min<uint64_t>(frames, end - at));
  for (size_t i = 0; i < available;) {
    const size_t index = static_cast<size_t>(at % capacity_);
    const size_t n = std::min(available - i, capacity_ - index);
    std::memcpy(out + i * 2, ring_.data() + index * 2, n * 2 * sizeof(int16_t));
    i += n;
    at += n;
  }
  // A ring run dry plays silence; the clock of the mix waits for it.
  std::memset(out + available * 2, 0, (frames - available) * 2 * sizeof(int16_t));
  read_.store(at, std::memory_order_release);
}

void AudioOutput::Callback(void* self, Uint8* stream, int bytes) {
  static_cast<AudioOutput*>(self)->Pull(reinterpret_cast<int16_t*>(stream),
                                        static_cast<size_t>(bytes) / 4);
}

}  // namespace tsumugi::sdl
