#include "support/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

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
  TempDir scratch;
  fs::path out_file = scratch / "stdout";
  fs::path err_file = scratch / "stderr";
  fs::path dir = cwd.empty() ? scratch.path() : cwd;

  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    std::string binary = TSUMUGI_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  RunResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = ReadFile(out_file);
  result.err = ReadFile(err_file);
  return result;
}

std::string OkBox(const std::string& utf8_text) {
  return "{\"box\":\"ok\",\"text\":" + headless::JsonString(Utf8ToUtf16(utf8_text)) + "}";
}

}  // namespace tsumugi::test
