// Choice menus (".slt") with their hover highlight, the page snapshot taken
// at every wait, and the recall point (".rcl") with the return to a kept
// page that ".rcl exit" and ".btn exit" share.
#include <algorithm>

#include "engine/files/game_files.h"
#include "engine/input/input.h"
#include "engine/messages.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/script/run_record.h"
#include "engine/state/game_state.h"
#include "engine/text/text_print.h"
#include "engine/text/text_window.h"

#include <cstdint>
#include "engine/vars/variables.h"
#include "platform/gdi/font.h"
#include "platform/host.h"

namespace tsumugi {

// --- Choice menus ------------------------------------------------------------------

// .slt
// CHOICE...          one line per choice
// . | .0             the end of the list; ".0" runs the lines up to ".1" at once
// .1 ... .2 ... .    the branches, each left with ".skp"
bool TextWindow::Slt(CommandArgs&) {
  InputState& input = input_state_;
  s_.ShowRestAtOnce = false;
  input.RunState = RunStateKind::kLayingOutChoices;
  LayOutChoices();
  input.RunState = RunStateKind::kWaitChoice;
  clock_.EnableTimer(TimerId::kTimer1, true);
  return true;
}

void TextWindow::LayOutChoices() {
  Script& script = script_;
  SnapshotPage();
  s_.ChoiceCounter = 0;
  s_.HoverPresented = false;
  // The menu starts on a fresh display line.
  if (s_.CurrentTextLine != s_.LastLineIndex + 1 && s_.CurrentTextLine >= 0 &&
      s_.CurrentTextLine <= s_.LastLineIndex &&
      !s_.TextLines[static_cast<size_t>(s_.CurrentTextLine)].Text.empty()) {
    ++s_.CurrentTextLine;
  }
  if (hold_ && s_.HeldCurrentLine >= 0 && s_.HeldCurrentLine <= s_.LastLineIndex &&
      !s_.HeldLines[static_cast<size_t>(s_.HeldCurrentLine)].Text.empty()) {
    ++s_.HeldCurrentLine;
  }
  for (;;) {
    script.ReadScriptLine();
    if (!script_state_.CurrentLine.empty() && script_state_.CurrentLine[0] == u'.') break;
    ++s_.ChoiceCounter;
    record_.LineRan(script_state_.CurrentFile, script_state_.CurrentLineNumber,
                    script_state_.CurrentLine);
    // Drawn at once in the not-selected colours, on display lines that
    // carry the choice's number.
    ShowTextLine();
  }
  PresentCanvas();
  // The line that ended the list stays in CurrentLine: the branch search
  // starts there.
  if (script_state_.CurrentLine == u".0") {
    input_state_.RunState = RunStateKind::kRunningChoiceBlock;
    script.RunScript();
  }
}

int32_t TextWindow::ChoiceHitTest(float x, float y) {
  const int64_t px = int64_t{Input::RoundPosition(x)} - s_.WindowX - s_.CanvasX;
  const int64_t py = int64_t{Input::RoundPosition(y)} - s_.WindowY - s_.CanvasY;
  const int64_t text_height = SampleHeight();
  const int64_t line_height = text_height + s_.Leading;
  // Lines that do not advance (a leading that cancels the height) have no
  // rows of their own to hit.
  if (line_height <= 0) return 0;
  // A row belongs to a line from its top through the text height, and its
  // last row of leading to the line below it.
  const int64_t row = py / line_height;
  const int64_t r = (py + 1) % line_height;
  if (r <= text_height && px < s_.PicTextCanvas.Width() && py < s_.PicTextCanvas.Height() &&
      row >= 0 && row <= s_.LastLineIndex && px >= 0 && py >= 0) {
    return s_.TextLines[static_cast<size_t>(row)].ChoiceNumber;
  }
  return 0;
}

std::optional<Point> TextWindow::ChoicePoint(int32_t n) {
  const int64_t text_height = SampleHeight();
  const int64_t line_height = text_height + s_.Leading;
  if (n <= 0 || line_height <= 0) return std::nullopt;
  for (int row = 0; row <= s_.LastLineIndex; ++row) {
    if (s_.TextLines[static_cast<size_t>(row)].ChoiceNumber != n) continue;
    // The hit test decides: a row cut by the canvas's edge may not be hit.
    const int64_t y = int64_t{s_.WindowY} + s_.CanvasY + row * line_height + text_height / 2;
    for (const int64_t dx : {int64_t{8}, int64_t{1}, int64_t{0}}) {
      const int64_t x = int64_t{s_.WindowX} + s_.CanvasX + dx;
      if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) continue;
      if (ChoiceHitTest(static_cast<float>(x), static_cast<float>(y)) == n) {
        return Point{static_cast<int>(x), static_cast<int>(y)};
      }
    }
  }
  return std::nullopt;
}

