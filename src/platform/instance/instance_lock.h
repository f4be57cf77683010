// The single-instance lock: one running copy per game folder.
#pragma once

#include <string>

namespace tsumugi {

// Holds an advisory lock (flock) on a file named after the game folder in
// the user's runtime folder. The lock goes away with the process, so a copy
// that crashed never blocks the next start.
class InstanceLock {
 public:
  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  // False when another holder has the lock for this folder.
  bool Acquire(const std::string& game_folder);

  // The lock file used for a game folder (the folder is made canonical
  // first, so two spellings of one folder share a lock).
  static std::string LockPathFor(const std::string& game_folder);

 private:
  int fd_ = -1;
};

}  // namespace tsumugi
