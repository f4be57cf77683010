// The media commands of scripts: ".mid", ".mp3", ".wav", ".acd" and
// ".avi", and the video box PicAVI they show videos in.
#pragma once

#include <cstdint>

#include "engine/state/game_state.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

class CommandArgs;
class EventPump;
class HostWindow;
class MciPlay;
class MediaService;
class GameFiles;
class ScriptErrors;

class MediaCommands {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Music(CommandArgs& args, int slot);
  bool Wav(CommandArgs& args);
  bool Acd(CommandArgs& args);
  bool Avi(CommandArgs& args);

  // Registers the five commands.
  MediaCommands(EventPump& events, HostWindow& window, MediaService& devices, ScriptErrors& errors,
                GameFiles& files, MciPlay& mci, InputState& input_state,
                TextWindowState& text_state);

  // The background colour of the video box (set by ".bsc"); it shows while
  // no picture of a video covers the box.
  void SetVideoBackColour(gdi::ColorRef colour);
  void HideVideoBox();

 private:
  // ".mid" (slot 1) and ".mp3" (slot 2).
  // Places the box (keeping its place when `size_mode` is neither 0 nor 1)
  // and shows it, cleared to its background.
  void ShowVideoBox(int32_t size_mode);

  EventPump& events_;
  HostWindow& window_;
  MediaService& devices_;
  ScriptErrors& errors_;
  GameFiles& files_;
  MciPlay& mci_;
  InputState& input_state_;
  TextWindowState& text_state_;
};

}  // namespace tsumugi
