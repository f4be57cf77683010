// Small picture files for the graphics tests: 24-bit uncompressed bitmaps
// painted by a function of the pixel position.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "support/test_support.h"

namespace tsumugi::test {

// colour(x, y) returns 0xRRGGBB.
inline std::string BitmapBytes(int w, int h, const std::function<uint32_t(int, int)>& colour) {
  const int row_bytes = (w * 3 + 3) / 4 * 4;
  const uint32_t data_size = static_cast<uint32_t>(row_bytes) * static_cast<uint32_t>(h);
  std::string file(54 + data_size, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<char>(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put32(2, static_cast<uint32_t>(file.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(w));
  put32(22, static_cast<uint32_t>(h));
  file[26] = 1;
  file[28] = 24;
  put32(34, data_size);
  for (int y = 0; y < h; ++y) {
    // Rows are stored bottom-up.
    const size_t row = 54 + static_cast<size_t>(h - 1 - y) * row_bytes;
    for (int x = 0; x < w; ++x) {
      const uint32_t c = colour(x, y);
      file[row + x * 3] = static_cast<char>(c);
      file[row + x * 3 + 1] = static_cast<char>(c >> 8);
      file[row + x * 3 + 2] = static_cast<char>(c >> 16);
    }
  }
  return file;
}

inline void WriteBitmap(const std::filesystem::path& path, int w, int h,
                        const std::function<uint32_t(int, int)>& colour) {
  WriteFile(path, BitmapBytes(w, h, colour));
}

inline void WriteBitmap(const std::filesystem::path& path, int w, int h, uint32_t colour) {
  WriteBitmap(path, w, h, [colour](int, int) { return colour; });
}

}  // namespace tsumugi::test
