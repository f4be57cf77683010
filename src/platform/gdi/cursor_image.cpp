#include "platform/gdi/cursor_image.h"

#include <SDL.h>
#include <SDL_image.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/gdi/picture_file.h"
#include "platform/lazy/lazy_library.h"

namespace tsumugi::gdi {
namespace {

// SDL_image (and the image libraries it links) is loaded with the first
// cursor, not with the program.
LazyLibrary& SdlImage() {
  static LazyLibrary library({"libSDL2_image-2.0.so.0", "libSDL2_image.so"},
                             {"IMG_LoadCUR_RW", "IMG_LoadICO_RW"});
  return library;
}

template <typename Function>
Function* ImageFunction(Function*, const char* name) {
  return reinterpret_cast<Function*>(SdlImage().Function(name));
}

// A file with dozens of 256 x 256 true-colour images stays well below this.
constexpr size_t kMaxCursorFileBytes = size_t{16} << 20;

constexpr uint16_t kTypeIcon = 1;
constexpr uint16_t kTypeCursor = 2;
constexpr size_t kDirectoryHeaderSize = 6;
constexpr size_t kDirectoryEntrySize = 16;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPngSignature = 0x474E5089;  // "\x89PNG" read as little-endian

// One image of the file, as far as its headers tell.
struct IconImage {
  int width = 0;
  int height = 0;  // of the picture, half the DIB's height (which counts the mask too)
  int bits = 0;
  int hot_x = 0;
  int hot_y = 0;
  // Where the parts of the DIB lie in the file.
  size_t header_offset = 0;
  size_t palette_colors = 0;  // entries present in the file
  size_t bitmaps_offset = 0;  // colour bitmap, then the AND mask
  size_t bitmaps_size = 0;
};

// Reads the directory entry and the DIB header of one image and checks that
// SDL_image can read it completely: a 40-byte header, no compression, a size
// within the limits and all of the data inside the file.
bool ExamineImage(const std::vector<uint8_t>& file, const uint8_t* entry, IconImage* image,
                  std::string* error) {
  const size_t size = file.size();
  const uint32_t offset = ReadLe32(entry + 12);
  if (offset > size || size - offset < kInfoHeaderSize) {
    *error = "an image lies outside the file (the file may be truncated)";
    return false;
  }
  const uint8_t* h = &file[offset];
  const uint32_t header_size = ReadLe32(h);
  if (header_size == kPngSignature) {
    *error = "PNG-compressed images are not supported";
    return false;
  }
  if (header_size != kInfoHeaderSize) {
    *error = "unsupported image header of " + std::to_string(header_size) + " bytes";
    return false;
  }
  const int64_t width = ReadLeS32(h + 4);
  const int64_t dib_height = ReadLeS32(h + 8);
  const int bits = ReadLe16(h + 14);
  const uint32_t compression = ReadLe32(h + 16);
  const uint32_t colors_used = ReadLe32(h + 32);
  if (compression != 0) {
    *error = "compressed images are not supported";
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) {
    *error = "unsupported depth of " + std::to_string(bits) + " bits per pixel";
    return false;
  }
  const int64_t height = dib_height / 2;
  if (width <= 0 || height <= 0) {
    *error = "invalid image size " + std::to_string(width) + "x" + std::to_string(height);
    return false;
  }
  if (width > kMaxCursorDimension || height > kMaxCursorDimension) {
    *error = "the image is too large (" + std::to_string(width) + "x" + std::to_string(height) +
             ", the limit is " + std::to_string(kMaxCursorDimension) + ")";
    return false;
  }
  size_t colors = 0;
  if (bits <= 8) {
    colors = colors_used == 0 ? size_t{1} << bits : colors_used;
    if (colors > 256) {
      *error = "invalid palette of " + std::to_string(colors) + " colours";
      return false;
    }
  }
  const size_t color_stride =
      (static_cast<size_t>(width) * static_cast<size_t>(bits) + 31) / 32 * 4;
  const size_t mask_stride = (static_cast<size_t>(width) + 31) / 32 * 4;
  const size_t bitmaps_offset = offset + kInfoHeaderSize + colors * 4;
  const size_t bitmaps_size = (color_stride + mask_stride) * static_cast<size_t>(height);
  if (bitmaps_offset > size || size - bitmaps_offset < bitmaps_size) {
    *error = "the image data is truncated";
    return false;
  }
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->bits = bits;
  image->hot_x = ReadLe16(entry + 4);
  image->hot_y = ReadLe16(entry + 6);
  image->header_offset = offset;
  image->palette_colors = colors;
  image->bitmaps_offset = bitmaps_offset;
  image->bitmaps_size = bitmaps_size;
  return true;
}

// Windows picks the image closest to the system's pointer size, 32 x 32,
// with the most colours the display shows.
bool Better(const IconImage& a, const IconImage& b) {
  const bool a_standard = a.width == 32 && a.height == 32;
  const bool b_standard = b.width == 32 && b.height == 32;
  if (a_standard != b_standard) return a_standard;
  return a.bits > b.bits;
}

void Append16(std::vector<uint8_t>* out, uint32_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
void Append32(std::vector<uint8_t>* out, uint32_t v) {
  Append16(out, v & 0xFFFF);
  Append16(out, v >> 16);
}

// Builds a file holding only the chosen image, so that SDL_image decodes
// exactly the image that was checked (it would otherwise choose by itself).
// The palette is padded to its full size with black, so that pixels whose
// index lies past the file's palette come out black instead of reading
// whatever SDL_image's palette buffer held.
std::vector<uint8_t> SingleImageFile(const std::vector<uint8_t>& file, uint16_t type,
                                     const IconImage& image) {
  const size_t full_palette = image.bits <= 8 ? size_t{1} << image.bits : 0;
  const size_t kept_colors = std::min(image.palette_colors, full_palette);
  std::vector<uint8_t> out;
  out.reserve(kDirectoryHeaderSize + kDirectoryEntrySize + kInfoHeaderSize + full_palette * 4 +
              image.bitmaps_size);
  Append16(&out, 0);
  Append16(&out, type);
  Append16(&out, 1);
  // Directory entry: sizes (0 means 256), colour count, reserved, hot spot
  // (or planes and depth in an ICO; SDL_image reads neither), data size and
  // offset.
  out.push_back(static_cast<uint8_t>(image.width & 0xFF));
  out.push_back(static_cast<uint8_t>(image.height & 0xFF));
  out.push_back(static_cast<uint8_t>(full_palette & 0xFF));
  out.push_back(0);
  Append16(&out, 0);
  Append16(&out, 0);
  const size_t data_size = kInfoHeaderSize + full_palette * 4 + image.bitmaps_size;
  Append32(&out, static_cast<uint32_t>(data_size));
  Append32(&out, static_cast<uint32_t>(kDirectoryHeaderSize + kDirectoryEntrySize));
  // The DIB header with the palette size made implicit (the full palette).
  const uint8_t* header = &file[image.header_offset];
  const size_t header_at = out.size();
  out.insert(out.end(), header, header + kInfoHeaderSize);
  std::memset(&out[header_at + 32], 0, 4);
  const uint8_t* palette = header + kInfoHeaderSize;
  out.insert(out.end(), palette, palette + kept_colors * 4);
  out.resize(out.size() + (full_palette - kept_colors) * 4, 0);
  const uint8_t* bitmaps = &file[image.bitmaps_offset];
  out.insert(out.end(), bitmaps, bitmaps + image.bitmaps_size);
  return out;
}

bool Decode(const std::vector<uint8_t>& file, uint16_t type, const IconImage& image,
            CursorImage* out, std::string* error) {
  if (!SdlImage().Load()) {
    *error = SdlImage().Error();
    return false;
  }
  const std::vector<uint8_t> single = SingleImageFile(file, type, image);
  SDL_RWops* rw = SDL_RWFromConstMem(single.data(), static_cast<int>(single.size()));
  if (rw == nullptr) {
    *error = std::string("cannot read the cursor: ") + SDL_GetError();
    return false;
  }
  SDL_Surface* loaded = type == kTypeCursor
                            ? ImageFunction(&IMG_LoadCUR_RW, "IMG_LoadCUR_RW")(rw)
                            : ImageFunction(&IMG_LoadICO_RW, "IMG_LoadICO_RW")(rw);
  SDL_RWclose(rw);
  if (loaded == nullptr) {
    *error = std::string("bad cursor file: ") + IMG_GetError();
    return false;
  }
  SDL_Surface* argb = loaded;
  if (loaded->format->format != SDL_PIXELFORMAT_ARGB8888) {
    argb = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (argb == nullptr) {
      *error = std::string("cannot convert the cursor: ") + SDL_GetError();
      return false;
    }
  }
  if (argb->w != image.width || argb->h != image.height) {
    SDL_FreeSurface(argb);
    *error = "the image does not have the size its header gives";
    return false;
  }
  // Pointers of that time were opaque or transparent, nothing between.
  // SDL_image versions differ in what they leave in a transparent pixel (the
  // colour with alpha 0, or all zero) and in whether a 32-bit image keeps its
  // own alpha; a pixel counts as opaque only when fully so, and every other
  // one becomes 0.
  out->width = argb->w;
  out->height = argb->h;
  out->argb.resize(static_cast<size_t>(argb->w) * static_cast<size_t>(argb->h));
  for (int y = 0; y < argb->h; ++y) {
    const uint8_t* row =
        static_cast<const uint8_t*>(argb->pixels) + static_cast<size_t>(y) * argb->pitch;
    uint32_t* dst = &out->argb[static_cast<size_t>(y) * static_cast<size_t>(argb->w)];
    for (int x = 0; x < argb->w; ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, row + 4 * x, 4);
      dst[x] = (pixel >> 24) == 0xFF ? pixel : 0;
    }
  }
  SDL_FreeSurface(argb);
  return true;
}

bool Load(const std::vector<uint8_t>& file, CursorImage* out, std::string* error) {
  if (file.size() < kDirectoryHeaderSize) {
    *error = file.empty() ? "the file is empty" : "the file is truncated";
    return false;
  }
  const uint16_t reserved = ReadLe16(&file[0]);
  const uint16_t type = ReadLe16(&file[2]);
  const size_t count = ReadLe16(&file[4]);
  if (reserved != 0 || (type != kTypeIcon && type != kTypeCursor)) {
    *error = "not a CUR or ICO file";
    return false;
  }
  if (count == 0) {
    *error = "the file holds no image";
    return false;
  }
  if (file.size() < kDirectoryHeaderSize + count * kDirectoryEntrySize) {
    *error = "the file is truncated";
    return false;
  }
  // Images this loader cannot use are passed over (an icon may hold a PNG
  // image beside ordinary ones); the first one's problem is reported when
  // none is usable.
  IconImage best;
  bool found = false;
  std::string first_problem;
  for (size_t i = 0; i < count; ++i) {
    IconImage image;
    std::string problem;
    const uint8_t* entry = &file[kDirectoryHeaderSize + i * kDirectoryEntrySize];
    if (!ExamineImage(file, entry, &image, &problem)) {
      if (first_problem.empty()) first_problem = std::move(problem);
      continue;
    }
    if (!found || Better(image, best)) best = image;
    found = true;
  }
  if (!found) {
    *error = std::move(first_problem);
    return false;
  }

  CursorImage result;
  if (!Decode(file, type, best, &result, error)) return false;
  if (type == kTypeCursor) {
    result.hot_x = std::clamp(best.hot_x, 0, result.width - 1);
    result.hot_y = std::clamp(best.hot_y, 0, result.height - 1);
  } else {
    result.hot_x = result.width / 2;
    result.hot_y = result.height / 2;
  }
  *out = std::move(result);
  return true;
}

}  // namespace

bool LoadCursorImage(const std::filesystem::path& path, CursorImage* out, std::string* error) {
  std::vector<uint8_t> file;
  std::string reason;
  bool ok = ReadFileBytes(path, kMaxCursorFileBytes, &file, &reason);
  if (ok) ok = Load(file, out, &reason);
  if (!ok && error != nullptr) *error = std::move(reason);
  return ok;
}

}  // namespace tsumugi::gdi
