// "tsumugi check": the author's checker on the command line.
#pragma once

namespace tsumugi {

// Runs "tsumugi check [--json] [--translation FILE.po] [--ini FILE] [GAMEDIR]"
// (argv[0] is "check").
// Exit status: 0 when nothing is wrong (warnings aside), 1 when errors were
// found, 2 for a bad command line.
int CheckMain(int argc, char** argv);

}  // namespace tsumugi