void TextWindow::HoverTick() {
  const Point pointer = window_.GetCursorPos();
  const int32_t hovered =
      ChoiceHitTest(static_cast<float>(pointer.x), static_cast<float>(pointer.y));
  ForEachTable([&](std::vector<TextLine>& lines) {
    for (TextLine& line : lines) {
      if (line.ChoiceNumber == 0) continue;
      const bool selected = line.ChoiceNumber == hovered;
      line.TextColour = selected ? s_.SelectedColour : s_.NotSelectedColour;
      line.ShadowColour = selected ? s_.SelectedShadowColour : s_.NotSelectedShadowColour;
    }
  });
  // Every line is drawn again; those that look as they did cost nothing.
  bool changed = false;
  for (int i = 0; i <= s_.LastLineIndex; ++i) changed |= DrawTextLine(i, true);
  // The first tick puts the canvas over whatever the menu's block drew.
  // After it, with no line changed, the canvas is what the screen got at
  // the last tick, and while a menu waits only buttons draw on the screen
  // besides it: without buttons the copy would change no pixel, and a
  // player resting at a menu would cost a frame's work a hundred times a
  // second.
  const bool buttons = buttons_state_.AnyShown();
  if (changed || buttons || !s_.HoverPresented) PresentCanvas();
  s_.HoverPresented = true;
}

void TextWindow::EndChoiceWait(int32_t taken) {
  clock_.EnableTimer(TimerId::kTimer1, false);
  ForEachTable([&](std::vector<TextLine>& lines) {
    for (TextLine& line : lines) {
      if (line.ChoiceNumber == 0) continue;
      const bool selected = taken != 0 && line.ChoiceNumber == taken;
      if (selected && &lines == &s_.TextLines) record_.ChoiceTaken(Drawn(line.Text));
      line.TextColour = selected ? s_.SelectedColour : s_.NotSelectedColour;
      line.ShadowColour = selected ? s_.SelectedShadowColour : s_.NotSelectedShadowColour;
      line.ChoiceNumber = 0;
    }
  });
  for (int i = 0; i <= s_.LastLineIndex; ++i) DrawTextLine(i, true);
  PresentCanvas();
}

// --- The page snapshot ---------------------------------------------------------------

void TextWindow::SnapshotPage() {
  const bool buttons = buttons_state_.AnyShown();
  if (!buttons && !(input_state_.RightClickReturns && s_.RecallFile != 0)) return;
  s_.SnapFile = script_state_.CurrentFile;
  s_.SnapLine = script_state_.CurrentLineNumber - 1;
  const auto snap = [&](const std::vector<TextLine>& lines, int32_t current_line,
                        std::vector<TextLine>& snap_lines, int32_t& last, int32_t& current) {
    current = current_line;
    int n;
    if (current_line > s_.LastLineIndex) {
      n = s_.LastLineIndex;
    } else if (current_line < 0) {
      n = -1;
    } else {
      n = lines[static_cast<size_t>(current_line)].Text.empty() ? current_line - 1 : current_line;
    }
    // A memory holds 64 display lines; the rest of a longer page is lost.
    n = std::min(n, kMemoryLines - 1);
    last = n;
    if (n < 0) {
      snap_lines.assign(1, TextLine{});
    } else {
      snap_lines.assign(lines.begin(), lines.begin() + n + 1);
    }
  };
  snap(s_.TextLines, s_.CurrentTextLine, s_.SnapLines, s_.SnapLastLine, s_.SnapCurrentLine);
  if (hold_) {
    snap(s_.HeldLines, s_.HeldCurrentLine, s_.HeldSnapLines, s_.HeldSnapLastLine,
         s_.HeldSnapCurrentLine);
  }
}

void TextWindow::StoreSnapshot(PageMemory& memory) const {
  memory.File = s_.SnapFile;
  memory.Line = s_.SnapLine;
  // The memory keeps the game's own lines (save files write them) and,
  // when the texts are shown otherwise, what was shown beside them.
  const bool apart = hold_ && !s_.HeldSnapLines.empty();
  memory.LastLine = apart ? s_.HeldSnapLastLine : s_.SnapLastLine;
  memory.CurrentLine = apart ? s_.HeldSnapCurrentLine : s_.SnapCurrentLine;
  const std::vector<TextLine>& own = apart ? s_.HeldSnapLines : s_.SnapLines;
  for (int i = 0; i < kMemoryLines; ++i) {
    TextLine& line = memory.Lines[static_cast<size_t>(i)];
    if (i <= memory.LastLine) {
      line = own[static_cast<size_t>(i)];
    } else {
      line.Text.clear();
    }
  }
  memory.Shown.clear();
  memory.ShownLastLine = -1;
  memory.ShownCurrentLine = 0;
  if (apart) {
    memory.Shown.assign(s_.SnapLines.begin(),
                        s_.SnapLines.begin() + std::max(0, s_.SnapLastLine + 1));
    memory.ShownLastLine = s_.SnapLastLine;
    memory.ShownCurrentLine = s_.SnapCurrentLine;
  }
}

