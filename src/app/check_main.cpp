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
#include "strings/translation_check.h"

namespace tsumugi {

namespace {

constexpr const char* kCheckUsage =
    "Usage: tsumugi check [--json] [--ini FILE] [GAMEDIR]\n"
    "       tsumugi check --translation FILE.po [--json] [--ini FILE] [GAMEDIR]\n"
    "Reads the game in GAMEDIR (default: the current folder) without playing it:\n"
    "its settings file, its configuration file and every scenario. Each fault is\n"
    "one line, FILE:LINE: error: MESSAGE (or warning:), as compilers write them;\n"
    "with --json each is a JSON object on its own line. At most 1000 findings of\n"
    "one file are listed, the first in line order; a note then says how many\n"
    "more there were.\n"
    "\n"
    "With --translation, checks the translation in FILE.po (or a .mo file) against\n"
    "the texts of the game instead, not the game itself: a warning for each entry\n"
    "whose text the game no longer has (named by its msgctxt and reference), a\n"
    "warning for each text of the game without a translation (no entry, an empty\n"
    "or a fuzzy one), at its first line, and an error for each translation whose\n"
    "\"[...]\" substitutions differ from its text's. Every such finding is listed.\n"
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

// Findings on standard output, through a buffer of their own: written out
// when it grows large and when Flush() is called.
class FindingWriter {
 public:
  explicit FindingWriter(bool json) : json_(json) {}

  void Write(const std::string& shown, int line, check::Severity severity,
             const std::string& message) {
    const char* name = severity == check::Severity::kError     ? "error"
                       : severity == check::Severity::kWarning ? "warning"
                                                               : "note";
    if (json_) {
      out_ += "{\"file\":" + headless::JsonString(Utf8ToUtf16(shown)) +
              ",\"line\":" + std::to_string(line) + ",\"severity\":\"" + name +
              "\",\"message\":" + headless::JsonString(Utf8ToUtf16(message)) + "}\n";
    } else {
      const size_t start = out_.size();
      out_ += shown;
      if (line > 0) out_ += ":" + std::to_string(line);
      out_ += std::string(": ") + name + ": " + message;
      // One finding, one line, whatever a file name or a quoted line
      // holds: control characters other than the tab are shown as "?".
      for (size_t i = start; i < out_.size(); ++i) {
        if (static_cast<unsigned char>(out_[i]) < 0x20 && out_[i] != '\t') out_[i] = '?';
      }
      out_ += '\n';
    }
    if (out_.size() >= (size_t{1} << 16)) {
      std::cout.write(out_.data(), static_cast<std::streamsize>(out_.size()));
      out_.clear();
    }
  }

  void Flush() {
    std::cout.write(out_.data(), static_cast<std::streamsize>(out_.size())).flush();
    out_.clear();
  }

 private:
  bool json_;
  std::string out_;
};

// The translation in `catalogue` (as written on the command line) against
// the game's texts.
check::CheckCounts CheckTranslation(const strings::StringsOptions& game, const std::string& written,
                                    const std::string& catalogue, FindingWriter& writer) {
  check::CheckCounts counts;
  for (const strings::TranslationFinding& f : strings::CheckTranslation(game, catalogue)) {
    const std::string shown =
        f.file == catalogue ? catalogue : Shown(f.file, game.game_folder, written);
    writer.Write(shown, f.line, f.error ? check::Severity::kError : check::Severity::kWarning,
                 f.message);
    ++(f.error ? counts.errors : counts.warnings);
  }
  return counts;
}

}  // namespace

static_assert(check::kMaxFindingsPerFile == 1000, "the usage text names the limit");

int CheckMain(int argc, char** argv) {
  SubcommandLine line;
  std::string error;
  if (!ParseSubcommand(argc, argv, {"--ini", "--translation"}, {"--json"}, &line, &error)) {
    return RefuseSubcommand("check", error);
  }
  if (line.help) {
    std::cout << kCheckUsage;
    return 0;
  }
  const bool json = line.Has("--json");
  const std::optional<std::string> translation = line.Value("--translation");
  const std::string written = line.folder.value_or(".");
  check::CheckOptions options;
  if (!ResolveGame(line, &options.game_folder, &options.settings_file, &error)) {
    std::cerr << "tsumugi check: " << error << "\n";
    return 2;
  }

  FindingWriter writer(json);
  check::CheckCounts counts;
  if (translation) {
    counts = CheckTranslation({options.game_folder, options.settings_file}, written, *translation,
                              writer);
  } else {
    // Each finding is written as soon as the checker hands it on: a game
    // with a million findings is never held whole.
    std::string shown_for;  // the file `shown` names, as the checker wrote it
    std::string shown;
    counts = check::CheckGame(options, [&](const check::Finding& f) {
      // A file's findings come together: its name is worked out once, and
      // the findings of the file before are written out.
      if (shown.empty() || shown_for != f.file.native()) {
        shown = Shown(f.file, options.game_folder, written);
        shown_for = f.file.native();
        writer.Flush();
      }
      writer.Write(shown, f.line, f.severity, f.message);
    });
  }
  writer.Flush();
  if (counts.errors + counts.warnings > 0) {
    std::cerr << "tsumugi check: " << counts.errors << (counts.errors == 1 ? " error, " : " errors, ")
              << counts.warnings << (counts.warnings == 1 ? " warning\n" : " warnings\n");
  }
  return counts.errors > 0 ? 1 : 0;
}

}  // namespace tsumugi
