#include "app/strings_main.h"

#include <iostream>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "common/diagnostics.h"
#include "common/file_lookup.h"
#include "strings/strings.h"

namespace tsumugi {

namespace {

constexpr const char* kStringsUsage =
    "Usage: tsumugi strings [--out FILE.pot] [--ini FILE] [GAMEDIR]\n"
    "Writes every text a player of the game in GAMEDIR (default: the current\n"
    "folder) reads (text lines, choices, .tpr texts, the caption) as a gettext\n"
    "template, to FILE.pot or to standard output: the text as written as the\n"
    "msgid, the scenario's file name as the msgctxt, its lines as references.\n"
    "Identical texts of one scenario share an entry.\n"
    "\n"
    "Exit status: 0 written, 1 the game cannot be read, 2 bad command line,\n"
    "4 the template cannot be written.\n";

int Bad(const std::string& message) { return RefuseSubcommand("strings", message); }

}  // namespace

int StringsMain(int argc, char** argv) {
  SubcommandLine line;
  std::string error;
  if (!ParseSubcommand(argc, argv, {"--out", "--ini"}, {}, &line, &error)) return Bad(error);
  if (line.help) {
    std::cout << kStringsUsage;
    return 0;
  }
  const std::optional<std::string> out = line.Value("--out");
  strings::StringsOptions options;
  if (!ResolveGame(line, &options.game_folder, &options.settings_file, &error)) return Bad(error);
  const strings::Extracted extracted = strings::ExtractStrings(options);
  if (!extracted.error.empty()) {
    Complain(extracted.error);
    return 1;
  }
  const std::string pot =
      strings::PotText(extracted.entries, PathToUtf8(options.game_folder.filename()));
  if (!out) {
    std::cout << pot << std::flush;
    return std::cout ? 0 : 4;
  }
  if (!WriteWholeFile(*out, pot, &error)) {
    Complain("cannot write '" + *out + "': " + error);
    return 4;
  }
  return 0;
}

}  // namespace tsumugi
