#include "platform/instance/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/instance/stop_signals.h"

namespace tsumugi {

namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

// A folder is private when it is ours, is a real folder (not a link to one)
// and nobody else may write into it.
bool IsPrivateFolder(const std::string& path, std::string* why) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    *why = path + ": " + ErrnoText(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = path + " is not a folder";
    return false;
  }
  if (st.st_uid != ::geteuid()) {
    *why = path + " belongs to another user";
    return false;
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *why = path + " may be written by other users";
    return false;
  }
  return true;
}

// Creates `path` and the folders above it as needed; the last one with
// mode 0700.
bool MakePrivateFolder(const std::string& path, std::string* why) {
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  std::filesystem::create_directories(parent, ec);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = "cannot create " + path + ": " + ErrnoText(errno);
    return false;
  }
  return IsPrivateFolder(path, why);
}

}  // namespace

InstanceLock::~InstanceLock() { Release(); }

void InstanceLock::Release() {
  if (fd_ < 0) return;
  SetLockFileToRemove(nullptr);
  // The file goes first, while the lock is still held: a copy that opens the
  // name from now on makes a new file, and one that opened the old file
  // finds, once it has the lock, that the name no longer leads to it.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  path_.clear();
}

std::optional<std::string> InstanceLock::LockFolder(std::string* problem) {
  std::string why_runtime;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && *runtime == '/' && IsPrivateFolder(runtime, &why_runtime)) {
    return std::string(runtime);
  }
  std::string cache;
  const char* xdg_cache = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (xdg_cache != nullptr && *xdg_cache == '/') {
    cache = xdg_cache;
  } else if (home != nullptr && *home == '/') {
    cache = std::string(home) + "/.cache";
  } else {
    *problem = "neither XDG_RUNTIME_DIR, XDG_CACHE_HOME nor HOME names a usable folder";
    if (!why_runtime.empty()) *problem += " (" + why_runtime + ")";
    return std::nullopt;
  }
  const std::string folder = cache + "/tsumugi-locks";
  if (!MakePrivateFolder(folder, problem)) return std::nullopt;
  return folder;
}

std::optional<std::string> InstanceLock::LockPathFor(const std::string& game_folder,
                                                     std::string* problem) {
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
  std::optional<std::string> folder = LockFolder(problem);
  if (!folder) return std::nullopt;
  char name[64];
  std::snprintf(name, sizeof name, "/tsumugi-%016llx.lock", static_cast<unsigned long long>(hash));
  return *folder + name;
}

InstanceLock::Result InstanceLock::Take(const std::string& game_folder) {
  if (fd_ >= 0) return Result::kAcquired;
  problem_.clear();
  std::optional<std::string> path = LockPathFor(game_folder, &problem_);
  if (!path) return Result::kUnavailable;
  // A holder that ends removes the file; the name may then lead to a new
  // file by the time the lock is ours. A few tries settle it.
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::open(path->c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      problem_ = "cannot open " + *path + ": " + ErrnoText(errno);
      return Result::kUnavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      ::close(fd);
      if (err == EWOULDBLOCK) return Result::kHeldByOther;
      problem_ = "cannot lock " + *path + ": " + ErrnoText(err);
      return Result::kUnavailable;
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::lstat(path->c_str(), &named) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
      fd_ = fd;
      path_ = *path;
      SetLockFileToRemove(path_.c_str());
      return Result::kAcquired;
    }
    ::close(fd);
  }
  problem_ = "the lock file " + *path + " keeps changing";
  return Result::kUnavailable;
}

}  // namespace tsumugi
