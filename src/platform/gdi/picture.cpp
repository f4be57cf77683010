#include "platform/gdi/picture.h"

#include <SDL.h>
#include <jpeglib.h>
// jerror.h after jpeglib.h: it names the warning codes checked below.
#include <jerror.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/gdi/picture_file.h"

namespace tsumugi::gdi {
namespace {

// The largest legitimate picture, kMaxPicturePixels at 32 bits per pixel, is
// 64 MiB; a JPEG of that size at the highest quality can be larger still.
constexpr size_t kMaxPictureFileBytes = size_t{128} << 20;

constexpr int64_t kMaxDimension = Surface::kMaxDimension;

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
  return (r << 16) | (g << 8) | b;
}

std::string SizeText(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// Refuses a size by its pixel count, before any pixel memory is taken.
bool TooManyPixels(int64_t width, int64_t height, std::string* error) {
  if (width * height <= kMaxPicturePixels) return false;
  *error = "the picture is too large (" + SizeText(width, height) + " is " +
           std::to_string(width * height) + " pixels; the limit is " +
           std::to_string(kMaxPicturePixels) + ")";
  return true;
}

// ---------------------------------------------------------------------------
// Windows bitmaps. SDL decodes them; the header is checked here first so that
// SDL only ever sees a size within the limits, a layout it reads correctly
// and pixel data that is all there.

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiRle8 = 1;
constexpr uint32_t kBiRle4 = 2;
constexpr uint32_t kBiBitfields = 3;

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;   // OS/2 1.x BITMAPCOREHEADER
constexpr uint32_t kOs2V2HeaderSize = 64;  // OS/2 2.x BITMAPINFOHEADER2

bool IsKnownHeaderSize(uint32_t size) {
  switch (size) {
    case kCoreHeaderSize:
    case 40:  // BITMAPINFOHEADER
    case 52:  // with RGB masks
    case 56:  // with RGBA masks
    case kOs2V2HeaderSize:
    case 108:  // BITMAPV4HEADER
    case 124:  // BITMAPV5HEADER
      return true;
    default:
      return false;
  }
}

bool CheckBmpHeader(const std::vector<uint8_t>& file, std::string* error) {
  const size_t size = file.size();
  if (size < kFileHeaderSize + 4) {
    *error = "the BMP header is truncated";
    return false;
  }
  const uint32_t pixel_offset = ReadLe32(&file[10]);
  const uint32_t header_size = ReadLe32(&file[14]);
  if (!IsKnownHeaderSize(header_size)) {
    *error = "unsupported BMP header of " + std::to_string(header_size) + " bytes";
    return false;
  }
  if (size < kFileHeaderSize + header_size) {
    *error = "the BMP header is truncated";
    return false;
  }
  const uint8_t* h = &file[kFileHeaderSize];
  const bool core = header_size == kCoreHeaderSize;
  int64_t width, height;
  int bits;
  uint32_t compression, colors_used;
  if (core) {
    width = ReadLe16(h + 4);
    height = ReadLe16(h + 6);
    bits = ReadLe16(h + 10);
    compression = kBiRgb;
    colors_used = 0;
  } else {
    width = ReadLeS32(h + 4);
    height = ReadLeS32(h + 8);
    bits = ReadLe16(h + 14);
    compression = ReadLe32(h + 16);
    colors_used = ReadLe32(h + 32);
  }
  // A negative height marks rows stored top to bottom.
  const bool top_down = height < 0;
  if (top_down) height = -height;
  if (width <= 0 || height == 0) {
    *error = "invalid BMP size " + SizeText(width, top_down ? -height : height);
    return false;
  }
  if (width > kMaxDimension || height > kMaxDimension) {
    *error = "the picture is too large (" + SizeText(width, height) + ", the limit is " +
             std::to_string(kMaxDimension) + ")";
    return false;
  }
  if (TooManyPixels(width, height, error)) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    *error = "unsupported BMP depth of " + std::to_string(bits) + " bits per pixel";
    return false;
  }

  size_t masks_size = 0;
  switch (compression) {
    case kBiRgb:
      break;
    case kBiRle8:
    case kBiRle4: {
      const int rle_bits = compression == kBiRle8 ? 8 : 4;
      if (bits != rle_bits) {
        *error = "RLE" + std::to_string(rle_bits) + " BMP with " + std::to_string(bits) +
                 " bits per pixel";
        return false;
      }
      if (top_down) {
        *error = "a compressed BMP cannot be stored top-down";
        return false;
      }
      break;
    }
    case kBiBitfields:
      // In the OS/2 2.x header this value means Huffman coding.
      if (header_size == kOs2V2HeaderSize) {
        *error = "OS/2 Huffman-compressed BMP is not supported";
        return false;
      }
      if (bits != 16 && bits != 32) {
        *error = "BI_BITFIELDS BMP with " + std::to_string(bits) + " bits per pixel";
        return false;
      }
      // The masks follow a 40-byte header; larger headers hold them.
      if (header_size == 40) masks_size = 12;
      break;
    default:
      *error = "unsupported BMP compression " + std::to_string(compression);
      return false;
  }

  const size_t entry_size = core ? 3 : 4;
  size_t colors = 0;
  if (bits <= 8) {
    // A count of 0, or one larger than the depth allows, means a full palette.
    colors = size_t{1} << bits;
    if (colors_used != 0 && colors_used < colors) colors = colors_used;
  }
  const size_t tables_end = kFileHeaderSize + header_size + masks_size + colors * entry_size;
  if (tables_end > size) {
    *error = "the BMP palette is truncated";
    return false;
  }
  if (pixel_offset < kFileHeaderSize + header_size || pixel_offset >= size) {
    *error = "the BMP pixel data offset " + std::to_string(pixel_offset) + " is outside the file";
    return false;
  }
  if (compression == kBiRgb || compression == kBiBitfields) {
    const uint64_t stride =
        (static_cast<uint64_t>(width) * static_cast<uint64_t>(bits) + 31) / 32 * 4;
    if (stride * static_cast<uint64_t>(height) > size - pixel_offset) {
      *error = "the BMP pixel data is truncated";
      return false;
    }
  }
  return true;
}

// Where one channel lies in a 16- or 32-bit pixel, from its mask.
struct ChannelLayout {
  uint32_t mask = 0;
  int shift = 0;
  int bits = 0;

