// The command line of the tsumugi program.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/clock/local_time.h"
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
  // Go on from the automatic save the last quit left.
  bool resume = false;
  // The window: a whole-number scale of 640x480 and the scaling filter
  // (unset: as the player's settings say), and the renderer.
  std::optional<int> scale;
  std::optional<std::string> filter;
  std::string renderer = "auto";
  // The player's settings file, instead of the player's own (a window
  // run) or none (a headless run).
  std::optional<std::string> settings_file;
  // The local date and time ".now" starts from in a headless run.
  std::optional<LocalDateTime> date;
  // The seed of ".rnd".
  std::optional<uint64_t> seed;
  // Every script line run goes to this file; coverage of the scenarios goes
  // to that one as an lcov tracefile.
  std::optional<std::string> trace;
  std::optional<std::string> coverage;
  // Every display line of typed text goes to this file as it is completed.
  std::optional<std::string> text_log;
  // The game's texts in another language: a catalogue file, or the
  // language of one in the game's "translations" folder.
  std::optional<std::string> translation;
  std::optional<std::string> lang;
  // "words" or "characters": how lines break, whatever the translation says.
  std::optional<std::string> wrap;
  std::string game_folder = ".";
};

// A decimal number from 0 to `max`, nothing else; false otherwise.
[[nodiscard]] bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* out);

// False with a message for an unknown option, a missing or malformed value,
// or more than one game folder.
[[nodiscard]] bool ParseCommandLine(int argc, const char* const* argv, CommandLine* out,
                                    std::string* error);

// The command line of "tsumugi check", "explore" and "strings": options
// that take a value, switches, and at most one game folder.
struct SubcommandLine {
  bool help = false;
  // Each option given with its value (the last one given wins).
  std::map<std::string, std::string, std::less<>> values;
  std::set<std::string, std::less<>> switches;
  std::optional<std::string> folder;

  std::optional<std::string> Value(std::string_view option) const {
    const auto it = values.find(option);
    return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
  }
  bool Has(std::string_view option) const { return switches.contains(option); }
};

// Reads argv[1] on: "--help" or "-h", the options of `with_value`, each
// taking the next argument, the `switches`, and one game folder. False with
// a message for an unknown option, a missing value or a second folder.
[[nodiscard]] bool ParseSubcommand(int argc, const char* const* argv,
                                   std::initializer_list<std::string_view> with_value,
                                   std::initializer_list<std::string_view> switches,
                                   SubcommandLine* out, std::string* error);

// The game folder a command line names, absolute and normal; false with a
// message when it is no folder the player can read.
[[nodiscard]] bool ResolveGameFolder(const std::string& written, std::filesystem::path* game,
                                     std::string* error);

// The settings file of a game: the one --ini names (it must be a regular
// file, else false with a message), or the one found beside the game's
// ".exe" (none when it leads outside the game folder, which is said on
// standard error).
[[nodiscard]] bool ChooseSettingsFile(const std::filesystem::path& game,
                                      const std::optional<std::string>& ini,
                                      std::filesystem::path* settings_file, std::string* error);

// Says a bad command line of "tsumugi COMMAND" on standard error, with where
// to find help; returns the exit status for it, 2.
int RefuseSubcommand(std::string_view command, const std::string& message);

// The game folder and the settings file of a subcommand line (the current
// folder when it names none; see ResolveGameFolder and ChooseSettingsFile).
[[nodiscard]] bool ResolveGame(const SubcommandLine& line, std::filesystem::path* game,
                               std::filesystem::path* settings_file, std::string* error);

// The settings file of a game folder: named after the ".exe" that has an
// ".ini" beside it, else after the only ".exe", else "tsumugi.ini".
std::filesystem::path SettingsFileFor(const std::filesystem::path& game_folder);

}  // namespace tsumugi
