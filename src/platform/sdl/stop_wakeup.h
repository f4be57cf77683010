// Wakes the window host's event wait when a stop signal comes.
//
// A signal handler may not touch SDL's event queue, and SDL cannot wait on
// a file descriptor of ours; so a thread waits on the stop signals' pipe
// and posts an event of its own kind, which ends SDL's wait at once. The
// engine's thread can then sleep on the window's events alone, without
// waking now and then to look for a signal.
#pragma once

#include <SDL.h>

#include <thread>

namespace tsumugi::sdl {

class StopWakeup {
 public:
  StopWakeup() = default;
  ~StopWakeup();
  StopWakeup(const StopWakeup&) = delete;
  StopWakeup& operator=(const StopWakeup&) = delete;

  // Starts the thread once SDL's events are ready; false (nothing started)
  // without the signals' pipe or a free event kind.
  [[nodiscard]] bool Start();
  // The kind of the event it posts (0 before Start).
  uint32_t EventType() const { return event_type_; }

 private:
  void Watch(int signal_fd);

  uint32_t event_type_ = 0;
  int quit_pipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace tsumugi::sdl
