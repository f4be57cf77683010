#include "engine/state/state_io.h"

#include <bit>
#include <sstream>

#include "common/file_lookup.h"
#include "common/text_codec.h"

namespace tsumugi {

// --- Writer ------------------------------------------------------------------------

void StateWriter::operator()(std::u16string& text) {
  size_t count = text.size();
  Count(count, 2);
  for (char16_t c : text) {
    uint16_t unit = c;
    (*this)(unit);
  }
}

void StateWriter::operator()(std::string& text) {
  size_t count = text.size();
  Count(count, 1);
  bytes.append(text);
}

void StateWriter::operator()(std::filesystem::path& path) {
  std::string utf8 = PathToUtf8(path);
  (*this)(utf8);
}

void StateWriter::operator()(gdi::Surface& surface) {
  int32_t width = surface.Width();
  int32_t height = surface.Height();
  uint32_t back = surface.BackColor();
  uint32_t fore = surface.ForeColor();
  (*this)(width);
  (*this)(height);
  (*this)(back);
  (*this)(fore);
  if (shelf_) {
    uint32_t index = shelf_->Put(surface);
    (*this)(index);
    return;
  }
  // Pixels as they are stored, 0x00RRGGBB, little-endian.
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if constexpr (std::endian::native == std::endian::little) {
    // Appended as they are, without clearing the room first.
    if (count != 0) bytes.append(reinterpret_cast<const char*>(surface.Data()), count * 4);
  } else {
    const size_t at = bytes.size();
    bytes.resize(at + count * 4);
    for (size_t i = 0; i < count; ++i) {
      const uint32_t p = surface.Data()[i];
      for (size_t b = 0; b < 4; ++b) bytes[at + i * 4 + b] = static_cast<char>(p >> (8 * b));
    }
  }
}

void StateWriter::operator()(std::mt19937& generator) {
  std::ostringstream text;
  text << generator;
  std::string words = text.str();
  (*this)(words);
}

// --- Reader ------------------------------------------------------------------------

void StateReader::Count(size_t& count, size_t min_bytes_each) {
  uint32_t n = 0;
  (*this)(n);
  if (static_cast<uint64_t>(n) * min_bytes_each > bytes_.size() - at_) {
    Fail("a count of " + std::to_string(n) + " is more than the state holds");
  }
  count = n;
}

void StateReader::operator()(std::u16string& text) {
  size_t count = 0;
  Count(count, 2);
  text.resize(count);
  for (char16_t& c : text) {
    uint16_t unit = 0;
    (*this)(unit);
    c = unit;
  }
}

void StateReader::operator()(std::string& text) {
  size_t count = 0;
  Count(count, 1);
  text.assign(bytes_.substr(at_, count));
  at_ += count;
}

void StateReader::operator()(std::filesystem::path& path) {
  std::string utf8;
  (*this)(utf8);
  path = PathFromUtf16(Utf8ToUtf16(utf8));
}

void StateReader::operator()(gdi::Surface& surface) {
  int32_t width = 0, height = 0;
  uint32_t back = 0, fore = 0;
  (*this)(width);
  (*this)(height);
  (*this)(back);
  (*this)(fore);
  if (width < 0 || height < 0 || width > gdi::Surface::kMaxDimension ||
      height > gdi::Surface::kMaxDimension) {
    Fail("a picture of " + std::to_string(width) + "x" + std::to_string(height));
  }
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (shelf_) {
    uint32_t index = 0;
    (*this)(index);
    // The shelf writes every pixel.
    if (surface.Width() != width || surface.Height() != height) {
      surface = gdi::Surface(width, height);
    }
    surface.SetBackColor(back);
    surface.SetForeColor(fore);
    if (!shelf_->Take(index, surface)) Fail("a picture kept apart is missing");
    return;
  }
  Need(count * 4);
  surface = gdi::Surface(width, height);
  surface.SetBackColor(back);
  surface.SetForeColor(fore);
  uint32_t* pixels = surface.Data();
  const auto* in = reinterpret_cast<const uint8_t*>(bytes_.data() + at_);
  for (size_t i = 0; i < count; ++i) {
    // The top byte of a stored pixel is always 0.
    pixels[i] = (uint32_t{in[i * 4]} | uint32_t{in[i * 4 + 1]} << 8 | uint32_t{in[i * 4 + 2]} << 16);
  }
  at_ += count * 4;
}

void StateReader::operator()(std::mt19937& generator) {
  std::string words;
  (*this)(words);
  std::istringstream text(words);
  std::mt19937 read;
  text >> read;
  if (text.fail()) Fail("the random generator's state is damaged");
  generator = read;
}

}  // namespace tsumugi
