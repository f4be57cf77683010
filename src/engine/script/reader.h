// The script reader and command dispatcher: the reading position, the run
// loop, the dispatcher that reads each command line by the command table
// and hands its handler the arguments, and the common error report.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/engine_end.h"
#include "engine/script/command_args.h"
#include "engine/state/game_state.h"
#include "platform/host.h"

namespace tsumugi {

class Catalogue;
class Pages;
class RunRecord;
class Variables;
struct Settings;

// A command handler gets its line's arguments read by the command table and
// returns true when the command waits (the run loop then returns to the
// event loop).
using CommandHandler = std::function<bool(CommandArgs&)>;

// What the reader hands on, beyond commands: text lines go to the text
// window, and the end of each run lets the engine see whether it is back at
// its event loop (where the player's layer may act).
struct ReaderHooks {
  std::function<void()> show_text_line;
  std::function<void()> run_returned;
};

class Script final : public ScriptErrors {
 public:
  Script(EventPump& events, HostDialogs& dialogs, const Catalogue& catalogue,
         const Settings& settings, EngineEnd& end, RunRecord& record, Variables& vars, Pages& pages,
         const InputState& input_state, ScriptState& state, ReaderHooks hooks)
      : events_(events),
        dialogs_(dialogs),
        catalogue_(catalogue),
        settings_(settings),
        end_(end),
        record_(record),
        vars_(vars),
        pages_(pages),
        input_state_(input_state),
        s_(state),
        hooks_(std::move(hooks)) {}

  // Runs lines until a command waits, the file ends, or (in a choice block)
  // the line ".1" is read. Back at the event loop, the player's layer may
  // act.
  void RunScript();
  // How many runs of the script are on the stack.
  int Depth() const { return depth_; }
  // Lines read since the engine began, across every run: the player's
  // layer tells by it whether the game has moved on from a wait.
  uint64_t LinesRead() const { return lines_read_; }

  // Executes CurrentLine (tabs already stripped). True when the run loop
  // must return: the command waits, or a choice block reached ".1".
  bool ExecuteCurrentLine();
  // Executes a line as if it had been read at the current position.
  bool ExecuteLine(std::u16string line);

  // Takes the next word off CurrentLine: up to the first space, or all of it.
  std::u16string NextArgument();

  // Reads the next line for commands that consume lines; the end of the
  // file is an error.
  void ReadScriptLine();
  void StripLeadingTabs();

  // The catalogue index of a scenario name (with or without the extension);
  // a missing name is reported and ends the engine.
  int FindScenario(std::u16string name);
  void RewindScenario(int index);
  void OpenScenario(const std::u16string& name);
  // Opens "start" at start-up, where no file is open to name in a report.
  void OpenStartScenario();

  bool AtEndOfFile() const;

  // The common error report: a header naming the file and line, the message,
  // optionally what is left of the line; then the engine ends.
  using ScriptErrors::ScriptError;
  // The text of a report for a place in a file.
  std::u16string ErrorReportText(const std::u16string& file_name, int line,
                                 const std::u16string& message, bool show_line) const;
  // The catalogue name of CurrentFile with the extension, as reports show it.
  std::u16string CurrentFileName() const;

  // Reports with the header of another place (a jump reports a missing
  // label at the jump itself, not in the file it searched).
  [[noreturn]] void ScriptErrorAt(const std::u16string& file_name, int line,
                                  const std::u16string& message, bool show_line);

  // Commands are registered by their three-character names, each a command
  // of the command table.
  void RegisterCommand(std::u16string_view name, CommandHandler handler);
  bool HasCommand(std::u16string_view name) const;

  // The file reports name while no scenario file is open (CurrentFile 0):
  // the configuration file while it is read.
  std::u16string OutsideFileName;

 private:
  [[noreturn]] void DoScriptError(const std::u16string& message, bool show_line) override;
  static uint64_t CommandKey(std::u16string_view name);
  bool Dispatch();

  // The run loop itself.
  void RunLines();

  EventPump& events_;
  HostDialogs& dialogs_;
  const Catalogue& catalogue_;
  const Settings& settings_;
  EngineEnd& end_;
  RunRecord& record_;
  Variables& vars_;
  Pages& pages_;
  const InputState& input_state_;
  ScriptState& s_;
  const ReaderHooks hooks_;
  int depth_ = 0;
  uint64_t lines_read_ = 0;
  struct Command {
    const CommandDef* def;
    CommandHandler handler;
  };
  std::unordered_map<uint64_t, Command> commands_;
};

}  // namespace tsumugi
