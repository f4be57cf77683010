// Start-up: from the process start to the first script line, and the
// screen mode.
#pragma once

#include <string>

#include "common/file_lookup.h"

namespace tsumugi {

class Engine;

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
  void ReadSettingsFile();
  // The settings file is there but cannot be read: the reason to the player,
  // the cause to standard error.
  [[noreturn]] void RefuseSettingsFile(FileProblem problem, const std::string& cause);

  Engine& e_;
};

}  // namespace tsumugi
