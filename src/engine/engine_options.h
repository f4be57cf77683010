// How the engine is asked to play a game: the command line's choices.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "common/translation.h"

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
  // A translation of the game's texts, shown in their place (--translation,
  // --lang or the locale); null for the game's own text.
  std::shared_ptr<const Translation> translation;
  // Lines break between words instead of at any character (--wrap words,
  // or the translation's header asks for it).
  bool wrap_words = false;
  // The face the game's texts are drawn in instead of the one the game set
  // (a proportional font for Latin script); empty for the game's own.
  std::u16string text_face;
  // The game's texts are laid out otherwise than the game itself would lay
  // them out: what it holds of them is then kept apart from what is shown.
  bool TextLaidOutOtherwise() const {
    return translation != nullptr || wrap_words || !text_face.empty();
  }
};

}  // namespace tsumugi
