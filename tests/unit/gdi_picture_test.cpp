// Picture and cursor loading. Every fixture is generated here: bitmaps by a
// small writer that lays out each header, depth and compression byte by byte,
// JPEGs through libjpeg's compressor, cursors and icons by a directory writer.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/cursor_image.h"
#include "platform/gdi/picture.h"
#include "platform/gdi/surface.h"
#include "support/test_support.h"

namespace tsumugi::gdi {
namespace {

namespace fs = std::filesystem;

using Rows = std::vector<std::vector<uint32_t>>;  // top row first

// ---------------------------------------------------------------------------
// Byte helpers

void Put8(std::string* b, uint32_t v) {
  b->push_back(static_cast<char>(v & 0xFF));
}
void Put16(std::string* b, uint32_t v) {
  Put8(b, v);
  Put8(b, v >> 8);
}
void Put32(std::string* b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void Patch32(std::string* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Patch16(std::string* b, size_t at, uint32_t v) {
  (*b)[at] = static_cast<char>(v & 0xFF);
  (*b)[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
std::string Bytes(const std::vector<int>& bytes) {
  std::string s;
  for (int v : bytes) Put8(&s, static_cast<uint32_t>(v));
  return s;
}

// Deterministic pseudo-random bytes.
class Lcg {
 public:
  explicit Lcg(uint32_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

 private:
  uint32_t state_;
};

// A palette in which every entry differs from every other (the red channel
// alone is a permutation of 0..255).
std::vector<uint32_t> DistinctPalette(size_t n) {
  std::vector<uint32_t> p;
  for (uint32_t i = 0; i < n; ++i) {
    p.push_back(((i * 37 + 11) & 0xFF) << 16 | ((255 - i * 11) & 0xFF) << 8 |
                ((i * 101 + 7) & 0xFF));
  }
  return p;
}

// ---------------------------------------------------------------------------
// BMP writer

enum class BmpHeader { kCore12, kInfo40, kOs2V2_64, kV4_108 };

struct Bmp {
  BmpHeader header = BmpHeader::kInfo40;
  int32_t width = 0;
  int32_t height = 0;  // negative: rows stored top to bottom
  int bits = 24;
  uint32_t compression = 0;
  std::vector<uint32_t> palette;  // 0x00RRGGBB
  uint32_t colors_used = 0;
  std::vector<uint32_t> masks;  // BI_BITFIELDS: after a 40-byte header, or in the V4 header
  std::string data;             // the pixel data as stored
};

uint32_t HeaderSize(BmpHeader h) {
  switch (h) {
    case BmpHeader::kCore12:
      return 12;
    case BmpHeader::kInfo40:
      return 40;
    case BmpHeader::kOs2V2_64:
      return 64;
    case BmpHeader::kV4_108:
      return 108;
  }
  return 0;
}

std::string EncodeBmp(const Bmp& bmp) {
  const uint32_t header_size = HeaderSize(bmp.header);
  const bool core = bmp.header == BmpHeader::kCore12;
  std::string tables;
  if (bmp.header == BmpHeader::kInfo40) {
    for (uint32_t m : bmp.masks) Put32(&tables, m);
  }
  for (uint32_t c : bmp.palette) {
    Put8(&tables, c);
    Put8(&tables, c >> 8);
    Put8(&tables, c >> 16);
    if (!core) Put8(&tables, 0);
  }
  const uint32_t offset = 14 + header_size + static_cast<uint32_t>(tables.size());
  std::string out = "BM";
  Put32(&out, offset + static_cast<uint32_t>(bmp.data.size()));
  Put32(&out, 0);
  Put32(&out, offset);
  Put32(&out, header_size);
  if (core) {
    Put16(&out, static_cast<uint32_t>(bmp.width));
    Put16(&out, static_cast<uint32_t>(bmp.height));
    Put16(&out, 1);
    Put16(&out, static_cast<uint32_t>(bmp.bits));
  } else {
    Put32(&out, static_cast<uint32_t>(bmp.width));
    Put32(&out, static_cast<uint32_t>(bmp.height));
    Put16(&out, 1);
    Put16(&out, static_cast<uint32_t>(bmp.bits));
    Put32(&out, bmp.compression);
    Put32(&out, static_cast<uint32_t>(bmp.data.size()));
    Put32(&out, 2835);
    Put32(&out, 2835);
    Put32(&out, bmp.colors_used);
    Put32(&out, 0);
    if (bmp.header == BmpHeader::kV4_108) {
      for (size_t i = 0; i < 4; ++i) Put32(&out, i < bmp.masks.size() ? bmp.masks[i] : 0);
      Put32(&out, 0x57696E20);    // "Win "
      out.append(36 + 12, '\0');  // end points and gamma
    }
    out.resize(14 + header_size, '\0');
  }
  return out + tables + bmp.data;
}

// Packs rows (top first) into BMP rows of `bits` bits, each padded to four
// bytes, bottom row first unless top_down. Values are palette indices for up
// to 8 bits, the stored 16- or 32-bit word, or 0x00RRGGBB for 24 bits.
std::string PackRows(const Rows& rows, int bits, bool top_down) {
  std::string out;
  for (size_t i = 0; i < rows.size(); ++i) {
    const auto& row = rows[top_down ? i : rows.size() - 1 - i];
    std::string packed;
    if (bits < 8) {
      const int per_byte = 8 / bits;
      for (size_t x = 0; x < row.size(); x += per_byte) {
        uint32_t byte = 0;
        for (int k = 0; k < per_byte; ++k) {
          const uint32_t v = x + k < row.size() ? row[x + k] : 0;
          byte |= v << (8 - bits * (k + 1));
        }
        Put8(&packed, byte);
      }
    } else {
      for (uint32_t v : row) {
        if (bits == 8) Put8(&packed, v);
        if (bits == 16) Put16(&packed, v);
        if (bits == 24) {
          Put8(&packed, v);
          Put8(&packed, v >> 8);
          Put8(&packed, v >> 16);
        }
        if (bits == 32) Put32(&packed, v);
      }
    }
    while (packed.size() % 4 != 0) packed.push_back('\0');
    out += packed;
  }
  return out;
}

Rows MapRows(const Rows& rows, const std::vector<uint32_t>& palette) {
  Rows out = rows;
  for (auto& row : out) {
    for (auto& v : row) v = palette.at(v);
  }
  return out;
}

// 5 x 3 indices, every row different; five columns exercise the row padding
// of every depth.
Rows IndexRows(int bits) {
  const uint32_t colors = 1u << bits;
  Rows rows(3, std::vector<uint32_t>(5));
  for (uint32_t y = 0; y < 3; ++y) {
    for (uint32_t x = 0; x < 5; ++x) rows[y][x] = (x * 3 + y * 7 + (bits == 8 ? 200 : 0)) % colors;
  }
  return rows;
}

// ---------------------------------------------------------------------------
// JPEG writer

struct JpegOptions {
  int width = 32;
  int height = 32;
  J_COLOR_SPACE space = JCS_RGB;  // of the samples given
  bool progressive = false;
  std::vector<jpeg_scan_info> scans;  // a custom scan script, if not empty
};

std::string EncodeJpeg(const JpegOptions& options, const std::vector<uint8_t>& samples) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(options.width);
  cinfo.image_height = static_cast<JDIMENSION>(options.height);
  cinfo.in_color_space = options.space;
  cinfo.input_components = options.space == JCS_GRAYSCALE ? 1 : options.space == JCS_CMYK ? 4 : 3;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  if (!options.scans.empty()) {
    cinfo.scan_info = options.scans.data();
    cinfo.num_scans = static_cast<int>(options.scans.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  const size_t row_size = static_cast<size_t>(options.width) * cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPLE*>(samples.data() + cinfo.next_scanline * row_size);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

// Four flat 16 x 16 quadrants of the given colours (0x00RRGGBB, or grey
// levels, or stored CMYK bytes packed as 0xCCMMYYKK) in a 32 x 32 picture:
// the quadrants line up with the blocks of chroma subsampling, so that the
// inside of each comes back within rounding of its colour.
std::vector<uint8_t> QuadrantSamples(J_COLOR_SPACE space, const uint32_t (&colors)[4]) {
  std::vector<uint8_t> samples;
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const uint32_t c = colors[(y / 16) * 2 + x / 16];
      if (space == JCS_GRAYSCALE) {
        samples.push_back(static_cast<uint8_t>(c));
      } else if (space == JCS_CMYK) {
        for (int shift : {24, 16, 8, 0}) samples.push_back(static_cast<uint8_t>(c >> shift));
      } else {
        for (int shift : {16, 8, 0}) samples.push_back(static_cast<uint8_t>(c >> shift));
      }
    }
  }
  return samples;
}

// Checks the inside of each quadrant (two pixels in from its edges, where
// upsampling blends neighbouring colours) against the expected 0x00RRGGBB.
void ExpectQuadrants(const Surface& s, const uint32_t (&expected)[4], int tolerance) {
  ASSERT_EQ(s.Width(), 32);
  ASSERT_EQ(s.Height(), 32);
  for (int q = 0; q < 4; ++q) {
    for (int y = (q / 2) * 16 + 2; y < (q / 2) * 16 + 14; ++y) {
      for (int x = (q % 2) * 16 + 2; x < (q % 2) * 16 + 14; ++x) {
        const uint32_t got = s.PixelAt(x, y);
        for (int shift : {16, 8, 0}) {
          const int g = static_cast<int>((got >> shift) & 0xFF);
          const int e = static_cast<int>((expected[q] >> shift) & 0xFF);
          if (std::abs(g - e) > tolerance) {
            FAIL() << "quadrant " << q << " pixel " << x << "," << y << " is " << std::hex << got
                   << ", expected about " << expected[q];
          }
        }
      }
    }
  }
}

size_t FindSof(const std::string& jpeg) {
  for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
    const auto a = static_cast<uint8_t>(jpeg[i]);
    const auto b = static_cast<uint8_t>(jpeg[i + 1]);
    if (a == 0xFF && (b == 0xC0 || b == 0xC2)) return i;
  }
  return std::string::npos;
}

// Rewrites the size in the frame header (height, then width, big-endian).
std::string WithJpegSize(std::string jpeg, uint32_t width, uint32_t height) {
  const size_t sof = FindSof(jpeg);
  EXPECT_NE(sof, std::string::npos);
  jpeg[sof + 5] = static_cast<char>(height >> 8);
  jpeg[sof + 6] = static_cast<char>(height & 0xFF);
  jpeg[sof + 7] = static_cast<char>(width >> 8);
  jpeg[sof + 8] = static_cast<char>(width & 0xFF);
  return jpeg;
}

constexpr uint32_t kQuadrantColors[4] = {0xC8283C, 0x1EA05A, 0x3246D2, 0xF0E614};

// ---------------------------------------------------------------------------
// Fixture

class GdiPictureFiles : public testing::Test {
 protected:
  fs::path Write(const std::string& bytes, const std::string& name = "picture.bmp") {
    const fs::path path = dir_ / name;
    test::WriteFile(path, bytes);
    return path;
  }

  // Loads the bytes as a picture file; the error must be set exactly when
  // loading fails.
  bool Load(const std::string& bytes, Surface* out, std::string* error,
            const std::string& name = "picture.bmp") {
    error->clear();
    const bool ok = LoadPicture(Write(bytes, name), out, error);
    EXPECT_EQ(ok, error->empty()) << *error;
    return ok;
  }

  ::testing::AssertionResult LoadsAs(const std::string& bytes, const Rows& expected) {
    Surface s;
    std::string error;
    if (!Load(bytes, &s, &error)) return ::testing::AssertionFailure() << "not loaded: " << error;
    const int h = static_cast<int>(expected.size());
    const int w = static_cast<int>(expected[0].size());
    if (s.Width() != w || s.Height() != h) {
      return ::testing::AssertionFailure()
             << "size " << s.Width() << "x" << s.Height() << ", expected " << w << "x" << h;
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        if (s.PixelAt(x, y) != expected[y][x]) {
          return ::testing::AssertionFailure()
                 << "pixel " << x << "," << y << " is " << std::hex << s.PixelAt(x, y)
                 << ", expected " << expected[y][x];
        }
      }
    }
    return ::testing::AssertionSuccess();
  }

  // Every proper prefix of the file must be refused with a reason.
  void ExpectEveryPrefixRefused(const std::string& bytes) {
    for (size_t n = 0; n < bytes.size(); ++n) {
      Surface s;
      std::string error;
      if (Load(bytes.substr(0, n), &s, &error)) {
        ADD_FAILURE() << "a prefix of " << n << " of " << bytes.size() << " bytes loaded";
        return;
      }
    }
  }

  test::TempDir dir_;
};

using GdiPictureBmp = GdiPictureFiles;
using GdiPictureJpeg = GdiPictureFiles;
using GdiPictureBadInput = GdiPictureFiles;

// ---------------------------------------------------------------------------
// BMP

TEST_F(GdiPictureBmp, PaletteDepthsGivePaletteColoursInBothRowOrders) {
  for (int bits : {1, 4, 8}) {
    for (bool top_down : {false, true}) {
      SCOPED_TRACE(std::to_string(bits) + " bits, " + (top_down ? "top-down" : "bottom-up"));
      const Rows indices = IndexRows(bits);
      Bmp bmp;
      bmp.width = 5;
      bmp.height = top_down ? -3 : 3;
      bmp.bits = bits;
      bmp.palette = DistinctPalette(size_t{1} << bits);
      bmp.data = PackRows(indices, bits, top_down);
      EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
    }
  }
}

TEST_F(GdiPictureBmp, ShortPaletteGivenByColourCount) {
  Bmp bmp;
  bmp.width = 5;
  bmp.height = 3;
  bmp.bits = 8;
  bmp.palette = DistinctPalette(16);
  bmp.colors_used = 16;
  Rows indices = IndexRows(4);
  bmp.data = PackRows(indices, 8, false);
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, Os2HeadersWithTheirPaletteLayouts) {
  // The 12-byte core header has 16-bit sizes and 3-byte palette entries.
  for (int bits : {1, 4, 8, 24}) {
    SCOPED_TRACE(std::to_string(bits) + " bits, core header");
    Bmp bmp;
    bmp.header = BmpHeader::kCore12;
    bmp.width = 5;
    bmp.height = 3;
    bmp.bits = bits;
    Rows expected;
    if (bits <= 8) {
      const Rows indices = IndexRows(bits);
      bmp.palette = DistinctPalette(size_t{1} << bits);
      bmp.data = PackRows(indices, bits, false);
      expected = MapRows(indices, bmp.palette);
    } else {
      expected = MapRows(IndexRows(8), DistinctPalette(256));
      bmp.data = PackRows(expected, 24, false);
    }
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), expected));
  }
  // The 64-byte OS/2 2.x header: 32-bit sizes and 4-byte palette entries.
  Bmp bmp;
  bmp.header = BmpHeader::kOs2V2_64;
  bmp.width = 5;
  bmp.height = 3;
  bmp.bits = 8;
  bmp.palette = DistinctPalette(256);
  const Rows indices = IndexRows(8);
  bmp.data = PackRows(indices, 8, false);
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, TrueColourInBothRowOrdersIgnoringTheFourthByte) {
  const Rows colors = MapRows(IndexRows(8), DistinctPalette(256));
  for (bool top_down : {false, true}) {
    SCOPED_TRACE(top_down ? "top-down" : "bottom-up");
    Bmp bmp;
    bmp.width = 5;
    bmp.height = top_down ? -3 : 3;
    bmp.bits = 24;
    bmp.data = PackRows(colors, 24, top_down);
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), colors));

