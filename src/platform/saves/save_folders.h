// Where a game's save files are written and looked for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tsumugi {

struct SaveFolders {
  // Where ".sav" writes.
  std::filesystem::path write;
  // Where ".lod" looks, in order.
  std::vector<std::filesystem::path> read;
  // Said once on standard error when the saves do not go where the game
  // expects them; empty otherwise.
  std::string note;
};

// The saves of a game live in its scenario folder, as games expect, or in
// `save_dir` when the player names one. A scenario folder that cannot be
// written (a game played from a disc image or a read-only install) sends
// them to a folder of that game under $XDG_DATA_HOME/tsumugi/ (by default
// ~/.local/share/tsumugi/); loads then look there first and then in the
// scenario folder, where saves shipped with the game may lie.
SaveFolders ChooseSaveFolders(const std::filesystem::path& scenario_folder,
                              const std::filesystem::path& game_folder,
                              const std::optional<std::filesystem::path>& save_dir);

// The folder of a game under $XDG_DATA_HOME/tsumugi/: the game folder's
// name and a hash of its full path, so that two games of one name do not
// share saves.
std::filesystem::path GameDataFolder(const std::filesystem::path& game_folder);

}  // namespace tsumugi
