// Helpers shared by the tests: temporary game folders, running the real
// binary, reading its JSON lines.
#pragma once

#include <filesystem>
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

// Writes bytes to a file, creating its folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Writes UTF-8 source text as CP932, with CR LF line ends for each "\n".
void WriteCp932(const std::filesystem::path& path, const std::string& utf8_text);
std::string ReadFile(const std::filesystem::path& path);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
  // The JSON lines of standard output.
  std::vector<std::string> lines() const;
};

// Runs the tsumugi binary with the arguments in `cwd` (default: a temporary
// folder) and returns its exit status and output.
RunResult RunTsumugi(const std::vector<std::string>& args,
                     const std::filesystem::path& cwd = {});

// The JSON line the runner prints for an OK message box with this text
// (UTF-8, CR LF written as "\r\n").
std::string OkBox(const std::string& utf8_text);

}  // namespace tsumugi::test
