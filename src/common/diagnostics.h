// Lines for the player or the game's author on standard error, or on the
// stream a host was given for them: every one starts with "tsumugi: ", so
// that they stand out among the lines of other programs.
#pragma once

#include <iosfwd>
#include <string_view>

namespace tsumugi {

// Writes "tsumugi: ", the message and a line end to `out`.
void Complain(std::ostream& out, std::string_view message);
// The same on standard error.
void Complain(std::string_view message);

}  // namespace tsumugi
