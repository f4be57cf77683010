// Where save files live: the scenario folder, a folder the player names,
// or a folder of the game's own when the scenario folder cannot be written.
#include "platform/saves/save_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/text_codec.h"
#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

// Saves, then loads flag 1 from "ship.dat", which only the scenario folder
// holds, and tells by its last line whether the flag came.
constexpr const char* kScript =
    ".sav\n.lod ship.dat flag001\n.cas flag001\n.= 1\n.loaded\n.els\n.missed\n.\n";

void MakeGame(const fs::path& game) {
  WriteCp932(game / "data" / "start.txt", kScript);
  std::string flags = ":FlagSection\n0100000000000000\n";
  WriteCp932(game / "data" / "ship.dat", flags);
}

TEST(SaveFolders, ScenarioFolderSaveDirOrTheGamesOwnFolder) {
  TempDir work;
  const fs::path game = work / "game";
  MakeGame(game);
  const std::string probe = "ないコマンドを指定しました\\r\\n.loaded";

  RunResult plain = RunTsumugi({"--headless", game.string()});
  EXPECT_NE(plain.out.find(probe), std::string::npos) << plain.out;
  EXPECT_TRUE(fs::exists(game / "data" / "save.txt"));
  fs::remove(game / "data" / "save.txt");

  RunResult named =
      RunTsumugi({"--headless", "--save-dir", (work / "saves").string(), game.string()});
  EXPECT_TRUE(fs::exists(work / "saves" / "save.txt"));
  EXPECT_FALSE(fs::exists(game / "data" / "save.txt"));
  // The named folder is the only one: the shipped file is not seen there.
  EXPECT_NE(named.out.find(".missed"), std::string::npos) << named.out;

  // A scenario folder nobody may write, not even root (an immutable
  // folder stands for a disc image).
  const fs::path data = game / "data";
  const bool immutable =
      std::system(("chattr +i '" + data.string() + "' 2>/dev/null").c_str()) == 0;
  if (!immutable) {
    if (geteuid() == 0) GTEST_SKIP() << "cannot make a folder read-only for root here";
    fs::permissions(data, fs::perms::owner_write, fs::perm_options::remove);
  }
  setenv("XDG_DATA_HOME", (work / "xdg").c_str(), 1);
  RunResult moved = RunTsumugi({"--headless", game.string()});
  unsetenv("XDG_DATA_HOME");
  if (immutable) std::system(("chattr -i '" + data.string() + "'").c_str());
  fs::permissions(data, fs::perms::owner_write, fs::perm_options::add);

  EXPECT_NE(moved.out.find(probe), std::string::npos) << moved.out << moved.err;
  EXPECT_NE(moved.err.find("cannot be written; saves go to"), std::string::npos) << moved.err;
  const fs::path own = work / "xdg" / "tsumugi";
  ASSERT_TRUE(fs::is_directory(own));
  const fs::path folder = fs::directory_iterator(own)->path();
  EXPECT_TRUE(folder.filename().string().starts_with("game-")) << folder;
  EXPECT_TRUE(fs::exists(folder / "save.txt"));
}

}  // namespace
}  // namespace tsumugi::test
