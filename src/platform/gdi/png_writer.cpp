#include "platform/gdi/png_writer.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
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

// A PNG held in memory, read front to back.
struct MemoryReader {
  const char* data;
  size_t size;
  size_t offset;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->offset) png_error(png, "the data end too early");
  std::memcpy(out, reader->data + reader->offset, length);
  reader->offset += length;
}

// The texts and chunks EncodePng adds, in the form libpng takes them; the
// strings they point to belong to the caller of the Guarded* functions.
struct EncodeExtras {
  png_textp texts;
  int text_count;
  const PngChunk* chunks;
  size_t chunk_count;
};

void EncodeImage(png_structp png, png_infop info, std::string* out, const Surface& surface,
                 png_bytep row, const EncodeExtras& extras) {
  const int width = surface.Width();
  png_set_write_fn(png, out, AppendToBuffer, FlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width),
               static_cast<png_uint_32>(surface.Height()), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (extras.text_count > 0) png_set_text(png, info, extras.texts, extras.text_count);
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
  // The last row has closed the image data; our chunks follow it, written
  // straight from the caller's memory.
  for (size_t i = 0; i < extras.chunk_count; ++i) {
    const PngChunk& chunk = extras.chunks[i];
    png_write_chunk(png, reinterpret_cast<png_const_bytep>(chunk.name.data()),
                    reinterpret_cast<png_const_bytep>(chunk.data.data()), chunk.data.size());
  }
  png_write_end(png, info);
}

bool GuardedEncode(png_structp png, png_infop info, std::string* out, const Surface& surface,
                   png_bytep row, const EncodeExtras& extras) {
  if (setjmp(png_jmpbuf(png))) return false;
  EncodeImage(png, info, out, surface, row, extras);
  return true;
}

