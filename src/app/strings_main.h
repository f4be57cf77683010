// "tsumugi strings": the texts of a game as a gettext template.
#pragma once

namespace tsumugi {

// Runs "tsumugi strings [--out FILE.pot] [--ini FILE] [GAMEDIR]" (argv[0]
// is "strings"). Exit status: 0 written, 1 the game cannot be read, 2 a bad
// command line, 4 the template cannot be written.
int StringsMain(int argc, char** argv);

}  // namespace tsumugi
