// The texts a player reads, for translators: every text line, choice line,
// ".tpr" text and caption of a game, as a gettext template.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tsumugi::strings {

struct StringsOptions {
  std::filesystem::path game_folder;
  // The settings file (it may not exist).
  std::filesystem::path settings_file;
};

// One text to translate: as written in the scenario (substitutions such as
// "[name]" kept), the scenario's file name as error reports write it
// ("start.txt"), the lines that hold it, whether it holds a substitution,
// and the file it was read from (as found on disk).
struct Entry {
  std::string context;
  std::string text;
  std::vector<int> lines;
  bool substitution = false;
  std::filesystem::path file;
};

struct Extracted {
  // In catalogue order, each scenario's texts in the order they first
  // appear; the texts of the configuration file first.
  std::vector<Entry> entries;
  // The game could not be read: why (nothing extracted then).
  std::string error;
};

Extracted ExtractStrings(const StringsOptions& options);

// The entries as a gettext template (.pot), for the game named `game_name`.
std::string PotText(const std::vector<Entry>& entries, const std::string& game_name);

}  // namespace tsumugi::strings
