// The configuration file "config" of the scenario folder: variable
// declarations and a few engine-wide options.
#pragma once

#include "engine/state/game_state.h"
#include "engine/text/text_context.h"

namespace tsumugi {

class EngineEnd;
class HostDialogs;
class HostWindow;
class GameFiles;
class Script;
class Variables;
struct Settings;

class ConfigFile {
 public:
  // Most variables a configuration file may declare in all: far more than
  // any game needs, few enough that a mistyped count cannot exhaust memory.
  static constexpr int kMaxVariables = 1000000;

  ConfigFile(HostDialogs& dialogs, HostWindow& window, Settings& settings, EngineEnd& end,
             Script& script, Variables& vars, GameFiles& files, ScriptState& script_state)
      : dialogs_(dialogs),
        window_(window),
        settings_(settings),
        end_(end),
        script_(script),
        vars_(vars),
        files_(files),
        script_state_(script_state) {}

  // Reads the file when there is one, then finishes the declarations. Sets
  // `page_count` (-1 when no usable ".scr" line was met).
  void Read(int* page_count);
  // Its caption is shown translated by `translate` when that has it.
  void ShowCaptionTranslated(TextTranslator translate) { translate_ = std::move(translate); }

 private:
  void Declare(bool integer);

  TextTranslator translate_;
  HostDialogs& dialogs_;
  HostWindow& window_;
  Settings& settings_;
  EngineEnd& end_;
  Script& script_;
  Variables& vars_;
  GameFiles& files_;
  ScriptState& script_state_;
  int declared_ = 0;
};

}  // namespace tsumugi
