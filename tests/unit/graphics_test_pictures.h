// Small picture files for the graphics tests: 24-bit uncompressed bitmaps
// painted by a function of the pixel position.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

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

// A grey bitmap of 8 bits per pixel. RLE8-compressed (`rle`), it holds runs
// for at most 64 rows and ends there: the file stays small whatever size its
// header claims, as a decompression bomb's does.
inline std::string Rle8(int32_t w, int32_t h, bool rle) {
  std::string b = "BM";
  auto le = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  std::string pixels;
  if (rle) {
    for (int32_t y = 0; y < std::min(h, 64); ++y) {
      for (int32_t x = 0; x < w; x += 255) pixels += {static_cast<char>(std::min(255, w - x)), 5};
      pixels += std::string("\0\0", 2);
    }
    pixels += std::string("\0\1", 2);
  } else {
    pixels.assign(static_cast<size_t>((w + 3) / 4 * 4) * static_cast<size_t>(h), '\x05');
  }
  le(14 + 40 + 1024 + static_cast<uint32_t>(pixels.size()), 4);
  le(0, 4);
  le(14 + 40 + 1024, 4);
  le(40, 4);
  le(static_cast<uint32_t>(w), 4);
  le(static_cast<uint32_t>(h), 4);
  le(1, 2);
  le(8, 2);
  le(rle ? 1 : 0, 4);
  le(static_cast<uint32_t>(pixels.size()), 4);
  for (int i = 0; i < 4; ++i) le(0, 4);
  for (int i = 0; i < 256; ++i) le(static_cast<uint32_t>(i * 0x010101), 4);
  return b + pixels;
}

// A 32-bit CUR file of w x h pixels, all opaque `argb`, hot spot (hx, hy).
inline std::string CursorFile(int w, int h, int hx, int hy, uint32_t argb) {
  std::string f;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f += static_cast<char>(i < 4 ? (v >> (8 * i)) & 0xFF : 0);
  };
  const auto uw = static_cast<uint32_t>(w), uh = static_cast<uint32_t>(h);
  const auto x = static_cast<uint32_t>(hx), y = static_cast<uint32_t>(hy);
  const uint32_t mask_row = (uw + 31) / 32 * 4, size = 40 + uw * uh * 4 + mask_row * uh;
  // The directory (a cursor, one image) and its entry, then the bitmap header
  // (twice the height: colour rows and mask), bottom-up colour rows and an
  // AND mask that leaves every pixel opaque.
  const std::pair<uint32_t, int> fields[] = {
      {0, 2},    {2, 2},  {1, 2},  {uw, 1}, {uh, 1},     {0, 2}, {x, 2},  {y, 2},
      {size, 4}, {22, 4}, {40, 4}, {uw, 4}, {2 * uh, 4}, {1, 2}, {32, 2}, {0, 24}};
  for (auto [v, n] : fields) put(v, n);
  for (uint32_t i = 0; i < uw * uh; ++i) put(argb, 4);
  f.append(mask_row * uh, '\0');
  return f;
}

}  // namespace tsumugi::test