    // 32 bits: whatever the fourth byte holds, the picture is opaque.
    Rows words = colors;
    uint32_t alpha = 0;
    for (auto& row : words) {
      for (auto& v : row) {
        v |= alpha << 24;
        alpha = (alpha + 0x55) & 0xFF;
      }
    }
    bmp.bits = 32;
    bmp.data = PackRows(words, 32, top_down);
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), colors));
  }
}

// Five-bit channels become (v << 3) | (v >> 2), six-bit ones (v << 2) | (v >> 4).
TEST_F(GdiPictureBmp, SixteenBitChannelsWidenWithTheirTopBits) {
  const uint32_t five[] = {0, 1, 16, 30, 31};
  const uint32_t five_wide[] = {0x00, 0x08, 0x84, 0xF7, 0xFF};
  const uint32_t six[] = {0, 1, 32, 62, 63};
  const uint32_t six_wide[] = {0x00, 0x04, 0x82, 0xFB, 0xFF};

  // Without BI_BITFIELDS the layout is 5-5-5 and the top bit is unused.
  Rows words(2, std::vector<uint32_t>(5)), expected = words;
  for (int i = 0; i < 5; ++i) {
    words[0][i] = five[i] << 10 | five[4 - i] << 5 | five[(i + 2) % 5];
    expected[0][i] = five_wide[i] << 16 | five_wide[4 - i] << 8 | five_wide[(i + 2) % 5];
    words[1][i] = 0x8000 | five[(i + 1) % 5] << 10;
    expected[1][i] = five_wide[(i + 1) % 5] << 16;
  }
  for (bool top_down : {false, true}) {
    SCOPED_TRACE(top_down ? "5-5-5 top-down" : "5-5-5 bottom-up");
    Bmp bmp;
    bmp.width = 5;
    bmp.height = top_down ? -2 : 2;
    bmp.bits = 16;
    bmp.data = PackRows(words, 16, top_down);
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), expected));
  }
  {
    SCOPED_TRACE("5-5-5 through BI_BITFIELDS");
    Bmp bmp;
    bmp.width = 5;
    bmp.height = 2;
    bmp.bits = 16;
    bmp.compression = 3;
    bmp.masks = {0x7C00, 0x03E0, 0x001F};
    bmp.data = PackRows(words, 16, false);
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), expected));
  }
  {
    SCOPED_TRACE("5-6-5 through BI_BITFIELDS");
    Rows words565(1, std::vector<uint32_t>(5)), expected565 = words565;
    for (int i = 0; i < 5; ++i) {
      words565[0][i] = five[i] << 11 | six[i] << 5 | five[4 - i];
      expected565[0][i] = five_wide[i] << 16 | six_wide[i] << 8 | five_wide[4 - i];
    }
    Bmp bmp;
    bmp.width = 5;
    bmp.height = -1;
    bmp.bits = 16;
    bmp.compression = 3;
    bmp.masks = {0xF800, 0x07E0, 0x001F};
    bmp.data = PackRows(words565, 16, true);
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), expected565));
  }
}

