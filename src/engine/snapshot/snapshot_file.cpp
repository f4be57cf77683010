#include "engine/snapshot/snapshot_file.h"

#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "platform/gdi/png_writer.h"

#ifndef TSUMUGI_VERSION
#error "the build defines TSUMUGI_VERSION, the program's version"
#endif

namespace tsumugi {
namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1A\n", 8);
constexpr char kChunkName[] = "tsSn";
constexpr std::string_view kMagic("tsumugi\0", 8);
// The chunk's fixed part: name, version, flags, payload size, game size.
constexpr size_t kHeaderBytes = 8 + 4 + 4 + 8 + 4;
// PNG chunk lengths are below 2^31.
constexpr uint64_t kMaxChunkLength = 0x7FFFFFFF;
// A zstd frame starts with 28 B5 2F FD; bit 2 of the next byte says that
// the frame ends with a checksum of its content.
constexpr std::string_view kZstdMagic("\x28\xB5\x2F\xFD", 4);
constexpr unsigned kZstdChecksumBit = 0x04;

// A game's state holds the same pictures more than once, megabytes apart:
// the screen, the text window's copies of what lies under it, the page
// that was last shown. A window that spans the whole state (16 MB: a
// 640x480 game with eight pages in use) finds those repeats, which then
// cost next to nothing. Measured on the states of real games
// (bench/snapshot_bench.cpp: the sample game at its busiest wait, a game
// with four pages of pictures), level 1 with that window compresses a
// sixth to a third faster than level -1 with the default window, makes
// files a third to a half smaller and decompresses a tenth to a quarter
// faster; with the same window, levels -5 to -1 are at most a twentieth
// faster for files a tenth to twice as large, level 3 is slower. On
// pictures that repeat nothing (bench/snapshot_file_bench.cpp) it is as
// fast as level -1. The reader decompresses the whole frame at once, so
// the window costs it no memory.
constexpr int kCompressionLevel = 1;
constexpr int kWindowLog = 24;

constexpr char kTitleKey[] = "Title";
constexpr char kTimeKey[] = "Tsumugi-Engine-Time";
constexpr char kDateKey[] = "Creation Time";
constexpr char kTextKey[] = "Description";
constexpr char kSoftwareKey[] = "Software";

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

void PutBig(std::string* out, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<char>(value >> (8 * i)));
}

