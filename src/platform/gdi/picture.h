// Loading picture files (Windows bitmaps and JPEG) into surfaces.
//
// The format is decided by the file's first bytes, not its name: old games
// sometimes ship a JPEG named ".bmp" or the other way round, and the old
// loader looked at the content too.
//
// Windows bitmaps ("BM"): 1, 4, 8, 16, 24 and 32 bits per pixel; bottom-up
// and top-down rows; uncompressed, BI_BITFIELDS (16 and 32 bits), RLE8 and
// RLE4; the Windows headers (40, 52, 56, 108 and 124 bytes) and the OS/2
// ones (12-byte core header with 3-byte palette entries, 64-byte OS/2 2.x
// header). Colour conversion:
//   - palette pictures give their palette colours; an index past the end of
//     the palette (possible in RLE data) gives black, and pixels that RLE
//     data skips with a delta or end-of-line escape take palette entry 0;
//   - 16-bit pictures without BI_BITFIELDS are 5-5-5; a 5-bit channel v
//     becomes (v << 3) | (v >> 2) and a 6-bit one (v << 2) | (v >> 4), so
//     that full intensity stays 255 and pure white stays white;
//   - the fourth byte of 32-bit pixels is ignored: such pictures are opaque.
//
// JPEG (starting with the SOI marker): baseline and progressive, colour and
// greyscale; CMYK and YCCK pictures are converted to RGB (Adobe files store
// inverted CMYK and are read that way). A file whose picture data ends early
// (cut off, or shorter than its header's size needs) is refused, and so is
// one that ends before its end-of-image marker.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/gdi/surface.h"

namespace tsumugi::gdi {

// The most pixels a picture file may hold: 4096 x 4096, a generous bound for
// any game of this era. A larger picture is refused from its header, before
// it is decoded, so that a small compressed file cannot claim gigabytes.
inline constexpr int64_t kMaxPicturePixels = int64_t{1} << 24;

// Loads the picture into *out: on success *out gets the picture's size and
// its pixels (0x00RRGGBB), keeping its back and fore colours. On failure
// returns false, leaves *out unchanged and stores a short English reason
// (without the path) in *error if it is not null.
//
// Pictures with a width or height of 0 or over Surface::kMaxDimension, or with
// more than kMaxPicturePixels pixels, are refused from their header, before
// any pixel memory is allocated, and so are bitmaps whose header promises more
// pixel data than the file holds. Only a regular file of at most 128 MiB is
// read.
[[nodiscard]] bool LoadPicture(const std::filesystem::path& path, Surface* out, std::string* error);

}  // namespace tsumugi::gdi
