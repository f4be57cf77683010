// Which translation of a game's texts a player gets, and how it is laid out.
#pragma once

#include <filesystem>
#include <string>

#include "app/command_line.h"
#include "engine/engine_options.h"

namespace tsumugi {

// The face a translation for Latin script is drawn in when it names none: a
// free font of the distribution with good Latin coverage.
inline constexpr char16_t kDefaultLatinFace[] = u"DejaVu Sans";

// Sets the translation, the line breaking and the face of `options` from
// the command line: --translation FILE; else GAMEDIR/translations/LANG.po
// (or .mo) for --lang LANG; else, in a window, for the language of the
// locale, when the game has one ("ja", the games' own, means none). False
// with a message for a translation asked for that does not exist. A
// catalogue that cannot be read is said on standard error and the game
// plays untranslated.
[[nodiscard]] bool ChooseTranslation(const CommandLine& cl, const std::filesystem::path& game,
                                     EngineOptions* options, std::string* error);

}  // namespace tsumugi