TEST_F(GdiPictureBmp, ThirtyTwoBitMasksDecideTheChannels) {
  const Rows colors = MapRows(IndexRows(8), DistinctPalette(256));
  // Blue, green, red in the top three bytes, the low byte unused.
  Rows words = colors;
  for (auto& row : words) {
    for (auto& v : row)
      v = (v & 0xFF) << 24 | ((v >> 8) & 0xFF) << 16 | ((v >> 16) & 0xFF) << 8 | 0x5A;
  }
  for (BmpHeader header : {BmpHeader::kInfo40, BmpHeader::kV4_108}) {
    SCOPED_TRACE(header == BmpHeader::kInfo40 ? "masks after the header" : "masks in a V4 header");
    Bmp bmp;
    bmp.header = header;
    bmp.width = 5;
    bmp.height = 3;
    bmp.bits = 32;
    bmp.compression = 3;
    bmp.masks = {0x0000FF00, 0x00FF0000, 0xFF000000};
    bmp.data = PackRows(words, 32, false);
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), colors));
  }
}

// Pixels skipped by a delta or an end of line take palette entry 0.
TEST_F(GdiPictureBmp, Rle8RunsAbsoluteRunsDeltaAndEndOfLine) {
  Bmp bmp;
  bmp.width = 8;
  bmp.height = 4;
  bmp.bits = 8;
  bmp.compression = 1;
  bmp.palette = DistinctPalette(256);
  bmp.data = Bytes({
      0x03, 0x05, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00,  // run, padded absolute run
      0x02, 0x01, 0x00, 0x00,                          // run, end of line
      0x00, 0x04, 0x0A, 0x0B, 0x0C, 0x0D,              // unpadded absolute run
      0x00, 0x02, 0x02, 0x01,                          // delta (2, 1)
      0x02, 0x03, 0x00, 0x00,                          // run, end of line
      0x08, 0x04, 0x00, 0x01,                          // top row, end
  });
  const Rows indices = {
      {4, 4, 4, 4, 4, 4, 4, 4},
      {0, 0, 0, 0, 0, 0, 3, 3},
      {10, 11, 12, 13, 0, 0, 0, 0},
      {5, 5, 5, 7, 8, 9, 1, 1},
  };
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, Rle4RunsAbsoluteRunsDeltaAndEndOfLine) {
  Bmp bmp;
  bmp.width = 7;
  bmp.height = 4;
  bmp.bits = 4;
  bmp.compression = 2;
  bmp.palette = DistinctPalette(16);
  bmp.data = Bytes({
      0x03, 0x12, 0x00, 0x04, 0x34, 0x56,  // alternating run, unpadded absolute run
      0x00, 0x00,                          // end of line
      0x00, 0x05, 0x56, 0x78, 0x90, 0x00,  // padded absolute run
      0x00, 0x02, 0x01, 0x01,              // delta (1, 1)
      0x01, 0xF0, 0x00, 0x00,              // one pixel, end of line
      0x07, 0xAB, 0x00, 0x01,              // top row, end
  });
  const Rows indices = {
      {10, 11, 10, 11, 10, 11, 10},
      {0, 0, 0, 0, 0, 0, 15},
      {5, 6, 7, 8, 9, 0, 0},
      {1, 2, 1, 3, 4, 5, 6},
  };
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, RleIndexPastThePaletteIsBlack) {
  Bmp bmp;
  bmp.width = 4;
  bmp.height = 1;
  bmp.bits = 8;
  bmp.compression = 1;
  bmp.palette = DistinctPalette(4);
  bmp.colors_used = 4;
  // Indices 3 (the last entry), 4 (the first past it) and 200.
  bmp.data = Bytes({0x02, 0x03, 0x01, 0x04, 0x01, 0xC8, 0x00, 0x01});
  const uint32_t c = bmp.palette[3];
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), {{c, c, 0, 0}}));
}

