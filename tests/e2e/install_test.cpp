// What `cmake --install` and the Debian package put in place: the program,
// a manual page that lists every option `--help` knows, and a desktop entry
// that opens a game folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "support/test_support.h"

namespace tsumugi::test {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return status == 0 ? out : "FAILED(" + std::to_string(status) + "): " + out;
}

TEST(Install, ProgramManualPageAndDesktopEntry) {
  TempDir prefix;
  const std::string out = Output(std::string(TSUMUGI_CMAKE) + " --install " + TSUMUGI_BUILD_DIR +
                                 " --prefix " + prefix.path().string());
  ASSERT_EQ(out.find("FAILED"), std::string::npos) << out;
  EXPECT_EQ(RunTsumugi({"--version"}).out, Output((prefix / "bin/tsumugi").string() + " --version"));

  const std::string page = ReadFile(prefix / "share/man/man1/tsumugi.1");
  std::istringstream help(RunTsumugi({"--help"}).out);
  int options = 0;
  for (std::string line; std::getline(help, line);) {
    if (line.rfind("  --", 0) != 0) continue;
    std::string option = line.substr(2, line.find(' ', 2) - 2);
    ++options;
    std::string roff;
    for (char c : option) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find(".B " + roff), std::string::npos) << option << " is not in the manual page";
  }
  EXPECT_GE(options, 10);
  if (fs::exists("/usr/bin/man")) {
    const std::string shown = Output("MANWIDTH=80 man -l " + (prefix / "share/man/man1/tsumugi.1").string());
    EXPECT_NE(shown.find("largest whole-number multiple"), std::string::npos) << shown;
  }

  const std::string entry = ReadFile(prefix / "share/applications/tsumugi.desktop");
  EXPECT_NE(entry.find("\nExec=tsumugi %f\n"), std::string::npos) << entry;
  if (fs::exists("/usr/bin/desktop-file-validate")) {
    EXPECT_EQ(Output("desktop-file-validate " + (prefix / "share/applications/tsumugi.desktop").string()), "");
  }
}

TEST(Install, DebianPackage) {
  if (!fs::exists("/usr/bin/dpkg-shlibdeps")) GTEST_SKIP() << "no dpkg-shlibdeps";
  TempDir out;
  const std::string made = Output(std::string(TSUMUGI_CPACK) + " -G DEB --config " +
                                  TSUMUGI_BUILD_DIR + "/CPackConfig.cmake -B " + out.path().string());
  ASSERT_EQ(made.find("FAILED"), std::string::npos) << made;
  fs::path deb;
  for (const auto& entry : fs::directory_iterator(out.path())) {
    if (entry.path().extension() == ".deb") deb = entry.path();
  }
  ASSERT_FALSE(deb.empty()) << made;
  const std::string files = Output("dpkg-deb -c " + deb.string());
  for (const char* file : {"./usr/bin/tsumugi", "./usr/share/man/man1/tsumugi.1",
                           "./usr/share/applications/tsumugi.desktop"}) {
    EXPECT_NE(files.find(file), std::string::npos) << file << " missing from\n" << files;
  }
  const std::string depends = Output("dpkg-deb -f " + deb.string() + " Depends");
  for (const char* package : {"libsdl2", "libfreetype", "fonts-ipafont-gothic"}) {
    EXPECT_NE(depends.find(package), std::string::npos) << depends;
  }
}

}  // namespace
}  // namespace tsumugi::test
