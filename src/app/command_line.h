// The command line of the tsumugi program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/host.h"

namespace tsumugi {

struct CommandLine {
  bool help = false;
  bool version = false;
  bool headless = false;
  // Unsmoothed text, as Windows 95 drew it.
  bool crisp_text = false;
  std::optional<std::string> input_file;
  std::optional<std::string> screenshot;
  std::optional<uint64_t> max_time;
  Size desktop{1024, 768};
  std::optional<std::string> ini_file;
  // Where save files go instead of the scenario folder.
  std::optional<std::string> save_dir;
  // The whole mix of a headless run, as a WAV file.
  std::optional<std::string> audio_out;
  // The General MIDI SoundFont for MIDI music.
  std::optional<std::string> soundfont;
  // No sound device at all.
  bool no_sound = false;
  // The window: a whole-number scale of 640x480 (unset: the largest that
  // fits the desktop), the scaling filter and the renderer.
  std::optional<int> scale;
  std::string filter = "sharp";
  std::string renderer = "auto";
  std::string game_folder = ".";
};

// False with a message for an unknown option, a missing or malformed value,
// or more than one game folder.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error);

// The settings file of a game folder: named after the ".exe" that has an
// ".ini" beside it, else after the only ".exe", else "tsumugi.ini".
std::filesystem::path SettingsFileFor(const std::filesystem::path& game_folder);

}  // namespace tsumugi
