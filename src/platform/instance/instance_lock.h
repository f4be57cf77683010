// The single-instance lock: one running copy per game folder.
#pragma once

#include <optional>
#include <string>

namespace tsumugi {

// Holds an advisory lock (flock) on a file named after the game folder, in a
// folder only the player can write: $XDG_RUNTIME_DIR when it is the player's
// own and private, else "tsumugi-locks" under $XDG_CACHE_HOME (or ~/.cache),
// created with mode 0700. No other user can then hold the lock, plant a
// symbolic link in its place or fill the folder. The file is opened without
// following symbolic links, and removed when the lock is released (by the
// destructor); a copy that crashed leaves a file whose lock went with it, so
// it never blocks the next start.
class InstanceLock {
 public:
  enum class Result {
    kAcquired,
    kHeldByOther,  // another copy plays this game folder
    kUnavailable,  // no lock can be taken at all (see Problem())
  };

  InstanceLock() = default;
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  ~InstanceLock();

  Result Take(const std::string& game_folder);

  // False only when another holder has the lock for this folder: when no
  // lock can be taken at all, the game plays on without one.
  bool Acquire(const std::string& game_folder) { return Take(game_folder) != Result::kHeldByOther; }

  // Releases the lock and removes its file.
  void Release();

  // Why the last Take gave kUnavailable.
  const std::string& Problem() const { return problem_; }
  // The file of the lock held, or empty.
  const std::string& Path() const { return path_; }

  // The private folder for lock files (created if need be), or nullopt with
  // the reason in *problem.
  [[nodiscard]] static std::optional<std::string> LockFolder(std::string* problem);
  // The lock file used for a game folder (the folder is made canonical
  // first, so two spellings of one folder share a lock), or nullopt with
  // the reason in *problem.
  [[nodiscard]] static std::optional<std::string> LockPathFor(const std::string& game_folder,
                                                              std::string* problem);

 private:
  int fd_ = -1;
  std::string path_;
  std::string problem_;
};

}  // namespace tsumugi