uint64_t GetBig(std::string_view in, size_t at, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

// "YYYY-MM-DDTHH:MM:SS": the shape only; the engine writes the date it is
// given.
bool IsSnapshotDate(std::string_view date) {
  constexpr std::string_view kShape = "0000-00-00T00:00:00";
  if (date.size() != kShape.size()) return false;
  for (size_t i = 0; i < date.size(); ++i) {
    const bool digit = date[i] >= '0' && date[i] <= '9';
    if (kShape[i] == '0' ? !digit : date[i] != kShape[i]) return false;
  }
  return true;
}

bool ParseMilliseconds(std::string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

// A PNG text cannot hold NUL; an unpaired surrogate has no UTF-8 form. A
// text longer than the limit is cut after its last whole character.
std::string TextForPng(std::u16string_view text) {
  std::u16string clean(text);
  std::replace(clean.begin(), clean.end(), u'\0', u'\uFFFD');
  std::string utf8 = Utf16ToUtf8(clean);
  if (utf8.size() > kMaxSnapshotTextBytes) {
    size_t cut = kMaxSnapshotTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    utf8.resize(cut);
  }
  return utf8;
}

struct FreeCompressor {
  void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};
struct FreeDecompressor {
  void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

SnapshotReadResult Refuse(SnapshotProblem problem, std::string detail) {
  SnapshotReadResult result;
  result.problem = problem;
  result.detail = std::move(detail);
  return result;
}

// A chunk's four-letter name for a message, or its place when the name is
// not letters.
std::string ChunkLabel(std::string_view type, size_t offset) {
  const bool letters = std::all_of(type.begin(), type.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  });
  return (letters ? "the chunk " + std::string(type) : std::string("the chunk")) + " at byte " +
         std::to_string(offset);
}

// The PNG's chunks, walked once: every length within the file and every
// checksum right, an end chunk last. Our chunk is taken out; the rest, a
// plain PNG, goes to the picture decoder.
struct ChunkWalk {
  SnapshotProblem problem = SnapshotProblem::kNone;
  std::string detail;
  std::string picture;
  std::string_view ours;
  int ours_count = 0;
};

ChunkWalk WalkChunks(std::string_view bytes) {
  ChunkWalk walk;
  auto fail = [&walk](SnapshotProblem problem, std::string detail) {
    walk.problem = problem;
    walk.detail = std::move(detail);
    return std::move(walk);
  };
  walk.picture.assign(kPngSignature);
  size_t at = kPngSignature.size();
  while (at < bytes.size()) {
    if (bytes.size() - at < 8) {
      return fail(SnapshotProblem::kTruncated, "the file ends in a chunk's header");
    }
    const uint64_t length = GetBig(bytes, at, 4);
    const std::string_view type = bytes.substr(at + 4, 4);
    if (length > kMaxChunkLength) {
      return fail(SnapshotProblem::kDamaged, ChunkLabel(type, at) + " has an impossible length");
    }
    if (bytes.size() - at - 8 < length + 4) {
      return fail(SnapshotProblem::kTruncated, "the file ends in " + ChunkLabel(type, at));
    }
    const uint64_t crc = GetBig(bytes, at + 8 + length, 4);
    const uLong computed =
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(bytes.data() + at + 4),
              static_cast<uInt>(length + 4));
    if (crc != computed) {
      return fail(SnapshotProblem::kDamaged,
                  "the checksum of " + ChunkLabel(type, at) + " is wrong");
    }
    if (type == kChunkName) {
      walk.ours = bytes.substr(at + 8, length);
      ++walk.ours_count;
    } else {
      walk.picture.append(bytes.substr(at, 12 + length));
    }
    at += 12 + length;
    if (type == "IEND") {
      if (at != bytes.size()) {
        return fail(SnapshotProblem::kDamaged,
                    std::to_string(bytes.size() - at) + " bytes follow the end of the picture");
      }
      return walk;
    }
  }
  return fail(SnapshotProblem::kTruncated, "the file ends before the end of the picture");
}

// The texts of the snapshot's metadata, each there once.
SnapshotReadResult ReadMetadata(const std::vector<gdi::PngText>& texts, SnapshotMetadata* out) {
  const char* const keys[] = {kTitleKey, kTimeKey, kDateKey, kTextKey};
  std::array<const std::string*, 4> found{};
  for (const gdi::PngText& text : texts) {
    for (size_t i = 0; i < found.size(); ++i) {
      if (text.keyword != keys[i]) continue;
      if (found[i] != nullptr) {
        return Refuse(SnapshotProblem::kDamaged,
                      "the text \"" + text.keyword + "\" is there twice");
      }
      found[i] = &text.text;
    }
  }
  for (size_t i = 0; i < found.size(); ++i) {
    if (found[i] == nullptr) {
      return Refuse(SnapshotProblem::kDamaged,
                    "the text \"" + std::string(keys[i]) + "\" is missing");
    }
  }
  SnapshotMetadata metadata;
  if (!ParseMilliseconds(*found[1], &metadata.engine_time_ms)) {
    return Refuse(SnapshotProblem::kDamaged, "the engine time is not a number of milliseconds");
  }
  if (!IsSnapshotDate(*found[2])) {
    return Refuse(SnapshotProblem::kDamaged, "the date is not of the form YYYY-MM-DDTHH:MM:SS");
  }
  metadata.caption = Utf8ToUtf16(*found[0]);
  metadata.date = *found[2];
  metadata.page_text = Utf8ToUtf16(*found[3]);
  *out = std::move(metadata);
  return {};
}

}  // namespace

