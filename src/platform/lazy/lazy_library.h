// A shared library opened the first time the engine needs it, not when the
// program starts: a headless run never loads what only synthesizing music
// or reading cursors needs, and every library the loader does not map is
// start-up time saved.
#pragma once

#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

namespace tsumugi {

class LazyLibrary {
 public:
  // `names`: the library's file names to try, in order (its soname
  // first); `functions`: every function the engine calls in it.
  LazyLibrary(std::initializer_list<const char*> names,
              std::initializer_list<const char*> functions);
  ~LazyLibrary();
  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;

  // Opens the library if that has not been tried yet (once, whichever
  // thread asks first). False when it or one of its functions is missing
  // (`Error` says which).
  [[nodiscard]] bool Load();
  const std::string& Error() const { return error_; }
  // The address of a function named at construction; the library must be
  // loaded.
  void* Function(const char* name) const;

 private:
  void Open();

  std::vector<const char*> names_;
  std::vector<const char*> function_names_;
  std::vector<void*> functions_;
  void* handle_ = nullptr;
  std::once_flag tried_;
  std::string error_;
};

}  // namespace tsumugi
