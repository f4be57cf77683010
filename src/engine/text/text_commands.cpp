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
  s_.ShowRestAtOnce = false;
  s_.TextWindowVisible = true;

  // The screen under the window is kept twice: as it is, to be put back by
  // ".thd 0", and with the window picture laid over it through its mask, as
  // the background the text is drawn on.
  gdi::Surface& screen = e_.host.Screen();
  s_.PicTextSave.Clear();
  s_.PicTextSpace.Clear();
  gdi::BitBlt(s_.PicTextSave, 0, 0, s_.PicTextSave.Width(), s_.PicTextSave.Height(), screen,
              s_.WindowX, s_.WindowY, gdi::kSrcCopy);
  const int w = s_.PicTextSpace.Width();
  const int h = s_.PicTextSpace.Height();
  gdi::BitBlt(s_.PicTextSpace, 0, 0, w, h, screen, s_.WindowX, s_.WindowY, gdi::kSrcCopy);
  gdi::BitBlt(s_.PicTextSpace, 0, 0, w, h, PicTextMBmp, 0, 0, gdi::kSrcAnd);
  gdi::BitBlt(s_.PicTextSpace, 0, 0, w, h, PicTextBmp, 0, 0, gdi::kSrcInvert);

  // The text of the window comes back over the new background: each line
  // once, in order.
  EraseCanvas(0, s_.PicTextCanvas.Height());
  for (int i = 0; i <= s_.LastLineIndex; ++i) {
    if (s_.TextLines[static_cast<size_t>(i)].Text.empty()) continue;
    s_.PenY = LineTop(i);
    DrawLineOn(s_.PicTextCanvas, i, 0, s_.PenY);
  }

  ToScreen(s_.PicTextSpace, s_.WindowX, s_.WindowY, w, h);
  ToScreen(s_.PicTextCanvas, ClampCoordinate(int64_t{s_.WindowX} + s_.CanvasX),
           ClampCoordinate(int64_t{s_.WindowY} + s_.CanvasY), s_.PicTextCanvas.Width(),
           s_.PicTextCanvas.Height());
  e_.host.Refresh();
  return false;
}

bool TextWindow::Thd() {
  const int32_t n = e_.vars.ArgToInteger(e_.script.TakeArguments());
  if (n == 0) {
    ToScreen(s_.PicTextSave, s_.WindowX, s_.WindowY, s_.PicTextSave.Width(),
             s_.PicTextSave.Height());
    e_.host.Refresh();
  }
  s_.TextWindowVisible = false;
  return false;
}

bool TextWindow::Tsp() {
  Script& script = e_.script;
  script.DropCommandName();
  s_.TypingDelay = e_.vars.ArgToInteger(script.NextArgument());
  if (!e_.state.script.CurrentLine.empty()) {
    std::u16string rest = script.TakeRest();
    s_.FastTypingDelay = e_.vars.ArgToInteger(rest);
  }
  // Text typed at no delay reaches the screen before typing slows down.
  if (ApplicableDelay() != 0 && s_.ShowRestAtOnce) {
    s_.ShowRestAtOnce = false;
    PresentCanvas();
  }
  return false;
}

bool TextWindow::Tmd() {
  const int32_t mode = e_.vars.ArgToInteger(e_.script.TakeArguments());
  if (s_.TextMode == 1 && mode == 0) {
    // Leaving the joining mode closes the open display line, even an empty
    // one, which then stays blank. In a full window the line that would be
    // closed is the one a scroll would open: scroll now, so that the blank
    // line shows there as it does anywhere else on the page and the line
    // number stays inside the window.
    if (s_.CurrentTextLine > s_.LastLineIndex) ScrollTextUp();
    s_.CurrentTextLine = std::min(s_.CurrentTextLine + 1, s_.LastLineIndex + 1);
  }
  s_.TextMode = mode;
  return false;
}

// --- .txt ------------------------------------------------------------------

bool TextWindow::WindowEmpty() const {
  return s_.CurrentTextLine == 0 && s_.TextLines[0].Text.empty();
}

bool TextWindow::AtLineStart() const {
  if (s_.CurrentTextLine > s_.LastLineIndex || s_.CurrentTextLine < 0) return true;
  return s_.TextLines[static_cast<size_t>(s_.CurrentTextLine)].Text.empty();
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
    s_.LastLineIndex = count - 1;
    // Every record is new: lines not yet begun are black until text starts
    // on them.
    s_.TextLines.assign(static_cast<size_t>(count), TextLine{});
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
  if (!WindowEmpty() || s_.TextWindowVisible) {
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
      s_.WindowPicture = {u"", w, h};
      MakeWindowPicture();
    } else {
      LoadMaskedPicture(name, PicTextBmp, PicTextMBmp, kMaxWindowSide, kMaxWindowSide);
      s_.WindowPicture = {name, 0, 0};
    }
    s_.PicTextSave.Resize(PicTextBmp.Width(), PicTextBmp.Height());
    s_.PicTextSpace.Resize(PicTextBmp.Width(), PicTextBmp.Height());
  } else if (word == u"pos") {
    const int32_t x = vars.ArgToInteger(script.NextArgument());
    std::u16string rest = script.TakeRest();
    const int32_t y = vars.ArgToInteger(rest);
    if (space) {
      s_.WindowX = x;
      s_.WindowY = y;
    } else {
      s_.CanvasX = x;
      s_.CanvasY = y;
    }
  } else if (!space && word == u"size") {
    const int32_t w = CheckedSide(vars.ArgToInteger(script.NextArgument()), u"canvas size");
    std::u16string rest = script.TakeRest();
    const int32_t h = CheckedSide(vars.ArgToInteger(rest), u"canvas size");
    s_.PicTextCanvas.Resize(w, h);
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
    s_.Canvas.font.face = rest;
  } else if (word == u"size") {
    rest = script.TakeRest();
    s_.Canvas.font.height = vars.ArgToInteger(rest);
  } else if (word == u"style") {
    rest = script.TakeRest();
    const int32_t style = vars.ArgToInteger(rest);
    if (style >= 0 && style <= 3) {
      s_.Canvas.font.bold = (style & 1) != 0;
      s_.Canvas.font.italic = (style & 2) != 0;
    }
  } else if (word == u"spacing") {
    rest = script.TakeRest();
    s_.CharacterSpacing = vars.ArgToInteger(rest);
    s_.Canvas.char_extra = s_.CharacterSpacing;
  } else if (word == u"leading") {
    rest = script.TakeRest();
    s_.Leading = vars.ArgToInteger(rest);
  } else if (word == u"offset") {
    rest = script.TakeRest();
    s_.ShadowOffset = vars.ArgToInteger(rest);
  } else if (word == u"edge") {
    rest = script.TakeRest();
    s_.EdgeOn = vars.ArgToInteger(rest) != 0;
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
      s_.UsualColour = colour;
    } else if (which == u"usualshadow") {
      s_.UsualShadowColour = colour;
    } else if (which == u"shadow") {
      s_.UsualShadowColour = s_.SelectedShadowColour = s_.NotSelectedShadowColour = colour;
    } else if (which == u"selected") {
      s_.SelectedColour = colour;
    } else if (which == u"notselected") {
      s_.NotSelectedColour = colour;
    } else if (which == u"selectedshadow") {
      s_.SelectedShadowColour = colour;
    } else if (which == u"notselectedshadow") {
      s_.NotSelectedShadowColour = colour;
    }
  }
}

}  // namespace tsumugi
