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

// Appends (or, with `at`, overwrites) v as `bytes` little-endian bytes.
void Put(std::string* b, int64_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) b->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void Patch(std::string* b, size_t at, int64_t v, int bytes = 4) {
  for (int i = 0; i < bytes; ++i) (*b)[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
std::string Bytes(const std::vector<int>& bytes) {
  std::string s;
  for (int v : bytes) Put(&s, v, 1);
  return s;
}

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

// The value is the size of the header.
enum class BmpHeader : uint32_t { kCore12 = 12, kInfo40 = 40, kOs2V2_64 = 64, kV4_108 = 108 };

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

Bmp MakeBmp(int32_t width, int32_t height, int bits, std::string data,
            std::vector<uint32_t> palette = {}, uint32_t compression = 0) {
  Bmp bmp;
  bmp.width = width;
  bmp.height = height;
  bmp.bits = bits;
  bmp.data = std::move(data);
  bmp.palette = std::move(palette);
  bmp.compression = compression;
  return bmp;
}

std::string EncodeBmp(const Bmp& bmp) {
  const auto header_size = static_cast<uint32_t>(bmp.header);
  const bool core = bmp.header == BmpHeader::kCore12;
  std::string tables;
  if (bmp.header == BmpHeader::kInfo40) {
    for (uint32_t m : bmp.masks) Put(&tables, m);
  }
  for (uint32_t c : bmp.palette) Put(&tables, c, core ? 3 : 4);
  const int64_t offset = 14 + header_size + tables.size();
  const int64_t data_size = static_cast<int64_t>(bmp.data.size());
  std::string out = "BM";
  for (int64_t v : {offset + data_size, int64_t{0}, offset, int64_t{header_size}}) Put(&out, v);
  Put(&out, bmp.width, core ? 2 : 4);
  Put(&out, bmp.height, core ? 2 : 4);
  Put(&out, 1, 2);
  Put(&out, bmp.bits, 2);
  if (!core) {
    for (int64_t v : {int64_t{bmp.compression}, data_size, int64_t{2835}, int64_t{2835},
                      int64_t{bmp.colors_used}, int64_t{0}}) {
      Put(&out, v);
    }
    if (bmp.header == BmpHeader::kV4_108) {
      for (size_t i = 0; i < 4; ++i) Put(&out, i < bmp.masks.size() ? bmp.masks[i] : 0);
      Put(&out, 0x57696E20);  // "Win "
    }
    out.resize(14 + header_size, '\0');  // end points and gamma are zero
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
          byte |= (x + k < row.size() ? row[x + k] : 0) << (8 - bits * (k + 1));
        }
        Put(&packed, byte, 1);
      }
    } else {
      for (uint32_t v : row) Put(&packed, v, bits / 8);
    }
    packed.resize((packed.size() + 3) / 4 * 4, '\0');
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

// 32 x 32 pictures.
struct JpegOptions {
  J_COLOR_SPACE space = JCS_RGB;  // of the samples given
  bool progressive = false;
  std::vector<jpeg_scan_info> scans;  // a custom scan script, if not empty
};

int Components(J_COLOR_SPACE space) {
  return space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
}

std::string EncodeJpeg(const JpegOptions& options, const std::vector<uint8_t>& samples) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = cinfo.image_height = 32;
  cinfo.in_color_space = options.space;
  cinfo.input_components = Components(options.space);
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 100, TRUE);
  if (options.progressive) jpeg_simple_progression(&cinfo);
  if (!options.scans.empty()) {
    cinfo.scan_info = options.scans.data();
    cinfo.num_scans = static_cast<int>(options.scans.size());
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row =
        const_cast<JSAMPLE*>(samples.data() + cinfo.next_scanline * 32 * cinfo.input_components);
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
      for (int shift = 8 * (Components(space) - 1); shift >= 0; shift -= 8) {
        samples.push_back(static_cast<uint8_t>(c >> shift));
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
  for (auto [at, v] : {std::pair{sof + 5, height}, {sof + 7, width}}) {
    jpeg[at] = static_cast<char>(v >> 8);
    jpeg[at + 1] = static_cast<char>(v & 0xFF);
  }
  return jpeg;
}

constexpr uint32_t kQuadrantColors[4] = {0xC8283C, 0x1EA05A, 0x3246D2, 0xF0E614};

// ---------------------------------------------------------------------------
// Fixture

class GdiPictureFiles : public testing::Test {
 protected:
  // Loads the bytes as a picture file; the error must be set exactly when
  // loading fails.
  bool Load(const std::string& bytes, Surface* out, std::string* error,
            const std::string& name = "picture.bmp") {
    test::WriteFile(dir_ / name, bytes);
    error->clear();
    const bool ok = LoadPicture(dir_ / name, out, error);
    EXPECT_EQ(ok, error->empty()) << *error;
    return ok;
  }

  ::testing::AssertionResult LoadsAs(const std::string& bytes, const Rows& expected) {
    Surface s;
    std::string error;
    if (!Load(bytes, &s, &error)) return ::testing::AssertionFailure() << "not loaded: " << error;
    Rows got(s.Height(), std::vector<uint32_t>(s.Width()));
    for (int y = 0; y < s.Height(); ++y) {
      for (int x = 0; x < s.Width(); ++x) got[y][x] = s.PixelAt(x, y);
    }
    if (got == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixels " << ::testing::PrintToString(got);
  }

  test::TempDir dir_;
};

using GdiPictureBmp = GdiPictureFiles;
using GdiPictureJpeg = GdiPictureFiles;
using GdiPictureBadInput = GdiPictureFiles;

// ---------------------------------------------------------------------------
// BMP

// The 12-byte OS/2 core header has 16-bit sizes and 3-byte palette entries,
// the 64-byte OS/2 2.x header 32-bit sizes and 4-byte entries.
TEST_F(GdiPictureBmp, PaletteDepthsAndHeadersGivePaletteColoursInBothRowOrders) {
  for (BmpHeader header : {BmpHeader::kInfo40, BmpHeader::kCore12, BmpHeader::kOs2V2_64}) {
    for (int bits : {1, 4, 8}) {
      for (bool top_down : {false, true}) {
        if (top_down && header != BmpHeader::kInfo40) continue;
        SCOPED_TRACE(testing::Message() << static_cast<int>(header) << "-byte header, " << bits
                                        << " bits" << (top_down ? ", top-down" : ""));
        const Rows indices = IndexRows(bits);
        Bmp bmp = MakeBmp(5, top_down ? -3 : 3, bits, PackRows(indices, bits, top_down),
                          DistinctPalette(size_t{1} << bits));
        bmp.header = header;
        EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
      }
    }
  }
  // A short palette given by the colour count.
  const Rows indices = IndexRows(4);
  Bmp bmp = MakeBmp(5, 3, 8, PackRows(indices, 8, false), DistinctPalette(16));
  bmp.colors_used = 16;
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, TrueColourInBothRowOrdersIgnoringTheFourthByte) {
  const Rows colors = MapRows(IndexRows(8), DistinctPalette(256));
  // 32 bits: whatever the fourth byte holds, the picture is opaque.
  Rows words = colors;
  uint32_t alpha = 0;
  for (auto& row : words) {
    for (auto& v : row) v |= (alpha += 0x55) << 24;
  }
  for (bool top_down : {false, true}) {
    SCOPED_TRACE(top_down ? "top-down" : "bottom-up");
    const int32_t h = top_down ? -3 : 3;
    EXPECT_TRUE(LoadsAs(EncodeBmp(MakeBmp(5, h, 24, PackRows(colors, 24, top_down))), colors));
    EXPECT_TRUE(LoadsAs(EncodeBmp(MakeBmp(5, h, 32, PackRows(words, 32, top_down))), colors));
  }
  Bmp core = MakeBmp(5, 3, 24, PackRows(colors, 24, false));
  core.header = BmpHeader::kCore12;
  EXPECT_TRUE(LoadsAs(EncodeBmp(core), colors));
}

// Five-bit channels become (v << 3) | (v >> 2), six-bit ones (v << 2) | (v >> 4).
TEST_F(GdiPictureBmp, SixteenBitChannelsWidenWithTheirTopBits) {
  const uint32_t five[] = {0, 1, 16, 30, 31};
  const uint32_t five_wide[] = {0x00, 0x08, 0x84, 0xF7, 0xFF};
  const uint32_t six[] = {0, 1, 32, 62, 63};
  const uint32_t six_wide[] = {0x00, 0x04, 0x82, 0xFB, 0xFF};

  // Without BI_BITFIELDS the layout is 5-5-5 and the top bit is unused.
  Rows words(2, std::vector<uint32_t>(5)), expected = words;
  Rows words565(1, std::vector<uint32_t>(5)), expected565 = words565;
  for (int i = 0; i < 5; ++i) {
    words[0][i] = five[i] << 10 | five[4 - i] << 5 | five[(i + 2) % 5];
    expected[0][i] = five_wide[i] << 16 | five_wide[4 - i] << 8 | five_wide[(i + 2) % 5];
    words[1][i] = 0x8000 | five[(i + 1) % 5] << 10;
    expected[1][i] = five_wide[(i + 1) % 5] << 16;
    words565[0][i] = five[i] << 11 | six[i] << 5 | five[4 - i];
    expected565[0][i] = five_wide[i] << 16 | six_wide[i] << 8 | five_wide[4 - i];
  }
  for (bool top_down : {false, true}) {
    SCOPED_TRACE(top_down ? "5-5-5 top-down" : "5-5-5 bottom-up");
    EXPECT_TRUE(LoadsAs(EncodeBmp(MakeBmp(5, top_down ? -2 : 2, 16, PackRows(words, 16, top_down))),
                        expected));
  }
  Bmp bmp = MakeBmp(5, 2, 16, PackRows(words, 16, false), {}, 3);
  bmp.masks = {0x7C00, 0x03E0, 0x001F};
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), expected)) << "5-5-5 through BI_BITFIELDS";
  bmp = MakeBmp(5, -1, 16, PackRows(words565, 16, true), {}, 3);
  bmp.masks = {0xF800, 0x07E0, 0x001F};
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), expected565)) << "5-6-5 through BI_BITFIELDS";
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
    Bmp bmp = MakeBmp(5, 3, 32, PackRows(words, 32, false), {}, 3);
    bmp.header = header;
    bmp.masks = {0x0000FF00, 0x00FF0000, 0xFF000000};
    EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), colors));
  }
}

