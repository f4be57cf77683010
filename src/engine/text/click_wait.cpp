// Click waits (".tcl", ".clk") with their blinking marker (".mst"), timed
// pauses (".wat") and clearing the window.
#include <algorithm>

#include "engine/engine.h"
#include "engine/text/text_window.h"
#include "platform/gdi/bitblt.h"

namespace tsumugi {

// --- Commands ----------------------------------------------------------------

void TextWindow::CommonWaitStart() {
  // Text typed at no delay reaches the screen at the latest here.
  if (ShowRestAtOnce && TextWindowVisible) PresentCanvas();
  ShowRestAtOnce = false;
}

bool TextWindow::Tcl() {
  Script& script = e_.script;
  Input& input = e_.input;
  script.DropCommandName();
  const std::u16string kind_word = script.NextArgument();
  // The rest of the line is the clear mode, read only when the clear
  // happens (the press handler reads it from here too).
  CommonWaitStart();
  const int32_t kind = e_.vars.ArgToInteger(kind_word);
  if (kind == 0 || (kind == 1 && !input.SkipTest())) {
    SnapshotPage();
    ShowClickMarker(0);
    input.RunState = kind == 0 ? RunStateKind::kWaitTextClick : RunStateKind::kWaitTextClickOrRight;
    return true;
  }
  if (kind == 1 || kind == 2) {
    if (FastTypingDelay == 0) WaitMilliseconds(30);
    const std::u16string mode = script.CurrentLine;
    ClearTextWindow(e_.vars.ArgToInteger(mode));
  }
  return false;
}

bool TextWindow::Clk() {
  Script& script = e_.script;
  Input& input = e_.input;
  // The kind is the one character after the command and its blank, so a
  // written 12 reads as 1.
  const std::u16string& line = script.CurrentLine;
  const std::u16string kind_char = line.size() > 5 ? line.substr(5, 1) : std::u16string();
  const int32_t kind = e_.vars.ArgToInteger(kind_char);
  script.CurrentLine.clear();
  if (kind != 0 && kind != 1) return false;
  CommonWaitStart();
  if (kind == 1 && input.SkipTest()) return false;
  SnapshotPage();
  ShowClickMarker(1);
  input.RunState = kind == 0 ? RunStateKind::kWaitClick : RunStateKind::kWaitClickOrRight;
  return true;
}

bool TextWindow::Mst() {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  script.DropCommandName();
  const std::u16string first = vars.ExpandText(script.NextArgument());
  if (first == u"off") {
    // The pictures and the blink interval stay for a later ".mst".
    MarkerMode = 0;
    return false;
  }
  LoadMaskedPicture(first, PicTcl, PicMTcl, kMaxMarkerWidth, kMaxMarkerHeight);
  LoadMaskedPicture(vars.ExpandText(script.NextArgument()), PicClk, PicMClk, kMaxMarkerWidth,
                    kMaxMarkerHeight);
  // The screen under the marker is kept over the larger of the two
  // pictures, so that a ".clk" marker larger than the ".tcl" one is shown
  // and erased whole.
  PicMarkSave.Resize(std::max(PicTcl.Width(), PicClk.Width()),
                     std::max(PicTcl.Height(), PicClk.Height()));
  PicMarkWork.Resize(PicMarkSave.Width(), PicMarkSave.Height());

  const int64_t mode = int64_t{vars.ArgToInteger(script.NextArgument())} + 1;
  MarkerMode = static_cast<int32_t>(std::min<int64_t>(mode, INT32_MAX));
  MarkerOffsetX = vars.ArgToInteger(script.NextArgument());
  MarkerOffsetY = vars.ArgToInteger(script.NextArgument());
  std::u16string rest = script.TakeRest();
  // A window timer takes 0 to 65535 milliseconds; 0 never ticks.
  const int32_t interval = std::clamp(vars.ArgToInteger(rest), 0, 65535);
  e_.host.SetTimerInterval(TimerId::kTimer3, static_cast<uint32_t>(interval));
  return false;
}

// --- The marker ----------------------------------------------------------------

void TextWindow::ShowClickMarker(int kind) {
  if (!TextWindowVisible || MarkerMode == 0) return;
  const int64_t canvas_x = int64_t{WindowX} + CanvasX;
  const int64_t canvas_y = int64_t{WindowY} + CanvasY;
  if (MarkerMode == 1 || MarkerMode == 2) {
    int n = LastLineIndex;
    while (n >= 0 && TextLines[static_cast<size_t>(n)].Text.empty()) --n;
    int64_t mx = 0;
    int64_t my = 0;
    if (n >= 0) {
      const gdi::Font& font = canvas_.Font(e_.fonts);
      mx = int64_t{font.Extent(AsDrawn(TextLines[static_cast<size_t>(n)].Text), canvas_.char_extra)
                       .width} -
           CharacterSpacing;
      my = LineTop(n);
    } else {
      n = 0;
    }
    if (MarkerMode == 1 && mx + MarkerOffsetX + PicTcl.Width() > PicTextCanvas.Width()) {
      // The marker does not fit after the text: it goes to the start of the
      // next line, scrolling when there is none.
      mx = 0;
      if (n == LastLineIndex) {
        ScrollTextUp();
      } else {
        my += int64_t{SampleHeight()} + Leading;
      }
    }
    MarkerX = ClampCoordinate(canvas_x + MarkerOffsetX + mx);
    MarkerY = ClampCoordinate(canvas_y + MarkerOffsetY + my);
  } else if (MarkerMode == 3) {
    MarkerX = ClampCoordinate(canvas_x + MarkerOffsetX);
    MarkerY = ClampCoordinate(canvas_y + MarkerOffsetY);
  } else if (MarkerMode == 4) {
    MarkerX = MarkerOffsetX;
    MarkerY = MarkerOffsetY;
  }

  const gdi::Surface& screen = e_.host.Screen();
  const int w = PicMarkSave.Width();
  const int h = PicMarkSave.Height();
  PicMarkSave.Clear();
  PicMarkWork.Clear();
  gdi::BitBlt(PicMarkSave, 0, 0, w, h, screen, MarkerX, MarkerY, gdi::kSrcCopy);
  gdi::BitBlt(PicMarkWork, 0, 0, w, h, screen, MarkerX, MarkerY, gdi::kSrcCopy);
  if (kind == 0 || kind == 1) {
    const gdi::Surface& mask = kind == 0 ? PicMTcl : PicMClk;
    const gdi::Surface& picture = kind == 0 ? PicTcl : PicClk;
    gdi::BitBlt(PicMarkWork, 0, 0, mask.Width(), mask.Height(), mask, 0, 0, gdi::kSrcAnd);
    gdi::BitBlt(PicMarkWork, 0, 0, picture.Width(), picture.Height(), picture, 0, 0,
                gdi::kSrcInvert);
  }
  ToScreen(PicMarkWork, MarkerX, MarkerY, w, h);
  e_.host.Refresh();
  MarkerShown = true;
  e_.host.EnableTimer(TimerId::kTimer3, true);
}

void TextWindow::EraseClickMarker() {
  e_.host.EnableTimer(TimerId::kTimer3, false);
  ToScreen(PicMarkSave, MarkerX, MarkerY, PicMarkSave.Width(), PicMarkSave.Height());
  e_.host.Refresh();
}

void TextWindow::BlinkTick() {
  // The blink: the saved screen and the screen with the marker by turns.
  ToScreen(MarkerShown ? PicMarkSave : PicMarkWork, MarkerX, MarkerY, PicMarkSave.Width(),
           PicMarkSave.Height());
  e_.host.Refresh();
  MarkerShown = !MarkerShown;
}

// --- Clearing and pausing ------------------------------------------------------

void TextWindow::ClearTextWindow(int32_t mode) {
  if (mode == 0) {
    EraseCanvas(0, PicTextCanvas.Height());
    for (TextLine& line : TextLines) line.Text.clear();
    PresentCanvas();
  } else if (mode == 1) {
    for (int i = 0; i <= LastLineIndex; ++i) ScrollTextUp();
  }
  CurrentTextLine = 0;
}

void TextWindow::WaitMilliseconds(int32_t milliseconds) {
  Host& host = e_.host;
  const uint32_t start = host.TimeGetTime();
  for (;;) {
    const int64_t elapsed = static_cast<int32_t>(host.TimeGetTime() - start);
    if (elapsed >= milliseconds) return;
    // Presses during the pause only set the held flags: the run state is
    // left as it is.
    host.WaitEvents(static_cast<uint32_t>(milliseconds - elapsed));
  }
}

}  // namespace tsumugi