const char* SnapshotProblemName(SnapshotProblem problem) {
  switch (problem) {
    case SnapshotProblem::kNone:
      return "no problem";
    case SnapshotProblem::kMissing:
      return "no such file";
    case SnapshotProblem::kUnreadable:
      return "unreadable";
    case SnapshotProblem::kEmpty:
      return "empty";
    case SnapshotProblem::kTooLarge:
      return "too large";
    case SnapshotProblem::kNotASnapshot:
      return "not a snapshot";
    case SnapshotProblem::kNewerVersion:
      return "made by a newer version";
    case SnapshotProblem::kOtherGame:
      return "of another game";
    case SnapshotProblem::kDamaged:
      return "damaged";
    case SnapshotProblem::kTruncated:
      return "cut short";
  }
  return "unknown";
}

gdi::Surface MakeThumbnail(const gdi::Surface& screen) {
  gdi::Surface thumbnail(kThumbnailWidth, kThumbnailHeight);
  if (screen.Empty()) return thumbnail;
  const int64_t w = screen.Width(), h = screen.Height();
  for (int ty = 0; ty < kThumbnailHeight; ++ty) {
    const int y0 = static_cast<int>(ty * h / kThumbnailHeight);
    const int y1 = std::max(y0 + 1, static_cast<int>((ty + 1) * h / kThumbnailHeight));
    uint32_t* out = thumbnail.Row(ty);
    for (int tx = 0; tx < kThumbnailWidth; ++tx) {
      const int x0 = static_cast<int>(tx * w / kThumbnailWidth);
      const int x1 = std::max(x0 + 1, static_cast<int>((tx + 1) * w / kThumbnailWidth));
      uint64_t r = 0, g = 0, b = 0;
      for (int y = y0; y < y1; ++y) {
        const uint32_t* row = screen.Row(y);
        for (int x = x0; x < x1; ++x) {
          r += (row[x] >> 16) & 0xFF;
          g += (row[x] >> 8) & 0xFF;
          b += row[x] & 0xFF;
        }
      }
      const uint64_t n = static_cast<uint64_t>(y1 - y0) * static_cast<uint64_t>(x1 - x0);
      out[tx] = static_cast<uint32_t>(((r + n / 2) / n) << 16 | ((g + n / 2) / n) << 8 |
                                      ((b + n / 2) / n));
    }
  }
  return thumbnail;
}

bool EncodeSnapshotFile(const SnapshotFile& snapshot, std::string* bytes, std::string* error) {
  const gdi::Surface& thumbnail = snapshot.thumbnail;
  if (snapshot.format_version == 0) {
    SetError(error, "the format version 0 does not exist");
    return false;
  }
  if (thumbnail.Empty() || thumbnail.Width() > kMaxThumbnailWidth ||
      thumbnail.Height() > kMaxThumbnailHeight) {
    SetError(error, "a thumbnail of " + std::to_string(thumbnail.Width()) + "x" +
                        std::to_string(thumbnail.Height()) + " pixels cannot be written");
    return false;
  }
  if (snapshot.payload.size() > kMaxSnapshotPayloadBytes) {
    SetError(error, "the game's state is too large (" + std::to_string(snapshot.payload.size()) +
                        " bytes)");
    return false;
  }
  if (snapshot.game.size() > kMaxSnapshotGameBytes) {
    SetError(error, "the game's name is too long");
    return false;
  }
  if (!IsSnapshotDate(snapshot.metadata.date)) {
    SetError(error,
             "the date \"" + snapshot.metadata.date + "\" is not of the form YYYY-MM-DDTHH:MM:SS");
    return false;
  }

  std::string header(kMagic);
  PutBig(&header, snapshot.format_version, 4);
  PutBig(&header, 0, 4);
  PutBig(&header, snapshot.payload.size(), 8);
  PutBig(&header, snapshot.game.size(), 4);
  header += snapshot.game;
  // The chunk is compressed straight into place behind its header.
  const size_t bound = ZSTD_compressBound(snapshot.payload.size());
  const auto chunk = std::make_unique_for_overwrite<char[]>(header.size() + bound);
  std::copy(header.begin(), header.end(), chunk.get());
  const std::unique_ptr<ZSTD_CCtx, FreeCompressor> compressor(ZSTD_createCCtx());
  if (compressor == nullptr) {
    SetError(error, "no memory to compress the game's state");
    return false;
  }
  ZSTD_CCtx_setParameter(compressor.get(), ZSTD_c_compressionLevel, kCompressionLevel);
  ZSTD_CCtx_setParameter(compressor.get(), ZSTD_c_windowLog, kWindowLog);
  ZSTD_CCtx_setParameter(compressor.get(), ZSTD_c_checksumFlag, 1);
  ZSTD_CCtx_setParameter(compressor.get(), ZSTD_c_contentSizeFlag, 1);
  const size_t packed = ZSTD_compress2(compressor.get(), chunk.get() + header.size(), bound,
                                       snapshot.payload.data(), snapshot.payload.size());
  if (ZSTD_isError(packed)) {
    SetError(error, std::string("cannot compress the game's state: ") + ZSTD_getErrorName(packed));
    return false;
  }

  const SnapshotMetadata& m = snapshot.metadata;
  std::vector<gdi::PngText> texts;
  texts.push_back({kTitleKey, TextForPng(m.caption)});
  texts.push_back({kDateKey, m.date});
  texts.push_back({kTextKey, TextForPng(m.page_text)});
  texts.push_back({kSoftwareKey, "Tsumugi " TSUMUGI_VERSION});
  texts.push_back({kTimeKey, std::to_string(m.engine_time_ms)});
  const std::vector<gdi::PngChunk> chunks = {
      {kChunkName, std::string_view(chunk.get(), header.size() + packed)}};
  std::string encoded;
  if (!gdi::EncodePng(thumbnail, texts, chunks, &encoded, error)) return false;
  if (encoded.size() > kMaxSnapshotFileBytes) {
    SetError(error, "the snapshot would be larger than " +
                        std::to_string(kMaxSnapshotFileBytes >> 20) + " MB");
    return false;
  }
  *bytes = std::move(encoded);
  return true;
}