// Pixels skipped by a delta or an end of line take palette entry 0.
TEST_F(GdiPictureBmp, Rle8RunsAbsoluteRunsDeltaAndEndOfLine) {
  const Bmp bmp =
      MakeBmp(8, 4, 8,
              Bytes({
                  0x03, 0x05, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00,  // run, padded absolute
                  0x02, 0x01, 0x00, 0x00,                          // run, end of line
                  0x00, 0x04, 0x0A, 0x0B, 0x0C, 0x0D,              // unpadded absolute run
                  0x00, 0x02, 0x02, 0x01,                          // delta (2, 1)
                  0x02, 0x03, 0x00, 0x00,                          // run, end of line
                  0x08, 0x04, 0x00, 0x01,                          // top row, end
              }),
              DistinctPalette(256), 1);
  const Rows indices = {
      {4, 4, 4, 4, 4, 4, 4, 4},
      {0, 0, 0, 0, 0, 0, 3, 3},
      {10, 11, 12, 13, 0, 0, 0, 0},
      {5, 5, 5, 7, 8, 9, 1, 1},
  };
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, Rle4RunsAbsoluteRunsDeltaAndEndOfLine) {
  const Bmp bmp = MakeBmp(7, 4, 4,
                          Bytes({
                              0x03, 0x12, 0x00, 0x04, 0x34, 0x56,  // alternating run, absolute run
                              0x00, 0x00,                          // end of line
                              0x00, 0x05, 0x56, 0x78, 0x90, 0x00,  // padded absolute run
                              0x00, 0x02, 0x01, 0x01,              // delta (1, 1)
                              0x01, 0xF0, 0x00, 0x00,              // one pixel, end of line
                              0x07, 0xAB, 0x00, 0x01,              // top row, end
                          }),
                          DistinctPalette(16), 2);
  const Rows indices = {
      {10, 11, 10, 11, 10, 11, 10},
      {0, 0, 0, 0, 0, 0, 15},
      {5, 6, 7, 8, 9, 0, 0},
      {1, 2, 1, 3, 4, 5, 6},
  };
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), MapRows(indices, bmp.palette)));
}