TEST_F(GdiPictureBmp, RunsAndDeltasPastTheEdgeStayInsideThePicture) {
  Bmp bmp;
  bmp.width = 4;
  bmp.height = 2;
  bmp.bits = 8;
  bmp.compression = 1;
  bmp.palette = DistinctPalette(256);
  bmp.data = Bytes({0x04, 0x06, 0x00, 0x00, 0x04, 0x07,  // both rows
                    0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x09,  // far past the top and the right
                    0x00, 0x00, 0xFF, 0x09, 0x00, 0x01});
  const uint32_t a = bmp.palette[6], b = bmp.palette[7];
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), {{b, b, b, b}, {a, a, a, a}}));
}

TEST_F(GdiPictureBmp, LoadingReplacesThePictureButKeepsTheSurfaceColours) {
  Bmp bmp;
  bmp.width = 2;
  bmp.height = 1;
  bmp.bits = 24;
  bmp.data = PackRows({{0x102030, 0x405060}}, 24, false);
  Surface s(7, 9);
  s.SetBackColor(0x00010203);
  s.SetForeColor(0x00040506);
  std::string error;
  ASSERT_TRUE(Load(EncodeBmp(bmp), &s, &error)) << error;
  EXPECT_EQ(s.Width(), 2);
  EXPECT_EQ(s.Height(), 1);
  EXPECT_EQ(s.PixelAt(1, 0), 0x405060u);
  EXPECT_EQ(s.BackColor(), 0x00010203u);
  EXPECT_EQ(s.ForeColor(), 0x00040506u);

  // A failed load leaves the surface as it was.
  EXPECT_FALSE(Load("BM", &s, &error));
  EXPECT_EQ(s.Width(), 2);
  EXPECT_EQ(s.PixelAt(0, 0), 0x102030u);
}

// ---------------------------------------------------------------------------
// JPEG

TEST_F(GdiPictureJpeg, BaselineAndProgressiveColour) {
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    JpegOptions options;
    options.progressive = progressive;
    const std::string jpeg = EncodeJpeg(options, QuadrantSamples(JCS_RGB, kQuadrantColors));
    ASSERT_NE(FindSof(jpeg), std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(jpeg[FindSof(jpeg) + 1]), progressive ? 0xC2 : 0xC0);
    Surface s;
    std::string error;
    ASSERT_TRUE(Load(jpeg, &s, &error, "picture.jpg")) << error;
    ExpectQuadrants(s, kQuadrantColors, 4);
  }
}

TEST_F(GdiPictureJpeg, GreyscaleGivesGreyPixels) {
  const uint32_t levels[4] = {0, 85, 170, 255};
  JpegOptions options;
  options.space = JCS_GRAYSCALE;
  Surface s;
  std::string error;
  ASSERT_TRUE(
      Load(EncodeJpeg(options, QuadrantSamples(JCS_GRAYSCALE, levels)), &s, &error, "grey.jpg"))
      << error;
  uint32_t expected[4];
  for (int i = 0; i < 4; ++i) expected[i] = levels[i] * 0x010101u;
  ExpectQuadrants(s, expected, 2);
}

