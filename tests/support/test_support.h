// Helpers shared by the tests: temporary game folders, running the real
// binary, reading its JSON lines.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tsumugi::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

// A copy of the bundled sample game in `dir` (its folder "sample"): each
// test plays its own, so that tests running at once never meet on the
// game folder's single-instance lock or on its save files.
std::filesystem::path CopyOfSampleGame(const TempDir& dir);

// Writes bytes to a file, creating its folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Writes UTF-8 source text as CP932, with CR LF line ends for each "\n".
void WriteCp932(const std::filesystem::path& path, const std::string& utf8_text);
std::string ReadFile(const std::filesystem::path& path);

// AddressSanitizer holds freed memory back (its quarantine) and keeps
// shadow memory beside the rest: peaks of the sanitizer build are larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kSanitizerSlackKb = 512 << 10;
#else
constexpr long kSanitizerSlackKb = 0;
#endif

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  // The most memory the run held at once (its peak resident set), and how
  // long it took.
  long peak_kb = 0;
  double seconds = 0;
  // The run outlived RunOptions::timeout_seconds and was killed.
  bool timed_out = false;
  // The JSON lines of standard output.
  std::vector<std::string> lines() const;
};

struct RunOptions {
  // The working folder (default: a temporary folder).
  std::filesystem::path cwd;
  // Changes to the environment: "NAME=VALUE" sets, "NAME" removes.
  std::vector<std::string> env;
  // A run still going after this many seconds is killed (0: never).
  int timeout_seconds = 0;
  // Called in the test while the program runs, with its process id.
  std::function<void(pid_t)> while_running;
  // Run as the user "nobody" when the tests run as root, so that file
  // permissions apply.
  bool as_nobody = false;
};

// Runs the tsumugi binary with the arguments in `cwd` (default: a temporary
// folder) and returns its exit status and output.
RunResult RunTsumugi(const std::vector<std::string>& args,
                     const std::filesystem::path& cwd = {});
RunResult RunTsumugi(const std::vector<std::string>& args, const RunOptions& options);

// An X server of its own (Xvfb) with one screen of the given size, for the
// length of a test. Ready() is false when Xvfb is not installed or did not
// start.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(int width = 1024, int height = 768);
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;
  bool Ready() const { return !name_.empty(); }
  // ":N", for DISPLAY.
  const std::string& Name() const { return name_; }
  // Ends the server at once, as when a remote session drops.
  void Stop();
  // Starts a window manager (openbox) on the display, as a desktop has one;
  // false when none is installed or it did not announce itself.
  bool StartWindowManager();

 private:
  pid_t pid_ = -1;
  pid_t window_manager_ = -1;
  std::string name_;
};

// The number in an environment variable (long runs of the random tests),
// or `fallback` when it is not set.
int EnvNumber(const char* name, int fallback);

// The JSON line the runner prints for an OK message box with this text
// (UTF-8, CR LF written as "\r\n").
std::string OkBox(const std::string& utf8_text);

}  // namespace tsumugi::test
