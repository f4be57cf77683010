#include "platform/saves/save_folders.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace tsumugi {

namespace fs = std::filesystem;

fs::path GameDataFolder(const fs::path& game_folder) {
  fs::path base;
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && data_home[0] == '/') {
    base = data_home;
  } else {
    const char* home = std::getenv("HOME");
    base = fs::path(home != nullptr && home[0] != '\0' ? home : "/") / ".local" / "share";
  }
  std::error_code ec;
  fs::path full = fs::weakly_canonical(fs::absolute(game_folder, ec), ec);
  if (full.empty()) full = game_folder;
  // FNV-1a over the path's bytes: stable from run to run and machine to
  // machine, unlike std::hash.
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : full.native()) hash = (hash ^ c) * 1099511628211ull;
  std::string name = full.filename().native();
  if (name.empty()) name = "game";
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(hash ^ (hash >> 32)));
  return base / "tsumugi" / (name + suffix);
}

SaveFolders ChooseSaveFolders(const fs::path& scenario_folder, const fs::path& game_folder,
                              const std::optional<fs::path>& save_dir) {
  SaveFolders folders;
  if (save_dir) {
    folders.write = *save_dir;
    folders.read = {*save_dir};
    return folders;
  }
  if (::access(scenario_folder.c_str(), W_OK) == 0) {
    folders.write = scenario_folder;
    folders.read = {scenario_folder};
    return folders;
  }
  folders.write = GameDataFolder(game_folder);
  folders.read = {folders.write, scenario_folder};
  folders.note = "the scenario folder " + scenario_folder.string() +
                 " cannot be written; saves go to " + folders.write.string();
  return folders;
}

}  // namespace tsumugi
