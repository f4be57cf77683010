#include "platform/gdi/png_writer.h"

#include <png.h>
#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "common/file_lookup.h"

namespace tsumugi::gdi {
namespace {

// libpng reports a fatal error by calling OnPngError, which must not return:
// it records the message and longjmps back to the setjmp in one of the
// Guarded* functions below. Those functions, and everything libpng calls,
// own no object with a destructor, so the jump skips no cleanup; buffers,
// strings and the FILE are owned by the callers of the Guarded* functions.
struct PngErrorState {
  char message[256];
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
  auto* state = static_cast<PngErrorState*>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", message);
  png_longjmp(png, 1);
}

// Warnings (e.g. about unknown chunks) do not stop reading or writing.
void OnPngWarning(png_structp, png_const_charp) {}

void SetError(std::string* error, std::string message) {
  if (error != nullptr) *error = std::move(message);
}

// libpng writes into memory; the file is written whole afterwards.
void AppendToBuffer(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), length);
}

void FlushNothing(png_structp) {}

void EncodeImage(png_structp png, png_infop info, std::string* out, const Surface& surface,
                 png_bytep row) {
  const int width = surface.Width();
  png_set_write_fn(png, out, AppendToBuffer, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width),
               static_cast<png_uint_32>(surface.Height()), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Screenshots are taken often (a game's CI takes hundreds) and read by
  // tools, not shipped: the fastest compression that still packs the flat
  // areas of a game's screen well, with the one filter that suits
  // pictures and text alike, costs a fraction of the default level's time.
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_write_info(png, info);
  for (int y = 0; y < surface.Height(); ++y) {
    const uint32_t* p = surface.Row(y);
    for (int x = 0; x < width; ++x) {
      row[3 * x + 0] = static_cast<png_byte>(p[x] >> 16);
      row[3 * x + 1] = static_cast<png_byte>(p[x] >> 8);
      row[3 * x + 2] = static_cast<png_byte>(p[x]);
    }
    png_write_row(png, row);
  }
  png_write_end(png, nullptr);
}

bool GuardedEncode(png_structp png, png_infop info, std::string* out, const Surface& surface,
                   png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  EncodeImage(png, info, out, surface, row);
  return true;
}

// Reads the header and sets up conversion of any PNG to 8-bit RGB.
void DecodeHeader(png_structp png, png_infop info, FILE* file) {
  png_init_io(png, file);
  png_read_info(png, info);
  png_set_expand(png);  // palette and low-bit grey to 8 bits, tRNS to alpha
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
}

bool GuardedDecodeHeader(png_structp png, png_infop info, FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  DecodeHeader(png, info, file);
  return true;
}

void DecodeImage(png_structp png, png_bytepp rows) {
  png_read_image(png, rows);
  png_read_end(png, nullptr);
}

bool GuardedDecodeImage(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  DecodeImage(png, rows);
  return true;
}

}  // namespace

bool WritePng(const Surface& surface, const std::string& path, std::string* error) {
  if (surface.Empty()) {
    SetError(error, "cannot write " + path + ": the surface is empty");
    return false;
  }
  std::vector<png_byte> row(static_cast<size_t>(surface.Width()) * 3);
  std::string encoded;
  PngErrorState state{};
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  std::string failure;
  if (png == nullptr || info == nullptr) {
    failure = "out of memory";
  } else if (!GuardedEncode(png, info, &encoded, surface, row.data())) {
    failure = state.message;
  }
  png_destroy_write_struct(&png, &info);
  // Written to a temporary file that then replaces the old one: a failure
  // (a full disk, say) leaves the file that was there as it was.
  if (failure.empty() && !WriteWholeFile(path, encoded, &failure)) {
    if (failure.empty()) failure = "write failed";
  }
  if (!failure.empty()) {
    SetError(error, "cannot write " + path + ": " + failure);
    return false;
  }
  return true;
}

bool ReadPng(const std::string& path, Surface* out, std::string* error) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    SetError(error, "cannot open " + path + ": " + std::strerror(errno));
    return false;
  }

  PngErrorState state{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  std::string failure;
  Surface image;
  if (png == nullptr || info == nullptr) {
    failure = "out of memory";
  } else if (!GuardedDecodeHeader(png, info, file)) {
    failure = state.message;
  } else {
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width > static_cast<png_uint_32>(Surface::kMaxDimension) ||
        height > static_cast<png_uint_32>(Surface::kMaxDimension)) {
      failure = "image of " + std::to_string(width) + "x" + std::to_string(height) +
                " pixels is too large";
    } else if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
               png_get_rowbytes(png, info) != static_cast<size_t>(width) * 3) {
      failure = "unsupported pixel format";
    } else {
      const size_t row_bytes = static_cast<size_t>(width) * 3;
      std::vector<png_byte> pixels(row_bytes * height);
      std::vector<png_bytep> rows(height);
      for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + y * row_bytes;
      if (!GuardedDecodeImage(png, rows.data())) {
        failure = state.message;
      } else {
        image = Surface(static_cast<int>(width), static_cast<int>(height));
        for (int y = 0; y < image.Height(); ++y) {
          const png_byte* src = rows[y];
          uint32_t* dst = image.Row(y);
          for (int x = 0; x < image.Width(); ++x) {
            dst[x] = (uint32_t{src[3 * x]} << 16) | (uint32_t{src[3 * x + 1]} << 8) |
                     uint32_t{src[3 * x + 2]};
          }
        }
      }
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);

  if (!failure.empty()) {
    SetError(error, "cannot read " + path + ": " + failure);
    return false;
  }
  image.SetBackColor(out->BackColor());
  image.SetForeColor(out->ForeColor());
  *out = std::move(image);
  return true;
}

}  // namespace tsumugi::gdi
