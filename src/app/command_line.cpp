#include "app/command_line.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>
#include <vector>

#include <iostream>

#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "platform/headless/input_script.h"

namespace tsumugi {

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t* out) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value > max) return false;
  *out = value;
  return true;
}

namespace {

// 16 x 640 is wider than any display made.
constexpr uint64_t kMaxScale = 16;

bool ParseSize(const std::string& text, Size* out) {
  size_t x = text.find('x');
  if (x == std::string::npos) return false;
  uint64_t w, h;
  if (!ParseUnsigned(text.substr(0, x), 100000, &w) ||
      !ParseUnsigned(text.substr(x + 1), 100000, &h) || w == 0 || h == 0) {
    return false;
  }
  *out = {static_cast<int>(w), static_cast<int>(h)};
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error) {
  CommandLine cl;
  bool have_folder = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) {
        *error = "option '" + arg + "' needs a value";
        return false;
      }
      *v = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      cl.help = true;
    } else if (arg == "--version") {
      cl.version = true;
    } else if (arg == "--headless") {
      cl.headless = true;
    } else if (arg == "--crisp-text") {
      cl.crisp_text = true;
    } else if (arg == "--input") {
      if (!value(&v)) return false;
      cl.input_file = v;
    } else if (arg == "--screenshot") {
      if (!value(&v)) return false;
      cl.screenshot = v;
    } else if (arg == "--no-sound") {
      cl.no_sound = true;
    } else if (arg == "--continue") {
      cl.resume = true;
    } else if (arg == "--audio-out") {
      if (!value(&v)) return false;
      cl.audio_out = v;
    } else if (arg == "--soundfont") {
      if (!value(&v)) return false;
      cl.soundfont = v;
    } else if (arg == "--ini") {
      if (!value(&v)) return false;
      cl.ini_file = v;
    } else if (arg == "--save-dir") {
      if (!value(&v)) return false;
      if (v.empty()) {
        *error = "--save-dir takes a folder";
        return false;
      }
      cl.save_dir = v;
    } else if (arg == "--max-time") {
      if (!value(&v)) return false;
      uint64_t ms;
      if (!ParseUnsigned(v, UINT64_MAX, &ms)) {
        *error = "--max-time takes a number of milliseconds, not '" + v + "'";
        return false;
      }
      if (ms > headless::kMaxWait) {
        *error = "--max-time is limited to " + std::to_string(headless::kMaxWait) +
                 " ms (about 24 days), not '" + v + "'";
        return false;
      }
      cl.max_time = ms;
    } else if (arg == "--scale") {
      if (!value(&v)) return false;
      uint64_t scale;
      if (!ParseUnsigned(v, kMaxScale, &scale) || scale == 0) {
        *error = "--scale takes a whole number from 1 to " + std::to_string(kMaxScale) +
                 ", not '" + v + "'";
        return false;
      }
      cl.scale = static_cast<int>(scale);
    } else if (arg == "--filter") {
      if (!value(&v)) return false;
      if (v != "sharp" && v != "smooth") {
        *error = "--filter takes sharp or smooth, not '" + v + "'";
        return false;
      }
      cl.filter = v;
    } else if (arg == "--renderer") {
      if (!value(&v)) return false;
      if (v != "software" && v != "accelerated" && v != "auto") {
        *error = "--renderer takes software, accelerated or auto, not '" + v + "'";
        return false;
      }
      cl.renderer = v;
    } else if (arg == "--date") {
      if (!value(&v)) return false;
      cl.date = ParseDateTime(v);
      if (!cl.date) {
        *error = "--date takes a local date and time YYYY-MM-DDTHH:MM:SS (for example "
                 "2024-04-01T08:30:00), not '" + v + "'";
        return false;
      }
    } else if (arg == "--seed") {
      if (!value(&v)) return false;
      uint64_t seed;
      if (!ParseUnsigned(v, UINT64_MAX, &seed)) {
        *error = "--seed takes a whole number from 0 to " + std::to_string(UINT64_MAX) +
                 ", not '" + v + "'";
        return false;
      }
      cl.seed = seed;
    } else if (arg == "--settings") {
      if (!value(&v)) return false;
      if (v.empty()) {
        *error = "--settings takes a file name";
        return false;
      }
      cl.settings_file = v;
    } else if (arg == "--trace" || arg == "--coverage" || arg == "--text-log") {
      if (!value(&v)) return false;
      if (v.empty()) {
        *error = arg + " takes a file name";
        return false;
      }
      (arg == "--trace" ? cl.trace : arg == "--coverage" ? cl.coverage : cl.text_log) = v;
    } else if (arg == "--translation") {
      if (!value(&v)) return false;
      if (v.empty()) {
        *error = "--translation takes a .po or .mo file";
        return false;
      }
      cl.translation = v;
    } else if (arg == "--lang") {
      if (!value(&v)) return false;
      // A language code names a file of the game's translations folder:
      // nothing that could lead out of it.
      if (v.empty() || v.size() > 32 ||
          v.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_@-") !=
              std::string::npos) {
        *error = "--lang takes a language code such as en or pt_BR, not '" + v + "'";
        return false;
      }
      cl.lang = v;
    } else if (arg == "--wrap") {
      if (!value(&v)) return false;
      if (v != "words" && v != "characters") {
        *error = "--wrap takes words or characters, not '" + v + "'";
        return false;
      }
      cl.wrap = v;
    } else if (arg == "--desktop") {
      if (!value(&v)) return false;
      if (!ParseSize(v, &cl.desktop)) {
        *error = "--desktop takes WIDTHxHEIGHT (for example 640x480), not '" + v + "'";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option '" + arg + "'";
      return false;
    } else {
      if (have_folder) {
        *error = "more than one game folder given ('" + cl.game_folder + "' and '" + arg + "')";
        return false;
      }
      cl.game_folder = arg;
      have_folder = true;
    }
  }
  if (cl.translation && cl.lang) {
    *error = "--translation and --lang exclude each other";
    return false;
  }
  if (cl.audio_out && cl.no_sound) {
    *error = "--audio-out and --no-sound exclude each other";
    return false;
  }
  *out = cl;
  return true;
}

