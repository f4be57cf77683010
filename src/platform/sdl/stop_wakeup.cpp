#include "platform/sdl/stop_wakeup.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/instance/stop_signals.h"

namespace tsumugi::sdl {

bool StopWakeup::Start() {
  const int signal_fd = StopSignalFd();
  if (signal_fd < 0 || thread_.joinable()) return false;
  const uint32_t type = SDL_RegisterEvents(1);
  if (type == static_cast<uint32_t>(-1)) return false;
  if (::pipe2(quit_pipe_, O_CLOEXEC) != 0) {
    quit_pipe_[0] = quit_pipe_[1] = -1;
    return false;
  }
  event_type_ = type;
  thread_ = std::thread([this, signal_fd] { Watch(signal_fd); });
  return true;
}

void StopWakeup::Watch(int signal_fd) {
  pollfd fds[2] = {{signal_fd, POLLIN, 0}, {quit_pipe_[0], POLLIN, 0}};
  for (;;) {
    const int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[1].revents != 0) return;
    if (fds[0].revents != 0) {
      // One wake is enough: the signal stays recorded until the engine
      // acts on it.
      SDL_Event event{};
      event.type = event_type_;
      SDL_PushEvent(&event);
      return;
    }
  }
}

StopWakeup::~StopWakeup() {
  if (thread_.joinable()) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(quit_pipe_[1], &byte, 1);
    thread_.join();
  }
  for (int fd : quit_pipe_) {
    if (fd >= 0) ::close(fd);
  }
}

}  // namespace tsumugi::sdl
