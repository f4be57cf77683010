// Click waits (".tcl", ".clk") with their blinking marker (".mst"), timed
// pauses (".wat") and clearing the window.
#include <algorithm>

#include "engine/files/game_files.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/script/run_record.h"
#include "engine/state/game_state.h"
#include "engine/text/text_print.h"
#include "engine/text/text_window.h"
#include "engine/vars/variables.h"
#include "platform/gdi/bitblt.h"
#include "platform/gdi/font.h"
#include "platform/host.h"

namespace tsumugi {

// --- Commands ----------------------------------------------------------------

void TextWindow::CommonWaitStart() {
  // Text typed at no delay reaches the screen at the latest here.
  if (s_.ShowRestAtOnce && s_.TextWindowVisible) PresentCanvas();
  s_.ShowRestAtOnce = false;
}

// .tcl KIND CLEAR
bool TextWindow::Tcl(CommandArgs& args) {
  // The clear mode is read only when the clear happens: at once, or when
  // the click that ends the wait comes.
  CommonWaitStart();
  const int32_t kind = args.Integer(0);
  if (kind == 0 || (kind == 1 && !input_state_.SkipTest())) {
    SnapshotPage();
    ShowClickMarker(MarkerKind::kTextClick);
    input_state_.TclClearMode = args.Word(1);
    input_state_.RunState =
        kind == 0 ? RunStateKind::kWaitTextClick : RunStateKind::kWaitTextClickOrRight;
    return true;
  }
  if (kind == 1 || kind == 2) {
    if (s_.FastTypingDelay == 0) WaitMilliseconds(30);
    ClearTextWindow(args.Integer(1));
  }
  return false;
}

// .clk KIND   (one character: a written 12 reads as 1)
bool TextWindow::Clk(CommandArgs& args) {
  const int32_t kind = args.Integer(0);
  if (kind != 0 && kind != 1) return false;
  CommonWaitStart();
  if (kind == 1 && input_state_.SkipTest()) return false;
  SnapshotPage();
  ShowClickMarker(MarkerKind::kClick);
  input_state_.RunState = kind == 0 ? RunStateKind::kWaitClick : RunStateKind::kWaitClickOrRight;
  return true;
}

// .mst TCL CLK MODE X Y INTERVAL   or   .mst off
bool TextWindow::Mst(CommandArgs& args) {
  if (args.Form() == u"off") {
    // The pictures and the blink interval stay for a later ".mst".
    s_.MarkerMode = MarkerPlacement::kNone;
    return false;
  }
  const std::u16string& first = args.Text(0);
  LoadMaskedPicture(first, PicTcl, PicMTcl, kMaxMarkerWidth, kMaxMarkerHeight);
  const std::u16string& second = args.Text(1);
  LoadMaskedPicture(second, PicClk, PicMClk, kMaxMarkerWidth, kMaxMarkerHeight);
  s_.TclMarkerName = first;
  s_.ClkMarkerName = second;
  // The screen under the marker is kept over the larger of the two
  // pictures, so that a ".clk" marker larger than the ".tcl" one is shown
  // and erased whole.
  s_.PicMarkSave.Resize(std::max(PicTcl.Width(), PicClk.Width()),
                        std::max(PicTcl.Height(), PicClk.Height()));
  s_.PicMarkWork.Resize(s_.PicMarkSave.Width(), s_.PicMarkSave.Height());

  const int64_t mode = int64_t{args.Integer(2)} + 1;
  s_.MarkerMode = static_cast<MarkerPlacement>(std::min<int64_t>(mode, INT32_MAX));
  s_.MarkerOffsetX = args.Integer(3);
  s_.MarkerOffsetY = args.Integer(4);
  // A window timer takes 0 to 65535 milliseconds; 0 never ticks.
  const int32_t interval = std::clamp(args.Integer(5), 0, 65535);
  clock_.SetTimerInterval(TimerId::kTimer3, static_cast<uint32_t>(interval));
  return false;
}

// --- The marker ----------------------------------------------------------------

void TextWindow::ShowClickMarker(MarkerKind kind) {
  if (!s_.TextWindowVisible || s_.MarkerMode == MarkerPlacement::kNone) return;
  const int64_t canvas_x = int64_t{s_.WindowX} + s_.CanvasX;
  const int64_t canvas_y = int64_t{s_.WindowY} + s_.CanvasY;
  if (s_.MarkerMode == MarkerPlacement::kAfterTextWrapping ||
      s_.MarkerMode == MarkerPlacement::kAfterText) {
    int n = s_.LastLineIndex;
    while (n >= 0 && s_.TextLines[static_cast<size_t>(n)].Text.empty()) --n;
    int64_t mx = 0;
    int64_t my = 0;
    if (n >= 0) {
      const gdi::Font& font = s_.Canvas.Font(fonts_);
      mx = int64_t{font.Extent(Drawn(s_.TextLines[static_cast<size_t>(n)].Text),
                               s_.Canvas.char_extra)
                       .width} -
           s_.CharacterSpacing;
      my = LineTop(n);
    } else {
      n = 0;
    }
    if (s_.MarkerMode == MarkerPlacement::kAfterTextWrapping &&
        mx + s_.MarkerOffsetX + PicTcl.Width() > s_.PicTextCanvas.Width()) {
      // The marker does not fit after the text: it goes to the start of the
      // next line, scrolling when there is none.
      mx = 0;
      if (n == s_.LastLineIndex) {
        ScrollTextUp();
      } else {
        my += int64_t{SampleHeight()} + s_.Leading;
      }
    }
    s_.MarkerX = ClampCoordinate(canvas_x + s_.MarkerOffsetX + mx);
    s_.MarkerY = ClampCoordinate(canvas_y + s_.MarkerOffsetY + my);
  } else if (s_.MarkerMode == MarkerPlacement::kFromCanvas) {
    s_.MarkerX = ClampCoordinate(canvas_x + s_.MarkerOffsetX);
    s_.MarkerY = ClampCoordinate(canvas_y + s_.MarkerOffsetY);
  } else if (s_.MarkerMode == MarkerPlacement::kOnScreen) {
    s_.MarkerX = s_.MarkerOffsetX;
    s_.MarkerY = s_.MarkerOffsetY;
  }

  const gdi::Surface& screen = window_.Screen();
  const int w = s_.PicMarkSave.Width();
  const int h = s_.PicMarkSave.Height();
  s_.PicMarkSave.Clear();
  s_.PicMarkWork.Clear();
  gdi::BitBlt(s_.PicMarkSave, 0, 0, w, h, screen, s_.MarkerX, s_.MarkerY, gdi::kSrcCopy);
  gdi::BitBlt(s_.PicMarkWork, 0, 0, w, h, screen, s_.MarkerX, s_.MarkerY, gdi::kSrcCopy);
  const gdi::Surface& mask = kind == MarkerKind::kTextClick ? PicMTcl : PicMClk;
  const gdi::Surface& picture = kind == MarkerKind::kTextClick ? PicTcl : PicClk;
  gdi::BitBlt(s_.PicMarkWork, 0, 0, mask.Width(), mask.Height(), mask, 0, 0, gdi::kSrcAnd);
  gdi::BitBlt(s_.PicMarkWork, 0, 0, picture.Width(), picture.Height(), picture, 0, 0,
              gdi::kSrcInvert);
  ToScreen(s_.PicMarkWork, s_.MarkerX, s_.MarkerY, w, h);
  window_.Refresh();
  s_.MarkerShown = true;
  clock_.EnableTimer(TimerId::kTimer3, true);
}

void TextWindow::EraseClickMarker() {
  clock_.EnableTimer(TimerId::kTimer3, false);
  ToScreen(s_.PicMarkSave, s_.MarkerX, s_.MarkerY, s_.PicMarkSave.Width(), s_.PicMarkSave.Height());
  window_.Refresh();
}

void TextWindow::BlinkTick() {
  // The blink: the saved screen and the screen with the marker by turns.
  ToScreen(s_.MarkerShown ? s_.PicMarkSave : s_.PicMarkWork, s_.MarkerX, s_.MarkerY,
           s_.PicMarkSave.Width(), s_.PicMarkSave.Height());
  window_.Refresh();
  s_.MarkerShown = !s_.MarkerShown;
}

// --- Clearing and pausing ------------------------------------------------------

void TextWindow::ClearTextWindow(int32_t mode) {
  // A line text mode 1 left open is complete now.
  if (s_.CurrentTextLine <= s_.LastLineIndex) LineCompleted(s_.CurrentTextLine);
  if (mode == 0) {
    EraseCanvas(0, s_.PicTextCanvas.Height());
    for (TextLine& line : s_.TextLines) line.Text.clear();
    PresentCanvas();
  } else if (mode == 1) {
    for (int i = 0; i <= s_.LastLineIndex; ++i) ScrollTextUp();
  }
  if (hold_ && mode == 0) {
    for (TextLine& line : s_.HeldLines) line.Text.clear();
  } else if (hold_ && mode == 1) {
    for (int i = 0; i <= s_.LastLineIndex; ++i) ScrollHeldUp();
  }
  s_.CurrentTextLine = 0;
  s_.HeldCurrentLine = 0;
}

void TextWindow::WaitMilliseconds(int32_t script_milliseconds) {
  const int64_t milliseconds = pace_.Pause(script_milliseconds);
  const uint32_t start = clock_.TimeGetTime();
  for (;;) {
    const int64_t elapsed = static_cast<int32_t>(clock_.TimeGetTime() - start);
    if (elapsed >= milliseconds) return;
    // Presses during the pause only set the held flags: the run state is
    // left as it is.
    events_.WaitEvents(static_cast<uint32_t>(milliseconds - elapsed));
  }
}

}  // namespace tsumugi
