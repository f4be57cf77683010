#include "engine/startup/config_file.h"

#include <vector>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine_end.h"
#include "engine/files/game_files.h"
#include "engine/graphics/pages.h"
#include "engine/messages.h"
#include "engine/script/reader.h"
#include "engine/startup/settings.h"
#include "engine/vars/number_text.h"
#include "engine/vars/variables.h"
#include "platform/host.h"

namespace tsumugi {

void ConfigFile::Declare(bool integer) {
  Script& script = script_;
  std::vector<std::u16string> names;
  for (;;) {
    std::u16string word = script.NextArgument();
    // The list ends at the end of the line or at two spaces in a row.
    if (word.empty()) break;
    names.clear();
    if (!ExpandDeclarationWord(word, names)) {
      script.ScriptError(messages::BadDeclaration(word), false);
    }
    declared_ += static_cast<int>(names.size());
    if (declared_ > kMaxVariables) {
      script.ScriptError(std::u16string(messages::kTooManyVariables), false);
    }
    for (const std::u16string& name : names) {
      vars_.DeclareVariable(integer ? VariableKind::kInteger : VariableKind::kText, name);
    }
  }
}

void ConfigFile::Read(int* page_count) {
  *page_count = -1;
  Settings& settings = settings_;
  Script& script = script_;
  const std::u16string file_name = u"config" + settings.ScenarioExtension;

  const GameFile found = files_.FindFile(file_name);
  std::optional<std::filesystem::path> path = found.path;
  auto refuse = [&](FileProblem problem, const std::string& cause) {
    dialogs_.Diagnostic(cause);
    dialogs_.MessageBoxOk(u"ファイル「" + file_name + u"」を読み込めません。\r\n" +
                          DescribeFileProblemJapanese(problem));
    end_.EndEngine(ExitStatus::kError);
  };
  // A configuration file that is not there, or lies outside the game folder,
  // is no configuration file; one that cannot be read is said so at once.
  if (found.problem == FileProblem::kOutside) dialogs_.Diagnostic(found.cause);
  if (found.problem != FileProblem::kNone && found.problem != FileProblem::kMissing &&
      found.problem != FileProblem::kOutside) {
    refuse(found.problem, found.cause);
  }
  if (path) {
    std::string bytes, error;
    FileProblem problem = FileProblem::kNone;
    if (!ReadWholeFile(*path, &bytes, &error, kMaxTextFileBytes, &problem)) {
      refuse(problem, PathToUtf8(*path) + ": " + error);
    }
    std::vector<std::u16string> lines = SplitLines(DecodeGameText(bytes));

    // The lines go through the script reader's current line, so that the
    // commands run by ".cur" and ".bsc" and every report see them as usual;
    // reports name the configuration file.
    script_state_.CurrentFile = 0;
    script.OutsideFileName = file_name;
    declared_ = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
      script_state_.CurrentLineNumber = static_cast<int>(i) + 1;
      script_state_.CurrentLine = lines[i];
      script.StripLeadingTabs();
      std::u16string first = script.NextArgument();
      if (first == u".int" || first == u".str") {
        Declare(first == u".int");
      } else if (first == u".cap") {
        std::optional<std::u16string> shown;
        if (translate_) shown = translate_(script_state_.CurrentLine);
        window_.SetCaption(shown ? *shown : vars_.ExpandText(script_state_.CurrentLine));
      } else if (first == u".cmd") {
        settings.ColorModeIndex = vars_.ArgToInteger(script_state_.CurrentLine);
      } else if (first == u".scr") {
        int n = vars_.ArgToInteger(script_state_.CurrentLine);
        static_assert(Pages::kMaxPageCount == 1000, "the message names the limit");
        if (n > Pages::kMaxPageCount) {
          script.ScriptError(std::u16string(messages::kTooManyPages), false);
        }
        if (n >= 0) *page_count = n;
      } else if (first == u".cur" || first == u".bsc") {
        std::u16string name = first.substr(1);
        if (script.HasCommand(name)) script.ExecuteLine(first + u" " + script_state_.CurrentLine);
      }
    }
    script_state_.CurrentLine.clear();
    script_state_.CurrentLineNumber = 0;
    script.OutsideFileName.clear();
  }
  vars_.FinishDeclarations();
}

}  // namespace tsumugi