SnapshotReadResult DecodeSnapshotFile(std::string_view bytes, std::string_view game) {
  using P = SnapshotProblem;
  if (bytes.empty()) return Refuse(P::kEmpty, "the file is empty");
  if (bytes.size() > kMaxSnapshotFileBytes) {
    return Refuse(P::kTooLarge,
                  "the file is larger than " + std::to_string(kMaxSnapshotFileBytes >> 20) + " MB");
  }
  if (!bytes.starts_with(kPngSignature)) {
    if (kPngSignature.starts_with(bytes)) return Refuse(P::kTruncated, "the file is cut short");
    return Refuse(P::kNotASnapshot, "not a PNG picture");
  }
  ChunkWalk walk = WalkChunks(bytes);
  if (walk.problem != P::kNone) return Refuse(walk.problem, std::move(walk.detail));
  const std::string_view chunk = walk.ours;
  if (walk.ours_count == 0 || !chunk.starts_with(kMagic)) {
    return Refuse(P::kNotASnapshot, "a picture without a Tsumugi snapshot");
  }
  if (walk.ours_count > 1) return Refuse(P::kDamaged, "the picture holds two snapshots");
  if (chunk.size() < kMagic.size() + 4) return Refuse(P::kDamaged, "the snapshot's header is cut");
  const auto version = static_cast<uint32_t>(GetBig(chunk, kMagic.size(), 4));
  if (version > kSnapshotFormatVersion) {
    return Refuse(P::kNewerVersion, "format version " + std::to_string(version) +
                                        "; this Tsumugi reads versions up to " +
                                        std::to_string(kSnapshotFormatVersion));
  }
  if (version == 0) return Refuse(P::kDamaged, "format version 0");
  if (chunk.size() < kHeaderBytes) return Refuse(P::kDamaged, "the snapshot's header is cut");
  if (GetBig(chunk, 12, 4) != 0) return Refuse(P::kDamaged, "unknown flags in the header");
  const uint64_t payload_size = GetBig(chunk, 16, 8);
  const uint64_t game_size = GetBig(chunk, 24, 4);
  if (game_size > kMaxSnapshotGameBytes || game_size > chunk.size() - kHeaderBytes) {
    return Refuse(P::kDamaged, "the game's name has an impossible length");
  }
  if (chunk.substr(kHeaderBytes, game_size) != game) {
    return Refuse(P::kOtherGame, "a snapshot of another game");
  }
  if (payload_size > kMaxSnapshotPayloadBytes) {
    return Refuse(P::kTooLarge, "the game's state would take " + std::to_string(payload_size) +
                                    " bytes; the limit is " +
                                    std::to_string(kMaxSnapshotPayloadBytes >> 20) + " MB");
  }
  // One zstd frame, checksummed, of the size the header says, filling the
  // rest of the chunk: checked before a byte is decompressed.
  const std::string_view frame = chunk.substr(kHeaderBytes + game_size);
  if (!frame.starts_with(kZstdMagic) || frame.size() < 5 ||
      (static_cast<unsigned char>(frame[4]) & kZstdChecksumBit) == 0) {
    return Refuse(P::kDamaged, "the game's state is not a checksummed zstd frame");
  }
  if (ZSTD_getFrameContentSize(frame.data(), frame.size()) != payload_size) {
    return Refuse(P::kDamaged, "the sizes of the game's state disagree");
  }
  if (ZSTD_findFrameCompressedSize(frame.data(), frame.size()) != frame.size()) {
    return Refuse(P::kDamaged, "the game's state does not fill its chunk");
  }

  SnapshotReadResult result;
  std::vector<gdi::PngText> texts;
  std::string error;
  if (!gdi::DecodePng(walk.picture, kMaxThumbnailWidth, kMaxThumbnailHeight, &result.file.thumbnail,
                      &texts, &error)) {
    return Refuse(P::kDamaged, "the picture: " + error);
  }
  if (SnapshotReadResult refused = ReadMetadata(texts, &result.file.metadata);
      refused.problem != P::kNone) {
    return refused;
  }

  try {
    result.file.payload.resize(payload_size);
  } catch (const std::bad_alloc&) {
    return Refuse(P::kTooLarge,
                  "no memory for the game's state of " + std::to_string(payload_size) + " bytes");
  }
  const std::unique_ptr<ZSTD_DCtx, FreeDecompressor> decompressor(ZSTD_createDCtx());
  if (decompressor == nullptr) return Refuse(P::kTooLarge, "no memory to decompress");
  const size_t unpacked = ZSTD_decompressDCtx(decompressor.get(), result.file.payload.data(),
                                              payload_size, frame.data(), frame.size());
  if (ZSTD_isError(unpacked)) {
    return Refuse(P::kDamaged, std::string("the game's state: ") + ZSTD_getErrorName(unpacked));
  }
  if (unpacked != payload_size) {
    return Refuse(P::kDamaged, "the sizes of the game's state disagree");
  }
  result.file.format_version = version;
  result.file.game = std::string(game);
  return result;
}

