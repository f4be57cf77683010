// Save files: ".sav" writes the call, recall and button memories, the flags
// and the variables to a text file; ".lod" reads it back, whole, or one
// flag or one variable of it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/save/save_format.h"
#include "engine/state/game_state.h"
#include "platform/saves/save_folders.h"

namespace tsumugi {

class CommandArgs;
class Catalogue;
class GameStorage;
class HostDialogs;
class Script;
class Variables;
struct EngineOptions;
struct Settings;

// The save file name a script's word stands for: "save" and the scenario
// extension when the word is empty, the extension added when the name's last
// part has no "."; nullopt for a name that could replace a scenario (the
// scenario extension without the beginning "save") or leave the save folder.
[[nodiscard]] std::optional<std::u16string> SaveFileNameFor(std::u16string word,
                                                            std::u16string_view extension);

class SaveFiles {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Sav(CommandArgs& args);
  bool Lod(CommandArgs& args);

  // Most bytes a save file may have: far beyond any game's state, small
  // enough that a damaged or foreign file cannot exhaust memory.
  static constexpr uint64_t kMaxSaveBytes = uint64_t{64} << 20;

  // Registers ".sav" and ".lod".
  SaveFiles(HostDialogs& dialogs, GameStorage& storage, const EngineOptions& options,
            Settings& settings, Catalogue& catalogue, Script& script, Variables& vars,
            ButtonsState& buttons_state, CallMemoryState& calls_state, TextWindowState& text_state,
            VariableState& vars_state);

  // The engine's state as a save file holds it, and putting a loaded state
  // in place (memories and flags; the variable lines are run by the load).
  SaveState Capture() const;
  void Restore(SaveState state);

  // The bytes of a save file: CP932 when every character has a CP932 form,
  // which keeps files interchangeable with old machines; otherwise UTF-8
  // with a byte-order mark, so that no character is lost.
  static std::string Encode(const std::vector<std::u16string>& lines);

  // Called between writing a save and putting it in place (tests use it to
  // stand for a crash at that moment).
  std::function<void()> before_replace;

 private:
  // The file name a script's word stands for; names that could replace a
  // scenario or leave the save folder are reported.
  std::u16string SaveFileName(std::u16string word);
  const SaveFolders& Folders();
  // The save file of a name in a folder, when it lies inside that folder.
  [[nodiscard]] std::optional<std::filesystem::path> PathIn(const std::filesystem::path& folder,
                                                            const std::u16string& name);
  class LineWalk;

  // The memories and flags, without the variables.
  SaveState CaptureMemories() const;
  // The text of the first save file of that name the folders hold; nullopt
  // when there is none (or it cannot be read, which is said in a box).
  [[nodiscard]] std::optional<GameText> ReadText(const std::u16string& name,
                                                 std::filesystem::path* found);
  void LoadAll(const GameText& text, const std::filesystem::path& file);
  void LoadFlag(const GameText& text, const std::filesystem::path& file,
                const std::u16string& flag);
  void LoadVariable(const GameText& text, const std::filesystem::path& file,
                    const std::u16string& name);
  // The box for a file that is there but not a save file the engine can
  // read; the game goes on without loading.
  void ReportUnreadable(const std::filesystem::path& file, const std::u16string& why);
  // Where what was shown of saved pages is kept (a translation).
  std::filesystem::path ShownPagesFile() const;

  HostDialogs& dialogs_;
  GameStorage& storage_;
  const EngineOptions& options_;
  Settings& settings_;
  Catalogue& catalogue_;
  Script& script_;
  Variables& vars_;
  ButtonsState& buttons_state_;
  CallMemoryState& calls_state_;
  TextWindowState& text_state_;
  VariableState& vars_state_;
  std::optional<SaveFolders> folders_;
};

}  // namespace tsumugi
