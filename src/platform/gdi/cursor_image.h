// Loading cursor (.cur) and icon (.ico) files for the window's pointer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tsumugi::gdi {

struct CursorImage {
  int width = 0;
  int height = 0;
  // The pixel that points, inside the image.
  int hot_x = 0;
  int hot_y = 0;
  // width * height pixels, rows top to bottom: 0xFFRRGGBB where the pointer
  // is opaque and 0 where the file's AND mask makes it transparent (this
  // includes the pixels Windows drew by inverting the screen, which have no
  // equivalent here). The alpha of 32-bit images only decides between the
  // two: anything less than fully opaque is transparent.
  std::vector<uint32_t> argb;
};

// Largest width or height of a cursor image accepted; the largest icons
// Windows knows are 256 x 256.
inline constexpr int kMaxCursorDimension = 256;

// Loads a CUR or ICO file, decided by its content. When the file holds
// several images, the one Windows would pick for a standard pointer on a
// true-colour display is used: a 32 x 32 image if there is one, among those
// the one with the most bits per pixel, and the first of equals. Images this
// loader cannot read (PNG-compressed ones, say) are passed over.
//
// The hot spot of a CUR comes from its directory entry (moved inside the
// image if it lies outside). An ICO has none; Windows puts an icon's hot spot
// at its centre, and so does this loader: (width / 2, height / 2).
//
// On failure returns false, leaves *out unchanged and stores a short English
// reason (without the path) in *error if it is not null.
[[nodiscard]] bool LoadCursorImage(const std::filesystem::path& path, CursorImage* out,
                                   std::string* error);

}  // namespace tsumugi::gdi