// Adobe CMYK is stored inverted: 255 means no ink.
TEST_F(GdiPictureJpeg, AdobeCmykIsConvertedToRgb) {
  const uint32_t stored[4] = {0xC8283CFF, 0x1EA05AFF, 0xC828FF80, 0xFFFFFF00};
  uint32_t expected[4];
  for (int q = 0; q < 4; ++q) {
    const uint32_t k = stored[q] & 0xFF;
    uint32_t rgb = 0;
    for (int shift : {24, 16, 8}) rgb = rgb << 8 | (((stored[q] >> shift) & 0xFF) * k + 127) / 255;
    expected[q] = rgb;
  }
  JpegOptions options;
  options.space = JCS_CMYK;
  Surface s;
  std::string error;
  ASSERT_TRUE(Load(EncodeJpeg(options, QuadrantSamples(JCS_CMYK, stored)), &s, &error, "cmyk.jpg"))
      << error;
  ExpectQuadrants(s, expected, 4);
}

TEST_F(GdiPictureJpeg, FormatComesFromTheContentNotTheName) {
  const std::string jpeg = EncodeJpeg(JpegOptions{}, QuadrantSamples(JCS_RGB, kQuadrantColors));
  Surface s;
  std::string error;
  ASSERT_TRUE(Load(jpeg, &s, &error, "misnamed.bmp")) << error;
  ExpectQuadrants(s, kQuadrantColors, 4);

  Bmp bmp;
  bmp.width = 1;
  bmp.height = 1;
  bmp.bits = 24;
  bmp.data = PackRows({{0x123456}}, 24, false);
  ASSERT_TRUE(Load(EncodeBmp(bmp), &s, &error, "misnamed.jpg")) << error;
  EXPECT_EQ(s.PixelAt(0, 0), 0x123456u);
}

// ---------------------------------------------------------------------------
// Bad input

TEST_F(GdiPictureBadInput, EveryTruncationOfABitmapIsRefused) {
  const Rows indices = IndexRows(8);
  Bmp paletted;
  paletted.width = 5;
  paletted.height = 3;
  paletted.bits = 8;
  paletted.palette = DistinctPalette(256);
  paletted.data = PackRows(indices, 8, false);
  {
    SCOPED_TRACE("8 bits");
    ExpectEveryPrefixRefused(EncodeBmp(paletted));
  }
  {
    SCOPED_TRACE("core header, 4 bits");
    Bmp core = paletted;
    core.header = BmpHeader::kCore12;
    core.bits = 4;
    core.palette = DistinctPalette(16);
    core.data = PackRows(IndexRows(4), 4, false);
    ExpectEveryPrefixRefused(EncodeBmp(core));
  }
  {
    SCOPED_TRACE("24 bits top-down");
    Bmp rgb = paletted;
    rgb.bits = 24;
    rgb.height = -3;
    rgb.palette.clear();
    rgb.data = PackRows(MapRows(indices, DistinctPalette(256)), 24, true);
    ExpectEveryPrefixRefused(EncodeBmp(rgb));
  }
  {
    SCOPED_TRACE("RLE8");
    Bmp rle = paletted;
    rle.compression = 1;
    rle.height = 2;
    rle.data = Bytes({0x03, 0x05, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00, 0x00, 0x00,
                      0x02, 0x04, 0x00, 0x02, 0x01, 0x00, 0x01, 0x06, 0x00, 0x01});
    ExpectEveryPrefixRefused(EncodeBmp(rle));
  }
  {
    SCOPED_TRACE("RLE4");
    Bmp rle = paletted;
    rle.compression = 2;
    rle.bits = 4;
    rle.height = 2;
    rle.palette = DistinctPalette(16);
    rle.data = Bytes({0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x56, 0x70, 0x02, 0x9A, 0x00, 0x01});
    ExpectEveryPrefixRefused(EncodeBmp(rle));
  }
}

TEST_F(GdiPictureBadInput, EveryTruncationOfAJpegIsRefused) {
  for (J_COLOR_SPACE space : {JCS_RGB, JCS_GRAYSCALE}) {
    for (bool progressive : {false, true}) {
      SCOPED_TRACE(std::string(space == JCS_RGB ? "colour" : "grey") +
                   (progressive ? " progressive" : " baseline"));
      JpegOptions options;
      options.space = space;
      options.progressive = progressive;
      ExpectEveryPrefixRefused(EncodeJpeg(options, QuadrantSamples(space, kQuadrantColors)));
    }
  }
}

TEST_F(GdiPictureBadInput, SizesOutsideTheLimitsAreRefusedFromTheHeader) {
  struct Case {
    const char* name;
    BmpHeader header;
    int32_t width, height;
    uint32_t compression;
  };
  const Case cases[] = {
      {"100000 x 100000", BmpHeader::kInfo40, 100000, 100000, 0},
      {"one column too wide", BmpHeader::kInfo40, 16385, 1, 0},
      {"one row too tall, top-down", BmpHeader::kInfo40, 1, -16385, 0},
      {"most negative height", BmpHeader::kInfo40, 1, INT32_MIN, 0},
      {"core header 20000 wide", BmpHeader::kCore12, 20000, 1, 0},
      {"zero width", BmpHeader::kInfo40, 0, 4, 0},
      {"zero height", BmpHeader::kInfo40, 4, 0, 0},
      {"core header zero height", BmpHeader::kCore12, 4, 0, 0},
      {"negative width", BmpHeader::kInfo40, -4, 4, 0},
      {"top-down RLE8", BmpHeader::kInfo40, 4, -4, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bmp bmp;
    bmp.header = c.header;
    bmp.width = c.width;
    bmp.height = c.height;
    bmp.bits = c.compression == 1 ? 8 : 24;
    bmp.compression = c.compression;
    if (c.compression == 1) bmp.palette = DistinctPalette(256);
    bmp.data = std::string(64, '\x01');
    Surface s;
    std::string error;
    EXPECT_FALSE(Load(EncodeBmp(bmp), &s, &error));
  }
  {
    // The limit itself is allowed.
    Bmp bmp;
    bmp.width = Surface::kMaxDimension;
    bmp.height = 1;
    bmp.bits = 8;
    bmp.palette = DistinctPalette(256);
    bmp.data = std::string(Surface::kMaxDimension, '\x02');
    Surface s;
    std::string error;
    ASSERT_TRUE(Load(EncodeBmp(bmp), &s, &error)) << error;
    EXPECT_EQ(s.Width(), Surface::kMaxDimension);
    EXPECT_EQ(s.PixelAt(Surface::kMaxDimension - 1, 0), bmp.palette[2]);
  }

  const std::string jpeg = EncodeJpeg(JpegOptions{}, QuadrantSamples(JCS_RGB, kQuadrantColors));
  const std::pair<uint32_t, uint32_t> sizes[] = {{20000, 20000}, {16385, 8}, {8, 16385}, {0, 32}};
  for (auto [w, h] : sizes) {
    SCOPED_TRACE("JPEG " + std::to_string(w) + "x" + std::to_string(h));
    Surface s;
    std::string error;
    EXPECT_FALSE(Load(WithJpegSize(jpeg, w, h), &s, &error, "big.jpg"));
  }
}

// A small file whose header claims a large size runs out of picture data
// after its first rows; it is refused instead of decoding made-up rows.
TEST_F(GdiPictureBadInput, SmallFilesClaimingLargeSizesAreRefused) {
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive JPEG" : "baseline JPEG");
    JpegOptions options;
    options.progressive = progressive;
    const std::string jpeg = EncodeJpeg(options, QuadrantSamples(JCS_RGB, kQuadrantColors));
    Surface s;
    std::string error;
    EXPECT_FALSE(Load(WithJpegSize(jpeg, 6000, 6000), &s, &error, "claims.jpg"));
  }
  Bmp bmp;
  bmp.width = 16000;
  bmp.height = 16000;
  bmp.bits = 32;
  bmp.data = std::string(4096, '\x7F');
  Surface s;
  std::string error;
  EXPECT_FALSE(Load(EncodeBmp(bmp), &s, &error));
}