bool WriteSnapshotFile(const std::filesystem::path& path, const SnapshotFile& snapshot,
                       std::string* error) {
  std::string bytes, failure;
  if (!EncodeSnapshotFile(snapshot, &bytes, &failure) || !WriteWholeFile(path, bytes, &failure)) {
    SetError(error, "cannot write " + PathToUtf8(path) + ": " +
                        (failure.empty() ? std::string("write failed") : failure));
    return false;
  }
  return true;
}

SnapshotReadResult ReadSnapshotFile(const std::filesystem::path& path, std::string_view game) {
  std::string bytes, error;
  FileProblem problem = FileProblem::kNone;
  SnapshotReadResult result;
  if (!ReadWholeFile(path, &bytes, &error, kMaxSnapshotFileBytes, &problem)) {
    result = Refuse(problem == FileProblem::kMissing    ? SnapshotProblem::kMissing
                    : problem == FileProblem::kTooLarge ? SnapshotProblem::kTooLarge
                                                        : SnapshotProblem::kUnreadable,
                    error);
  } else {
    result = DecodeSnapshotFile(bytes, game);
  }
  if (result.problem != SnapshotProblem::kNone) {
    result.detail = PathToUtf8(path) + ": " + result.detail;
  }
  return result;
}

}  // namespace tsumugi
