#include "engine/script/control_flow.h"

#include "common/strings.h"
#include "engine/messages.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/script/reader.h"
#include "engine/startup/settings.h"
#include "engine/vars/variables.h"

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
    return vars_.ExpandText(std::u16string(word)) == u"exit";
  };
}

ControlFlow::ControlFlow(Settings& settings, Catalogue& catalogue, Script& script, Variables& vars,
                         ScriptState& script_state, CallMemoryState& state)
    : settings_(settings),
      catalogue_(catalogue),
      script_(script),
      vars_(vars),
      script_state_(script_state),
      s_(state) {}

// --- Blocks ----------------------------------------------------------------------

bool ControlFlow::OpensBlock(std::u16string_view line) {
  BlockKind kind;
  return tsumugi::OpensBlock(line, ExpandsToExit(), &kind);
}

BlockScan::Step ControlFlow::TrackBlock(BlockScan& scan, std::u16string_view line) {
  return scan.Track(line, ExpandsToExit());
}

void ControlFlow::SkipBlock(bool in_list) {
  Script& script = script_;
  BlockScan scan;
  scan.in_list = in_list;
  while (scan.depth > 0) {
    script.ReadScriptLine();
    TrackBlock(scan, script_state_.CurrentLine);
  }
}

// --- Positioning -----------------------------------------------------------------

void ControlFlow::ReadLinesUntil(int line_number) {
  Script& script = script_;
  const std::vector<std::u16string>& lines = catalogue_.File(script_state_.CurrentFile).lines;
  const int count = static_cast<int>(lines.size());
  if (line_number == script_state_.CurrentLineNumber) return;
  // Reading forward only counts up, so a number behind the current line is
  // never met either: the reading stops at the end of the file.
  const bool reachable = line_number > script_state_.CurrentLineNumber && line_number <= count;
  const int stop = reachable ? line_number : count;
  if (stop > script_state_.CurrentLineNumber) {
    // The last line read stays in CurrentLine.
    script_state_.CurrentLine = lines[stop - 1];
    script.StripLeadingTabs();
    script_state_.CurrentLineNumber = stop;
  }
  if (!reachable) script.ReadScriptLine();  // reports the end of the file
}

void ControlFlow::JumpToLabel(const std::u16string& file_word, const std::u16string& label) {
  Script& script = script_;
  // A missing label is reported at the jump itself.
  const std::u16string from_file = script.CurrentFileName();
  const int from_line = script_state_.CurrentLineNumber;

  script.OpenScenario(file_word);
  if (label.empty()) return;

  const ScenarioFile& file = catalogue_.File(script_state_.CurrentFile);
  const int line = file.LabelLine(label);
  if (line > 0) {
    // Where reading from the top would have stopped: on the label line.
    script_state_.CurrentLine = u":" + label;
    script_state_.CurrentLineNumber = line;
    return;
  }
  // Reading from the top would have gone through the whole file.
  if (!file.lines.empty()) {
    script_state_.CurrentLine = file.lines.back();
    script.StripLeadingTabs();
  }
  script_state_.CurrentLineNumber = static_cast<int>(file.lines.size());
  // The name as the catalogue has it, so that a file word written with the
  // extension does not show it twice.
  script.ScriptErrorAt(
      from_file, from_line,
      u"「" + file.name + settings_.ScenarioExtension + u"」には\r\n" + messages::NoLabel(label),
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
  s_.MemoryFile[memory] = script_state_.CurrentFile;
  s_.MemoryLine[memory] = script_state_.CurrentLineNumber;
  JumpToLabel(args.Text(0), args.Text(1));
  return false;
}

void ControlFlow::ReturnFromCall(int memory) {
  Script& script = script_;
  // A save file can bring a file number the catalogue does not have; such a
  // memory is as unusable as an empty one.
  const int file = s_.MemoryFile[memory];
  if (file <= 0 || file > catalogue_.CatalogueCount()) {
    script.ScriptError(u"メモリー番号が無効です", false);
  }
  script.RewindScenario(file);
  ReadLinesUntil(s_.MemoryLine[memory]);
}

// .skp
bool ControlFlow::Skp(CommandArgs&) {
  script_state_.CurrentLine.clear();
  SkipBlock();
  return false;
}

// .cas EXPRESSION, then case lines ".OP EXPRESSION" and ".els"
bool ControlFlow::Cas(CommandArgs& args) {
  Script& script = script_;
  const int32_t value = vars_.EvaluateExpression(args.Word(0));
  // Every line read counts for the nesting, the first one too: a "." right
  // after the ".cas" line closes an empty block.
  BlockScan scan;
  for (;;) {
    script.ReadScriptLine();
    const std::u16string& line = script_state_.CurrentLine;
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
    if (Holds(op, value, vars_.EvaluateExpression(words.rest))) return false;
  }
}

}  // namespace tsumugi
