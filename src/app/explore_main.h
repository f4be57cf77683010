// "tsumugi explore": every branch of a game played, and its storyboard.
#pragma once

namespace tsumugi {

// Runs "tsumugi explore [options] [GAMEDIR]" (argv[0] is "explore").
// Exit status: 0 no path ended in an error, 1 one did, 2 a bad command
// line, 3 a limit cut the exploration, 4 the output could not be written.
int ExploreMain(int argc, char** argv);

}  // namespace tsumugi
