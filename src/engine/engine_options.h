// How the engine is asked to play a game: the command line's choices.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tsumugi {

struct EngineOptions {
  // The game folder: it plays the part of the original program's folder.
  std::filesystem::path game_folder;
  // The settings file (it may not exist).
  std::filesystem::path settings_file;
  // Text is drawn unsmoothed, as Windows 95 drew it, instead of with
  // grayscale anti-aliasing.
  bool crisp_text = false;
  // Where save files go instead of the scenario folder.
  std::optional<std::filesystem::path> save_dir;
  // The player's files in the game's data folder: the scenario lines the
  // player has read, read at start and written at the end, and the
  // automatic save a quit leaves (the program keeps them; tests that make
  // up games by the thousand do not).
  bool keep_player_files = false;
  // The waits the player answered are kept for going back (a tool that
  // takes its own snapshots needs none).
  bool keep_waits = true;
  // The game goes on from the automatic save, when there is one (--continue).
  bool resume = false;
  // The seed of ".rnd" (--seed); without it the host chooses.
  std::optional<uint64_t> seed;
};

}  // namespace tsumugi
