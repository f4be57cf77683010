// The snapshot-file reader. What it accepts must come back unchanged when it
// is written out again and read back.
#include "engine/snapshot/snapshot_file.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch.h"

namespace tsumugi::fuzz {

// The game the seeds were written for.
inline constexpr char kSnapshotGame[] = "fuzz";

int Snapshot(const uint8_t* data, size_t size) {
  const SnapshotReadResult read = DecodeSnapshotFile(AsText(data, size), kSnapshotGame);
  if (read.problem != SnapshotProblem::kNone) {
    if (read.detail.empty() || !read.file.payload.empty()) __builtin_trap();
    return 0;
  }
  const SnapshotFile& file = read.file;
  if (file.thumbnail.Empty() || file.thumbnail.Width() > kMaxThumbnailWidth ||
      file.thumbnail.Height() > kMaxThumbnailHeight ||
      file.payload.size() > kMaxSnapshotPayloadBytes) {
    __builtin_trap();
  }
  std::string bytes, error;
  if (!EncodeSnapshotFile(file, &bytes, &error)) {
    // Only a payload that packs worse at our level than it was packed can
    // fail, by growing past the file limit; a small one cannot.
    if (file.payload.size() < (uint64_t{16} << 20)) __builtin_trap();
    return 0;
  }
  const SnapshotReadResult again = DecodeSnapshotFile(bytes, kSnapshotGame);
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
  return 0;
}

}  // namespace tsumugi::fuzz
