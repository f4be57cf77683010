// A translation held against its game, for translators: the entries whose
// text the game no longer has, the game's texts the player would still read
// untranslated, and translations whose "[name]" substitutions differ from
// the text's (the game would show a wrong value, or none).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "strings/strings.h"

namespace tsumugi::strings {

struct TranslationFinding {
  // A file of the game (as found on disk), the game folder, or the catalogue
  // (as it was named).
  std::filesystem::path file;
  // From 1; 0 when the finding is about the file as a whole or the line is
  // not known.
  int line = 0;
  bool error = false;  // a warning otherwise
  // UTF-8.
  std::string message;
};

// Reads the catalogue and the game and compares them. The findings come by
// file: the catalogue's first, then each file of the game in catalogue
// order, each in line order. A catalogue or a game that cannot be read is
// one error.
std::vector<TranslationFinding> CheckTranslation(const StringsOptions& game,
                                                 const std::filesystem::path& catalogue);

}  // namespace tsumugi::strings
