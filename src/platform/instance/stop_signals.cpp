#include "platform/instance/stop_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tsumugi {

namespace {

volatile sig_atomic_t g_stop_signal = 0;
volatile sig_atomic_t g_modal_depth = 0;
// The lock file's path; g_lock_ready says whether it may be read.
char g_lock_path[4096];
volatile sig_atomic_t g_lock_ready = 0;
// Written by the handler so that a host sleeping on other events wakes.
int g_wake_pipe[2] = {-1, -1};

void EndAtOnce(int signal_number) { EndProcessNow(128 + signal_number); }

void OnStopSignal(int signal_number) {
  if (g_modal_depth > 0 || g_stop_signal != 0) EndAtOnce(signal_number);
  g_stop_signal = signal_number;
  if (g_wake_pipe[1] >= 0) {
    const int saved = errno;
    const char byte = 1;
    // Non-blocking: a full pipe already wakes whoever waits on it.
    [[maybe_unused]] const ssize_t n = ::write(g_wake_pipe[1], &byte, 1);
    errno = saved;
  }
}

}  // namespace

void InstallStopSignalHandlers() {
  if (g_wake_pipe[0] < 0 && ::pipe2(g_wake_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    g_wake_pipe[0] = g_wake_pipe[1] = -1;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
}

void EndProcessNow(int status) {
  if (g_lock_ready) ::unlink(g_lock_path);
  ::_exit(status);
}

int StopSignal() { return g_stop_signal; }

int StopSignalFd() { return g_wake_pipe[0]; }

void SetLockFileToRemove(const char* path) {
  g_lock_ready = 0;
  if (path == nullptr || std::strlen(path) >= sizeof g_lock_path) return;
  std::strcpy(g_lock_path, path);
  g_lock_ready = 1;
}

ModalScope::ModalScope() {
  g_modal_depth = g_modal_depth + 1;
  // A request that came just before the box would otherwise wait for it.
  if (g_stop_signal != 0) EndAtOnce(g_stop_signal);
}

ModalScope::~ModalScope() { g_modal_depth = g_modal_depth - 1; }

}  // namespace tsumugi
