// The author's checker: reads a game folder the way the engine starts it
// (the settings file, the configuration file, every scenario of the
// catalogue) without running anything, and finds what would stop the engine
// or can never work: unknown commands, jumps to files and labels that do not
// exist, missing pictures, cursors and media, undeclared variables, flags
// out of range, blocks that are never closed or closed too often, menus and
// button blocks without their branches, memory numbers outside 0 to 9,
// lines that can never run, and text the old engine could not show.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tsumugi::check {

// kNote: not a fault; says how many findings of a file were left out.
enum class Severity { kWarning, kError, kNote };

struct Finding {
  // The file the finding is about (as found on disk).
  std::filesystem::path file;
  // From 1; 0 when the finding is about the file as a whole.
  int line = 0;
  Severity severity = Severity::kError;
  // UTF-8.
  std::string message;
};

struct CheckOptions {
  // The game folder, absolute.
  std::filesystem::path game_folder;
  // The settings file (it may not exist).
  std::filesystem::path settings_file;
};

// At most this many findings of one file are handed on, the first ones in
// line order; a note then says how many more there were. A file of a
// million broken lines is then read in bounded memory and reported in a
// form a person can still read.
inline constexpr size_t kMaxFindingsPerFile = 1000;

// Every error and warning found, those left out of a long list included.
struct CheckCounts {
  size_t errors = 0;
  size_t warnings = 0;
};

// Checks the game and hands each finding to `emit` as soon as the file it
// is about has been read: the settings file's and the configuration file's
// first, then each scenario's in catalogue order, each file's in line
// order, a file's note of findings left out last. Only one file's findings
// are held at a time.
CheckCounts CheckGame(const CheckOptions& options,
                      const std::function<void(const Finding&)>& emit);

// Every finding, notes included, in the order above.
std::vector<Finding> CheckGame(const CheckOptions& options);

}  // namespace tsumugi::check