  explicit ChannelLayout(uint32_t m) : mask(m) {
    if (mask == 0) return;
    while (((mask >> shift) & 1) == 0) ++shift;
    while (shift + bits < 32 && ((mask >> (shift + bits)) & 1) != 0) ++bits;
  }

  // The channel widened to eight bits by repeating its top bits below it:
  // (v << 3) | (v >> 2) for five bits, (v << 2) | (v >> 4) for six. Full
  // intensity stays 255, so white stays white, as in GDI. (SDL_GetRGB gives
  // v * 255 / 31 rounded down, one less for about half of the values.)
  uint32_t Of(uint32_t pixel) const {
    if (bits == 0) return 0;
    const uint32_t v = (pixel & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    uint32_t wide = 0;
    int filled = 0;
    while (filled < 8) {
      wide = (wide << bits) | v;
      filled += bits;
    }
    return wide >> (filled - 8);
  }
};

// Converts what SDL decoded into 0x00RRGGBB pixels.
void CopyBmpPixels(const SDL_Surface& bmp, Surface* image) {
  const SDL_PixelFormat* format = bmp.format;
  const int bytes = format->BytesPerPixel;
  const ChannelLayout red(format->Rmask), green(format->Gmask), blue(format->Bmask);
  for (int y = 0; y < bmp.h; ++y) {
    const uint8_t* src =
        static_cast<const uint8_t*>(bmp.pixels) + static_cast<size_t>(y) * bmp.pitch;
    uint32_t* dst = image->Row(y);
    for (int x = 0; x < bmp.w; ++x) {
      if (format->palette != nullptr) {
        // 1-, 4- and 8-bit pictures arrive as 8-bit indices. SDL checks the
        // indices of uncompressed data but not of RLE data.
        const uint8_t index = src[x];
        if (index < format->palette->ncolors) {
          const SDL_Color& c = format->palette->colors[index];
          dst[x] = Rgb(c.r, c.g, c.b);
        } else {
          dst[x] = 0;
        }
      } else if (bytes == 3) {
        // 24-bit rows are kept as stored in the file: blue, green, red.
        const uint8_t* p = src + 3 * x;
        dst[x] = Rgb(p[2], p[1], p[0]);
      } else {
        // 16 and 32 bits: SDL has put the pixels into host byte order and
        // describes their channels by masks.
        uint32_t value;
        if (bytes == 2) {
          uint16_t v16;
          std::memcpy(&v16, src + 2 * x, 2);
          value = v16;
        } else {
          std::memcpy(&value, src + 4 * x, 4);
        }
        dst[x] = Rgb(red.Of(value), green.Of(value), blue.Of(value));
      }
    }
  }
}

bool LoadBmp(const std::vector<uint8_t>& file, Surface* image, std::string* error) {
  if (!CheckBmpHeader(file, error)) return false;
  if (file.size() > static_cast<size_t>(INT32_MAX)) {
    *error = "the BMP file is too large";
    return false;
  }
  SDL_RWops* rw = SDL_RWFromConstMem(file.data(), static_cast<int>(file.size()));
  if (rw == nullptr) {
    *error = std::string("cannot read the BMP: ") + SDL_GetError();
    return false;
  }
  SDL_Surface* bmp = SDL_LoadBMP_RW(rw, 1);
  if (bmp == nullptr) {
    *error = std::string("bad BMP file: ") + SDL_GetError();
    return false;
  }
  const int bytes = bmp->format->BytesPerPixel;
  const bool supported = bmp->format->palette != nullptr ? bytes == 1 : (bytes >= 2 && bytes <= 4);
  if (!supported) {
    SDL_FreeSurface(bmp);
    *error = "unsupported BMP pixel format";
    return false;
  }
  *image = Surface(bmp->w, bmp->h);
  CopyBmpPixels(*bmp, image);
  SDL_FreeSurface(bmp);
  return true;
}

// ---------------------------------------------------------------------------
// JPEG, through libjpeg.
//
// libjpeg reports a fatal error by calling error_exit, which must not return:
// FailJpeg records the message and longjmps back to the setjmp of one of the
// Guarded* functions below. Those functions and the callbacks own no object
// with a destructor, so the jump skips no cleanup; the decompressor, the
// file's bytes and the pixel buffer belong to their callers.

// A progressive file may hold any number of scans, each of which passes over
// the whole picture; ordinary files have about ten. Capping them keeps a
// crafted file from taking minutes to load.
constexpr int kMaxJpegScans = 100;

struct JpegErrorState {
  jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void FailJpeg(j_common_ptr cinfo, const char* message) {
  auto* state = reinterpret_cast<JpegErrorState*>(cinfo->err);
  std::snprintf(state->message, sizeof state->message, "%s", message);
  std::longjmp(state->jump, 1);
}

[[noreturn]] void OnJpegError(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  FailJpeg(cinfo, message);
}

// Most warnings about damaged data do not stop decoding (the damaged part
// comes out smeared, as in other viewers), but running out of picture data
// does: libjpeg would quietly fill the rest with grey, so a cut-off file, or
// a tiny one whose header claims a huge size, would "load" after decoding
// millions of made-up pixels.
void OnJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
      FailJpeg(cinfo, "the file is truncated");
    case JWRN_HIT_MARKER:
      FailJpeg(cinfo, "the picture data ends early");
    default:
      ++cinfo->err->num_warnings;
  }
}

void OnJpegProgress(j_common_ptr cinfo) {
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    FailJpeg(cinfo, "too many progressive scans");
  }
}