// Reads the header, from wherever libpng was told to read, and sets up
// conversion of any PNG to 8-bit RGB.
void DecodeHeader(png_structp png, png_infop info) {
  png_read_info(png, info);
  png_set_expand(png);  // palette and low-bit grey to 8 bits, tRNS to alpha
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_gray_to_rgb(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
}

bool GuardedDecodeHeader(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  DecodeHeader(png, info);
  return true;
}

// The rows, then the chunks after them (texts there go into `info`).
void DecodeImage(png_structp png, png_infop info, png_bytepp rows) {
  png_read_image(png, rows);
  png_read_end(png, info);
}

bool GuardedDecodeImage(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  DecodeImage(png, info, rows);
  return true;
}

// Decodes the PNG that libpng has been given to read into *image. Returns
// what went wrong, or an empty text.
std::string DecodeToSurface(png_structp png, png_infop info, const PngErrorState& state,
                            png_uint_32 max_width, png_uint_32 max_height, Surface* image) {
  // Texts are kept, and they can be compressed: without these bounds a small
  // file of many such chunks could unpack to gigabytes.
  png_set_chunk_cache_max(png, kMaxPngTexts);
  png_set_chunk_malloc_max(png, kMaxPngTextBytes);
  if (!GuardedDecodeHeader(png, info)) return state.message;
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  if (width > max_width || height > max_height) {
    return "image of " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels is too large";
  }
  if (png_get_channels(png, info) != 3 || png_get_bit_depth(png, info) != 8 ||
      png_get_rowbytes(png, info) != static_cast<size_t>(width) * 3) {
    return "unsupported pixel format";
  }
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  std::vector<png_byte> pixels(row_bytes * height);
  std::vector<png_bytep> rows(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = pixels.data() + y * row_bytes;
  if (!GuardedDecodeImage(png, info, rows.data())) return state.message;
  Surface decoded(static_cast<int>(width), static_cast<int>(height));
  for (int y = 0; y < decoded.Height(); ++y) {
    const png_byte* src = rows[y];
    uint32_t* dst = decoded.Row(y);
    for (int x = 0; x < decoded.Width(); ++x) {
      dst[x] = (uint32_t{src[3 * x]} << 16) | (uint32_t{src[3 * x + 1]} << 8) |
               uint32_t{src[3 * x + 2]};
    }
  }
  *image = std::move(decoded);
  return {};
}

// tEXt and zTXt chunks hold Latin-1, iTXt chunks UTF-8.
std::string TextAsUtf8(const png_text& text) {
  if (text.compression >= PNG_ITXT_COMPRESSION_NONE) return text.text;
  std::string utf8;
  for (const char* c = text.text; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (byte < 0x80) {
      utf8 += *c;
    } else {
      utf8 += static_cast<char>(0xC0 | (byte >> 6));
      utf8 += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return utf8;
}

bool IsChunkName(const std::string& name) {
  if (name.size() != 4) return false;
  for (const char c : name) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

// A PNG text cannot hold a NUL character (libpng ends each text at one).
std::string WithoutNul(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\0') {
      out += "\xEF\xBF\xBD";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

bool EncodePng(const Surface& surface, const std::vector<PngText>& texts,
               const std::vector<PngChunk>& chunks, std::string* out, std::string* error) {
  if (surface.Empty()) {
    SetError(error, "the surface is empty");
    return false;
  }
  size_t chunk_bytes = 0;
  for (const PngChunk& chunk : chunks) {
    if (!IsChunkName(chunk.name)) {
      SetError(error, "\"" + chunk.name + "\" is not a PNG chunk name");
      return false;
    }
    if (chunk.data.size() > PNG_UINT_31_MAX) {
      SetError(error, "the chunk " + chunk.name + " is too long for PNG");
      return false;
    }
    chunk_bytes += chunk.data.size() + 12;
  }
  std::vector<std::string> keywords, values;
  std::vector<png_text> png_texts(texts.size());
  keywords.reserve(texts.size());
  values.reserve(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    keywords.push_back(texts[i].keyword);
    values.push_back(WithoutNul(texts[i].text));
    png_texts[i].compression = PNG_ITXT_COMPRESSION_NONE;
    png_texts[i].key = keywords.back().data();
    png_texts[i].text = values.back().data();
  }
  const EncodeExtras extras{png_texts.data(), static_cast<int>(png_texts.size()), chunks.data(),
                            chunks.size()};
  std::vector<png_byte> row(static_cast<size_t>(surface.Width()) * 3);
  std::string encoded;
  // Room for the chunks, so that the large ones are copied once.
  encoded.reserve(chunk_bytes + 4096 + row.size() * static_cast<size_t>(surface.Height()) / 2);
  PngErrorState state{};
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  std::string failure;
  if (png == nullptr || info == nullptr) {
    failure = "out of memory";
  } else if (!GuardedEncode(png, info, &encoded, surface, row.data(), extras)) {
    failure = state.message;
  }
  png_destroy_write_struct(&png, &info);
  if (!failure.empty()) {
    SetError(error, failure);
    return false;
  }
  *out = std::move(encoded);
  return true;
}

bool WritePng(const Surface& surface, const std::string& path, std::string* error) {
  std::string encoded, failure;
  // Written to a temporary file that then replaces the old one: a failure
  // (a full disk, say) leaves the file that was there as it was.
  if (EncodePng(surface, {}, {}, &encoded, &failure) &&
      !WriteWholeFile(path, encoded, &failure) && failure.empty()) {
    failure = "write failed";
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
  } else {
    png_init_io(png, file);
    constexpr auto kMax = static_cast<png_uint_32>(Surface::kMaxDimension);
    failure = DecodeToSurface(png, info, state, kMax, kMax, &image);
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

bool DecodePng(std::string_view bytes, int max_width, int max_height, Surface* out,
               std::vector<PngText>* texts, std::string* error) {
  MemoryReader reader{bytes.data(), bytes.size(), 0};
  PngErrorState state{};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  std::string failure;
  Surface image;
  std::vector<PngText> found;
  if (png == nullptr || info == nullptr) {
    failure = "out of memory";
  } else {
    png_set_read_fn(png, &reader, ReadFromMemory);
    png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_ERROR_QUIT);
    auto limit = [](int max) {
      return static_cast<png_uint_32>(std::clamp(max, 0, Surface::kMaxDimension));
    };
    failure = DecodeToSurface(png, info, state, limit(max_width), limit(max_height), &image);
    png_textp text = nullptr;
    const int count = failure.empty() ? png_get_text(png, info, &text, nullptr) : 0;
    for (int i = 0; i < count; ++i) found.push_back({text[i].key, TextAsUtf8(text[i])});
  }
  png_destroy_read_struct(&png, &info, nullptr);
  if (!failure.empty()) {
    SetError(error, failure);
    return false;
  }
  *out = std::move(image);
  *texts = std::move(found);
  return true;
}

}  // namespace tsumugi::gdi
