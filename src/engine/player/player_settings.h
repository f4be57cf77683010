// The player's settings: Tsumugi's own, the same for every game, kept in
// one TOML file ($XDG_CONFIG_HOME/tsumugi/settings.toml). They change how
// a game is shown and heard, never what it sees: the text speed divides
// the typing delays, the volumes scale the mix, and the window's size and
// style are the window's business.
//
// A file is read key by key: a key that is missing, of the wrong type or
// out of its range keeps its default, and keys this version does not know
// (a newer one may have written them) are passed over and kept when the
// file is written again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>

#include "platform/media/media_service.h"

namespace tsumugi {

class Engine;

// How the picture is scaled to the window: square pixels, or filtered.
enum class PictureFilter { kSharp, kSmooth };

struct PlayerSettings {
  // Typing delays the script set are divided by this: 2 types twice as
  // fast. 0.1 to 100.
  double text_speed = 1.0;
  // Auto mode's delay at a click wait: the base (0 to 60,000 ms) and what
  // each character typed since the previous wait adds (0 to 10,000 ms).
  uint32_t auto_base_ms = 1200;
  uint32_t auto_per_char_ms = 50;
  // Music (MIDI, MP3, CD tracks), wave sounds and the sound of movies, in
  // percent.
  MediaVolumes volumes;
  // The window: full screen from the start, its scale (a whole number of
  // times 640x480 up to 16; 0, the largest that fits the desktop) and how
  // the picture is scaled.
  bool fullscreen = false;
  int scale = 0;
  PictureFilter filter = PictureFilter::kSharp;

  friend bool operator==(const PlayerSettings&, const PlayerSettings&) = default;
};

// Files larger than this are refused: no settings file comes near it.
inline constexpr uint64_t kMaxPlayerSettingsBytes = uint64_t{1} << 20;

// The player's settings file: settings.toml in $XDG_CONFIG_HOME/tsumugi/,
// or in ~/.config/tsumugi/ when XDG_CONFIG_HOME is unset or not absolute.
std::filesystem::path PlayerSettingsFile();
// The same for the given values of XDG_CONFIG_HOME and HOME (null: unset).
std::filesystem::path PlayerSettingsFileFor(const char* config_home, const char* home);

// The settings in `file`. A missing file gives the defaults without a
// word. A file that cannot be read or is no TOML (named with its line)
// gives the defaults, and a key of the wrong type or out of its range its
// own default: each said in one line on `err`.
PlayerSettings ReadPlayerSettings(const std::filesystem::path& file, std::ostream& err);

// Writes `settings` to `file`, creating its folder: to a temporary file
// renamed over the old one, so that the old settings or the new are there,
// never half of them. The keys of the old file this version does not know
// are kept. False with the cause when it cannot be written.
[[nodiscard]] bool WritePlayerSettings(const std::filesystem::path& file,
                                       const PlayerSettings& settings, std::string* error);

// Gives the engine the settings it plays by: the text speed, auto mode's
// delays and the volumes. The window's settings belong to the host's start.
void ApplyPlayerSettings(const PlayerSettings& settings, Engine& engine);

}  // namespace tsumugi