// --- Recall points and page memories ---------------------------------------------------

// .rcl SLOT                  the recall point; the block that follows runs
//                            when the player returns here with a right press
// .rcl exit SLOT KIND REDRAW back to the page kept in a recall memory
bool TextWindow::Rcl(CommandArgs& args) {
  if (args.Form() == u"exit") {
    PageMemory& memory = CheckedMemory(s_.RecallMemories, args.Integer(0));
    const int32_t kind = args.Integer(1);
    ReturnToMemory(memory, kind, args.Integer(2));
    return false;
  }
  s_.RecallSlot = args.Integer(0);
  s_.RecallFile = script_state_.CurrentFile;
  s_.RecallLine = script_state_.CurrentLineNumber;
  script_state_.CurrentLine.clear();
  flow_.SkipBlock();
  return false;
}

void TextWindow::ReturnToRecallPoint() {
  StoreSnapshot(
      s_.RecallMemories[static_cast<size_t>(std::clamp(s_.RecallSlot, 0, kMemoryCount - 1))]);
  script_.RewindScenario(s_.RecallFile);
  flow_.ReadLinesUntil(s_.RecallLine);
}

PageMemory& TextWindow::CheckedMemory(PageMemoryTable& table, int32_t number) {
  Script& script = script_;
  if (number < 0 || number >= kMemoryCount) {
    script.ScriptError(std::u16string(messages::kBadMemoryNumber), false);
  }
  PageMemory& memory = table[static_cast<size_t>(number)];
  // A save file can bring a file number the catalogue does not have; such a
  // memory is as unusable as an empty one.
  if (memory.File <= 0 || memory.File > catalogue_.CatalogueCount()) {
    script.ScriptError(u"メモリー番号が無効です", false);
  }
  return memory;
}

void TextWindow::ReturnToMemory(const PageMemory& memory, int32_t kind, int32_t redraw) {
  Script& script = script_;
  if (redraw == 1) {
    EraseCanvas(0, s_.PicTextCanvas.Height());
    ForEachTable([](std::vector<TextLine>& lines) {
      for (TextLine& line : lines) line.Text.clear();
    });
    if (int64_t{s_.LastLineIndex} + 1 < memory.CurrentLine) {
      script.ScriptError(u"メモリー内のテキストをテキスト表示欄に表示しきれません", false);
    }
    // Only the lines the present window has are put back. A page read from
    // a save file has only the game's own lines: they are shown then.
    const bool shown_apart = hold_ && !memory.Shown.empty();
    const auto put_back = [&](std::vector<TextLine>& lines, const TextLine* from, int32_t from_last,
                              int32_t from_current, int32_t& current) {
      const int last = std::min({from_last, s_.LastLineIndex, kMemoryLines - 1});
      for (int i = 0; i <= last; ++i) lines[static_cast<size_t>(i)] = from[i];
      current = std::clamp(from_current, 0, s_.LastLineIndex + 1);
    };
    if (shown_apart) {
      put_back(s_.TextLines, memory.Shown.data(), memory.ShownLastLine, memory.ShownCurrentLine,
               s_.CurrentTextLine);
    } else {
      put_back(s_.TextLines, memory.Lines.data(), memory.LastLine, memory.CurrentLine,
               s_.CurrentTextLine);
    }
    if (hold_) {
      put_back(s_.HeldLines, memory.Lines.data(), memory.LastLine, memory.CurrentLine,
               s_.HeldCurrentLine);
    }
    for (int i = 0; i <= s_.LastLineIndex; ++i) DrawTextLine(i, true);
    PresentCanvas();
  }
  script.RewindScenario(memory.File);
  if (memory.Line > 0) flow_.ReadLinesUntil(memory.Line);
  if (kind != 1) {
    // The waiting command is passed over, and with it a whole menu.
    script.ReadScriptLine();
    if (script_state_.CurrentLine.starts_with(u".slt")) flow_.SkipBlock(/*in_list=*/true);
  }
}

}  // namespace tsumugi
