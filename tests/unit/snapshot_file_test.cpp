#include "engine/snapshot/snapshot_file.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>
#include <zstd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/gdi/png_writer.h"
#include "support/test_support.h"

namespace tsumugi {
namespace {

namespace fs = std::filesystem;
using P = SnapshotProblem;

constexpr char kGame[] = "sample-1234";

// Pixels as a game's pages hold them: smooth shading with grain, and a flat
// text window with a few light dots.
std::string PixelPayload(size_t bytes) {
  std::string payload(bytes, '\0');
  std::mt19937 random(7);
  for (size_t i = 0; i + 4 <= bytes; i += 4) {
    const size_t pixel = i / 4, x = pixel % 640, y = pixel / 640 % 480;
    uint32_t value = y > 360 ? 0x202040
                             : static_cast<uint32_t>((x / 3 + y) & 0xFF) << 16 |
                                   static_cast<uint32_t>((y / 2) & 0xFF) << 8 | (random() & 7);
    if (y > 360 && random() % 17 == 0) value = 0xFFFFFF;
    for (int b = 0; b < 4; ++b) payload[i + b] = static_cast<char>(value >> (8 * b));
  }
  return payload;
}

gdi::Surface Screen() {
  gdi::Surface screen(640, 480);
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      screen.Row(y)[x] = static_cast<uint32_t>(x & 0xFF) << 16 |
                         static_cast<uint32_t>(y & 0xFF) << 8 |
                         static_cast<uint32_t>((x ^ y) & 0xFF);
    }
  }
  return screen;
}

SnapshotFile Sample(size_t payload_bytes) {
  SnapshotFile s;
  s.game = kGame;
  s.metadata.caption = u"紬の物語 — 第一章";
  s.metadata.engine_time_ms = 12345678901;
  s.metadata.date = "2024-03-09T21:05:07";
  s.metadata.page_text = u"「ここはどこ？」\n少女は呟いた。";
  s.thumbnail = MakeThumbnail(Screen());
  s.payload = PixelPayload(payload_bytes);
  return s;
}

std::string Encode(const SnapshotFile& s) {
  std::string bytes, error;
  EXPECT_TRUE(EncodeSnapshotFile(s, &bytes, &error)) << error;
  return bytes;
}

void ExpectSameSurface(const gdi::Surface& a, const gdi::Surface& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      ASSERT_EQ(a.PixelAt(x, y), b.PixelAt(x, y)) << "at " << x << "," << y;
    }
  }
}

// A PNG taken apart into its chunks and put together again with fresh
// checksums, to make files whose damage the checksums do not show.
struct Chunk {
  std::string type;
  std::string data;
};

// The length of the chunk at `at`.
size_t Length(const std::string& png, size_t at) {
  size_t length = 0;
  for (size_t i = 0; i < 4; ++i) length = length << 8 | static_cast<unsigned char>(png[at + i]);
  return length;
}

std::vector<Chunk> Split(const std::string& png) {
  std::vector<Chunk> chunks;
  for (size_t at = 8; at + 12 <= png.size();) {
    const size_t length = Length(png, at);
    chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
    at += 12 + length;
  }
  return chunks;
}

std::string Join(const std::vector<Chunk>& chunks) {
  std::string png("\x89PNG\r\n\x1A\n", 8);
  auto put32 = [&png](uint32_t v) {
    for (int i = 3; i >= 0; --i) png += static_cast<char>(v >> (8 * i));
  };
  for (const Chunk& c : chunks) {
    put32(static_cast<uint32_t>(c.data.size()));
    const std::string body = c.type + c.data;
    png += body;
    put32(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
  }
  return png;
}

Chunk* Find(std::vector<Chunk>& chunks, const std::string& type, const std::string& key = "") {
  for (Chunk& c : chunks) {
    if (c.type == type && c.data.compare(0, key.size(), key) == 0) return &c;
  }
  return nullptr;
}

// Our chunk's header for a payload of `size` bytes, followed by `frame`.
std::string OurChunk(uint64_t size, const std::string& frame, uint32_t version = 1) {
  std::string chunk("tsumugi\0", 8);
  auto put = [&chunk](uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) chunk += static_cast<char>(v >> (8 * i));
  };
  put(version, 4);
  put(0, 4);
  put(size, 8);
  put(sizeof kGame - 1, 4);
  return chunk + kGame + frame;
}