TEST_F(GdiPictureBmp, RleIndexPastThePaletteIsBlackAndRunsStayInside) {
  // Indices 3 (the last entry), 4 (the first past it) and 200.
  Bmp bmp = MakeBmp(4, 1, 8, Bytes({0x02, 0x03, 0x01, 0x04, 0x01, 0xC8, 0x00, 0x01}),
                    DistinctPalette(4), 1);
  bmp.colors_used = 4;
  const uint32_t c = bmp.palette[3];
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), {{c, c, 0, 0}}));

  // Runs and deltas past the right and top edges are cut off.
  bmp = MakeBmp(4, 2, 8,
                Bytes({0x04, 0x06, 0x00, 0x00, 0x04, 0x07,  // both rows
                       0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x09,  // far past the top and the right
                       0x00, 0x00, 0xFF, 0x09, 0x00, 0x01}),
                DistinctPalette(256), 1);
  const uint32_t a = bmp.palette[6], b = bmp.palette[7];
  EXPECT_TRUE(LoadsAs(EncodeBmp(bmp), {{b, b, b, b}, {a, a, a, a}}));
}

TEST_F(GdiPictureBmp, LoadingReplacesThePictureButKeepsTheSurfaceColours) {
  Surface s(7, 9);
  s.SetBackColor(0x00010203);
  s.SetForeColor(0x00040506);
  std::string error;
  ASSERT_TRUE(
      Load(EncodeBmp(MakeBmp(2, 1, 24, PackRows({{0x102030, 0x405060}}, 24, false))), &s, &error))
      << error;
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

// Adobe CMYK is stored inverted: 255 means no ink.
TEST_F(GdiPictureJpeg, GreyscaleGivesGreyPixelsAndAdobeCmykIsConvertedToRgb) {
  const uint32_t levels[4] = {0, 85, 170, 255};
  const uint32_t stored[4] = {0xC8283CFF, 0x1EA05AFF, 0xC828FF80, 0xFFFFFF00};
  uint32_t grey[4], cmyk[4];
  for (int q = 0; q < 4; ++q) {
    grey[q] = levels[q] * 0x010101u;
    const uint32_t k = stored[q] & 0xFF;
    cmyk[q] = 0;
    for (int shift : {24, 16, 8}) {
      cmyk[q] = cmyk[q] << 8 | (((stored[q] >> shift) & 0xFF) * k + 127) / 255;
    }
  }
  Surface s;
  std::string error;
  JpegOptions options;
  options.space = JCS_GRAYSCALE;
  ASSERT_TRUE(
      Load(EncodeJpeg(options, QuadrantSamples(JCS_GRAYSCALE, levels)), &s, &error, "grey.jpg"))
      << error;
  ExpectQuadrants(s, grey, 2);
  options.space = JCS_CMYK;
  ASSERT_TRUE(Load(EncodeJpeg(options, QuadrantSamples(JCS_CMYK, stored)), &s, &error, "cmyk.jpg"))
      << error;
  ExpectQuadrants(s, cmyk, 4);
}

TEST_F(GdiPictureJpeg, FormatComesFromTheContentNotTheName) {
  const std::string jpeg = EncodeJpeg(JpegOptions{}, QuadrantSamples(JCS_RGB, kQuadrantColors));
  Surface s;
  std::string error;
  ASSERT_TRUE(Load(jpeg, &s, &error, "misnamed.bmp")) << error;
  ExpectQuadrants(s, kQuadrantColors, 4);

  ASSERT_TRUE(Load(EncodeBmp(MakeBmp(1, 1, 24, PackRows({{0x123456}}, 24, false))), &s, &error,
                   "misnamed.jpg"))
      << error;
  EXPECT_EQ(s.PixelAt(0, 0), 0x123456u);
}

// ---------------------------------------------------------------------------
// Bad input

TEST_F(GdiPictureBadInput, TruncatedFilesAreRefused) {
  const Rows indices = IndexRows(8);
  Bmp core = MakeBmp(5, 3, 4, PackRows(IndexRows(4), 4, false), DistinctPalette(16));
  core.header = BmpHeader::kCore12;
  std::vector<std::string> files = {
      EncodeBmp(MakeBmp(5, 3, 8, PackRows(indices, 8, false), DistinctPalette(256))),
      EncodeBmp(core),
      EncodeBmp(MakeBmp(5, -3, 24, PackRows(MapRows(indices, DistinctPalette(256)), 24, true))),
      EncodeBmp(MakeBmp(5, 2, 8,
                        Bytes({0x03, 0x05, 0x00, 0x03, 0x07, 0x08, 0x09, 0x00, 0x00, 0x00,
                               0x02, 0x04, 0x00, 0x02, 0x01, 0x00, 0x01, 0x06, 0x00, 0x01}),
                        DistinctPalette(256), 1)),
      EncodeBmp(MakeBmp(
          5, 2, 4, Bytes({0x05, 0x12, 0x00, 0x00, 0x00, 0x03, 0x56, 0x70, 0x02, 0x9A, 0x00, 0x01}),
          DistinctPalette(16), 2)),
  };
  for (J_COLOR_SPACE space : {JCS_RGB, JCS_GRAYSCALE}) {
    for (bool progressive : {false, true}) {
      JpegOptions options;
      options.space = space;
      options.progressive = progressive;
      files.push_back(EncodeJpeg(options, QuadrantSamples(space, kQuadrantColors)));
    }
  }
  // Cut inside the file header, the info header, the palette or masks, the
  // pixel data, and one byte short of the end.
  for (size_t i = 0; i < files.size(); ++i) {
    const size_t size = files[i].size();
    for (size_t n : {size_t{0}, size_t{2}, size_t{13}, size_t{30}, size_t{70}, size / 2, size - 1}) {
      Surface s;
      std::string error;
      EXPECT_FALSE(Load(files[i].substr(0, n), &s, &error)) << "file " << i << ", prefix " << n;
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
  Surface s;
  std::string error;
  for (const Case& c : cases) {
    Bmp bmp =
        MakeBmp(c.width, c.height, c.compression == 1 ? 8 : 24, std::string(64, '\x01'),
                c.compression == 1 ? DistinctPalette(256) : std::vector<uint32_t>{}, c.compression);
    bmp.header = c.header;
    EXPECT_FALSE(Load(EncodeBmp(bmp), &s, &error)) << c.name;
  }
  // The limit itself is allowed.
  const Bmp widest = MakeBmp(Surface::kMaxDimension, 1, 8,
                             std::string(Surface::kMaxDimension, '\x02'), DistinctPalette(256));
  ASSERT_TRUE(Load(EncodeBmp(widest), &s, &error)) << error;
  EXPECT_EQ(s.Width(), Surface::kMaxDimension);
  EXPECT_EQ(s.PixelAt(Surface::kMaxDimension - 1, 0), widest.palette[2]);

  const std::string jpeg = EncodeJpeg(JpegOptions{}, QuadrantSamples(JCS_RGB, kQuadrantColors));
  const std::pair<uint32_t, uint32_t> sizes[] = {{20000, 20000}, {16385, 8}, {8, 16385}, {0, 32}};
  for (auto [w, h] : sizes) {
    EXPECT_FALSE(Load(WithJpegSize(jpeg, w, h), &s, &error, "big.jpg")) << "JPEG " << w << "x" << h;
  }
}

// A small file whose header claims a large size runs out of picture data
// after its first rows; it is refused instead of decoding made-up rows.
TEST_F(GdiPictureBadInput, SmallFilesClaimingLargeSizesAreRefused) {
  Surface s;
  std::string error;
  for (bool progressive : {false, true}) {
    JpegOptions options;
    options.progressive = progressive;
    const std::string jpeg = EncodeJpeg(options, QuadrantSamples(JCS_RGB, kQuadrantColors));
    EXPECT_FALSE(Load(WithJpegSize(jpeg, 6000, 6000), &s, &error, "claims.jpg")) << progressive;
  }
  EXPECT_FALSE(Load(EncodeBmp(MakeBmp(16000, 16000, 32, std::string(4096, '\x7F'))), &s, &error));
}

TEST_F(GdiPictureBadInput, MalformedBitmapsAndJpegsAreRefused) {
  const auto base = [] { return MakeBmp(4, 2, 8, std::string(8, '\x03'), DistinctPalette(256)); };
  std::vector<std::pair<std::string, std::string>> cases;
  const auto add = [&](const std::string& name, const Bmp& bmp) {
    cases.push_back({name, EncodeBmp(bmp)});
  };
  for (int bits : {0, 2, 15, 64}) {
    Bmp bmp = base();
    bmp.bits = bits;
    add("depth " + std::to_string(bits), bmp);
  }
  for (uint32_t compression : {4u, 5u, 6u, 99u}) {
    add("compression " + std::to_string(compression),
        MakeBmp(4, 2, 8, std::string(8, '\x03'), DistinctPalette(256), compression));
  }
  add("RLE4 with 8 bits", MakeBmp(4, 2, 8, std::string(8, '\x03'), DistinctPalette(256), 2));
  add("RLE8 with 4 bits", MakeBmp(4, 2, 4, std::string(8, '\x03'), DistinctPalette(16), 1));
  Bmp bmp = MakeBmp(4, 2, 24, std::string(24, '\x03'), {}, 3);
  bmp.masks = {0xFF0000, 0xFF00, 0xFF};
  add("bit fields with 24 bits", bmp);
  bmp = MakeBmp(4, 2, 1, std::string(8, '\x03'), DistinctPalette(2), 3);
  bmp.header = BmpHeader::kOs2V2_64;
  add("OS/2 Huffman", bmp);
  bmp = MakeBmp(4, 2, 8, std::string(8, '\x09'), DistinctPalette(4));
  bmp.colors_used = 4;
  add("index past a short palette", bmp);
  add("RLE without an end",
      MakeBmp(4, 2, 8, Bytes({0x04, 0x01, 0x00, 0x00, 0x04, 0x02}), DistinctPalette(256), 1));
  std::string bytes = EncodeBmp(base());
  Patch(&bytes, 14, 20);
  cases.push_back({"header of 20 bytes", bytes});
  bytes = EncodeBmp(base());
  for (int64_t offset : {int64_t(bytes.size()), int64_t{0xFFFFFFF0}, int64_t{0}}) {
    Patch(&bytes, 10, offset);
    cases.push_back({"pixel offset " + std::to_string(offset), bytes});
  }
  cases.push_back({"signature only", "BM"});
  cases.push_back({"empty file", ""});
  cases.push_back({"text", "This is not a picture.\r\n"});
  cases.push_back({"JPEG start marker only", "\xFF\xD8"});
  cases.push_back({"JPEG without a frame", std::string("\xFF\xD8\xFF\xD9", 4)});
  // 190 scans: the DC scan, then one scan per coefficient and component.
  JpegOptions options;
  options.scans.push_back({3, {0, 1, 2, 0}, 0, 0, 0, 0});
  for (int c = 0; c < 3; ++c) {
    for (int k = 1; k < 64; ++k) options.scans.push_back({1, {c, 0, 0, 0}, k, k, 0, 0});
  }
  cases.push_back(
      {"JPEG of too many scans", EncodeJpeg(options, QuadrantSamples(JCS_RGB, kQuadrantColors))});
  for (const auto& [name, file] : cases) {
    Surface s;
    std::string error;
    EXPECT_FALSE(Load(file, &s, &error)) << name;
  }
}

TEST_F(GdiPictureBadInput, MissingFilesAndFoldersAreRefused) {
  Surface s;
  for (const fs::path& path : {dir_ / "absent.bmp", dir_.path()}) {
    std::string error;
    EXPECT_FALSE(LoadPicture(path, &s, &error));
    EXPECT_FALSE(error.empty());
  }
}

// ---------------------------------------------------------------------------
// Cursors and icons

struct IconFixture {
  int width = 0;
  int height = 0;
  int bits = 4;
  std::vector<uint32_t> palette;  // written as given; colors_used says how many count
  uint32_t colors_used = 0;
  Rows pixels;       // indices, 0x00RRGGBB (24 bits) or 0xAARRGGBB (32 bits)
  Rows transparent;  // the AND mask, 1 = transparent
  int hot_x = 0;
  int hot_y = 0;
  uint32_t header_size = 40;
  uint32_t compression = 0;
};

std::string EncodeIconFile(int type, const std::vector<IconFixture>& images) {
  std::string out, dibs;
  for (int v : {0, type, static_cast<int>(images.size())}) Put(&out, v, 2);
  int64_t offset = 6 + 16 * static_cast<int64_t>(images.size());
  for (const IconFixture& im : images) {
    std::string dib;
    for (int64_t v : {int64_t{im.header_size}, int64_t{im.width}, int64_t{im.height} * 2}) {
      Put(&dib, v);
    }
    Put(&dib, 1, 2);
    Put(&dib, im.bits, 2);
    for (int64_t v : {int64_t{im.compression}, int64_t{0}, int64_t{0}, int64_t{0},
                      int64_t{im.colors_used}, int64_t{0}}) {
      Put(&dib, v);
    }
    for (uint32_t c : im.palette) Put(&dib, c);
    dib += PackRows(im.pixels, im.bits, false);
    dib += PackRows(im.transparent, 1, false);

    Put(&out, im.width, 1);
    Put(&out, im.height, 1);
    Put(&out, im.bits <= 8 ? (1 << im.bits) & 0xFF : 0, 2);
    Put(&out, type == 2 ? im.hot_x : 1, 2);
    Put(&out, type == 2 ? im.hot_y : im.bits, 2);
    Put(&out, static_cast<int64_t>(dib.size()));
    Put(&out, offset);
    offset += static_cast<int64_t>(dib.size());
    dibs += dib;
  }
  return out + dibs;
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
  im.transparent.assign(height, std::vector<uint32_t>(width, 0));
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
  bool Load(const std::string& bytes, CursorImage* out) {
    const fs::path path = dir_ / "pointer.cur";
    test::WriteFile(path, bytes);
    std::string error;
    const bool ok = LoadCursorImage(path, out, &error);
    EXPECT_EQ(ok, error.empty()) << error;
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
    ASSERT_TRUE(Load(EncodeIconFile(2, {im}), &cursor));
    EXPECT_EQ(cursor.width, 6);
    EXPECT_EQ(cursor.height, 5);
    EXPECT_EQ(cursor.hot_x, 4);
    EXPECT_EQ(cursor.hot_y, 2);
    EXPECT_EQ(cursor.argb, ExpectedArgb(im));
  }
}

TEST_F(GdiPictureCursor, IconHotSpotIsTheCentreAndOutsideHotSpotsMoveInside) {
  const IconFixture icon = IconImageOf(7, 4, 8);
  CursorImage cursor;
  ASSERT_TRUE(Load(EncodeIconFile(1, {icon}), &cursor));
  EXPECT_EQ(cursor.hot_x, 3);
  EXPECT_EQ(cursor.hot_y, 2);
  EXPECT_EQ(cursor.argb, ExpectedArgb(icon));

  IconFixture im = IconImageOf(8, 6, 4);
  im.hot_x = 100;
  im.hot_y = 6;
  ASSERT_TRUE(Load(EncodeIconFile(2, {im}), &cursor));
  EXPECT_EQ(cursor.hot_x, 7);
  EXPECT_EQ(cursor.hot_y, 5);
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
  ASSERT_TRUE(Load(EncodeIconFile(2, {small, standard_4, large, standard_8}), &cursor));
  EXPECT_EQ(cursor.width, 32);
  EXPECT_EQ(cursor.hot_x, 3);
  EXPECT_EQ(cursor.argb, ExpectedArgb(standard_8));

  // Without a 32 x 32 image, the deepest one wins.
  ASSERT_TRUE(Load(EncodeIconFile(2, {small, large}), &cursor));
  EXPECT_EQ(cursor.width, 48);
  EXPECT_EQ(cursor.hot_x, 4);

  // An image that is not a bitmap (here a PNG) is passed over.
  IconFixture png = IconImageOf(32, 32, 8);
  png.header_size = 0x474E5089;  // the start of a PNG signature
  ASSERT_TRUE(Load(EncodeIconFile(1, {png, small}), &cursor));
  EXPECT_EQ(cursor.width, 16);
  EXPECT_EQ(cursor.argb, ExpectedArgb(small));
}

TEST_F(GdiPictureCursor, IndexPastAShortPaletteIsBlack) {
  IconFixture im = IconImageOf(4, 2, 4);
  im.palette = DistinctPalette(3);
  im.colors_used = 3;
  im.pixels = {{0, 1, 2, 9}, {2, 12, 1, 0}};
  im.transparent.assign(2, std::vector<uint32_t>(4, 0));
  CursorImage cursor;
  ASSERT_TRUE(Load(EncodeIconFile(2, {im}), &cursor));
  const auto c = [&](int i) { return 0xFF000000u | im.palette[i]; };
  EXPECT_EQ(cursor.argb, (std::vector<uint32_t>{c(0), c(1), c(2), 0xFF000000u,  //
                                                c(2), 0xFF000000u, c(1), c(0)}));
}

TEST_F(GdiPictureCursor, TruncatedAndMalformedFilesAreRefused) {
  IconFixture im = IconImageOf(6, 5, 4);
  im.hot_x = 1;
  const std::string cur = EncodeIconFile(2, {im});
  std::vector<std::pair<std::string, std::string>> cases;
  for (size_t n : {size_t{0}, size_t{5}, size_t{21}, size_t{40}, cur.size() - 1}) {
    cases.push_back({"prefix", cur.substr(0, n)});
  }
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
  cases.push_back({"300 wide", EncodeIconFile(2, {IconImageOf(300, 2, 1)})});
  const auto patched = [&](const std::string& name, size_t at, int64_t v, int bytes) {
    std::string b = cur;
    Patch(&b, at, v, bytes);
    cases.push_back({name, b});
  };
  patched("type 3", 2, 3, 2);
  patched("reserved field set", 0, 1, 2);
  patched("no images", 4, 0, 2);
  patched("image offset past the end", 6 + 12, 0xFFFFFFF0u, 4);
  std::string two = cur;
  Patch(&two, 4, 2, 2);
  cases.push_back({"directory longer than the file", two.substr(0, 30)});
  cases.push_back({"a bitmap", "BM" + std::string(60, '\0')});
  cases.push_back({"animated cursor", std::string("RIFF\x10\0\0\0ACONanih", 16)});
  for (const auto& [name, bytes] : cases) {
    CursorImage cursor;
    cursor.width = 99;
    EXPECT_FALSE(Load(bytes, &cursor)) << name << " of " << bytes.size() << " bytes";
    EXPECT_EQ(cursor.width, 99) << name;  // left unchanged
  }
}

}  // namespace
}  // namespace tsumugi::gdi
