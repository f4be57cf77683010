#include "common/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tsumugi {

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<std::string> RunInChild(const std::function<std::string()>& work,
                                      std::string* error) {
  int fds[2];
  if (pipe(fds) != 0) {
    *error = std::strerror(errno);
    return std::nullopt;
  }
  const pid_t child = fork();
  if (child < 0) {
    *error = std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return std::nullopt;
  }
  if (child == 0) {
    close(fds[0]);
    // The answer is complete only with the "." that follows it.
    const bool written = WriteAll(fds[1], work()) && WriteAll(fds[1], ".");
    _exit(written ? 0 : 1);
  }
  close(fds[1]);
  std::string answer;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n > 0) {
      answer.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || answer.empty() || answer.back() != '.') {
    *error = "it stopped before it answered";
    return std::nullopt;
  }
  answer.pop_back();
  return answer;
}

}  // namespace tsumugi