TEST_F(GdiPictureBadInput, MalformedBitmapsAreRefused) {
  auto base = [] {
    Bmp bmp;
    bmp.width = 4;
    bmp.height = 2;
    bmp.bits = 8;
    bmp.palette = DistinctPalette(256);
    bmp.data = std::string(8, '\x03');
    return bmp;
  };
  struct Case {
    const char* name;
    std::string bytes;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, const Bmp& bmp) { cases.push_back({name, EncodeBmp(bmp)}); };
  for (int bits : {0, 2, 15, 64}) {
    Bmp bmp = base();
    bmp.bits = bits;
    add("unusual depth", bmp);
  }
  for (uint32_t compression : {4u, 5u, 6u, 99u}) {
    Bmp bmp = base();
    bmp.compression = compression;
    add("unknown compression", bmp);
  }
  {
    Bmp bmp = base();
    bmp.compression = 2;  // RLE4 on an 8-bit picture
    add("RLE4 with 8 bits", bmp);
    bmp.compression = 1;
    bmp.bits = 4;
    bmp.palette = DistinctPalette(16);
    add("RLE8 with 4 bits", bmp);
  }
  {
    Bmp bmp = base();
    bmp.bits = 24;
    bmp.palette.clear();
    bmp.compression = 3;
    bmp.masks = {0xFF0000, 0xFF00, 0xFF};
    bmp.data = std::string(24, '\x03');
    add("bit fields with 24 bits", bmp);
  }
  {
    Bmp bmp = base();
    bmp.header = BmpHeader::kOs2V2_64;
    bmp.bits = 1;
    bmp.palette = DistinctPalette(2);
    bmp.compression = 3;  // Huffman in OS/2 2.x
    add("OS/2 Huffman", bmp);
  }
  {
    Bmp bmp = base();
    bmp.colors_used = 4;
    bmp.palette = DistinctPalette(4);
    bmp.data = std::string(8, '\x09');
    add("index past a short palette", bmp);
  }
  {
    Bmp bmp = base();
    bmp.compression = 1;
    bmp.data = Bytes({0x04, 0x01, 0x00, 0x00, 0x04, 0x02});
    add("RLE without an end", bmp);
  }
  {
    std::string bytes = EncodeBmp(base());
    Patch32(&bytes, 14, 20);
    cases.push_back({"header of 20 bytes", bytes});
    bytes = EncodeBmp(base());
    Patch32(&bytes, 10, static_cast<uint32_t>(bytes.size()));
    cases.push_back({"pixel offset at the end", bytes});
    Patch32(&bytes, 10, 0xFFFFFFF0u);
    cases.push_back({"pixel offset far past the end", bytes});
    Patch32(&bytes, 10, 0);
    cases.push_back({"pixel offset inside the file header", bytes});
  }
  cases.push_back({"signature only", "BM"});
  cases.push_back({"empty file", ""});
  cases.push_back({"text", "This is not a picture.\r\n"});
  {
    Lcg lcg(7);
    std::string garbage = "BM";
    for (int i = 0; i < 300; ++i) garbage.push_back(static_cast<char>(lcg.Next()));
    cases.push_back({"garbage after the signature", garbage});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Surface s;
    std::string error;
    EXPECT_FALSE(Load(c.bytes, &s, &error));
  }
}

TEST_F(GdiPictureBadInput, MalformedJpegsAreRefused) {
  const std::string good = EncodeJpeg(JpegOptions{}, QuadrantSamples(JCS_RGB, kQuadrantColors));
  std::vector<std::pair<const char*, std::string>> cases;
  {
    Lcg lcg(11);
    std::string garbage = "\xFF\xD8";
    for (int i = 0; i < 2000; ++i) garbage.push_back(static_cast<char>(lcg.Next()));
    cases.push_back({"garbage after the start marker", garbage});
  }
  cases.push_back({"start marker only", "\xFF\xD8"});
  cases.push_back({"no frame", std::string("\xFF\xD8\xFF\xD9", 4)});
  {
    // Eight bits per sample is the only precision baseline libjpeg reads.
    std::string bytes = good;
    bytes[FindSof(bytes) + 4] = 12;
    cases.push_back({"12-bit samples", bytes});
  }
  {
    // 190 scans: the DC scan, then one scan per coefficient and component.
    JpegOptions options;
    options.scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
    for (int c = 0; c < 3; ++c) {
      for (int k = 1; k < 64; ++k) options.scans.push_back({1, {c, 0, 0, 0}, k, k, 0, 0});
    }
    cases.push_back(
        {"too many scans", EncodeJpeg(options, QuadrantSamples(JCS_RGB, kQuadrantColors))});
  }
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    Surface s;
    std::string error;
    EXPECT_FALSE(Load(bytes, &s, &error, "bad.jpg"));
  }
}

