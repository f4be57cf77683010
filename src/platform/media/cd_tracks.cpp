#include "platform/media/cd_tracks.h"

#include <algorithm>
#include <optional>
#include <string>

namespace tsumugi::media {

namespace {

// Track numbers above this are not tracks of a CD (which holds at most 99).
constexpr int kMaxTrack = 99;

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// The track number of a file name, or 0.
int TrackNumber(const std::string& file_name) {
  const std::string name = Lower(file_name);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.compare(0, 5, "track") != 0) return 0;
  const std::string extension = name.substr(dot + 1);
  if (extension != "flac" && extension != "ogg" && extension != "mp3" && extension != "wav") {
    return 0;
  }
  const std::string digits = name.substr(5, dot - 5);
  if (digits.empty() || digits.size() > 3) return 0;
  int number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number <= kMaxTrack ? number : 0;
}

// Why a file named as a track cannot be one; kNone for a track file.
FileProblem TrackFileProblem(const std::filesystem::path& file, const std::filesystem::path& root) {
  const std::optional<std::filesystem::path> real = RealPath(file);
  if (!real) return FileProblem::kMissing;
  if (!IsInside(root, *real)) return FileProblem::kOutside;
  return FileKindProblem(*real);
}

void Scan(const std::filesystem::path& folder, const std::filesystem::path& root,
          CdTrackFiles& out) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    const int n = TrackNumber(it->path().filename().string());
    if (n == 0) continue;
    if (const FileProblem problem = TrackFileProblem(it->path(), root);
        problem != FileProblem::kNone) {
      out.passed_over.push_back({n, it->path(), problem});
      continue;
    }
    // The first file found for a number keeps it: the game folder before
    // "cd", and among spellings the first in name order.
    auto found = out.files.find(n);
    if (found == out.files.end() || (found->second.parent_path() == it->path().parent_path() &&
                                     it->path().filename() < found->second.filename())) {
      out.files[n] = it->path();
    }
  }
}

}  // namespace

CdTrackFiles FindCdTracks(const std::filesystem::path& game_folder) {
  CdTrackFiles out;
  const std::filesystem::path root = RealPath(game_folder).value_or(game_folder);
  Scan(game_folder, root, out);
  std::error_code ec;
  for (std::filesystem::directory_iterator it(game_folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_directory(type_ec) && Lower(it->path().filename().string()) == "cd") {
      Scan(it->path(), root, out);
    }
  }
  if (!out.files.empty()) out.count = out.files.rbegin()->first;
  std::sort(out.passed_over.begin(), out.passed_over.end(), [](const auto& a, const auto& b) {
    return a.track != b.track ? a.track < b.track : a.path < b.path;
  });
  return out;
}

}  // namespace tsumugi::media
