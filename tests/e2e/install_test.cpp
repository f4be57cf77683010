// What `cmake --install` and the Debian package put in place: the program,
// a compressed manual page that lists every option and key `--help` knows,
// an icon, the copyright and changelog, and a desktop entry that starts a
// game folder without claiming every folder; and a package whose
// dependencies bring what the program loads at run time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
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

bool Failed(const std::string& output) { return output.rfind("FAILED(", 0) == 0; }

// The first version number ("0.1.0") in `text`.
std::string VersionIn(const std::string& text) {
  std::smatch match;
  return std::regex_search(text, match, std::regex(R"([0-9]+\.[0-9]+\.[0-9]+)")) ? match.str()
                                                                                  : "none";
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// The lines of `text` that start with `prefix`, joined.
std::string LinesStartingWith(const std::string& text, const std::string& prefix) {
  std::istringstream in(text);
  std::string found;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) found += line + "\n";
  }
  return found;
}

// The default application of inode/directory as xdg-mime finds it with the
// desktop entries of `data_home` and `data_dirs` only (the generic lookup
// every desktop without its own falls back to), after their caches are
// brought up to date as a package installation does.
std::string DefaultForFolders(const TempDir& work, const fs::path& data_home,
                              const std::string& data_dirs) {
  if (fs::exists(data_home / "applications")) {
    Output("update-desktop-database " + Quoted(data_home / "applications"));
  }
  const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u KDE_FULL_SESSION"
                          " -u GNOME_DESKTOP_SESSION_ID -u DESKTOP_SESSION"
                          " XDG_CURRENT_DESKTOP=X-Generic HOME=" + Quoted(work / "home") +
                          " XDG_CONFIG_HOME=" + Quoted(work / "config") +
                          " XDG_CONFIG_DIRS=" + Quoted(work / "config-dirs") +
                          " XDG_DATA_HOME=" + Quoted(data_home) + " XDG_DATA_DIRS='" + data_dirs +
                          "' ";
  return Output(env + "xdg-mime query default inode/directory");
}

