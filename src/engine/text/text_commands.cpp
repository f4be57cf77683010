// The window commands ".tsw", ".thd", ".tsp", ".tmd" and the text settings
// command ".txt".
#include <algorithm>

#include "common/strings.h"
#include "engine/engine.h"
#include "engine/text/text_window.h"
#include "platform/gdi/bitblt.h"

namespace tsumugi {

// --- .tsw .thd .tsp .tmd -----------------------------------------------------------

bool TextWindow::Tsw() {
  e_.script.TakeArguments();
  ShowRestAtOnce = false;
  TextWindowVisible = true;

  // The screen under the window is kept twice: as it is, to be put back by
  // ".thd 0", and with the window picture laid over it through its mask, as
  // the background the text is drawn on.
  gdi::Surface& screen = e_.host.Screen();
  PicTextSave.Clear();
  PicTextSpace.Clear();
  gdi::BitBlt(PicTextSave, 0, 0, PicTextSave.Width(), PicTextSave.Height(), screen, WindowX,
              WindowY, gdi::kSrcCopy);
  const int w = PicTextSpace.Width();
  const int h = PicTextSpace.Height();
  gdi::BitBlt(PicTextSpace, 0, 0, w, h, screen, WindowX, WindowY, gdi::kSrcCopy);
  gdi::BitBlt(PicTextSpace, 0, 0, w, h, PicTextMBmp, 0, 0, gdi::kSrcAnd);
  gdi::BitBlt(PicTextSpace, 0, 0, w, h, PicTextBmp, 0, 0, gdi::kSrcInvert);

  // The text of the window comes back over the new background: each line
  // once, in order.
  EraseCanvas(0, PicTextCanvas.Height());
  for (int i = 0; i <= LastLineIndex; ++i) {
    if (TextLines[static_cast<size_t>(i)].Text.empty()) continue;
    pen_y_ = LineTop(i);
    DrawLineOn(PicTextCanvas, i, 0, pen_y_);
  }

  ToScreen(PicTextSpace, WindowX, WindowY, w, h);
  ToScreen(PicTextCanvas, ClampCoordinate(int64_t{WindowX} + CanvasX),
           ClampCoordinate(int64_t{WindowY} + CanvasY), PicTextCanvas.Width(),
           PicTextCanvas.Height());
  e_.host.Refresh();
  return false;
}

bool TextWindow::Thd() {
  const int32_t n = e_.vars.ArgToInteger(e_.script.TakeArguments());
  if (n == 0) {
    ToScreen(PicTextSave, WindowX, WindowY, PicTextSave.Width(), PicTextSave.Height());
    e_.host.Refresh();
  }
  TextWindowVisible = false;
  return false;
}

bool TextWindow::Tsp() {
  Script& script = e_.script;
  script.DropCommandName();
  TypingDelay = e_.vars.ArgToInteger(script.NextArgument());
  if (!script.CurrentLine.empty()) {
    std::u16string rest = script.TakeRest();
    FastTypingDelay = e_.vars.ArgToInteger(rest);
  }
  // Text typed at no delay reaches the screen before typing slows down.
  if (ApplicableDelay() != 0 && ShowRestAtOnce) {
    ShowRestAtOnce = false;
    PresentCanvas();
  }
  return false;
}

bool TextWindow::Tmd() {
  const int32_t mode = e_.vars.ArgToInteger(e_.script.TakeArguments());
  if (TextMode == 1 && mode == 0) {
    // Leaving the joining mode closes the open display line, even an empty
    // one, which then stays blank. In a full window the line that would be
    // closed is the one a scroll would open: scroll now, so that the blank
    // line shows there as it does anywhere else on the page and the line
    // number stays inside the window.
    if (CurrentTextLine > LastLineIndex) ScrollTextUp();
    CurrentTextLine = std::min(CurrentTextLine + 1, LastLineIndex + 1);
  }
  TextMode = mode;
  return false;
}

// --- .txt ------------------------------------------------------------------

bool TextWindow::WindowEmpty() const {
  return CurrentTextLine == 0 && TextLines[0].Text.empty();
}

bool TextWindow::AtLineStart() const {
  if (CurrentTextLine > LastLineIndex || CurrentTextLine < 0) return true;
  return TextLines[static_cast<size_t>(CurrentTextLine)].Text.empty();
}

void TextWindow::Refuse(const std::u16string& message) {
  e_.script.ScriptError(message, false);
}

int32_t TextWindow::CheckedSide(int32_t value, const std::u16string& what) {
  // A window or canvas larger than any screen would only cost memory (a
  // mistyped size could ask for gigabytes); a negative one cannot exist.
  if (value < 0 || value > kMaxWindowSide) {
    Refuse(u"「.txt " + what + u"」の大きさは「0」から「" + ToDecimal(kMaxWindowSide) +
           u"」までの範囲で指定してください");
  }
  return value;
}

void TextWindow::LoadMaskedPicture(const std::u16string& name, gdi::Surface& picture,
                                   gdi::Surface& mask, int max_width, int max_height) {
  e_.picture_files.LoadPictureFile(name, &picture);
  // A window or marker takes its size from its picture: it is held to a
  // limit like a size written in the script, checked before the mask and
  // the copies of the screen under it are made.
  if (picture.Width() > max_width || picture.Height() > max_height) {
    Refuse(u"ピクチャー「" + name + u"」の大きさ（" + ToDecimal(picture.Width()) + u"x" +
           ToDecimal(picture.Height()) + u"）は幅「" + ToDecimal(max_width) + u"」、高さ「" +
           ToDecimal(max_height) + u"」までにしてください");
  }
  MakeMask(mask, picture);
}

bool TextWindow::Txt() {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  script.DropCommandName();
  const std::u16string keyword = vars.ExpandText(script.NextArgument());

  if (keyword == u"maxline") {
    if (!WindowEmpty()) {
      Refuse(u"「.txt maxline...」は「.tcl」が\r\nかかった状態でしか実行できません");
    }
    std::u16string rest = script.TakeRest();
    const int32_t count = vars.ArgToInteger(rest);
    if (count <= 0) Refuse(u"「.txt maxline」の引数は「0」以下には設定出来ません");
    if (count > kMaxLines) {
      Refuse(u"「.txt maxline」の引数は「" + ToDecimal(kMaxLines) +
             u"」より大きな値には設定出来ません");
    }
    LastLineIndex = count - 1;
    // Every record is new: lines not yet begun are black until text starts
    // on them.
    TextLines.assign(static_cast<size_t>(count), TextLine{});
  } else if (keyword == u"space" || keyword == u"canvas") {
    TxtSpaceOrCanvas(keyword == u"space");
  } else if (keyword == u"font") {
    TxtFont();
  }
  // Unknown words change nothing; the print settings follow the window's
  // after every ".txt".
  e_.printer.ApplyTextFont();
  ForgetDrawnLines();
  return false;
}

void TextWindow::TxtSpaceOrCanvas(bool space) {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  const std::u16string written = script.NextArgument();
  if (!WindowEmpty() || TextWindowVisible) {
    Refuse(u"「.txt " + std::u16string(space ? u"space " : u"canvas ") + written +
           u"...」は「.tcl」「.thd」が\r\nかかった状態でしか実行できません");
  }
  const std::u16string word = vars.ExpandText(written);
  if (space && word == u"pic") {
    const std::u16string name = vars.ExpandText(script.NextArgument());
    if (name == u"screen") {
      const int32_t w = CheckedSide(vars.ArgToInteger(script.NextArgument()), u"space pic screen");
      std::u16string rest = script.TakeRest();
      const int32_t h = CheckedSide(vars.ArgToInteger(rest), u"space pic screen");
      // A window without a picture: black picture, white mask, so that the
      // screen shows through everywhere.
      PicTextBmp = gdi::Surface(w, h, gdi::kBlack);
      PicTextMBmp = gdi::Surface(w, h, gdi::kWhite);
      PicTextMBmp.SetForeColor(gdi::kBlack);
    } else {
      LoadMaskedPicture(name, PicTextBmp, PicTextMBmp, kMaxWindowSide, kMaxWindowSide);
    }
    PicTextSave.Resize(PicTextBmp.Width(), PicTextBmp.Height());
    PicTextSpace.Resize(PicTextBmp.Width(), PicTextBmp.Height());
  } else if (word == u"pos") {
    const int32_t x = vars.ArgToInteger(script.NextArgument());
    std::u16string rest = script.TakeRest();
    const int32_t y = vars.ArgToInteger(rest);
    if (space) {
      WindowX = x;
      WindowY = y;
    } else {
      CanvasX = x;
      CanvasY = y;
    }
  } else if (!space && word == u"size") {
    const int32_t w = CheckedSide(vars.ArgToInteger(script.NextArgument()), u"canvas size");
    std::u16string rest = script.TakeRest();
    const int32_t h = CheckedSide(vars.ArgToInteger(rest), u"canvas size");
    PicTextCanvas.Resize(w, h);
  }
}

void TextWindow::TxtFont() {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  const std::u16string written = script.NextArgument();
  const std::u16string word = vars.ExpandText(written);
  static constexpr std::u16string_view kNeedsEmptyWindow[] = {
      u"name", u"size", u"leading", u"style", u"spacing", u"offset", u"edge"};
  if (std::find(std::begin(kNeedsEmptyWindow), std::end(kNeedsEmptyWindow), word) !=
          std::end(kNeedsEmptyWindow) &&
      !WindowEmpty()) {
    Refuse(u"「.txt font " + written + u"...」は「.tcl」が\r\nかかった状態でしか実行できません");
  }

  std::u16string rest;
  if (word == u"name") {
    // The whole rest of the line, blanks included, as written.
    rest = script.TakeRest();
    canvas_.font.face = rest;
  } else if (word == u"size") {
    rest = script.TakeRest();
    canvas_.font.height = vars.ArgToInteger(rest);
  } else if (word == u"style") {
    rest = script.TakeRest();
    const int32_t style = vars.ArgToInteger(rest);
    if (style >= 0 && style <= 3) {
      canvas_.font.bold = (style & 1) != 0;
      canvas_.font.italic = (style & 2) != 0;
    }
  } else if (word == u"spacing") {
    rest = script.TakeRest();
    CharacterSpacing = vars.ArgToInteger(rest);
    canvas_.char_extra = CharacterSpacing;
  } else if (word == u"leading") {
    rest = script.TakeRest();
    Leading = vars.ArgToInteger(rest);
  } else if (word == u"offset") {
    rest = script.TakeRest();
    ShadowOffset = vars.ArgToInteger(rest);
  } else if (word == u"edge") {
    rest = script.TakeRest();
    EdgeOn = vars.ArgToInteger(rest) != 0;
  } else if (word == u"color") {
    const std::u16string which_written = script.NextArgument();
    const std::u16string which = vars.ExpandText(which_written);
    if ((which == u"usual" || which == u"usualshadow" || which == u"shadow") && !AtLineStart()) {
      Refuse(u"「.txt font color " + which_written +
             u"...」は次に文字を表示する位置が\r\n行のはじめのときしか実行できません");
    }
    // The colour is read for every keyword, so a bad colour is reported
    // even after a keyword that sets nothing.
    rest = script.TakeRest();
    const gdi::ColorRef colour = vars.ColourValue(vars.ExpandText(rest));
    if (which == u"usual") {
      UsualColour = colour;
    } else if (which == u"usualshadow") {
      UsualShadowColour = colour;
    } else if (which == u"shadow") {
      UsualShadowColour = SelectedShadowColour = NotSelectedShadowColour = colour;
    } else if (which == u"selected") {
      SelectedColour = colour;
    } else if (which == u"notselected") {
      NotSelectedColour = colour;
    } else if (which == u"selectedshadow") {
      SelectedShadowColour = colour;
    } else if (which == u"notselectedshadow") {
      NotSelectedShadowColour = colour;
    }
  }
}

}  // namespace tsumugi
