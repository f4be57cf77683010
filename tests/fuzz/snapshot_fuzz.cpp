// The snapshot-file reader. What it accepts must come back unchanged when it
// is written out again and read back. Each input is read as it is and again
// with the checksums of its chunks set right, so that changes the fuzzer
// makes reach the parts behind the checksums.
#include <zlib.h>

#include <string>

#include "engine/snapshot/snapshot_file.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch.h"

namespace tsumugi::fuzz {

namespace {

// The game the seeds were written for.
constexpr char kSnapshotGame[] = "fuzz";

// The PNG with every whole chunk's checksum recomputed.
std::string WithRightChecksums(std::string png) {
  for (size_t at = 8; png.size() >= at + 12;) {
    uint64_t length = 0;
    for (size_t i = 0; i < 4; ++i) length = length << 8 | static_cast<unsigned char>(png[at + i]);
    if (length > png.size() - at - 12) break;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4),
                            static_cast<uInt>(length + 4));
    for (size_t i = 0; i < 4; ++i)
      png[at + 8 + length + i] = static_cast<char>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  return png;
}

void ReadAndWriteBack(std::string_view bytes) {
  const SnapshotReadResult read = DecodeSnapshotFile(bytes, kSnapshotGame);
  if (read.problem != SnapshotProblem::kNone) {
    if (read.detail.empty() || !read.file.payload.empty()) __builtin_trap();
    return;
  }
  const SnapshotFile& file = read.file;
  if (file.thumbnail.Empty() || file.thumbnail.Width() > kMaxThumbnailWidth ||
      file.thumbnail.Height() > kMaxThumbnailHeight ||
      file.payload.size() > kMaxSnapshotPayloadBytes) {
    __builtin_trap();
  }
  std::string again_bytes, error;
  if (!EncodeSnapshotFile(file, &again_bytes, &error)) {
    // Only a payload that packs worse at our level than it was packed can
    // fail, by growing past the file limit; a small one cannot.
    if (file.payload.size() < (uint64_t{16} << 20)) __builtin_trap();
    return;
  }
  const SnapshotReadResult again = DecodeSnapshotFile(again_bytes, kSnapshotGame);
  if (again.problem != SnapshotProblem::kNone || again.file.format_version != file.format_version ||
      !(again.file.metadata == file.metadata) || again.file.payload != file.payload ||
      again.file.thumbnail.Width() != file.thumbnail.Width() ||
      again.file.thumbnail.Height() != file.thumbnail.Height()) {
    __builtin_trap();
  }
  for (int y = 0; y < file.thumbnail.Height(); ++y) {
    for (int x = 0; x < file.thumbnail.Width(); ++x) {
      if (again.file.thumbnail.PixelAt(x, y) != file.thumbnail.PixelAt(x, y)) __builtin_trap();
    }
  }
}

}  // namespace

int Snapshot(const uint8_t* data, size_t size) {
  const std::string_view bytes = AsText(data, size);
  ReadAndWriteBack(bytes);
  ReadAndWriteBack(WithRightChecksums(std::string(bytes)));
  return 0;
}

}  // namespace tsumugi::fuzz
