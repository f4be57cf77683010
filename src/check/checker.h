// The author's checker: reads a game folder the way the engine starts it
// (the settings file, the configuration file, every scenario of the
// catalogue) without running anything, and finds what would stop the engine
// or can never work: unknown commands, jumps to files and labels that do not
// exist, missing pictures, cursors and media, undeclared variables, flags
// out of range, blocks that are never closed or closed too often, menus and
// button blocks without their branches, memory numbers outside 0 to 9,
// lines that can never run, and text the old engine could not show.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tsumugi::check {

enum class Severity { kWarning, kError };

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

// Every finding, the settings file's and the configuration file's first,
// then each scenario's in catalogue order, each file's in line order.
std::vector<Finding> CheckGame(const CheckOptions& options);

}  // namespace tsumugi::check
