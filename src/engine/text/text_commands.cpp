// The window commands ".tsw", ".thd", ".tsp", ".tmd" and the text settings
// command ".txt".
#include <algorithm>

#include "common/strings.h"
#include "engine/files/game_files.h"
#include "engine/messages.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/script/run_record.h"
#include "engine/text/text_print.h"
#include "engine/text/text_window.h"
#include "engine/vars/variables.h"
#include "platform/gdi/bitblt.h"
#include "platform/gdi/font.h"
#include "platform/host.h"

namespace tsumugi {

// --- .tsw .thd .tsp .tmd -----------------------------------------------------------

// .tsw
bool TextWindow::Tsw(CommandArgs&) {
  s_.ShowRestAtOnce = false;
  s_.TextWindowVisible = true;

  // The screen under the window is kept twice: as it is, to be put back by
  // ".thd 0", and with the window picture laid over it through its mask, as
  // the background the text is drawn on.
  gdi::Surface& screen = window_.Screen();
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
  window_.Refresh();
  return false;
}

// .thd MODE   (0 puts back the screen under the window)
bool TextWindow::Thd(CommandArgs& args) {
  const int32_t n = args.Integer(0);
  if (n == 0) {
    ToScreen(s_.PicTextSave, s_.WindowX, s_.WindowY, s_.PicTextSave.Width(),
             s_.PicTextSave.Height());
    window_.Refresh();
  }
  s_.TextWindowVisible = false;
  return false;
}

// .tsp DELAY [FAST]
bool TextWindow::Tsp(CommandArgs& args) {
  s_.TypingDelay = args.Integer(0);
  if (args.Given(1)) s_.FastTypingDelay = args.Integer(1);
  // Text typed at no delay reaches the screen before typing slows down.
  if (ApplicableDelay() != 0 && s_.ShowRestAtOnce) {
    s_.ShowRestAtOnce = false;
    PresentCanvas();
  }
  return false;
}

// .tmd MODE
bool TextWindow::Tmd(CommandArgs& args) {
  const int32_t mode = args.Integer(0);
  if (s_.TextMode == 1 && mode == 0) {
    // Leaving the joining mode closes the open display line, even an empty
    // one, which then stays blank. In a full window the line that would be
    // closed is the one a scroll would open: scroll now, so that the blank
    // line shows there as it does anywhere else on the page and the line
    // number stays inside the window.
    if (s_.CurrentTextLine > s_.LastLineIndex) ScrollTextUp();
    LineCompleted(s_.CurrentTextLine);
    s_.CurrentTextLine = std::min(s_.CurrentTextLine + 1, s_.LastLineIndex + 1);
    if (hold_) {
      if (s_.HeldCurrentLine > s_.LastLineIndex) ScrollHeldUp();
      s_.HeldCurrentLine = std::min(s_.HeldCurrentLine + 1, s_.LastLineIndex + 1);
    }
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
  script_.ScriptError(message, false);
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
  files_.LoadPictureFile(name, &picture);
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

// .txt maxline LINES | space ... | canvas ... | font ...
bool TextWindow::Txt(CommandArgs& args) {
  const std::u16string_view form = args.Form();
  if (form == u"maxline") {
    if (!WindowEmpty()) {
      Refuse(u"「.txt maxline...」は「.tcl」が\r\nかかった状態でしか実行できません");
    }
    const int32_t count = args.Integer(0);
    if (count <= 0) Refuse(std::u16string(messages::kMaxlineNotPositive));
    if (count > kMaxLines) {
      Refuse(u"「.txt maxline」の引数は「" + ToDecimal(kMaxLines) +
             u"」より大きな値には設定出来ません");
    }
    s_.LastLineIndex = count - 1;
    // Every record is new: lines not yet begun are black until text starts
    // on them.
    s_.TextLines.assign(static_cast<size_t>(count), TextLine{});
    if (hold_) s_.HeldLines = s_.TextLines;
  } else if (form == u"space" || form == u"canvas") {
    TxtSpaceOrCanvas(args, form == u"space");
  } else if (form.starts_with(u"font")) {
    TxtFont(args);
  }
  // Unknown words change nothing; the print settings follow the window's
  // after every ".txt".
  printer_.ApplyTextFont();
  ForgetDrawnLines();
  return false;
}

// .txt space pic screen WIDTH HEIGHT | space pic PICTURE | space pos X Y
// .txt canvas pos X Y | canvas size WIDTH HEIGHT
void TextWindow::TxtSpaceOrCanvas(CommandArgs& args, bool space) {
  if (!WindowEmpty() || s_.TextWindowVisible) {
    Refuse(u"「.txt " + std::u16string(space ? u"space " : u"canvas ") +
           std::u16string(args.NextWord()) +
           u"...」は「.tcl」「.thd」が\r\nかかった状態でしか実行できません");
  }
  // The setting is read only now that the window may change.
  args.Choose();
  const std::u16string_view form = args.Form();
  if (form == u"space pic screen" || form == u"space pic") {
    if (form == u"space pic screen") {
      const int32_t w = CheckedSide(args.Integer(0), u"space pic screen");
      const int32_t h = CheckedSide(args.Integer(1), u"space pic screen");
      s_.WindowPicture = {u"", w, h};
      MakeWindowPicture();
    } else {
      const std::u16string& name = args.Text(0);
      LoadMaskedPicture(name, PicTextBmp, PicTextMBmp, kMaxWindowSide, kMaxWindowSide);
      s_.WindowPicture = {name, 0, 0};
    }
    s_.PicTextSave.Resize(PicTextBmp.Width(), PicTextBmp.Height());
    s_.PicTextSpace.Resize(PicTextBmp.Width(), PicTextBmp.Height());
  } else if (form == u"space pos" || form == u"canvas pos") {
    const int32_t x = args.Integer(0);
    const int32_t y = args.Integer(1);
    if (space) {
      s_.WindowX = x;
      s_.WindowY = y;
    } else {
      s_.CanvasX = x;
      s_.CanvasY = y;
    }
  } else if (form == u"canvas size") {
    const int32_t w = CheckedSide(args.Integer(0), u"canvas size");
    const int32_t h = CheckedSide(args.Integer(1), u"canvas size");
    s_.PicTextCanvas.Resize(w, h);
  }
}

// .txt font name FACE | font size|style|spacing|leading|offset|edge VALUE
// .txt font color WHICH COLOUR
void TextWindow::TxtFont(CommandArgs& args) {
  const std::u16string_view form = args.Form();
  if ((form == u"font name" || form == u"font value") && !WindowEmpty()) {
    Refuse(u"「.txt font " + args.WrittenKeyword(1) +
           u"...」は「.tcl」が\r\nかかった状態でしか実行できません");
  }
  if (form == u"font name") {
    // The whole rest of the line, blanks included, as written.
    s_.Canvas.font.face = args.Text(0);
  } else if (form == u"font value") {
    const std::u16string_view setting = args.Keyword(1);
    const int32_t value = args.Integer(0);
    if (setting == u"size") {
      s_.Canvas.font.height = value;
    } else if (setting == u"style") {
      if (value >= 0 && value <= 3) {
        s_.Canvas.font.bold = (value & 1) != 0;
        s_.Canvas.font.italic = (value & 2) != 0;
      }
    } else if (setting == u"spacing") {
      s_.CharacterSpacing = value;
      s_.Canvas.char_extra = s_.CharacterSpacing;
    } else if (setting == u"leading") {
      s_.Leading = value;
    } else if (setting == u"offset") {
      s_.ShadowOffset = value;
    } else if (setting == u"edge") {
      s_.EdgeOn = value != 0;
    }
  } else if (form == u"font color") {
    const std::u16string& which = args.Text(0);
    if ((which == u"usual" || which == u"usualshadow" || which == u"shadow") && !AtLineStart()) {
      Refuse(u"「.txt font color " + args.Word(0) +
             u"...」は次に文字を表示する位置が\r\n行のはじめのときしか実行できません");
    }
    // The colour is read for every keyword, so a bad colour is reported
    // even after a keyword that sets nothing.
    const gdi::ColorRef colour = args.Colour(1);
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
