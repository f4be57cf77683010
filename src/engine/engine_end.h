// How the engine stops and how its parts report a fault of the script: two
// small interfaces, so that a part that may end the game takes these rather
// than the whole engine.
#pragma once

#include <cstdlib>
#include <string>

namespace tsumugi {

enum class ExitStatus : int {
  kNormal = 0,          // ".end", Escape, end of input
  kError = 1,           // after an error report or a start-up message that ends
  kBadCommandLine = 2,  // the command line or the input file is unusable
  kTimeLimit = 3,       // the host's time limit ran out
};

// Thrown by EndEngine once the unload steps have run; unwinds whatever is on
// the stack (script, pauses, event handlers) back to Engine::Run.
struct EngineEnded {
  ExitStatus status;
};

// The one way the engine stops (the main form's unload). The call does not
// come back: the implementation ends by throwing EngineEnded.
class EngineEnd {
 public:
  [[noreturn]] void EndEngine(ExitStatus status) {
    DoEndEngine(status);
    std::abort();
  }

 protected:
  ~EngineEnd() = default;

 private:
  virtual void DoEndEngine(ExitStatus status) = 0;
};

// The common error report of the script reader: a header naming the file
// and line, the message, optionally what is left of the line; then the
// engine ends.
class ScriptErrors {
 public:
  [[noreturn]] void ScriptError(const std::u16string& message, bool show_line) {
    DoScriptError(message, show_line);
    std::abort();
  }

 protected:
  ~ScriptErrors() = default;

 private:
  // Reports and ends the engine (it throws EngineEnded).
  virtual void DoScriptError(const std::u16string& message, bool show_line) = 0;
};

}  // namespace tsumugi