TEST(Install, ProgramManualPageIconAndDesktopEntry) {
  TempDir prefix;
  const std::string out = Output(std::string(TSUMUGI_CMAKE) + " --install " + TSUMUGI_BUILD_DIR +
                                 " --prefix " + prefix.path().string());
  ASSERT_FALSE(Failed(out)) << out;
  EXPECT_EQ(RunTsumugi({"--version"}).out, Output((prefix / "bin/tsumugi").string() + " --version"));

  // The page is compressed as Debian wants it: at most compression, with
  // neither the file's name nor its time in the gzip header.
  const fs::path page_file = prefix / "share/man/man1/tsumugi.1.gz";
  const std::string gz = ReadFile(page_file);
  ASSERT_GT(gz.size(), 10u);
  EXPECT_EQ(gz.substr(0, 3), std::string("\x1f\x8b\x08", 3));
  EXPECT_EQ(gz[3] & 0x08, 0) << "the original name is stored";
  EXPECT_EQ(gz.substr(4, 4), std::string(4, '\0')) << "a time is stored";
  EXPECT_EQ(gz[8], 2) << "not compressed with -9";
  EXPECT_FALSE(fs::exists(prefix / "share/man/man1/tsumugi.1"));
  const std::string page = Output("gzip -dc " + Quoted(page_file));
  ASSERT_FALSE(Failed(page)) << page;

  // Every option and every key of --help is in the page, which stands on
  // its own; --help points to the page and to the checker.
  const std::string help = RunTsumugi({"--help"}).out;
  std::istringstream lines(help);
  int options = 0, keys = 0;
  bool in_keys = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.rfind("Keys and mouse", 0) == 0) {
      in_keys = !line.empty();
      continue;
    }
    std::string entry;
    if (line.rfind("  --", 0) == 0) {
      entry = line.substr(2, line.find(' ', 2) - 2);
      ++options;
    } else if (in_keys && line.size() > 2 && line[2] != ' ') {
      entry = line.substr(2, line.find("  ", 2) - 2);
      ++keys;
    } else {
      continue;
    }
    std::string roff;
    for (char c : entry) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_TRUE(page.find("\n.B " + roff + "\n") != std::string::npos ||
                page.find("\n.B " + roff + " ") != std::string::npos)
        << entry << " is not in the page";
  }
  EXPECT_GE(options, 10);
  EXPECT_GE(keys, 5);
  for (const char* topic : {"right button", "Escape", "F4", "Alt+Enter", "arrow keys",
                            "man tsumugi", "tsumugi check"}) {
    EXPECT_NE(help.find(topic), std::string::npos) << topic << " is not in --help";
  }
  for (const char* topic : {".SH INPUT FILE", ".SH CHECKING A GAME", ".B tsumugi check",
                            "fluid\\-soundfont\\-gm", "/usr/share/doc/tsumugi/"}) {
    EXPECT_NE(page.find(topic), std::string::npos) << topic << " is not in the page";
  }
  EXPECT_EQ(page.find("README"), std::string::npos) << "the package installs no README";
  if (fs::exists("/usr/bin/man")) {
    const std::string man = "MANWIDTH=80 man --warnings -E UTF-8 -l " + Quoted(page_file);
    const std::string shown = Output(man);
    EXPECT_NE(shown.find("largest whole-number multiple"), std::string::npos) << shown;
    EXPECT_NE(shown.find("rclick X Y"), std::string::npos) << shown;
    EXPECT_EQ(Output(man + " >/dev/null"), "") << "groff's warnings";
  }

  const std::string copyright = ReadFile(prefix / "share/doc/tsumugi/copyright");
  EXPECT_NE(copyright.find("License: Expat"), std::string::npos) << copyright;
  const std::string changes = Output("gzip -dc " + Quoted(prefix / "share/doc/tsumugi/changelog.gz"));
  EXPECT_EQ(changes.rfind("tsumugi (" + VersionIn(RunTsumugi({"--version"}).out) + ") ", 0), 0u)
      << changes;

  const fs::path icon = prefix / "share/icons/hicolor/scalable/apps/tsumugi.svg";
  EXPECT_NE(ReadFile(icon).find("<svg "), std::string::npos);
  const fs::path entry_file = prefix / "share/applications/tsumugi.desktop";
  const std::string entry = ReadFile(entry_file);
  EXPECT_NE(entry.find("\nExec=tsumugi %f\n"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nIcon=tsumugi\n"), std::string::npos) << entry;
  if (fs::exists("/usr/bin/desktop-file-validate")) {
    EXPECT_EQ(Output("desktop-file-validate " + Quoted(entry_file)), "");
  }

  // Installed where nothing else claims folders, the entry does not become
  // the program that opens them; a file manager that claims them still
  // does (which shows the lookup works here).
  if (!fs::exists("/usr/bin/xdg-mime") || !fs::exists("/usr/bin/update-desktop-database")) {
    ADD_FAILURE() << "xdg-mime or update-desktop-database missing: run scripts/setup-deps.sh";
    return;
  }
  TempDir work;
  EXPECT_EQ(DefaultForFolders(work, prefix / "share", (work / "none").string()), "");
  WriteFile(work / "files/applications/files.desktop",
            "[Desktop Entry]\nType=Application\nName=Files\nExec=files %f\n"
            "MimeType=inode/directory;\n");
  EXPECT_EQ(DefaultForFolders(work, work / "files", (prefix / "share").string()), "files.desktop\n");
  EXPECT_EQ(DefaultForFolders(work, prefix / "share", (work / "files").string()), "files.desktop\n");
}

// Makes the Debian package of the build into `out`; empty on failure.
fs::path MakePackage(const TempDir& out, std::string* log) {
  *log = Output(std::string(TSUMUGI_CPACK) + " -G DEB --config " + TSUMUGI_BUILD_DIR +
                "/CPackConfig.cmake -B " + Quoted(out.path()));
  for (const auto& entry : fs::directory_iterator(out.path())) {
    if (entry.path().extension() == ".deb") return entry.path();
  }
  return {};
}

// The first alternative of each dependency of `depends`, without versions.
std::vector<std::string> FirstChoices(const std::string& depends) {
  std::vector<std::string> names;
  static const std::regex group(R"((?:^|,)\s*([a-z0-9][a-z0-9+.-]+))");
  for (std::sregex_iterator it(depends.begin(), depends.end(), group), end; it != end; ++it) {
    names.push_back((*it)[1]);
  }
  return names;
}

TEST(Install, DebianPackage) {
  if (!fs::exists("/usr/bin/dpkg-shlibdeps")) GTEST_SKIP() << "no dpkg-shlibdeps";
  TempDir out;
  std::string log;
  const fs::path deb = MakePackage(out, &log);
  ASSERT_FALSE(deb.empty()) << log;
  const std::string files = Output("dpkg-deb -c " + Quoted(deb));
  for (const char* file : {"./usr/bin/tsumugi", "./usr/share/man/man1/tsumugi.1.gz",
                           "./usr/share/applications/tsumugi.desktop",
                           "./usr/share/icons/hicolor/scalable/apps/tsumugi.svg",
                           "./usr/share/doc/tsumugi/copyright", "./usr/share/doc/tsumugi/changelog.gz"}) {
    EXPECT_NE(files.find(std::string(file) + "\n"), std::string::npos) << file << " missing from\n" << files;
  }

  // The libraries the program opens itself when it first needs them, which
  // dpkg-shlibdeps cannot see, and a SoundFont for the music.
  const std::string depends = Output("dpkg-deb -f " + Quoted(deb) + " Depends");
  for (const char* package : {"libsdl2-2", "libfreetype", "fonts-ipafont-gothic", "fonts-ipafont-mincho",
                              "libavcodec[0-9]+ ", "libavformat[0-9]+ ", "libavutil[0-9]+ ",
                              "libswresample[0-9]+ ", "libswscale[0-9]+ ", "libfluidsynth[0-9]+ ",
                              "libsdl2-image-2.0-0 ", "fluid-soundfont-gm \\| timgm6mb-soundfont"}) {
    EXPECT_TRUE(std::regex_search(depends, std::regex(std::string("(^|, )") + package)))
        << package << " is not in " << depends;
  }

  // Lintian finds nothing to warn about, let alone an error.
  if (!fs::exists("/usr/bin/lintian")) {
    ADD_FAILURE() << "lintian missing: run scripts/setup-deps.sh";
  } else {
    const std::string lint = Output("lintian --no-tag-display-limit " + Quoted(deb));
    EXPECT_EQ(LinesStartingWith(lint, "E: ") + LinesStartingWith(lint, "W: "), "") << lint;
  }

  // On a system with nothing installed, apt finds every dependency in the
  // archive and installs it with the package: a simulation against an empty
  // list of installed packages.
  if (Output("apt-get indextargets --format '$(FILENAME)' 'Created-By: Packages'").empty()) {
    GTEST_SKIP() << "apt has no package lists (apt-get update) to resolve the dependencies";
  }
  WriteFile(out / "status", "");
  const std::string plan =
      Output("apt-get install --simulate -o Debug::NoLocking=1 -o Dir::State::status=" +
             Quoted(out / "status") + " " + Quoted(deb));
  ASSERT_FALSE(Failed(plan)) << plan;
  const std::vector<std::string> needed = FirstChoices(depends);
  EXPECT_GE(needed.size(), 12u) << depends;
  for (const std::string& package : needed) {
    EXPECT_NE(plan.find("\nInst " + package + " "), std::string::npos)
        << package << " would not be installed:\n" << plan;
  }
  EXPECT_NE(plan.find("\nInst tsumugi "), std::string::npos) << plan;
}

// The package installed on this system with apt, as a player would: its
// dependencies come with it, and the installed program plays the sample
// game's movie and music. Needs root; the package is removed again unless
// it was installed before.
TEST(Install, DebianPackageOnThisSystem) {
  if (geteuid() != 0) GTEST_SKIP() << "installing a package needs root";
  if (!fs::exists("/usr/bin/dpkg-shlibdeps")) GTEST_SKIP() << "no dpkg-shlibdeps";
  const std::string before = Output("dpkg-query -W -f '${Status} ${Version}' tsumugi");
  const bool was_installed = before.find("install ok installed") != std::string::npos;
  TempDir out;
  std::string log;
  const fs::path deb = MakePackage(out, &log);
  ASSERT_FALSE(deb.empty()) << log;
  const std::string version = VersionIn(Output("dpkg-deb -f " + Quoted(deb) + " Version"));
  if (was_installed && before != "install ok installed " + version) {
    GTEST_SKIP() << "another version of tsumugi is installed here: " << before;
  }
  // Another program may hold the package lock for a while.
  const std::string apt = "DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -q ";
  const std::string installed = Output(apt + "install --reinstall " + Quoted(deb));
  ASSERT_FALSE(Failed(installed)) << installed;
  struct Remove {
    bool keep;
    std::string apt;
    ~Remove() {
      if (!keep) Output(apt + "remove tsumugi");
    }
  } remove{was_installed, apt};

  EXPECT_EQ(Output("/usr/bin/tsumugi --version"), RunTsumugi({"--version"}).out);
  EXPECT_EQ(Output("man -w tsumugi"), "/usr/share/man/man1/tsumugi.1.gz\n");

  // The movie's three seconds, then the morning music: nothing on standard
  // error (a library or SoundFont that cannot be loaded says so there) and
  // the music is heard.
  TempDir work;
  const fs::path game = CopyOfSampleGame(work);
  WriteFile(work / "input", "wait 4000\n");
  const std::string run =
      Output("(cd " + Quoted(work.path()) + " && /usr/bin/tsumugi --headless --input input"
             " --audio-out mix.wav --save-dir saves " + Quoted(game) + " 2>errors)");
  EXPECT_FALSE(Failed(run)) << run;
  EXPECT_EQ(ReadFile(work / "errors"), "");
  const std::string mix = ReadFile(work / "mix.wav");
  int peak = 0;
  for (size_t i = 44 + 3 * 44100 * 4; i + 1 < mix.size(); i += 2) {
    peak = std::max(peak, std::abs(static_cast<int16_t>((mix[i] & 0xFF) | (mix[i + 1] << 8))));
  }
  EXPECT_GT(peak, 500);

  // With the system's own entries, folders still do not open in Tsumugi.
  TempDir xdg;
  EXPECT_EQ(DefaultForFolders(xdg, xdg / "data", "/usr/local/share/:/usr/share/")
                .find("tsumugi"),
            std::string::npos);
}

}  // namespace
}  // namespace tsumugi::test
