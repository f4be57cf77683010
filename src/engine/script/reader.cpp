#include "engine/script/reader.h"

#include <cassert>
#include <stdexcept>

#include "common/strings.h"
#include "engine/graphics/pages.h"
#include "engine/messages.h"
#include "engine/script/catalogue.h"
#include "engine/script/run_record.h"
#include "engine/startup/settings.h"
#include "engine/vars/variables.h"

namespace tsumugi {

uint64_t Script::CommandKey(std::u16string_view name) {
  uint64_t key = name.size();
  for (char16_t c : name) key = (key << 16) | c;
  return key;
}

void Script::RegisterCommand(std::u16string_view name, CommandHandler handler) {
  const CommandDef* def = FindCommand(name);
  // A command the table does not describe could never be read.
  if (def == nullptr) throw std::logic_error("no such command in the command table");
  commands_[CommandKey(name)] = {def, std::move(handler)};
}

bool Script::HasCommand(std::u16string_view name) const {
  return commands_.count(CommandKey(name)) != 0;
}

bool Script::AtEndOfFile() const {
  if (s_.CurrentFile <= 0) return true;
  return s_.CurrentLineNumber >= static_cast<int>(catalogue_.File(s_.CurrentFile).lines.size());
}

void Script::StripLeadingTabs() {
  size_t tabs = 0;
  while (tabs < s_.CurrentLine.size() && s_.CurrentLine[tabs] == u'\t') ++tabs;
  if (tabs > 0) s_.CurrentLine.erase(0, tabs);
}

std::u16string Script::NextArgument() {
  size_t space = s_.CurrentLine.find(u' ');
  std::u16string word;
  if (space == std::u16string::npos) {
    word.swap(s_.CurrentLine);
  } else {
    word = s_.CurrentLine.substr(0, space);
    s_.CurrentLine.erase(0, space + 1);
  }
  return word;
}

void Script::ReadScriptLine() {
  if (AtEndOfFile()) {
    ScriptError(u"必要な情報が得られぬままファイル末尾に達してしまいました", false);
  }
  s_.CurrentLine = catalogue_.File(s_.CurrentFile).lines[s_.CurrentLineNumber];
  ++s_.CurrentLineNumber;
  StripLeadingTabs();
}

void Script::RunScript() {
  ++depth_;
  try {
    RunLines();
  } catch (...) {
    --depth_;
    throw;
  }
  --depth_;
  hooks_.run_returned();
}

void Script::RunLines() {
  for (;;) {
    if (AtEndOfFile()) return;
    events_.DoEvents();
    // An event may have moved the reading position (it cannot while the
    // script runs, but the end of the file must be checked again).
    if (AtEndOfFile()) return;
    s_.CurrentLine = catalogue_.File(s_.CurrentFile).lines[s_.CurrentLineNumber];
    ++s_.CurrentLineNumber;
    ++lines_read_;
    StripLeadingTabs();
    // Comments and labels do nothing when reached; every other line runs.
    if (s_.CurrentLine.empty() || (s_.CurrentLine[0] != u';' && s_.CurrentLine[0] != u':')) {
      record_.LineRan(s_.CurrentFile, s_.CurrentLineNumber, s_.CurrentLine);
    }
    if (ExecuteCurrentLine()) return;
  }
}

bool Script::ExecuteCurrentLine() {
  if (s_.CurrentLine.empty() || s_.CurrentLine[0] != u'.') {
    if (s_.CurrentLine.empty() || (s_.CurrentLine[0] != u';' && s_.CurrentLine[0] != u':')) {
      hooks_.show_text_line();
    }
    return false;
  }
  if (input_state_.RunState == RunStateKind::kRunningChoiceBlock && s_.CurrentLine == u".1")
    return true;
  return Dispatch();
}

bool Script::ExecuteLine(std::u16string line) {
  s_.CurrentLine = std::move(line);
  StripLeadingTabs();
  return ExecuteCurrentLine();
}

bool Script::Dispatch() {
  // The name is characters 2 to 4: a longer word is cut, a shorter line
  // gives a short name that matches nothing.
  std::u16string_view name = std::u16string_view(s_.CurrentLine).substr(1, 3);
  auto it = commands_.find(CommandKey(name));
  if (it == commands_.end()) ScriptError(std::u16string(messages::kUnknownCommand), true);
  CommandArgs args(vars_, *this, pages_, *it->second.def, s_.CurrentLine);
  // What the command does not take stays on the line, as reading the line
  // word by word leaves it.
  s_.CurrentLine = args.Leftover();
  const bool waits = it->second.handler(args);
  assert(!waits || it->second.def->may_wait);
  return waits;
}

int Script::FindScenario(std::u16string name) {
  const std::u16string& extension = settings_.ScenarioExtension;
  if (EndsWith(name, extension)) name.resize(name.size() - extension.size());
  int index = FindName(catalogue_.Names(), name, 1, catalogue_.CatalogueCount());
  if (index < 0) {
    if (s_.CurrentFile == 0) {
      dialogs_.MessageBoxOk(messages::NoStartScenario(name + extension) + u"\r\n実行を中止します");
      end_.EndEngine(ExitStatus::kError);
    }
    ScriptError(messages::NoScenario(name + extension), false);
  }
  return index;
}

void Script::RewindScenario(int index) {
  const ScenarioFile& file = catalogue_.File(index);
  if (file.binary) {
    // A binary file would run as garbage lines; say what it is instead.
    std::u16string message = u"ファイル「" + file.name + settings_.ScenarioExtension +
                             u"」はテキストファイルではありません";
    if (s_.CurrentFile == 0) {
      dialogs_.MessageBoxOk(message + u"\r\n実行を中止します");
      end_.EndEngine(ExitStatus::kError);
    }
    ScriptError(message, false);
  }
  s_.CurrentFile = index;
  s_.CurrentLineNumber = 0;
}

void Script::OpenScenario(const std::u16string& name) {
  RewindScenario(FindScenario(name));
}

void Script::OpenStartScenario() {
  s_.CurrentFile = 0;
  OpenScenario(u"start");
}

std::u16string Script::CurrentFileName() const {
  if (s_.CurrentFile <= 0) return OutsideFileName;
  return catalogue_.File(s_.CurrentFile).name + settings_.ScenarioExtension;
}

std::u16string Script::ErrorReportText(const std::u16string& file_name, int line,
                                       const std::u16string& message, bool show_line) const {
  std::u16string text =
      u"File「" + file_name + u"」  Line「" + ToDecimal(line) + u"」\r\n\r\n" + message;
  if (show_line) text += u"\r\n" + s_.CurrentLine;
  text += u"\r\n実行を中止します";
  return text;
}

void Script::DoScriptError(const std::u16string& message, bool show_line) {
  ScriptErrorAt(CurrentFileName(), s_.CurrentLineNumber, message, show_line);
}

void Script::ScriptErrorAt(const std::u16string& file_name, int line, const std::u16string& message,
                           bool show_line) {
  dialogs_.MessageBoxOk(ErrorReportText(file_name, line, message, show_line));
  end_.EndEngine(ExitStatus::kError);
}

}  // namespace tsumugi
