// Which scenario lines the player has been shown, kept per game in its data
// folder across runs, so that skipping over read text (Tab) stops at the
// first line never shown. A scenario's marks are keyed by a hash of its
// lines: a patch that changes a scenario starts that scenario afresh and
// keeps the marks of every scenario it left alone.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

namespace tsumugi {

class ReadMarks {
 public:
  // Starts over for a game whose catalogue files (file 1 first) have these
  // hashes; marks of scenarios the game no longer has are dropped.
  void SetScenarios(const std::vector<uint64_t>& hashes);
  // Adds the marks kept in `path` (none when it does not exist). False
  // with the reason when the file is damaged: what it held is ignored.
  [[nodiscard]] bool Load(const std::filesystem::path& path, std::string* why);
  // Writes the marks to `path` through a temporary file, so that a failed
  // write leaves the old marks whole. Does nothing when nothing changed.
  [[nodiscard]] bool Save(const std::filesystem::path& path, std::string* why);

  bool IsRead(int file, int line_number) const;
  // Marks a line read; true when it was not before.
  bool Mark(int file, int line_number);

 private:
  // Bits by line (index 0 for line 1), by scenario hash.
  std::unordered_map<uint64_t, std::vector<uint8_t>> bits_;
  std::vector<uint64_t> hashes_;
  bool changed_ = false;
};

}  // namespace tsumugi
