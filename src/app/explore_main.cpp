#include "app/explore_main.h"

#include <stdlib.h>

#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "app/command_line.h"
#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "explore/explorer.h"
#include "explore/storyboard.h"

namespace tsumugi {

namespace {

constexpr const char* kExploreUsage =
    "Usage: tsumugi explore [options] [GAMEDIR]\n"
    "Plays every branch of the game in GAMEDIR (default: the current folder) on\n"
    "the virtual clock: click waits are clicked, videos watched to their end, and\n"
    "at each menu and at shown buttons every choice and every button is followed.\n"
    "A branch that comes to a state of the game already explored ends there, so\n"
    "branches that meet again are played once.\n"
    "\n"
    "Options:\n"
    "  --out DIR        where the report goes (default: explore-GAMENAME)\n"
    "  --max-paths N    stop after N path endings (default 10000)\n"
    "  --max-waits N    end a path after N waits (default 100000)\n"
    "  --jobs N         explore N branches at once (default: the processors); with\n"
    "                   more than one, which of two branches that meet is followed\n"
    "                   on may differ from run to run: compare reports of --jobs 1\n"
    "  --ini FILE       the settings file (default: found beside the game's .exe)\n"
    "  --date YYYY-MM-DDTHH:MM:SS  the local time \".now\" starts from\n"
    "  --seed N         the seed of \".rnd\"\n"
    "\n"
    "Into DIR: report.json (the paths, the graph of menus and branches, the lines\n"
    "no path reached), coverage.info (lcov, all paths together), pages/ (one PNG\n"
    "for each distinct page) and index.html, the storyboard to read in a browser.\n"
    "\n"
    "Exit status: 0 no path ended in an error, 1 one did, 2 bad command line,\n"
    "3 a limit cut the exploration, 4 the report could not be written.\n";

int Bad(const std::string& message) { return RefuseSubcommand("explore", message); }

// A folder of our own under the system's temporary folder, gone with it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::string name = PathToUtf8(std::filesystem::temp_directory_path(ec) / "tsumugi-explore-XXXXXX");
    if (mkdtemp(name.data()) != nullptr) path_ = name;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

int ExploreMain(int argc, char** argv) {
  explore::ExploreOptions options;
  options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  SubcommandLine line;
  std::string error;
  if (!ParseSubcommand(argc, argv,
                       {"--out", "--ini", "--max-paths", "--max-waits", "--jobs", "--date", "--seed"},
                       {}, &line, &error)) {
    return Bad(error);
  }
  if (line.help) {
    std::cout << kExploreUsage;
    return 0;
  }
  const std::optional<std::string> out = line.Value("--out");
  if (const std::optional<std::string> value = line.Value("--date")) {
    const std::optional<LocalDateTime> date = ParseDateTime(*value);
    if (!date) return Bad("--date takes a local date and time YYYY-MM-DDTHH:MM:SS");
    options.start_date = *date;
  }
  for (const char* arg : {"--max-paths", "--max-waits", "--jobs", "--seed"}) {
    const std::optional<std::string> value = line.Value(arg);
    if (!value) continue;
    const std::string name = arg;
    uint64_t number = 0;
    if (!ParseUnsigned(*value, name == "--jobs" ? 256 : UINT64_MAX, &number) ||
        (number == 0 && name != "--seed")) {
      return Bad(name + " takes a whole number" + (name == "--seed" ? "" : " above 0") +
                 (name == "--jobs" ? " up to 256" : ""));
    }
    if (name == "--max-paths") {
      options.max_paths = number;
    } else if (name == "--max-waits") {
      options.max_waits = number;
    } else if (name == "--jobs") {
      options.jobs = static_cast<int>(number);
    } else {
      options.seed = number;
    }
  }
  if (!ResolveGame(line, &options.game_folder, &options.settings_file, &error)) return Bad(error);
  const std::string game_name = PathToUtf8(options.game_folder.filename());
  const std::filesystem::path out_folder = out ? std::filesystem::path(*out) : std::filesystem::path("explore-" + game_name);
  std::error_code ec;
  std::filesystem::create_directories(out_folder / "pages", ec);
  if (ec || !std::filesystem::is_directory(out_folder / "pages", ec)) {
    Complain("cannot write into '" + PathToUtf8(out_folder) + "': " +
             (ec ? ec.message() : std::string("not a folder")));
    return 4;
  }
  options.pages_folder = out_folder / "pages";
  ScratchFolder scratch;
  if (scratch.Path().empty()) {
    Complain("cannot make a temporary folder for the game's save files");
    return 4;
  }
  options.scratch_folder = scratch.Path();
  bool progress_shown = false;
  options.progress = [&](size_t paths, size_t waiting, size_t errors) {
    std::cerr << "\rexplore: " << paths << " paths, " << waiting << " waiting, " << errors
              << (errors == 1 ? " error " : " errors ") << std::flush;
    progress_shown = true;
  };

  const explore::Exploration exploration = explore::Explore(options);
  if (progress_shown) std::cerr << "\n";

  int status = 0;
  if (exploration.errors > 0) {
    status = 1;
  } else if (exploration.cut || exploration.limits > 0) {
    status = 3;
  }
  std::cerr << "explore: " << exploration.paths.size() << " paths, " << exploration.nodes.size()
            << " menus and button bars, " << exploration.errors << " errors"
            << (exploration.cut ? ", cut by --max-paths" : "") << "; lines reached "
            << exploration.lines_reached << " of " << exploration.lines << "\n";
  if (!exploration.write_error.empty()) {
    Complain(exploration.write_error);
    status = 4;
  }
  if (!explore::WriteReports(exploration, game_name, out_folder, &error)) {
    Complain(error);
    status = 4;
  }
  return status;
}

}  // namespace tsumugi