// Damaged files may load or be refused, but must never crash or hang; the
// sanitizer build is where this test earns its keep.
TEST_F(GdiPictureBadInput, DamagedBytesNeverCrash) {
  Bmp rle;
  rle.width = 8;
  rle.height = 4;
  rle.bits = 8;
  rle.compression = 1;
  rle.palette = DistinctPalette(16);
  rle.colors_used = 16;
  rle.data = Bytes({0x03, 0x05, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00, 0x02, 0x01,
                    0x00, 0x00, 0x00, 0x04, 0x0A, 0x0B, 0x0C, 0x0D, 0x00, 0x02,
                    0x02, 0x01, 0x02, 0x03, 0x00, 0x00, 0x08, 0x04, 0x00, 0x01});
  Bmp rle4 = rle;
  rle4.bits = 4;
  rle4.compression = 2;
  JpegOptions progressive;
  progressive.progressive = true;
  const std::string files[] = {
      EncodeBmp(rle),
      EncodeBmp(rle4),
      EncodeJpeg(JpegOptions{}, QuadrantSamples(JCS_RGB, kQuadrantColors)),
      EncodeJpeg(progressive, QuadrantSamples(JCS_RGB, kQuadrantColors)),
  };
  Lcg lcg(1234);
  int loaded = 0, refused = 0;
  for (const std::string& file : files) {
    for (int round = 0; round < 300; ++round) {
      std::string bytes = file;
      const int changes = 1 + static_cast<int>(lcg.Next() % 4);
      for (int i = 0; i < changes; ++i) {
        bytes[lcg.Next() % bytes.size()] = static_cast<char>(lcg.Next());
      }
      Surface s;
      std::string error;
      if (Load(bytes, &s, &error)) {
        ++loaded;
        EXPECT_FALSE(s.Empty());
      } else {
        ++refused;
      }
    }
  }
  // Most single-byte changes hit pixel data, which still decodes.
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(GdiPictureBadInput, MissingFilesAndFoldersAreRefused) {
  Surface s;
  std::string error;
  EXPECT_FALSE(LoadPicture(dir_ / "absent.bmp", &s, &error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(LoadPicture(dir_.path(), &s, &error));
  EXPECT_FALSE(error.empty());
}

// ---------------------------------------------------------------------------
// Cursors and icons

struct IconFixture {
  int width = 0;
  int height = 0;
  int bits = 4;
  std::vector<uint32_t> palette;  // written as given; colors_used says how many count
  uint32_t colors_used = 0;
  Rows pixels;  // indices, 0x00RRGGBB (24 bits) or 0xAARRGGBB (32 bits)
  std::vector<std::vector<int>> transparent;  // the AND mask, 1 = transparent
  int hot_x = 0;
  int hot_y = 0;
  uint32_t header_size = 40;
  uint32_t compression = 0;
};

std::string EncodeIconFile(uint16_t type, const std::vector<IconFixture>& images) {
  std::vector<std::string> dibs;
  for (const IconFixture& im : images) {
    std::string dib;
    Put32(&dib, im.header_size);
    Put32(&dib, static_cast<uint32_t>(im.width));
    Put32(&dib, static_cast<uint32_t>(im.height * 2));
    Put16(&dib, 1);
    Put16(&dib, static_cast<uint32_t>(im.bits));
    Put32(&dib, im.compression);
    Put32(&dib, 0);
    Put32(&dib, 0);
    Put32(&dib, 0);
    Put32(&dib, im.colors_used);
    Put32(&dib, 0);
    for (uint32_t c : im.palette) Put32(&dib, c);
    dib += PackRows(im.pixels, im.bits, false);
    Rows mask(im.height, std::vector<uint32_t>(im.width, 0));
    for (int y = 0; y < im.height && y < static_cast<int>(im.transparent.size()); ++y) {
      for (int x = 0; x < im.width; ++x) mask[y][x] = im.transparent[y][x] ? 1 : 0;
    }
    dib += PackRows(mask, 1, false);
    dibs.push_back(dib);
  }
  std::string out;
  Put16(&out, 0);
  Put16(&out, type);
  Put16(&out, static_cast<uint32_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    const IconFixture& im = images[i];
    Put8(&out, static_cast<uint32_t>(im.width));
    Put8(&out, static_cast<uint32_t>(im.height));
    Put8(&out, im.bits <= 8 ? (1u << im.bits) & 0xFF : 0);
    Put8(&out, 0);
    if (type == 2) {
      Put16(&out, static_cast<uint32_t>(im.hot_x));
      Put16(&out, static_cast<uint32_t>(im.hot_y));
    } else {
      Put16(&out, 1);
      Put16(&out, static_cast<uint32_t>(im.bits));
    }
    Put32(&out, static_cast<uint32_t>(dibs[i].size()));
    Put32(&out, offset);
    offset += static_cast<uint32_t>(dibs[i].size());
  }
  for (const std::string& dib : dibs) out += dib;
  return out;
}

// A w x h image: indices (or colours) that differ from pixel to pixel, the
// left column and the bottom-right pixel transparent.
IconFixture IconImageOf(int width, int height, int bits) {
  IconFixture im;
  im.width = width;
  im.height = height;
  im.bits = bits;
  if (bits <= 8) im.palette = DistinctPalette(size_t{1} << bits);
  im.pixels.assign(height, std::vector<uint32_t>(width));
  im.transparent.assign(height, std::vector<int>(width, 0));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t i = static_cast<uint32_t>(x + y * width);
      im.pixels[y][x] = bits <= 8 ? i % (1u << bits) : DistinctPalette(256)[i % 256];
    }
    im.transparent[y][0] = 1;
  }
  im.transparent[height - 1][width - 1] = 1;
  return im;
}

std::vector<uint32_t> ExpectedArgb(const IconFixture& im) {
  std::vector<uint32_t> out;
  for (int y = 0; y < im.height; ++y) {
    for (int x = 0; x < im.width; ++x) {
      const uint32_t c = im.bits <= 8 ? im.palette.at(im.pixels[y][x]) : im.pixels[y][x];
      out.push_back(im.transparent[y][x] ? 0 : 0xFF000000u | c);
    }
  }
  return out;
}

class GdiPictureCursor : public testing::Test {
 protected:
  bool Load(const std::string& bytes, CursorImage* out, std::string* error) {
    const fs::path path = dir_ / "pointer.cur";
    test::WriteFile(path, bytes);
    error->clear();
    const bool ok = LoadCursorImage(path, out, error);
    EXPECT_EQ(ok, error->empty()) << *error;
    return ok;
  }

  test::TempDir dir_;
};

TEST_F(GdiPictureCursor, CursorGivesPixelsMaskAndHotSpotAtEveryDepth) {
  for (int bits : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(std::to_string(bits) + " bits");
    IconFixture im = IconImageOf(6, 5, bits);
    if (bits == 32) {
      // As in real 32-bit icons, alpha agrees with the mask.
      for (int y = 0; y < im.height; ++y) {
        for (int x = 0; x < im.width; ++x) {
          if (!im.transparent[y][x]) im.pixels[y][x] |= 0xFF000000u;
        }
      }
    }
    im.hot_x = 4;
    im.hot_y = 2;
    CursorImage cursor;
    std::string error;
    ASSERT_TRUE(Load(EncodeIconFile(2, {im}), &cursor, &error)) << error;
    EXPECT_EQ(cursor.width, 6);
    EXPECT_EQ(cursor.height, 5);
    EXPECT_EQ(cursor.hot_x, 4);
    EXPECT_EQ(cursor.hot_y, 2);
    EXPECT_EQ(cursor.argb, ExpectedArgb(im));
  }
}

TEST_F(GdiPictureCursor, IconHotSpotIsTheCentre) {
  const IconFixture im = IconImageOf(7, 4, 8);
  CursorImage cursor;
  std::string error;
  ASSERT_TRUE(Load(EncodeIconFile(1, {im}), &cursor, &error)) << error;
  EXPECT_EQ(cursor.hot_x, 3);
  EXPECT_EQ(cursor.hot_y, 2);
  EXPECT_EQ(cursor.argb, ExpectedArgb(im));
}

TEST_F(GdiPictureCursor, StandardSizeAndDeepestImageIsChosen) {
  IconFixture small = IconImageOf(16, 16, 8);
  small.hot_x = 1;
  IconFixture standard_4 = IconImageOf(32, 32, 4);
  standard_4.hot_x = 2;
  IconFixture standard_8 = IconImageOf(32, 32, 8);
  standard_8.hot_x = 3;
  IconFixture large = IconImageOf(48, 48, 24);
  large.hot_x = 4;
  CursorImage cursor;
  std::string error;
  ASSERT_TRUE(Load(EncodeIconFile(2, {small, standard_4, large, standard_8}), &cursor, &error))
      << error;
  EXPECT_EQ(cursor.width, 32);
  EXPECT_EQ(cursor.hot_x, 3);
  EXPECT_EQ(cursor.argb, ExpectedArgb(standard_8));

  // Without a 32 x 32 image, the deepest one wins.
  ASSERT_TRUE(Load(EncodeIconFile(2, {small, large}), &cursor, &error)) << error;
  EXPECT_EQ(cursor.width, 48);
  EXPECT_EQ(cursor.hot_x, 4);
}

TEST_F(GdiPictureCursor, HotSpotOutsideTheImageIsMovedInside) {
  IconFixture im = IconImageOf(8, 6, 4);
  im.hot_x = 100;
  im.hot_y = 6;
  CursorImage cursor;
  std::string error;
  ASSERT_TRUE(Load(EncodeIconFile(2, {im}), &cursor, &error)) << error;
  EXPECT_EQ(cursor.hot_x, 7);
  EXPECT_EQ(cursor.hot_y, 5);
}

TEST_F(GdiPictureCursor, IndexPastAShortPaletteIsBlack) {
  IconFixture im = IconImageOf(4, 2, 4);
  im.palette = DistinctPalette(3);
  im.colors_used = 3;
  im.pixels = {{0, 1, 2, 9}, {2, 12, 1, 0}};
  im.transparent.assign(2, std::vector<int>(4, 0));
  CursorImage cursor;
  std::string error;
  ASSERT_TRUE(Load(EncodeIconFile(2, {im}), &cursor, &error)) << error;
  const auto c = [&](int i) { return 0xFF000000u | im.palette[i]; };
  EXPECT_EQ(cursor.argb, (std::vector<uint32_t>{c(0), c(1), c(2), 0xFF000000u,  //
                                                c(2), 0xFF000000u, c(1), c(0)}));
}

TEST_F(GdiPictureCursor, UnusableImagesArePassedOver) {
  IconFixture png = IconImageOf(32, 32, 8);
  png.header_size = 0x474E5089;  // the start of a PNG signature
  const IconFixture good = IconImageOf(16, 16, 4);
  CursorImage cursor;
  std::string error;
  ASSERT_TRUE(Load(EncodeIconFile(1, {png, good}), &cursor, &error)) << error;
  EXPECT_EQ(cursor.width, 16);
  EXPECT_EQ(cursor.argb, ExpectedArgb(good));
}

TEST_F(GdiPictureCursor, TruncatedAndMalformedFilesAreRefused) {
  IconFixture im = IconImageOf(6, 5, 4);
  im.hot_x = 1;
  const std::string cur = EncodeIconFile(2, {im});
  for (size_t n = 0; n < cur.size(); ++n) {
    CursorImage cursor;
    std::string error;
    if (Load(cur.substr(0, n), &cursor, &error)) {
      ADD_FAILURE() << "a prefix of " << n << " of " << cur.size() << " bytes loaded";
      break;
    }
  }

  std::vector<std::pair<std::string, std::string>> cases;
  auto with = [&](const std::string& name, auto change) {
    IconFixture options = IconImageOf(6, 5, 4);
    change(options);
    cases.push_back({name, EncodeIconFile(2, {options})});
  };
  with("width 0", [](IconFixture& s) {
    s.width = 0;
    s.pixels.assign(5, {});
  });
  with("compressed", [](IconFixture& s) { s.compression = 2; });
  with("core header", [](IconFixture& s) { s.header_size = 12; });
  with("16 bits", [](IconFixture& s) {
    s.bits = 16;
    s.palette.clear();
  });
  with("palette of 300", [](IconFixture& s) { s.colors_used = 300; });
  {
    std::string bytes = EncodeIconFile(2, {IconImageOf(300, 2, 1)});
    cases.push_back({"300 wide", bytes});
    bytes = cur;
    Patch16(&bytes, 2, 3);
    cases.push_back({"type 3", bytes});
    bytes = cur;
    Patch16(&bytes, 0, 1);
    cases.push_back({"reserved field set", bytes});
    bytes = cur;
    Patch16(&bytes, 4, 0);
    cases.push_back({"no images", bytes});
    bytes = cur;
    Patch16(&bytes, 4, 2);
    cases.push_back({"directory longer than the file", bytes.substr(0, 30)});
    bytes = cur;
    Patch32(&bytes, 6 + 12, 0xFFFFFFF0u);
    cases.push_back({"image offset past the end", bytes});
  }
  {
    std::string bytes = "BM";
    bytes.append(60, '\0');
    cases.push_back({"a bitmap", bytes});
    cases.push_back({"animated cursor", std::string("RIFF\x10\0\0\0ACONanih", 16)});
    cases.push_back({"empty", ""});
  }
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    CursorImage cursor;
    cursor.width = 99;
    std::string error;
    EXPECT_FALSE(Load(bytes, &cursor, &error));
    EXPECT_EQ(cursor.width, 99);  // left unchanged
  }
}

}  // namespace
}  // namespace tsumugi::gdi
