#include "engine/script/reader.h"

#include <cassert>
#include <stdexcept>

#include "common/strings.h"
#include "engine/engine.h"
#include "engine/messages.h"

namespace tsumugi {

Script::Script(Engine& engine) : e_(engine), s_(engine.state.script) {
  // .end
  RegisterCommand(u"end", [this](CommandArgs&) -> bool { e_.form.EndEngine(ExitStatus::kNormal); });
  // .cap TEXT
  RegisterCommand(u"cap", [this](CommandArgs& args) {
    e_.state.window.Caption = args.Text(0);
    e_.host.SetCaption(e_.state.window.Caption);
    return false;
  });
}

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
  return s_.CurrentLineNumber >= static_cast<int>(e_.catalogue.File(s_.CurrentFile).lines.size());
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
  s_.CurrentLine = e_.catalogue.File(s_.CurrentFile).lines[s_.CurrentLineNumber];
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
  if (e_.AtEventLoop()) e_.player.AtWait();
}

void Script::RunLines() {
  for (;;) {
    if (AtEndOfFile()) return;
    e_.host.DoEvents();
    // An event may have moved the reading position (it cannot while the
    // script runs, but the end of the file must be checked again).
    if (AtEndOfFile()) return;
    s_.CurrentLine = e_.catalogue.File(s_.CurrentFile).lines[s_.CurrentLineNumber];
    ++s_.CurrentLineNumber;
    StripLeadingTabs();
    // Comments and labels do nothing when reached; every other line runs.
    if (s_.CurrentLine.empty() || (s_.CurrentLine[0] != u';' && s_.CurrentLine[0] != u':')) {
      e_.record.LineRan(s_.CurrentFile, s_.CurrentLineNumber, s_.CurrentLine);
    }
    if (ExecuteCurrentLine()) return;
  }
}

bool Script::ExecuteCurrentLine() {
  if (s_.CurrentLine.empty() || s_.CurrentLine[0] != u'.') {
    if (s_.CurrentLine.empty() || (s_.CurrentLine[0] != u';' && s_.CurrentLine[0] != u':')) {
      e_.text.ShowTextLine();
    }
    return false;
  }
  if (e_.state.input.RunState == RunStateKind::kRunningChoiceBlock && s_.CurrentLine == u".1")
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
  CommandArgs args(e_, *it->second.def, s_.CurrentLine);
  // What the command does not take stays on the line, as reading the line
  // word by word leaves it.
  s_.CurrentLine = args.Leftover();
  const bool waits = it->second.handler(args);
  assert(!waits || it->second.def->may_wait);
  return waits;
}

int Script::FindScenario(std::u16string name) {
  const std::u16string& extension = e_.settings.ScenarioExtension;
  if (EndsWith(name, extension)) name.resize(name.size() - extension.size());
  int index = FindName(e_.catalogue.Names(), name, 1, e_.catalogue.CatalogueCount());
  if (index < 0) {
    if (s_.CurrentFile == 0) {
      e_.host.MessageBoxOk(messages::NoStartScenario(name + extension) + u"\r\n実行を中止します");
      e_.form.EndEngine(ExitStatus::kError);
    }
    ScriptError(messages::NoScenario(name + extension), false);
  }
  return index;
}

void Script::RewindScenario(int index) {
  const ScenarioFile& file = e_.catalogue.File(index);
  if (file.binary) {
    // A binary file would run as garbage lines; say what it is instead.
    std::u16string message = u"ファイル「" + file.name + e_.settings.ScenarioExtension +
                             u"」はテキストファイルではありません";
    if (s_.CurrentFile == 0) {
      e_.host.MessageBoxOk(message + u"\r\n実行を中止します");
      e_.form.EndEngine(ExitStatus::kError);
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
  return e_.catalogue.File(s_.CurrentFile).name + e_.settings.ScenarioExtension;
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
  e_.host.MessageBoxOk(ErrorReportText(file_name, line, message, show_line));
  e_.form.EndEngine(ExitStatus::kError);
}

}  // namespace tsumugi
