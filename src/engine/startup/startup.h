// Start-up: from the process start to the first script line, and the
// screen mode.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "common/file_lookup.h"

namespace tsumugi {

class Engine;
struct Settings;

// What start-up settles from a game's settings file, without a window or a
// player: the scenario folder, the extension, the display style and the
// Z order, as Startup reads them.
struct SettingsReading {
  std::filesystem::path game_folder;
  // The settings file (it may not exist).
  std::filesystem::path settings_file;
  // The game folder, symbolic links resolved.
  std::filesystem::path root;
  // The causes behind a refusal, for standard error.
  std::function<void(const std::string&)> diagnostic;
};

// Reads the settings file (when there is one) into `settings` and settles
// the scenario folder. Returns the message start-up shows before it ends
// the engine (a settings file that cannot be read, a missing or unknown
// style or Z order, a scenario folder that does not exist), or nothing.
// Without a settings file the style is "Window" and the folder "data".
[[nodiscard]] std::optional<std::u16string> ReadGameSettings(const SettingsReading& reading,
                                                             Settings& settings);

class Startup {
 public:
  explicit Startup(Engine& engine) : e_(engine) {}

  // Prepares the form, refuses a second copy, reads the settings file,
  // settles the scenario folder and display style, resets the engine, builds
  // the catalogue, opens "start", shows the window and runs the script
  // (tests may stop before the first line).
  void StartEngine(bool run_script = true);

  // Gives every setting of the engine its default and reads the
  // configuration file.
  void ResetEngine();

  // Puts the window on screen in the mode DisplayStyle names.
  void ApplyScreenMode();

 private:
  // A start-up check failed: the message, then the end of the engine.
  [[noreturn]] void Refuse(const std::u16string& message);

  Engine& e_;
};

}  // namespace tsumugi
