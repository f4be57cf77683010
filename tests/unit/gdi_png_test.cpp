#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/gdi/png_writer.h"
#include "platform/gdi/surface.h"
#include "support/test_support.h"

namespace tsumugi::gdi {
namespace {

namespace fs = std::filesystem;

class GdiPng : public testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  test::TempDir dir_;
};

// Every pixel different, with all channel values from 0 to 255 represented.
Surface TestImage() {
  Surface s(17, 9);
  for (int y = 0; y < s.Height(); ++y) {
    for (int x = 0; x < s.Width(); ++x) {
      const uint32_t r = static_cast<uint32_t>(x * 15 + y) & 0xFF;
      const uint32_t g = static_cast<uint32_t>(255 - y * 28 - x) & 0xFF;
      const uint32_t b = static_cast<uint32_t>(x * y * 7) & 0xFF;
      s.SetPixel(x, y, r | (g << 8) | (b << 16));
    }
  }
  s.SetPixel(0, 0, kBlack);
  s.SetPixel(1, 0, kWhite);
  return s;
}

TEST_F(GdiPng, WriteThenReadGivesIdenticalPixels) {
  const Surface image = TestImage();
  const std::string path = PathOf("image.png");
  std::string error;
  ASSERT_TRUE(WritePng(image, path, &error)) << error;

  Surface read(1, 1);
  read.SetBackColor(0x00010203);
  ASSERT_TRUE(ReadPng(path, &read, &error)) << error;
  ASSERT_EQ(read.Width(), image.Width());
  ASSERT_EQ(read.Height(), image.Height());
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      EXPECT_EQ(read.PixelAt(x, y), image.PixelAt(x, y)) << "at " << x << "," << y;
    }
  }
  // Reading replaces the image, not the surface's colours.
  EXPECT_EQ(read.BackColor(), 0x00010203u);
}

TEST_F(GdiPng, WritesEightBitRgbWithRedFirst) {
  Surface image(2, 1);
  image.SetPixel(0, 0, 0x000000FF);  // red
  image.SetPixel(1, 0, 0x00FF0000);  // blue
  const std::string path = PathOf("rgb.png");
  std::string error;
  ASSERT_TRUE(WritePng(image, path, &error)) << error;

  // Decode independently of ReadPng so that a channel swap in both
  // directions cannot cancel out.
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, path.c_str())) << png.message;
  EXPECT_EQ(png.format, static_cast<png_uint_32>(PNG_FORMAT_RGB));
  EXPECT_EQ(png.width, 2u);
  EXPECT_EQ(png.height, 1u);
  std::vector<png_byte> bytes(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) << png.message;
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_EQ(bytes, (std::vector<png_byte>{255, 0, 0, 0, 0, 255}));
}

TEST_F(GdiPng, ReadsOtherFormatsAsOpaqueRgb) {
  // Grey + alpha, written through libpng's simplified API.
  const std::string path = PathOf("grey_alpha.png");
  const png_byte pixels[] = {0x40, 0xFF, 0x80, 0x00, 0xC0, 0x7F};
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = 3;
  png.height = 1;
  png.format = PNG_FORMAT_GA;
  ASSERT_TRUE(png_image_write_to_file(&png, path.c_str(), 0, pixels, 0, nullptr)) << png.message;

  Surface read;
  std::string error;
  ASSERT_TRUE(ReadPng(path, &read, &error)) << error;
  ASSERT_EQ(read.Width(), 3);
  ASSERT_EQ(read.Height(), 1);
  // Alpha is dropped, leaving the stored grey whatever its opacity.
  EXPECT_EQ(read.GetPixel(0, 0), 0x00404040u);
  EXPECT_EQ(read.GetPixel(1, 0), 0x00808080u);
  EXPECT_EQ(read.GetPixel(2, 0), 0x00C0C0C0u);
}

TEST_F(GdiPng, WriteFailuresReturnFalseWithAMessage) {
  const Surface image = TestImage();
  const std::string missing_dir = PathOf("no_such_folder/image.png");
  std::string error;
  EXPECT_FALSE(WritePng(image, missing_dir, &error));
  EXPECT_NE(error.find(missing_dir), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(missing_dir));
  EXPECT_FALSE(WritePng(image, missing_dir, nullptr));

  error.clear();
  EXPECT_FALSE(WritePng(Surface(), PathOf("empty.png"), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(fs::exists(PathOf("empty.png")));

  // A directory where the file should go.
  error.clear();
  EXPECT_FALSE(WritePng(image, dir_.path().string(), &error));
  EXPECT_FALSE(error.empty());
}

TEST_F(GdiPng, WriteErrorsAreReportedAndDevicesKept) {
  // /dev/full accepts open() and fails every write. It is reached through a
  // link of our own, so that a faulty clean-up could only remove the link.
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string link = PathOf("full.png");
  fs::create_symlink("/dev/full", link);
  std::string error;
  EXPECT_FALSE(WritePng(TestImage(), link, &error));
  EXPECT_NE(error.find(link), std::string::npos) << error;
  EXPECT_TRUE(fs::is_symlink(link));
}

// Limits the size of files this process may write, and ignores the signal
// that exceeding the limit raises so that the write fails instead.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ok_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_handler_);
  }
  bool ok() const { return ok_; }

 private:
  rlimit saved_{};
  void (*saved_handler_)(int) = nullptr;
  bool ok_ = false;
};

TEST_F(GdiPng, FailureHalfwayRemovesThePartialFile) {
  // Noise does not compress, so the file outgrows the limit and stdio's
  // buffer while libpng is still writing rows.
  Surface noise(128, 128);
  uint32_t state = 12345;
  for (int y = 0; y < noise.Height(); ++y) {
    for (int x = 0; x < noise.Width(); ++x) {
      state = state * 1103515245u + 12345u;
      noise.SetPixel(x, y, state >> 8);
    }
  }
  const std::string path = PathOf("partial.png");
  std::string error;
  bool written;
  {
    FileSizeLimit limit(1000);
    ASSERT_TRUE(limit.ok());
    written = WritePng(noise, path, &error);
  }
  EXPECT_FALSE(written);
  EXPECT_NE(error.find(path), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(path));

  // Without the limit the same image is written fine.
  EXPECT_TRUE(WritePng(noise, path, &error)) << error;
  EXPECT_GT(fs::file_size(path), 1000u);
}

TEST_F(GdiPng, ReadFailuresLeaveTheSurfaceAlone) {
  Surface out(2, 2, 0x00ABCDEF);
  std::string error;
  EXPECT_FALSE(ReadPng(PathOf("missing.png"), &out, &error));
  EXPECT_FALSE(error.empty());

  const std::string text = PathOf("text.png");
  std::ofstream(text) << "this is not an image\n";
  error.clear();
  EXPECT_FALSE(ReadPng(text, &out, &error));
  EXPECT_FALSE(error.empty());

  // A valid file cut short in the middle of its image data.
  const std::string whole = PathOf("whole.png");
  ASSERT_TRUE(WritePng(TestImage(), whole, &error)) << error;
  const auto size = fs::file_size(whole);
  const std::string cut = PathOf("cut.png");
  fs::copy_file(whole, cut);
  fs::resize_file(cut, size - 20);
  error.clear();
  EXPECT_FALSE(ReadPng(cut, &out, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(ReadPng(cut, &out, nullptr));

  ASSERT_EQ(out.Width(), 2);
  ASSERT_EQ(out.Height(), 2);
  EXPECT_EQ(out.GetPixel(1, 1), 0x00ABCDEFu);
}

}  // namespace
}  // namespace tsumugi::gdi
