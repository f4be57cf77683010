// Writes the mix as a 16-bit stereo WAV file at the mix rate, as it is
// made, and fills in the sizes when it is finished.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tsumugi::media {

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates the file. False with a reason when it cannot be written.
  [[nodiscard]] bool Open(const std::string& path, std::string* error);
  // Appends frames (two samples each). A WAV file holds at most 4 GB of
  // sound; frames beyond that are dropped and Finish reports it.
  void Write(const int16_t* samples, size_t frames);
  // Writes the sizes and closes the file. False with a reason when anything
  // could not be written.
  [[nodiscard]] bool Finish(std::string* error);
  bool IsOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  uint64_t bytes_ = 0;
  bool failed_ = false;
  bool too_long_ = false;
};

}  // namespace tsumugi::media