bool GuardedCreate(jpeg_decompress_struct* cinfo, JpegErrorState* state) {
  if (setjmp(state->jump)) return false;
  jpeg_create_decompress(cinfo);
  return true;
}

bool GuardedReadHeader(jpeg_decompress_struct* cinfo, JpegErrorState* state,
                       const std::vector<uint8_t>* file) {
  if (setjmp(state->jump)) return false;
  jpeg_mem_src(cinfo, file->data(), static_cast<unsigned long>(file->size()));
  jpeg_read_header(cinfo, TRUE);
  return true;
}

// Decodes into *samples, whose capacity the caller has reserved for the whole
// picture, so that growing it inside here never allocates (and never throws).
// It grows row by row, so a truncated file touches only the memory of the
// rows it really holds.
bool GuardedDecode(jpeg_decompress_struct* cinfo, JpegErrorState* state,
                   std::vector<JSAMPLE>* samples) {
  if (setjmp(state->jump)) return false;
  jpeg_start_decompress(cinfo);
  const size_t row_size =
      static_cast<size_t>(cinfo->output_width) * static_cast<size_t>(cinfo->output_components);
  while (cinfo->output_scanline < cinfo->output_height) {
    const size_t offset = samples->size();
    samples->resize(offset + row_size);
    JSAMPROW row = samples->data() + offset;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

uint32_t CmykToRgb(const JSAMPLE* p, bool inverted) {
  uint32_t c = p[0], m = p[1], y = p[2], k = p[3];
  if (!inverted) {
    c = 255 - c;
    m = 255 - m;
    y = 255 - y;
    k = 255 - k;
  }
  // Now 255 means no ink: each channel is what its ink and the black leave.
  return Rgb((c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255);
}

bool LoadJpeg(const std::vector<uint8_t>& file, Surface* image, std::string* error) {
  jpeg_decompress_struct cinfo;
  JpegErrorState state;
  cinfo.err = jpeg_std_error(&state.manager);
  state.manager.error_exit = OnJpegError;
  state.manager.emit_message = OnJpegMessage;
  state.message[0] = '\0';
  jpeg_progress_mgr progress{};
  progress.progress_monitor = OnJpegProgress;

  std::vector<JSAMPLE> samples;
  bool ok = GuardedCreate(&cinfo, &state);
  if (ok) {
    cinfo.progress = &progress;
    ok = GuardedReadHeader(&cinfo, &state, &file);
  }
  bool cmyk = false;
  if (ok) {
    const int64_t width = cinfo.image_width;
    const int64_t height = cinfo.image_height;
    if (width == 0 || height == 0) {
      std::snprintf(state.message, sizeof state.message, "invalid JPEG size %s",
                    SizeText(width, height).c_str());
      ok = false;
    } else if (width > kMaxDimension || height > kMaxDimension) {
      std::snprintf(state.message, sizeof state.message,
                    "the picture is too large (%s, the limit is %d)",
                    SizeText(width, height).c_str(), Surface::kMaxDimension);
      ok = false;
    } else if (std::string reason; TooManyPixels(width, height, &reason)) {
      std::snprintf(state.message, sizeof state.message, "%s", reason.c_str());
      ok = false;
    } else {
      cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
      cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
      try {
        samples.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * (cmyk ? 4 : 3));
      } catch (const std::bad_alloc&) {
        std::snprintf(state.message, sizeof state.message, "out of memory");
        ok = false;
      }
    }
  }
  if (ok) ok = GuardedDecode(&cinfo, &state, &samples);
  int width = 0, height = 0;
  bool inverted = false;
  if (ok) {
    width = static_cast<int>(cinfo.output_width);
    height = static_cast<int>(cinfo.output_height);
    // Adobe applications write CMYK inverted (0 = full ink) and mark their
    // files; libjpeg passes the values through unchanged.
    inverted = cinfo.saw_Adobe_marker;
  }
  jpeg_destroy_decompress(&cinfo);
  if (!ok) {
    *error = std::string("bad JPEG file: ") + state.message;
    return false;
  }

  *image = Surface(width, height);
  const JSAMPLE* p = samples.data();
  for (int y = 0; y < height; ++y) {
    uint32_t* dst = image->Row(y);
    for (int x = 0; x < width; ++x) {
      if (cmyk) {
        dst[x] = CmykToRgb(p, inverted);
        p += 4;
      } else {
        dst[x] = Rgb(p[0], p[1], p[2]);
        p += 3;
      }
    }
  }
  return true;
}

}  // namespace

bool LoadPicture(const std::filesystem::path& path, Surface* out, std::string* error) {
  std::string reason;
  std::vector<uint8_t> file;
  Surface image;
  bool ok = ReadFileBytes(path, kMaxPictureFileBytes, &file, &reason);
  if (ok) {
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') {
      ok = LoadBmp(file, &image, &reason);
    } else if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8) {
      ok = LoadJpeg(file, &image, &reason);
    } else {
      reason = file.empty() ? "the file is empty" : "not a BMP or JPEG picture";
      ok = false;
    }
  }
  if (!ok) {
    if (error != nullptr) *error = std::move(reason);
    return false;
  }
  image.SetBackColor(out->BackColor());
  image.SetForeColor(out->ForeColor());
  *out = std::move(image);
  return true;
}

}  // namespace tsumugi::gdi
