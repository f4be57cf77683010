#include "engine/text/text_window.h"

#include <algorithm>
#include <limits>

#include "engine/engine.h"
#include "platform/gdi/bitblt.h"

namespace tsumugi {

namespace {

constexpr char16_t kSampleText[] = u"サンプル";

}  // namespace

TextWindow::TextWindow(Engine& engine) : e_(engine) {
  Script& script = e_.script;
  script.RegisterCommand(u"tcl", [this] { return Tcl(); });
  script.RegisterCommand(u"clk", [this] { return Clk(); });
  script.RegisterCommand(u"wat", [this] {
    WaitMilliseconds(e_.vars.ArgToInteger(e_.script.TakeArguments()));
    return false;
  });
  script.RegisterCommand(u"mst", [this] { return Mst(); });
  script.RegisterCommand(u"tsw", [this] { return Tsw(); });
  script.RegisterCommand(u"thd", [this] { return Thd(); });
  script.RegisterCommand(u"tsp", [this] { return Tsp(); });
  script.RegisterCommand(u"tmd", [this] { return Tmd(); });
  script.RegisterCommand(u"txt", [this] { return Txt(); });
  script.RegisterCommand(u"slt", [this] { return Slt(); });
  script.RegisterCommand(u"rcl", [this] { return Rcl(); });

  // Mask surfaces are white (transparent) until a picture is masked.
  for (gdi::Surface* mask : {&PicTextMBmp, &PicMTcl, &PicMClk}) {
    mask->SetBackColor(gdi::kWhite);
    mask->SetForeColor(gdi::kBlack);
  }
}

void TextWindow::Reset() {
  TextWindowVisible = false;
  WindowX = WindowY = CanvasX = CanvasY = 0;

  PicTextBmp = gdi::Surface(640, 480, gdi::kBlack);
  PicTextMBmp = gdi::Surface(640, 480, gdi::kWhite);
  PicTextMBmp.SetForeColor(gdi::kBlack);
  PicTextSave = gdi::Surface(640, 480, gdi::kBlack);
  PicTextSpace = gdi::Surface(640, 480, gdi::kBlack);
  PicTextCanvas = gdi::Surface(640, 480, gdi::kBlack);

  canvas_.font = gdi::LogFont{};
  canvas_.font.height = 32;
  canvas_.char_extra = CharacterSpacing;

  CurrentTextLine = 0;
  LastLineIndex = 13;
  TextLines.assign(static_cast<size_t>(LastLineIndex) + 1, TextLine{});
  TypingDelay = 200;
  FastTypingDelay = 1;
  ShadowOffset = 2;
  EdgeOn = false;
  UsualColour = gdi::kWhite;
  SelectedColour = gdi::kWhite;
  NotSelectedColour = 0x808080;
  UsualShadowColour = gdi::kBlack;
  SelectedShadowColour = gdi::kBlack;
  NotSelectedShadowColour = gdi::kBlack;

  e_.printer.ApplyTextFont();

  RecallFile = 0;
  SnapLastLine = -1;
  SnapLines.assign(1, TextLine{});
  for (PageMemory& memory : RecallMemories) memory.LastLine = -1;
}

// --- Measures ----------------------------------------------------------------

int TextWindow::SampleHeight() {
  return canvas_.Font(e_.fonts).Extent(kSampleText, canvas_.char_extra).height;
}

int64_t TextWindow::LineTop(int64_t i) {
  return (int64_t{Leading} + SampleHeight()) * i;
}

TextWindow::Reach TextWindow::LineReach(int64_t top) {
  const int height = SampleHeight();
  const int64_t edge = EdgeOn ? 1 : 0;
  // Glyphs may reach a little beyond their cell (accents, slanted italics).
  const int64_t ink = height / 4 + 1;
  return {top - edge - std::max<int64_t>(0, -int64_t{ShadowOffset}) - ink,
          top + height + edge + std::max<int64_t>(0, ShadowOffset) + ink};
}

int32_t TextWindow::ApplicableDelay() const {
  return e_.input.FastForwardHeld() ? FastTypingDelay : TypingDelay;
}

bool TextWindow::LayingOutChoices() const {
  return e_.input.RunState == RunStateKind::kLayingOutChoices;
}

// --- Drawing ------------------------------------------------------------------

void TextWindow::ToScreen(const gdi::Surface& source, int x, int y, int w, int h) {
  gdi::BitBlt(e_.host.Screen(), x, y, w, h, source, 0, 0, gdi::kSrcCopy);
}

void TextWindow::EraseCanvas(int top, int height) {
  ForgetDrawnLines();
  const int width = PicTextCanvas.Width();
  const int64_t sy = int64_t{CanvasY} + top;
  // Parts of the canvas that lie beyond the window picture have no
  // background of their own: they become black rather than keep old text.
  const bool covered = CanvasX >= 0 && sy >= 0 &&
                       int64_t{CanvasX} + width <= PicTextSpace.Width() &&
                       sy + height <= PicTextSpace.Height();
  if (!covered) PicTextCanvas.Fill(0, top, width, height, gdi::kBlack);
  gdi::BitBlt(PicTextCanvas, 0, top, width, height, PicTextSpace, CanvasX, ClampCoordinate(sy),
              gdi::kSrcCopy);
}

void TextWindow::DrawLineOn(gdi::Surface& target, int i, int x, int64_t y64) {
  const TextLine& line = TextLines[static_cast<size_t>(i)];
  const std::u16string text = AsDrawn(line.Text);
  const gdi::Font& font = canvas_.Font(e_.fonts);
  const int extra = canvas_.char_extra;
  const int y = ClampCoordinate(y64);
  if (EdgeOn) {
    font.Draw(target, x, y - 1, text, line.ShadowColour, extra);
    font.Draw(target, x, y + 1, text, line.ShadowColour, extra);
    font.Draw(target, x - 1, y, text, line.ShadowColour, extra);
    font.Draw(target, x + 1, y, text, line.ShadowColour, extra);
  }
  // The shadow is drawn also at an offset of 0, where the glyphs cover it.
  font.Draw(target, ClampCoordinate(int64_t{x} + ShadowOffset), ClampCoordinate(y64 + ShadowOffset),
            text, line.ShadowColour, extra);
  font.Draw(target, x, y, text, line.TextColour, extra);
}

void TextWindow::RedrawBand(Reach reach, int64_t left64) {
  const int64_t top = std::max<int64_t>(reach.top, 0);
  const int64_t bottom = std::min<int64_t>(reach.bottom, PicTextCanvas.Height());
  const int64_t left = std::clamp<int64_t>(left64, 0, PicTextCanvas.Width());
  const int width = PicTextCanvas.Width() - static_cast<int>(left);
  if (top >= bottom || width <= 0) return;
  const int band_left = static_cast<int>(left);
  const int band_top = static_cast<int>(top);
  const int height = static_cast<int>(bottom - top);

  // The area is composed aside and copied back, which clips every line to it.
  if (band_.Width() != width || band_.Height() != height) band_.Resize(width, height);
  const int64_t sx = int64_t{CanvasX} + band_left;
  const int64_t sy = int64_t{CanvasY} + band_top;
  const bool covered = sx >= 0 && sy >= 0 && sx + width <= PicTextSpace.Width() &&
                       sy + height <= PicTextSpace.Height();
  if (!covered) band_.Fill(0, 0, width, height, gdi::kBlack);
  gdi::BitBlt(band_, 0, 0, width, height, PicTextSpace, ClampCoordinate(sx), ClampCoordinate(sy),
              gdi::kSrcCopy);

  // Every line reaches the same distance above and below its top.
  const int64_t line_height = int64_t{Leading} + SampleHeight();
  const Reach reach0 = LineReach(0);
  for (int k = 0; k <= LastLineIndex; ++k) {
    if (TextLines[static_cast<size_t>(k)].Text.empty()) continue;
    const int64_t line_top = line_height * k;
    if (line_top + reach0.bottom <= top || line_top + reach0.top >= bottom) continue;
    // Drawn with the area's left edge as column 0.
    DrawLineOn(band_, k, -band_left, line_top - top);
  }
  gdi::BitBlt(PicTextCanvas, band_left, band_top, width, height, band_, 0, 0, gdi::kSrcCopy);
}

TextWindow::DrawParams TextWindow::CurrentDrawParams() {
  return {canvas_.font, canvas_.char_extra, Leading, ShadowOffset, EdgeOn, CanvasX, CanvasY};
}

bool TextWindow::DrawTextLine(int i, bool place_y) {
  if (i < 0 || i > LastLineIndex) return false;
  const TextLine& line = TextLines[static_cast<size_t>(i)];
  if (line.Text.empty()) return false;
  if (!place_y) {
    // Lines drawn while scrolling are drawn once each over an erased
    // canvas; those wholly outside it are passed over.
    ForgetDrawnLines();
    const Reach r = LineReach(pen_y_);
    if (r.bottom <= 0 || r.top >= PicTextCanvas.Height()) return false;
    DrawLineOn(PicTextCanvas, i, 0, pen_y_);
    return true;
  }
  pen_y_ = LineTop(i);

  // Drawing a line again over itself would not change a crisp glyph, but it
  // would darken the smoothed edges of anti-aliased ones with every typed
  // character. So the rows the line covers are restored from the window
  // background and every line reaching into them is drawn once more, in
  // order: the result is that of drawing each line once.
  //
  // When the canvas still shows this line as it was last drawn and the line
  // has only grown since, everything left of the new characters is already
  // what a redraw would give: only the columns from just before them need
  // it. That makes a typed character cost one or two glyphs, not a line.
  if (drawn_.size() != TextLines.size()) drawn_.assign(TextLines.size(), DrawnLine{});
  DrawnLine& before = drawn_[static_cast<size_t>(i)];
  std::u16string text = AsDrawn(line.Text);
  const DrawParams params = CurrentDrawParams();
  const bool same_look = before.valid && before.params == params &&
                         before.text_colour == line.TextColour &&
                         before.shadow_colour == line.ShadowColour;
  // Drawn again unchanged, the line would come out as the canvas already
  // shows it (every line that changed since was drawn again too, and so
  // repainted the rows it shares with this one): nothing to do. The hover
  // highlight of a menu draws every line every 10 ms and relies on this.
  if (same_look && text == before.text) return false;
  int64_t left = 0;
  if (same_look && text.size() > before.text.size() && text.starts_with(before.text)) {
    const gdi::Font& font = canvas_.Font(e_.fonts);
    // Ink of the new characters may reach left of their pen position
    // (slanted or overhanging glyphs, the edge, a shadow to the left).
    const int64_t reach_left = font.Height() / 2 + 2 + (EdgeOn ? 1 : 0) +
                               std::max<int64_t>(0, -int64_t{ShadowOffset}) +
                               std::max<int64_t>(0, -int64_t{canvas_.char_extra});
    left = int64_t{font.Extent(before.text, canvas_.char_extra).width} - reach_left;
  }
  RedrawBand(LineReach(pen_y_), left);
  // Lines redrawn in the band stay as they were recorded: the band shows
  // them as their own drawing did.
  DrawnLine& after = drawn_[static_cast<size_t>(i)];
  after.valid = true;
  after.text = std::move(text);
  after.text_colour = line.TextColour;
  after.shadow_colour = line.ShadowColour;
  after.params = params;
  return true;
}

void TextWindow::PresentCanvas() {
  if (!TextWindowVisible) return;
  ToScreen(PicTextCanvas, ClampCoordinate(int64_t{WindowX} + CanvasX),
           ClampCoordinate(int64_t{WindowY} + CanvasY), PicTextCanvas.Width(),
           PicTextCanvas.Height());
  e_.host.Refresh();
}

void TextWindow::ScrollTextUp() {
  Script& script = e_.script;
  Host& host = e_.host;
  if (LayingOutChoices() && TextLines[0].ChoiceNumber != 0) {
    script.ScriptError(u"選択肢をテキスト表示欄に表示しきれません", false);
  }
  for (int step = 1; step <= 4; ++step) {
    const uint32_t t0 = host.TimeGetTime();
    // A step that takes no time and that no event can come between is
    // covered whole by the next one before anyone could see it: the canvas
    // and its place on the screen are drawn again completely.
    if (step < 4 && ApplicableDelay() / 8 == 0 && !host.EventsDue()) {
      host.DoEvents();
      continue;
    }
    EraseCanvas(0, PicTextCanvas.Height());
    const int64_t line_height = int64_t{Leading} + SampleHeight();
    int64_t pen = -(line_height * step) / 4;
    for (int i = 0; i <= LastLineIndex; ++i) {
      if (step != 4 || i != 0) {
        pen_y_ = pen;
        DrawTextLine(i, false);
      }
      pen += SampleHeight() + int64_t{Leading};
    }
    PresentCanvas();
    host.DoEvents();
    const int32_t frame = ApplicableDelay() / 8;
    const int64_t elapsed = static_cast<int32_t>(host.TimeGetTime() - t0);
    if (elapsed < frame) host.Sleep(static_cast<uint32_t>(frame - elapsed));
  }
  for (int i = 0; i < LastLineIndex; ++i) {
    TextLines[static_cast<size_t>(i)] = std::move(TextLines[static_cast<size_t>(i) + 1]);
  }
  TextLine& last = TextLines[static_cast<size_t>(LastLineIndex)];
  last.Text.clear();
  last.ChoiceNumber = 0;
  CurrentTextLine = LastLineIndex;
}

// --- Typing -------------------------------------------------------------------

void TextWindow::ShowTextLine() {
  Script& script = e_.script;
  Host& host = e_.host;
  script.CurrentLine = e_.vars.ExpandText(std::move(script.CurrentLine));
  std::u16string& rest = script.CurrentLine;
  // A line number restored from elsewhere (a save file) must not point
  // outside the table.
  CurrentTextLine = std::clamp(CurrentTextLine, 0, LastLineIndex + 1);

  for (;;) {
    const uint32_t t0 = host.TimeGetTime();
    if (CurrentTextLine > LastLineIndex) {
      ShowRestAtOnce = false;
      PresentCanvas();
      // In text mode 1 an empty text joins the next one and must not scroll
      // a full window. A choice line always takes a display line of its
      // own, whatever the text mode, so it scrolls.
      if (rest.empty() && TextMode == 1 && !LayingOutChoices()) break;
      ScrollTextUp();
    }
    TextLine& line = TextLines[static_cast<size_t>(CurrentTextLine)];
    if (line.Text.empty()) {
      if (LayingOutChoices()) {
        line.ChoiceNumber = ChoiceCounter;
        line.TextColour = NotSelectedColour;
        line.ShadowColour = NotSelectedShadowColour;
      } else {
        line.TextColour = UsualColour;
        line.ShadowColour = UsualShadowColour;
      }
    }
    const bool draw_whole_lines = ShowRestAtOnce || LayingOutChoices();
    if (rest.empty()) {
      if (draw_whole_lines) DrawTextLine(CurrentTextLine, true);
      break;
    }
    if (rest.starts_with(u"\\n")) {
      rest.erase(0, 2);
      if (draw_whole_lines) DrawTextLine(CurrentTextLine, true);
      ++CurrentTextLine;
      continue;
    }

    const char16_t ch = rest[0];
    const gdi::Font& font = canvas_.Font(e_.fonts);
    const int64_t width = font.Extent(AsDrawn(line.Text + ch), canvas_.char_extra).width;
    if (width - CharacterSpacing > PicTextCanvas.Width()) {
      if (line.Text.empty()) {
        script.ScriptError(
            u"テキストキャンバスの幅が狭い、もしくはフォントが大きすぎるため文字の表示が出来ません",
            false);
      }
      if (draw_whole_lines) DrawTextLine(CurrentTextLine, true);
      ++CurrentTextLine;
      continue;
    }

    rest.erase(0, 1);
    line.Text += ch;
    host.DoEvents();
    const int32_t delay = ApplicableDelay();
    if (delay == 0) ShowRestAtOnce = true;
    if (ShowRestAtOnce || LayingOutChoices()) continue;
    DrawTextLine(CurrentTextLine, true);
    PresentCanvas();
    // Every character costs at least the delay, measured from the start of
    // its pass, so the drawing time is part of it.
    const int64_t elapsed = static_cast<int32_t>(host.TimeGetTime() - t0);
    if (elapsed < delay) host.Sleep(static_cast<uint32_t>(delay - elapsed));
  }
  if (LayingOutChoices() || TextMode == 0) {
    CurrentTextLine = std::min(CurrentTextLine + 1, LastLineIndex + 1);
  }
}

}  // namespace tsumugi