// `bytes` zero bytes as one zstd frame, made a megabyte at a time.
std::string ZeroFrame(uint64_t bytes, bool with_size, bool checksum) {
  ZSTD_CCtx* c = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, checksum ? 1 : 0);
  ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, with_size ? 1 : 0);
  ZSTD_CCtx_setPledgedSrcSize(c, bytes);
  const std::string zeros(1 << 20, '\0');
  std::string frame;
  std::vector<char> out(ZSTD_CStreamOutSize());
  for (uint64_t done = 0;;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), bytes - done));
    done += n;
    const ZSTD_EndDirective mode = done == bytes ? ZSTD_e_end : ZSTD_e_continue;
    ZSTD_inBuffer in{zeros.data(), n, 0};
    size_t left = 0;
    do {
      ZSTD_outBuffer o{out.data(), out.size(), 0};
      left = ZSTD_compressStream2(c, &o, &in, mode);
      EXPECT_FALSE(ZSTD_isError(left));
      frame.append(out.data(), o.pos);
    } while (!ZSTD_isError(left) && (mode == ZSTD_e_end ? left != 0 : in.pos < in.size));
    if (mode == ZSTD_e_end) break;
  }
  ZSTD_freeCCtx(c);
  return frame;
}

// Reads the texts before the image with libpng alone: what a file manager
// sees.
bool ReadHeaderTexts(FILE* file, png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  return true;
}

TEST(SnapshotFile, RoundTripKeepsEverything) {
  test::TempDir dir;
  const SnapshotFile in = Sample(3 << 20);
  std::string error;
  ASSERT_TRUE(WriteSnapshotFile(dir / "quick.png", in, &error)) << error;
  const SnapshotReadResult out = ReadSnapshotFile(dir / "quick.png", kGame);
  ASSERT_EQ(out.problem, P::kNone) << out.detail;
  EXPECT_EQ(out.file.format_version, kSnapshotFormatVersion);
  EXPECT_EQ(out.file.game, kGame);
  EXPECT_EQ(out.file.metadata, in.metadata);
  EXPECT_TRUE(out.file.payload == in.payload);
  ExpectSameSurface(out.file.thumbnail, in.thumbnail);

  // Empty texts and payload, a thumbnail of another size, NUL in a text.
  SnapshotFile bare = in;
  bare.metadata = {u"", 0, "1999-12-31T23:59:59", std::u16string(u"a\0b", 3)};
  bare.payload.clear();
  bare.thumbnail = gdi::Surface(3, 2, 0x00123456);
  const SnapshotReadResult again = DecodeSnapshotFile(Encode(bare), kGame);
  ASSERT_EQ(again.problem, P::kNone) << again.detail;
  bare.metadata.page_text = u"a\uFFFDb";
  EXPECT_EQ(again.file.metadata, bare.metadata);
  EXPECT_TRUE(again.file.payload.empty());
  ExpectSameSurface(again.file.thumbnail, bare.thumbnail);

  // A page text too long to show is cut after a whole character.
  bare.metadata.page_text.assign(30000, u'紬');
  const SnapshotReadResult cut = DecodeSnapshotFile(Encode(bare), kGame);
  EXPECT_EQ(cut.file.metadata.page_text, std::u16string(kMaxSnapshotTextBytes / 3, u'紬'));
}

