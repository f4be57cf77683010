#include "engine/script/control_flow.h"

#include "common/strings.h"
#include "engine/engine.h"
#include "engine/messages.h"

namespace tsumugi {

namespace {

bool Holds(CaseOperator op, int32_t value, int32_t case_value) {
  switch (op) {
    case CaseOperator::kEqual:
      return value == case_value;
    case CaseOperator::kNotEqual:
      return value != case_value;
    case CaseOperator::kLess:
      return value < case_value;
    case CaseOperator::kLessOrEqual:
      return value <= case_value;
    case CaseOperator::kGreater:
      return value > case_value;
    case CaseOperator::kGreaterOrEqual:
      return value >= case_value;
    case CaseOperator::kNone:
      break;
  }
  return false;
}

}  // namespace

auto ControlFlow::ExpandsToExit() {
  return [this](std::u16string_view word) {
    return e_.vars.ExpandText(std::u16string(word)) == u"exit";
  };
}

ControlFlow::ControlFlow(Engine& engine) : e_(engine), s_(engine.state.calls) {
  e_.script.RegisterCommand(u"jmp", [this](CommandArgs& args) { return Jmp(args); });
  e_.script.RegisterCommand(u"sub", [this](CommandArgs& args) { return Sub(args); });
  e_.script.RegisterCommand(u"skp", [this](CommandArgs& args) { return Skp(args); });
  e_.script.RegisterCommand(u"cas", [this](CommandArgs& args) { return Cas(args); });
}

// --- Blocks ----------------------------------------------------------------------

bool ControlFlow::OpensBlock(std::u16string_view line) {
  BlockKind kind;
  return tsumugi::OpensBlock(line, ExpandsToExit(), &kind);
}

BlockScan::Step ControlFlow::TrackBlock(BlockScan& scan, std::u16string_view line) {
  return scan.Track(line, ExpandsToExit());
}

void ControlFlow::SkipBlock(bool in_list) {
  Script& script = e_.script;
  BlockScan scan;
  scan.in_list = in_list;
  while (scan.depth > 0) {
    script.ReadScriptLine();
    TrackBlock(scan, e_.state.script.CurrentLine);
  }
}

// --- Positioning -----------------------------------------------------------------

void ControlFlow::ReadLinesUntil(int line_number) {
  Script& script = e_.script;
  const std::vector<std::u16string>& lines = e_.catalogue.File(e_.state.script.CurrentFile).lines;
  const int count = static_cast<int>(lines.size());
  if (line_number == e_.state.script.CurrentLineNumber) return;
  // Reading forward only counts up, so a number behind the current line is
  // never met either: the reading stops at the end of the file.
  const bool reachable = line_number > e_.state.script.CurrentLineNumber && line_number <= count;
  const int stop = reachable ? line_number : count;
  if (stop > e_.state.script.CurrentLineNumber) {
    // The last line read stays in CurrentLine.
    e_.state.script.CurrentLine = lines[stop - 1];
    script.StripLeadingTabs();
    e_.state.script.CurrentLineNumber = stop;
  }
  if (!reachable) script.ReadScriptLine();  // reports the end of the file
}

void ControlFlow::JumpToLabel(const std::u16string& file_word, const std::u16string& label) {
  Script& script = e_.script;
  // A missing label is reported at the jump itself.
  const std::u16string from_file = script.CurrentFileName();
  const int from_line = e_.state.script.CurrentLineNumber;

  script.OpenScenario(file_word);
  if (label.empty()) return;

  const ScenarioFile& file = e_.catalogue.File(e_.state.script.CurrentFile);
  const int line = file.LabelLine(label);
  if (line > 0) {
    // Where reading from the top would have stopped: on the label line.
    e_.state.script.CurrentLine = u":" + label;
    e_.state.script.CurrentLineNumber = line;
    return;
  }
  // Reading from the top would have gone through the whole file.
  if (!file.lines.empty()) {
    e_.state.script.CurrentLine = file.lines.back();
    script.StripLeadingTabs();
  }
  e_.state.script.CurrentLineNumber = static_cast<int>(file.lines.size());
  // The name as the catalogue has it, so that a file word written with the
  // extension does not show it twice.
  script.ScriptErrorAt(
      from_file, from_line,
      u"「" + file.name + e_.settings.ScenarioExtension + u"」には\r\n" + messages::NoLabel(label),
      false);
}

// --- Commands ---------------------------------------------------------------------

// .jmp FILE LABEL
bool ControlFlow::Jmp(CommandArgs& args) {
  JumpToLabel(args.Text(0), args.Text(1));
  return false;
}

// .sub FILE [LABEL] MEMORY   or   .sub exit MEMORY
bool ControlFlow::Sub(CommandArgs& args) {
  if (args.Form() == u"exit") {
    ReturnFromCall(args.Integer(0));
    return false;
  }
  const int memory = args.Integer(2);
  s_.MemoryFile[memory] = e_.state.script.CurrentFile;
  s_.MemoryLine[memory] = e_.state.script.CurrentLineNumber;
  JumpToLabel(args.Text(0), args.Text(1));
  return false;
}

void ControlFlow::ReturnFromCall(int memory) {
  Script& script = e_.script;
  // A save file can bring a file number the catalogue does not have; such a
  // memory is as unusable as an empty one.
  const int file = s_.MemoryFile[memory];
  if (file <= 0 || file > e_.catalogue.CatalogueCount()) {
    script.ScriptError(u"メモリー番号が無効です", false);
  }
  script.RewindScenario(file);
  ReadLinesUntil(s_.MemoryLine[memory]);
}

// .skp
bool ControlFlow::Skp(CommandArgs&) {
  e_.state.script.CurrentLine.clear();
  SkipBlock();
  return false;
}

// .cas EXPRESSION, then case lines ".OP EXPRESSION" and ".els"
bool ControlFlow::Cas(CommandArgs& args) {
  Script& script = e_.script;
  const int32_t value = e_.vars.EvaluateExpression(args.Word(0));
  // Every line read counts for the nesting, the first one too: a "." right
  // after the ".cas" line closes an empty block.
  BlockScan scan;
  for (;;) {
    script.ReadScriptLine();
    const std::u16string& line = e_.state.script.CurrentLine;
    const int depth_before = scan.depth;
    TrackBlock(scan, line);
    if (scan.depth == 0) {
      script.ScriptError(
          u"「.cas」内に条件に当てはまる比較演算子と計算式の組が見つかりませんでした", false);
    }
    // Only lines of the block itself are case lines, not those of blocks
    // nested in it (nor a block's opening line).
    if (depth_before != 1 || scan.depth != 1) continue;
    if (line == u".els") return false;
    if (!IsCaseLine(line)) continue;
    LineWords words{line};
    const CaseOperator op = ParseCaseOperator(words.Next());
    if (op == CaseOperator::kNone) continue;
    if (Holds(op, value, e_.vars.EvaluateExpression(words.rest))) return false;
  }
}

}  // namespace tsumugi
