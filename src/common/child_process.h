// Work done in a child process of its own: for libraries that keep state
// for the rest of a process, or that end the process on input they cannot
// take. The work's answer comes back as bytes.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace tsumugi {

// Runs `work` in a forked child and gives back what it returned; none, with
// `error` set, when the child could not start or ended before it answered.
std::optional<std::string> RunInChild(const std::function<std::string()>& work,
                                      std::string* error);

}  // namespace tsumugi
