#include "platform/instance/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>

namespace tsumugi {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) close(fd_);
}

std::string InstanceLock::LockPathFor(const std::string& game_folder) {
  std::error_code ec;
  std::filesystem::path canonical = std::filesystem::weakly_canonical(game_folder, ec);
  std::string key = ec ? game_folder : canonical.string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();

  // FNV-1a: stable across runs and builds, unlike std::hash.
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : key) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = (runtime && *runtime) ? runtime : "/tmp";
  char name[64];
  std::snprintf(name, sizeof name, "/tsumugi-%016llx.lock", static_cast<unsigned long long>(hash));
  return folder + name;
}

bool InstanceLock::Acquire(const std::string& game_folder) {
  if (fd_ >= 0) return true;
  std::string path = LockPathFor(game_folder);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    // No place for a lock file: playing without the guard is better than
    // refusing to play at all.
    return true;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

}  // namespace tsumugi