bool ParseSubcommand(int argc, const char* const* argv,
                     std::initializer_list<std::string_view> with_value,
                     std::initializer_list<std::string_view> switches, SubcommandLine* out,
                     std::string* error) {
  const auto among = [](std::initializer_list<std::string_view> names, std::string_view arg) {
    return std::find(names.begin(), names.end(), arg) != names.end();
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      out->help = true;
    } else if (among(with_value, arg)) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      out->values[arg] = argv[++i];
    } else if (among(switches, arg)) {
      out->switches.insert(arg);
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option '" + arg + "'";
      return false;
    } else if (out->folder) {
      *error = "more than one game folder given";
      return false;
    } else {
      out->folder = arg;
    }
  }
  return true;
}

int RefuseSubcommand(std::string_view command, const std::string& message) {
  std::cerr << "tsumugi " << command << ": " << message << "\nTry 'tsumugi " << command
            << " --help'.\n";
  return 2;
}

bool ResolveGame(const SubcommandLine& line, std::filesystem::path* game,
                 std::filesystem::path* settings_file, std::string* error) {
  return ResolveGameFolder(line.folder.value_or("."), game, error) &&
         ChooseSettingsFile(*game, line.Value("--ini"), settings_file, error);
}

bool ResolveGameFolder(const std::string& written, std::filesystem::path* game,
                       std::string* error) {
  std::error_code ec;
  *game = std::filesystem::absolute(written, ec);
  const FileProblem problem = ec ? FileProblem::kMissing : FileKindProblem(*game);
  if (problem == FileProblem::kMissing) {
    *error = "game folder '" + written + "' does not exist";
    return false;
  }
  if (problem == FileProblem::kNoPermission) {
    *error = "game folder '" + written + "' cannot be reached: permission denied";
    return false;
  }
  if (problem != FileProblem::kFolder) {
    *error = "game folder '" + written + "' is not a folder";
    return false;
  }
  std::filesystem::directory_iterator it(*game, ec);
  if (ec) {
    *error = "game folder '" + written + "' cannot be read: " + ec.message();
    return false;
  }
  *game = game->lexically_normal();
  return true;
}

bool ChooseSettingsFile(const std::filesystem::path& game, const std::optional<std::string>& ini,
                        std::filesystem::path* settings_file, std::string* error) {
  if (ini) {
    // A settings file named outright must be one.
    const FileProblem problem = FileKindProblem(*ini);
    if (problem != FileProblem::kNone) {
      *error = "--ini '" + *ini + "': " +
               (problem == FileProblem::kMissing ? std::string("no such file")
                                                 : DescribeFileProblem(problem));
      return false;
    }
    std::error_code ec;
    *settings_file = std::filesystem::absolute(*ini, ec);
    return true;
  }
  *settings_file = SettingsFileFor(game);
  // The settings file found beside the game is the game's own: one that
  // leads outside the game folder is not read, as if it were missing.
  const std::optional<std::filesystem::path> real = RealPath(*settings_file);
  const std::optional<std::filesystem::path> root = RealPath(game);
  if (real && root && !IsInside(*root, *real)) {
    Complain("settings file " + settings_file->native() + ": it lies outside the game folder (" +
             real->native() + "); not read");
    settings_file->clear();
  }
  return true;
}

std::filesystem::path SettingsFileFor(const std::filesystem::path& game_folder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // Names by their lower-case form, so that "GAME.EXE" and "game.ini" meet.
  std::map<std::string, std::string> inis;
  std::vector<std::string> exes;
  for (fs::directory_iterator it(game_folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    const std::string lower_name = Lower(it->path().filename().string());
    // An ".ini" that is no regular file is still the settings file, to be
    // refused as such; an ".exe" only names it.
    if (!it->is_regular_file(type_ec) && !lower_name.ends_with(".ini")) continue;
    std::string name = it->path().filename().string();
    std::string lower = Lower(name);
    if (lower.size() > 4 && lower.ends_with(".ini"))
      inis.emplace(lower.substr(0, lower.size() - 4), name);
    if (lower.size() > 4 && lower.ends_with(".exe")) exes.push_back(name);
  }
  std::sort(exes.begin(), exes.end());
  for (const std::string& exe : exes) {
    auto ini = inis.find(Lower(exe.substr(0, exe.size() - 4)));
    if (ini != inis.end()) return game_folder / ini->second;
  }
  if (exes.size() == 1) return game_folder / (exes[0].substr(0, exes[0].size() - 4) + ".ini");
  auto plain = inis.find("tsumugi");
  if (plain != inis.end()) return game_folder / plain->second;
  return game_folder / "tsumugi.ini";
}

}  // namespace tsumugi