TEST(SnapshotFile, IsAPngWhosePictureIsTheThumbnailAndWhoseTextsOthersRead) {
  test::TempDir dir;
  const SnapshotFile in = Sample(100000);
  std::string error;
  ASSERT_TRUE(WriteSnapshotFile(dir / "s.png", in, &error)) << error;
  const std::string path = (dir / "s.png").string();

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) << image.message;
  ASSERT_EQ(image.width, static_cast<png_uint_32>(kThumbnailWidth));
  ASSERT_EQ(image.height, static_cast<png_uint_32>(kThumbnailHeight));
  gdi::Surface picture(kThumbnailWidth, kThumbnailHeight);
  for (size_t i = 0; i < rgb.size() / 3; ++i) {
    picture.Data()[i] = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  }
  ExpectSameSurface(picture, in.thumbnail);

  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  std::map<std::string, std::string> texts;
  const bool read = ReadHeaderTexts(file, png, info);
  png_textp text = nullptr;
  const int count = read ? png_get_text(png, info, &text, nullptr) : 0;
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(text[i].compression, PNG_ITXT_COMPRESSION_NONE) << text[i].key;
    texts[text[i].key] = text[i].text;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  ASSERT_TRUE(read);
  EXPECT_EQ(texts["Software"].rfind("Tsumugi ", 0), 0u) << texts["Software"];
  texts.erase("Software");
  EXPECT_EQ(texts, (std::map<std::string, std::string>{
                       {"Title", "紬の物語 — 第一章"},
                       {"Creation Time", "2024-03-09T21:05:07"},
                       {"Description", "「ここはどこ？」\n少女は呟いた。"},
                       {"Tsumugi-Engine-Time", "12345678901"},
                   }));
}

TEST(SnapshotFile, ThumbnailAveragesTheScreen) {
  gdi::Surface screen(640, 480);
  // Each 4x4 block: one white pixel, the rest black; one block all red.
  for (int y = 0; y < 480; y += 4) {
    for (int x = 0; x < 640; x += 4) screen.Row(y)[x] = 0xFFFFFF;
  }
  screen.Fill(8, 4, 4, 4, 0x0000FF);
  const gdi::Surface small = MakeThumbnail(screen);
  ASSERT_EQ(small.Width(), kThumbnailWidth);
  ASSERT_EQ(small.Height(), kThumbnailHeight);
  EXPECT_EQ(small.PixelAt(0, 0), 0x101010u);  // 255 / 16, rounded
  EXPECT_EQ(small.PixelAt(159, 119), 0x101010u);
  EXPECT_EQ(small.PixelAt(2, 1), 0xFF0000u);

  // A smaller screen is enlarged; an empty one gives black.
  gdi::Surface tiny(2, 1);
  tiny.Row(0)[1] = 0x00FF00;
  const gdi::Surface big = MakeThumbnail(tiny);
  EXPECT_EQ(big.PixelAt(79, 119), 0u);
  EXPECT_EQ(big.PixelAt(80, 0), 0x00FF00u);
  EXPECT_EQ(MakeThumbnail(gdi::Surface()).PixelAt(5, 5), 0u);
}

TEST(SnapshotFile, EveryCutOrDamagedByteIsRefused) {
  const std::string good = Encode(Sample(40000));
  ASSERT_EQ(DecodeSnapshotFile(good, kGame).problem, P::kNone);
  std::mt19937 random(2024);
  std::vector<size_t> offsets;
  for (size_t i = 0; i < 80; ++i) offsets.push_back(i);
  // Each chunk's start and end.
  for (size_t at = 8; at + 12 <= good.size();) {
    const size_t length = Length(good, at);
    for (const size_t o : {at, at + 1, at + 8, at + 8 + length, at + 11 + length}) {
      offsets.push_back(o);
    }
    at += 12 + length;
  }
  for (int i = 0; i < 150; ++i) offsets.push_back(random() % good.size());
  auto refused = [](const SnapshotReadResult& r) {
    return (r.problem == P::kTruncated || r.problem == P::kDamaged ||
            r.problem == P::kNotASnapshot) &&
           r.file.payload.empty() && !r.detail.empty();
  };
  for (const size_t at : offsets) {
    if (at == 0 || at >= good.size()) continue;
    const SnapshotReadResult cut = DecodeSnapshotFile(std::string_view(good).substr(0, at), kGame);
    EXPECT_TRUE(refused(cut)) << "cut at " << at << ": " << SnapshotProblemName(cut.problem);
    std::string damaged = good;
    damaged[at] = static_cast<char>(damaged[at] ^ (1 + random() % 255));
    const SnapshotReadResult bad = DecodeSnapshotFile(damaged, kGame);
    EXPECT_TRUE(refused(bad)) << "byte " << at << ": " << SnapshotProblemName(bad.problem);
  }
  EXPECT_EQ(DecodeSnapshotFile(good + "x", kGame).problem, P::kDamaged);
}

