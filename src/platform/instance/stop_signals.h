// Orderly ends on SIGTERM and SIGINT, in both hosts.
//
// The handler records the signal and writes to a pipe, so that a host
// asleep on its window's events wakes; the hosts look at it whenever they
// pump events, sleep or wait (a hold at least every 50 ms), and end the
// engine as when the player closes the window: the unload steps run, the
// screenshot asked for is written and the lock file is removed. Where the
// engine cannot look (a modal message box of the window host), or when a
// second signal comes before the first was acted on, the process ends at
// once, removing the lock file on the way.
#pragma once

namespace tsumugi {

// Installs the handler for SIGTERM and SIGINT.
void InstallStopSignalHandlers();

// The signal that asked the process to stop, or 0.
int StopSignal();

// Readable once a stop signal came (-1 before the handlers are installed):
// a host that waits for events waits on it too.
int StopSignalFd();

// The lock file an ending at once removes; nullptr for none. The text is
// copied.
void SetLockFileToRemove(const char* path);

// Ends the process at once with `status`, removing the lock file: for a
// loss the engine cannot come back from (the display went away).
[[noreturn]] void EndProcessNow(int status);

// While one exists, the engine cannot act on a request: a stop signal ends
// the process at once.
class ModalScope {
 public:
  ModalScope();
  ~ModalScope();
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;
};

}  // namespace tsumugi
