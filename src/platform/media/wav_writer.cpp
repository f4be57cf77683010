#include "platform/media/wav_writer.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "platform/media/ffmpeg_input.h"

namespace tsumugi::media {

namespace {

// Room for the data of a WAV file: its sizes are 32-bit.
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;

void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
}

void Header(uint8_t out[44], uint32_t data_bytes) {
  std::memcpy(out, "RIFF", 4);
  Put32(out + 4, 36 + data_bytes);
  std::memcpy(out + 8, "WAVEfmt ", 8);
  Put32(out + 16, 16);
  Put16(out + 20, 1);  // PCM
  Put16(out + 22, 2);
  Put32(out + 24, kSampleRate);
  Put32(out + 28, kSampleRate * 4);
  Put16(out + 32, 4);
  Put16(out + 34, 16);
  std::memcpy(out + 36, "data", 4);
  Put32(out + 40, data_bytes);
}

}  // namespace

WavWriter::~WavWriter() {
  if (file_) std::fclose(file_);
}

bool WavWriter::Open(const std::string& path, std::string* error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    *error = std::strerror(errno);
    return false;
  }
  uint8_t header[44];
  Header(header, 0);
  if (std::fwrite(header, 1, sizeof header, file_) != sizeof header) failed_ = true;
  return true;
}

void WavWriter::Write(const int16_t* samples, size_t frames) {
  if (!file_ || failed_) return;
  uint64_t bytes = static_cast<uint64_t>(frames) * 4;
  if (bytes_ + bytes > kMaxDataBytes) {
    too_long_ = true;
    bytes = (kMaxDataBytes - bytes_) & ~uint64_t{3};
  }
  // Samples are stored little-endian whatever this machine's order.
  uint8_t buffer[4096];
  const uint64_t count = bytes / 2;
  for (uint64_t done = 0; done < count;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof buffer / 2, count - done));
    for (size_t i = 0; i < n; ++i) Put16(buffer + 2 * i, static_cast<uint16_t>(samples[done + i]));
    if (std::fwrite(buffer, 2, n, file_) != n) {
      failed_ = true;
      return;
    }
    done += n;
  }
  bytes_ += bytes;
}

bool WavWriter::Finish(std::string* error) {
  if (!file_) return true;
  uint8_t header[44];
  Header(header, static_cast<uint32_t>(bytes_));
  if (std::fseek(file_, 0, SEEK_SET) != 0 || std::fwrite(header, 1, sizeof header, file_) != sizeof header) {
    failed_ = true;
  }
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  if (failed_) {
    *error = "cannot write the sound to '" + path_ + "'";
    return false;
  }
  if (too_long_) {
    *error = "the sound of the run is longer than a WAV file can hold; '" + path_ +
             "' has its first 6 hours";
    return false;
  }
  return true;
}

}  // namespace tsumugi::media