TEST(SnapshotFile, RefusesWhatIsNotThisGamesSnapshot) {
  test::TempDir dir;
  const SnapshotFile sample = Sample(1000);
  const std::string good = Encode(sample);
  SnapshotFile newer = sample;
  newer.format_version = kSnapshotFormatVersion + 1;
  std::string plain, error;
  ASSERT_TRUE(gdi::EncodePng(sample.thumbnail, {{"Title", "x"}}, {}, &plain, &error)) << error;
  std::vector<Chunk> foreign = Split(good);
  Find(foreign, "tsSn")->data.replace(0, 7, "another");

  const struct {
    const char* name;
    std::string bytes;
    P problem;
  } cases[] = {
      {"empty", "", P::kEmpty},
      {"text", "just some text\n", P::kNotASnapshot},
      {"binary", std::string("\0\1\2\3\xFF\xFE", 6), P::kNotASnapshot},
      {"a bitmap", "BM" + std::string(100, '\0'), P::kNotASnapshot},
      {"a plain PNG", plain, P::kNotASnapshot},
      {"another program's chunk", Join(foreign), P::kNotASnapshot},
      {"a newer version", Encode(newer), P::kNewerVersion},
      {"half a signature", good.substr(0, 4), P::kTruncated},
      {"the last checksum cut", good.substr(0, good.size() - 2), P::kTruncated},
  };
  for (const auto& c : cases) {
    const SnapshotReadResult r = DecodeSnapshotFile(c.bytes, kGame);
    EXPECT_EQ(r.problem, c.problem) << c.name << ": " << r.detail;
    EXPECT_FALSE(r.detail.empty()) << c.name;
  }
  EXPECT_EQ(DecodeSnapshotFile(good, "another-game").problem, P::kOtherGame);

  // Our screenshot writer's files are plain pictures.
  ASSERT_TRUE(gdi::WritePng(sample.thumbnail, (dir / "shot.png").string(), &error)) << error;
  EXPECT_EQ(ReadSnapshotFile(dir / "shot.png", kGame).problem, P::kNotASnapshot);
  // Files that are not there or not files.
  EXPECT_EQ(ReadSnapshotFile(dir / "none.png", kGame).problem, P::kMissing);
  EXPECT_EQ(ReadSnapshotFile(dir.path(), kGame).problem, P::kUnreadable);
  // A file over 64 MB is refused by its size (this one is sparse).
  {
    std::FILE* f = std::fopen((dir / "huge.png").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(good.data(), 1, good.size(), f);
    std::fclose(f);
  }
  fs::resize_file(dir / "huge.png", 65 << 20);
  const SnapshotReadResult huge = ReadSnapshotFile(dir / "huge.png", kGame);
  EXPECT_EQ(huge.problem, P::kTooLarge) << huge.detail;
  EXPECT_NE(huge.detail.find("huge.png"), std::string::npos) << huge.detail;
}

TEST(SnapshotFile, RefusesDamageTheChecksumsDoNotShow) {
  const std::string good = Encode(Sample(200000));
  std::vector<Chunk> chunks = Split(good);
  auto with = [&chunks](const std::function<void(std::vector<Chunk>&)>& change) {
    std::vector<Chunk> copy = chunks;
    change(copy);
    return Join(copy);
  };
  const std::string frame = Find(chunks, "tsSn")->data.substr(OurChunk(0, "").size());
  const std::string big_zeros = ZeroFrame(uint64_t{300} << 20, true, true);
  ASSERT_LT(big_zeros.size(), 100000u);

  const struct {
    const char* name;
    std::string bytes;
    P problem;
  } cases[] = {
      // Bombs: a small file that would decompress to more than the limit.
      {"300 MB of zeros",
       with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(uint64_t{300} << 20, big_zeros); }),
       P::kTooLarge},
      {"300 MB declared small",
       with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(1000, big_zeros); }), P::kDamaged},
      {"no size in the frame",
       with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(1000, ZeroFrame(1000, false, true)); }),
       P::kDamaged},
      {"no checksum in the frame",
       with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(1000, ZeroFrame(1000, true, false)); }),
       P::kDamaged},
      {"a changed byte in the frame", with([&](auto& c) {
         std::string changed = frame;
         changed[changed.size() / 2] ^= 0x10;
         Find(c, "tsSn")->data = OurChunk(200000, changed);
       }),
       P::kDamaged},
      {"data after the frame",
       with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(200000, frame + "junk"); }),
       P::kDamaged},
      {"the frame cut",
       with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(200000, frame.substr(0, 100)); }),
       P::kDamaged},
      {"version 0", with([&](auto& c) { Find(c, "tsSn")->data = OurChunk(200000, frame, 0); }),
       P::kDamaged},
      {"the header cut", with([&](auto& c) { Find(c, "tsSn")->data.resize(20); }), P::kDamaged},
      {"two snapshots", with([&](auto& c) { c.insert(c.end() - 1, *Find(c, "tsSn")); }),
       P::kDamaged},
      {"no end", with([&](auto& c) { c.pop_back(); }), P::kTruncated},
      {"no image data",
       with([&](auto& c) { std::erase_if(c, [](const Chunk& k) { return k.type == "IDAT"; }); }),
       P::kDamaged},
      {"no page text",
       with([&](auto& c) { c.erase(c.begin() + (Find(c, "iTXt", "Description") - c.data())); }),
       P::kDamaged},
      {"a wrong time", with([&](auto& c) { Find(c, "iTXt", "Tsumugi-Engine-Time")->data += "x"; }),
       P::kDamaged},
      {"a wrong date", with([&](auto& c) { Find(c, "iTXt", "Creation Time")->data += "Z"; }),
       P::kDamaged},
      {"a caption twice",
       with([&](auto& c) { c.insert(c.begin() + 1, *Find(c, "iTXt", "Title")); }), P::kDamaged},
  };
  for (const auto& c : cases) {
    const SnapshotReadResult r = DecodeSnapshotFile(c.bytes, kGame);
    EXPECT_EQ(r.problem, c.problem) << c.name << ": " << r.detail;
    EXPECT_TRUE(r.file.payload.empty()) << c.name;
  }
}

