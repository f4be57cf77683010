// The media commands of scripts: ".mid", ".mp3", ".wav", ".acd" and
// ".avi", and the video box PicAVI they show videos in.
#pragma once

#include <cstdint>

#include "platform/gdi/surface.h"

namespace tsumugi {

class CommandArgs;
class Engine;

class MediaCommands {
 public:
  // Registers the five commands.
  explicit MediaCommands(Engine& engine);

  // The background colour of the video box (set by ".bsc"); it shows while
  // no picture of a video covers the box.
  void SetVideoBackColour(gdi::ColorRef colour);
  void HideVideoBox();

 private:
  // ".mid" (slot 1) and ".mp3" (slot 2).
  bool Music(CommandArgs& args, int slot);
  bool Wav(CommandArgs& args);
  bool Acd(CommandArgs& args);
  bool Avi(CommandArgs& args);
  // Places the box (keeping its place when `size_mode` is neither 0 nor 1)
  // and shows it, cleared to its background.
  void ShowVideoBox(int32_t size_mode);

  Engine& e_;
};

}  // namespace tsumugi
