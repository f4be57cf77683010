#include "app/check_main.h"

#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "check/checker.h"
#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "platform/headless/json.h"

namespace tsumugi {

namespace {

constexpr const char* kCheckUsage =
    "Usage: tsumugi check [--json] [--ini FILE] [GAMEDIR]\n"
    "Reads the game in GAMEDIR (default: the current folder) without playing it:\n"
    "its settings file, its configuration file and every scenario. Each fault is\n"
    "one line, FILE:LINE: error: MESSAGE (or warning:), as compilers write them;\n"
    "with --json each is a JSON object on its own line.\n"
    "\n"
    "Exit status: 0 no errors (warnings aside), 1 errors found, 2 bad command line.\n";

// The file as the person who named GAMEDIR would name it: below GAMEDIR as
// written on the command line.
std::string Shown(const std::filesystem::path& file, const std::filesystem::path& game,
                  const std::string& written) {
  const std::filesystem::path relative = file.lexically_relative(game);
  if (relative.empty() || *relative.begin() == "..") return PathToUtf8(file);
  if (relative == ".") return written;
  if (written == "." || written == "./") return PathToUtf8(relative);
  return PathToUtf8(std::filesystem::path(written) / relative);
}

}  // namespace

int CheckMain(int argc, char** argv) {
  bool json = false;
  std::optional<std::string> ini;
  std::optional<std::string> folder;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kCheckUsage;
      return 0;
    }
    if (arg == "--json") {
      json = true;
    } else if (arg == "--ini" && i + 1 < argc) {
      ini = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::cerr << "tsumugi check: unknown option '" << arg << "'\nTry 'tsumugi check --help'.\n";
      return 2;
    } else if (folder) {
      std::cerr << "tsumugi check: more than one game folder given\n";
      return 2;
    } else {
      folder = arg;
    }
  }
  const std::string written = folder.value_or(".");
  check::CheckOptions options;
  std::string error;
  if (!ResolveGameFolder(written, &options.game_folder, &error) ||
      !ChooseSettingsFile(options.game_folder, ini, &options.settings_file, &error)) {
    std::cerr << "tsumugi check: " << error << "\n";
    return 2;
  }

  const std::vector<check::Finding> findings = check::CheckGame(options);
  size_t errors = 0;
  std::string out;
  for (const check::Finding& f : findings) {
    const bool is_error = f.severity == check::Severity::kError;
    errors += is_error;
    const std::string file = Shown(f.file, options.game_folder, written);
    if (json) {
      out += "{\"file\":" + headless::JsonString(Utf8ToUtf16(file)) +
             ",\"line\":" + std::to_string(f.line) + ",\"severity\":\"" +
             (is_error ? "error" : "warning") +
             "\",\"message\":" + headless::JsonString(Utf8ToUtf16(f.message)) + "}\n";
    } else {
      std::string line = file + (f.line > 0 ? ":" + std::to_string(f.line) : std::string()) +
                         ": " + (is_error ? "error: " : "warning: ") + f.message;
      // One finding, one line, whatever a file name or a quoted line holds:
      // control characters other than the tab are shown as "?".
      for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = '?';
      }
      out += line + "\n";
    }
  }
  std::cout << out << std::flush;
  if (!findings.empty()) {
    std::cerr << "tsumugi check: " << errors << (errors == 1 ? " error, " : " errors, ")
              << findings.size() - errors
              << (findings.size() - errors == 1 ? " warning\n" : " warnings\n");
  }
  return errors > 0 ? 1 : 0;
}

}  // namespace tsumugi