TEST(SnapshotFile, WritesOnlyWhatItCanReadAndKeepsTheOldFileOtherwise) {
  test::TempDir dir;
  const SnapshotFile good = Sample(1000);
  std::string error;
  ASSERT_TRUE(WriteSnapshotFile(dir / "q.png", good, &error)) << error;
  const std::string before = test::ReadFile(dir / "q.png");

  std::vector<std::pair<const char*, SnapshotFile>> cases(5, {"", good});
  cases[0].first = "no thumbnail";
  cases[0].second.thumbnail = gdi::Surface();
  cases[1].first = "a thumbnail too large";
  cases[1].second.thumbnail = gdi::Surface(641, 10);
  cases[2].first = "a date of another form";
  cases[2].second.metadata.date = "2024-03-09 21:05:07";
  cases[3].first = "version 0";
  cases[3].second.format_version = 0;
  cases[4].first = "a game name too long";
  cases[4].second.game.assign(kMaxSnapshotGameBytes + 1, 'g');
  for (const auto& [name, snapshot] : cases) {
    error.clear();
    EXPECT_FALSE(WriteSnapshotFile(dir / "q.png", snapshot, &error)) << name;
    EXPECT_NE(error.find("q.png"), std::string::npos) << name << ": " << error;
  }
  EXPECT_EQ(test::ReadFile(dir / "q.png"), before);
}

}  // namespace
}  // namespace tsumugi
