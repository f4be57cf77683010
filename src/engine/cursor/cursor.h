// The mouse pointer: its picture over the window (".cur"), gliding it to a
// point (".mcm"), and the mouse modes that decide what the buttons do at
// waits (".mmd").
#pragma once

#include <memory>

#include "engine/state/game_state.h"
#include "platform/gdi/cursor_image.h"
#include "platform/host.h"

namespace tsumugi {

class CommandArgs;
class HostClock;
class HostDialogs;
class HostWindow;
class GameFiles;
class ScriptErrors;

class Cursor {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Cur(CommandArgs& args);
  bool Mcm(CommandArgs& args);
  bool Mmd(CommandArgs& args);

  // Steps of the pointer glide; each is followed by a 1 ms sleep.
  static constexpr int kGlideSteps = 20;

  // Registers ".cur", ".mcm" and ".mmd".
  Cursor(HostClock& clock, HostDialogs& dialogs, HostWindow& window, ScriptErrors& errors,
         GameFiles& files, InputState& input_state, CursorState& state);
  ~Cursor();
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  // Moves the pointer to a point of the drawing area in a straight line of
  // equal steps.
  void MovePointer(Point target);

  // The pointer picture in use; nullptr for the standard arrow.
  const gdi::CursorImage* Image() const { return image_.get(); }

  // Loads the picture the state names again and shows it: after the state
  // was put back.
  void RebuildPicture();

 private:
  // Loads the pointer picture of a name and shows it; a file that is no
  // pointer picture is reported.
  void ShowPicture(const std::u16string& name);

  HostClock& clock_;
  HostDialogs& dialogs_;
  HostWindow& window_;
  ScriptErrors& errors_;
  GameFiles& files_;
  InputState& input_state_;
  CursorState& s_;
  std::unique_ptr<gdi::CursorImage> image_;
};

}  // namespace tsumugi
