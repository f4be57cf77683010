// Saving surfaces as PNG files (screenshots, test output, the pictures of
// snapshot files) and loading them back.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/surface.h"

namespace tsumugi::gdi {

// Writes the surface as an 8-bit RGB PNG without alpha. The picture is
// written to a temporary file beside the target, which then replaces it, so a
// failure (a full disk) never destroys the file that was at `path`; a path
// that names a folder, device or FIFO is refused. On failure returns false
// and, if error is not null, stores a description in it. An empty surface
// cannot be written.
[[nodiscard]] bool WritePng(const Surface& surface, const std::string& path, std::string* error);

// Reads any PNG into *out (replacing its size and content), dropping alpha.
// On failure returns false, leaves *out unchanged and describes the problem
// in *error if it is not null. Images wider or taller than
// Surface::kMaxDimension are refused.
[[nodiscard]] bool ReadPng(const std::string& path, Surface* out, std::string* error);

// A text of a PNG file: a keyword (1 to 79 printable Latin-1 characters,
// such as "Title" or "Description") and its text in UTF-8.
struct PngText {
  std::string keyword;
  std::string text;
};

// A chunk of our own: a four-letter name and its data, written as it is.
struct PngChunk {
  std::string name;
  std::string_view data;
};

// Encodes the surface as an 8-bit RGB PNG without alpha into *out
// (replacing what it held): the texts as uncompressed international text
// (iTXt) chunks before the image, so that a program that only wants them
// finds them first, and the chunks after the image data, in the given order.
// A NUL character cannot be part of a PNG text and is written as U+FFFD.
// On failure (an empty surface, a chunk name that is not four letters, a
// chunk too long for PNG) returns false and describes the problem in *error
// if it is not null.
[[nodiscard]] bool EncodePng(const Surface& surface, const std::vector<PngText>& texts,
                             const std::vector<PngChunk>& chunks, std::string* out,
                             std::string* error);

// The most texts ReadPng and DecodePng keep, and the longest text
// (unpacked); further and longer ones are skipped.
inline constexpr int kMaxPngTexts = 32;
inline constexpr int kMaxPngTextBytes = 1 << 20;

// Decodes a whole PNG held in memory as ReadPng reads a file, and more
// strictly: a chunk whose checksum is wrong is an error even when it is
// optional (readers of pictures skip those). Images wider than `max_width`
// or higher than `max_height` are refused before their pixels are decoded.
// The texts (tEXt, zTXt and iTXt chunks, before and after the image) go to
// *texts in file order, converted to UTF-8. On failure returns false, leaves
// *out and *texts unchanged and describes the problem in *error if it is
// not null.
[[nodiscard]] bool DecodePng(std::string_view bytes, int max_width, int max_height, Surface* out,
                             std::vector<PngText>* texts, std::string* error);

}  // namespace tsumugi::gdi
