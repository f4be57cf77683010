#include "support/test_support.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "common/text_codec.h"
#include "platform/headless/json.h"

namespace tsumugi::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tsumugi-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

fs::path CopyOfSampleGame(const TempDir& dir) {
  const fs::path copy = dir / "sample";
  fs::copy(TSUMUGI_SAMPLE_GAME_DIR, copy, fs::copy_options::recursive);
  return copy;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may take permissions away; give them back so the folder goes.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteCp932(const fs::path& path, const std::string& utf8_text) {
  std::string crlf;
  for (char c : utf8_text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  WriteFile(path, Utf16ToCp932(Utf8ToUtf16(crlf)));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> RunResult::lines() const {
  std::vector<std::string> result;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) result.push_back(line);
  return result;
}

RunResult RunTsumugi(const std::vector<std::string>& args, const fs::path& cwd) {
  RunOptions options;
  options.cwd = cwd;
  return RunTsumugi(args, options);
}

RunResult RunTsumugi(const std::vector<std::string>& args, const RunOptions& options) {
  TempDir scratch;
  fs::path out_file = scratch / "stdout";
  fs::path err_file = scratch / "stderr";
  fs::path dir = options.cwd.empty() ? scratch.path() : options.cwd;
  const bool drop_root = options.as_nobody && geteuid() == 0;
  if (drop_root) {
    // nobody must be able to write its output and enter the folder.
    fs::permissions(scratch.path(), fs::perms::all, fs::perm_options::add);
  }

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    // A window run reads the player's settings: never those of whoever
    // runs the tests, unless a test gives its own.
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    // Tsumugi's own words in Japanese, whatever the language of whoever
    // runs the tests, unless a test asks for another.
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
    for (const std::string& change : options.env) {
      const size_t eq = change.find('=');
      if (eq == std::string::npos) {
        unsetenv(change.c_str());
      } else {
        setenv(change.substr(0, eq).c_str(), change.substr(eq + 1).c_str(), 1);
      }
    }
    if (drop_root && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) {
      _exit(126);
    }
    std::vector<char*> argv;
    std::string binary = TSUMUGI_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  if (options.while_running) options.while_running(pid);
  RunResult result;
  int wstatus = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(pid, &wstatus, options.timeout_seconds > 0 ? WNOHANG : 0, &usage);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("wait4 failed");
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!result.timed_out && elapsed > options.timeout_seconds) {
      result.timed_out = true;
      kill(pid, SIGKILL);
    }
    usleep(5000);
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  result.peak_kb = usage.ru_maxrss;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = ReadFile(out_file);
  result.err = ReadFile(err_file);
  return result;
}

VirtualDisplay::VirtualDisplay(int width, int height) {
  if (!fs::exists("/usr/bin/Xvfb")) return;
  // Xvfb picks a free display number itself and writes it to the pipe, so
  // that tests running side by side never meet.
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    // -noreset: by default the server resets when its last client leaves,
    // and a client that comes during the reset (the program after a probe
    // of the test) is refused.
    execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
          "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (!number.empty()) name_ = ":" + number;
}

VirtualDisplay::~VirtualDisplay() { Stop(); }

bool VirtualDisplay::StartWindowManager() {
  if (!Ready() || !fs::exists("/usr/bin/openbox")) return false;
  window_manager_ = fork();
  if (window_manager_ == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    setenv("DISPLAY", name_.c_str(), 1);
    execl("/usr/bin/openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
    _exit(127);
  }
  // A window manager announces itself on the root window.
  const std::string ask = "DISPLAY=" + name_ + " xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null";
  for (int i = 0; i < 200; ++i) {
    FILE* pipe = popen(ask.c_str(), "r");
    char line[256] = {};
    const bool announced = pipe && fgets(line, sizeof line, pipe) &&
                           std::string(line).find("window id") != std::string::npos;
    if (pipe) pclose(pipe);
    if (announced) return true;
    usleep(50000);
  }
  return false;
}

void VirtualDisplay::Stop() {
  if (window_manager_ > 0) {
    kill(window_manager_, SIGTERM);
    waitpid(window_manager_, nullptr, 0);
    window_manager_ = -1;
  }
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

int EnvNumber(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

std::string OkBox(const std::string& utf8_text) {
  return "{\"box\":\"ok\",\"text\":" + headless::JsonString(Utf8ToUtf16(utf8_text)) + "}";
}

}  // namespace tsumugi::test
