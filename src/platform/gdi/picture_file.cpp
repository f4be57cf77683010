#include "platform/gdi/picture_file.h"

#include "common/file_lookup.h"

namespace tsumugi::gdi {

bool ReadFileBytes(const std::filesystem::path& path, size_t max_bytes, std::vector<uint8_t>* bytes,
                   std::string* error) {
  // Only a regular file is read: a device or FIFO named like a picture would
  // otherwise be read forever or wait for a writer.
  std::string reason;
  FileProblem problem = FileProblem::kNone;
  if (ReadWholeFile(path, bytes, &reason, max_bytes, &problem)) return true;
  switch (problem) {
    case FileProblem::kMissing:
      *error = "the file does not exist";
      break;
    case FileProblem::kFolder:
      *error = "it is a folder, not a file";
      break;
    case FileProblem::kNoPermission:
      *error = "cannot open the file: permission denied";
      break;
    default:
      *error = reason;
      break;
  }
  return false;
}

}  // namespace tsumugi::gdi
