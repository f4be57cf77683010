#include "engine/text/text_window.h"

#include <algorithm>
#include <limits>

#include "engine/files/game_files.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/script/run_record.h"
#include "engine/state/game_state.h"
#include "engine/text/text_print.h"
#include "engine/vars/variables.h"
#include "platform/gdi/bitblt.h"
#include "platform/gdi/font.h"
#include "platform/host.h"

namespace tsumugi {

namespace {

constexpr char16_t kSampleText[] = u"サンプル";

// Kana, kanji and full-width forms: a line may break before any of them.
bool IsWide(char16_t c) { return c >= 0x2E80; }

}  // namespace

TextWindow::TextWindow(HostClock& clock, EventPump& events, HostWindow& window,
                       gdi::FontEngine& fonts, Catalogue& catalogue, Script& script,
                       ControlFlow& flow, Variables& vars, GameFiles& files, TextPrinter& printer,
                       RunRecord& record, const PlayerPace& pace, ButtonsState& buttons_state,
                       InputState& input_state, ScriptState& script_state,
                       TextWindowState& state)
    : clock_(clock),
      events_(events),
      window_(window),
      fonts_(fonts),
      catalogue_(catalogue),
      script_(script),
      flow_(flow),
      vars_(vars),
      files_(files),
      printer_(printer),
      record_(record),
      pace_(pace),
      buttons_state_(buttons_state),
      input_state_(input_state),
      script_state_(script_state),
      s_(state) {
  RebuildPictures();
}

void TextWindow::MakeWindowPicture() {
  const WindowPictureState& picture = s_.WindowPicture;
  if (picture.Name.empty()) {
    // A window without a picture: black picture, white mask, so that the
    // screen shows through everywhere.
    PicTextBmp = gdi::Surface(picture.BlankWidth, picture.BlankHeight, gdi::kBlack);
    PicTextMBmp = gdi::Surface(picture.BlankWidth, picture.BlankHeight, gdi::kWhite);
    PicTextMBmp.SetForeColor(gdi::kBlack);
  } else {
    LoadMaskedPicture(picture.Name, PicTextBmp, PicTextMBmp, kMaxWindowSide, kMaxWindowSide);
  }
}

void TextWindow::LoadMarkerPictures() {
  // Mask surfaces are white (transparent) until a picture is masked.
  for (gdi::Surface* picture : {&PicTcl, &PicMTcl, &PicClk, &PicMClk}) *picture = gdi::Surface();
  for (gdi::Surface* mask : {&PicMTcl, &PicMClk}) {
    mask->SetBackColor(gdi::kWhite);
    mask->SetForeColor(gdi::kBlack);
  }
  if (!s_.TclMarkerName.empty()) {
    LoadMaskedPicture(s_.TclMarkerName, PicTcl, PicMTcl, kMaxMarkerWidth, kMaxMarkerHeight);
  }
  if (!s_.ClkMarkerName.empty()) {
    LoadMaskedPicture(s_.ClkMarkerName, PicClk, PicMClk, kMaxMarkerWidth, kMaxMarkerHeight);
  }
}

void TextWindow::RebuildPictures() {
  MakeWindowPicture();
  LoadMarkerPictures();
  ForgetDrawnLines();
  // A state taken while the texts were shown otherwise may be put back
  // while they are not, and the other way round: the game's own lines are
  // kept exactly while the texts are shown otherwise.
  if (hold_ && s_.HeldLines.size() != s_.TextLines.size()) {
    s_.HeldLines = s_.TextLines;
    s_.HeldCurrentLine = s_.CurrentTextLine;
    s_.HeldSnapLines = s_.SnapLines;
    s_.HeldSnapLastLine = s_.SnapLastLine;
    s_.HeldSnapCurrentLine = s_.SnapCurrentLine;
  } else if (!hold_ && !s_.HeldLines.empty()) {
    s_.TextLines = std::move(s_.HeldLines);
    s_.CurrentTextLine = s_.HeldCurrentLine;
    if (!s_.HeldSnapLines.empty()) {
      s_.SnapLines = std::move(s_.HeldSnapLines);
      s_.SnapLastLine = s_.HeldSnapLastLine;
      s_.SnapCurrentLine = s_.HeldSnapCurrentLine;
    }
    s_.HeldLines.clear();
    s_.HeldSnapLines.clear();
  }
}

void TextWindow::ShowTextsOtherwise(TextTranslator translate, bool wrap_words) {
  translate_ = std::move(translate);
  wrap_words_ = wrap_words;
  hold_ = true;
  RebuildPictures();
}

const gdi::Font& TextWindow::GameFont() {
  if (!hold_) return s_.Canvas.Font(fonts_);
  if (!game_font_ || !(game_font_for_ == s_.Canvas.font)) {
    game_font_ = fonts_.GetFont(s_.Canvas.font);
    game_font_for_ = s_.Canvas.font;
  }
  return *game_font_;
}

// --- Measures ----------------------------------------------------------------

int TextWindow::SampleHeight() {
  return GameFont().Extent(kSampleText, s_.Canvas.char_extra).height;
}

int64_t TextWindow::LineTop(int64_t i) {
  return (int64_t{s_.Leading} + SampleHeight()) * i;
}

TextWindow::Reach TextWindow::LineReach(int64_t top) {
  const int height = SampleHeight();
  const int64_t edge = s_.EdgeOn ? 1 : 0;
  // Glyphs may reach a little beyond their cell (accents, slanted italics).
  const int64_t ink = height / 4 + 1;
  return {top - edge - std::max<int64_t>(0, -int64_t{s_.ShadowOffset}) - ink,
          top + height + edge + std::max<int64_t>(0, s_.ShadowOffset) + ink};
}

int32_t TextWindow::ApplicableDelay() const {
  return input_state_.FastForwardHeld() ? s_.FastTypingDelay : s_.TypingDelay;
}

bool TextWindow::LayingOutChoices() const {
  return input_state_.RunState == RunStateKind::kLayingOutChoices;
}

// --- Drawing ------------------------------------------------------------------

void TextWindow::ToScreen(const gdi::Surface& source, int x, int y, int w, int h) {
  gdi::BitBlt(window_.Screen(), x, y, w, h, source, 0, 0, gdi::kSrcCopy);
}

void TextWindow::EraseCanvas(int top, int height) {
  ForgetDrawnLines();
  const int width = s_.PicTextCanvas.Width();
  const int64_t sy = int64_t{s_.CanvasY} + top;
  // Parts of the canvas that lie beyond the window picture have no
  // background of their own: they become black rather than keep old text.
  const bool covered = s_.CanvasX >= 0 && sy >= 0 &&
                       int64_t{s_.CanvasX} + width <= s_.PicTextSpace.Width() &&
                       sy + height <= s_.PicTextSpace.Height();
  if (!covered) s_.PicTextCanvas.Fill(0, top, width, height, gdi::kBlack);
  gdi::BitBlt(s_.PicTextCanvas, 0, top, width, height, s_.PicTextSpace, s_.CanvasX,
              ClampCoordinate(sy), gdi::kSrcCopy);
}

void TextWindow::DrawLineOn(gdi::Surface& target, int i, int x, int64_t y64) {
  const TextLine& line = s_.TextLines[static_cast<size_t>(i)];
  const std::u16string text = Drawn(line.Text);
  const gdi::Font& font = s_.Canvas.Font(fonts_);
  const int extra = s_.Canvas.char_extra;
  const int y = ClampCoordinate(y64);
  if (s_.EdgeOn) {
    font.Draw(target, x, y - 1, text, line.ShadowColour, extra);
    font.Draw(target, x, y + 1, text, line.ShadowColour, extra);
    font.Draw(target, x - 1, y, text, line.ShadowColour, extra);
    font.Draw(target, x + 1, y, text, line.ShadowColour, extra);
  }
  // The shadow is drawn also at an offset of 0, where the glyphs cover it.
  font.Draw(target, ClampCoordinate(int64_t{x} + s_.ShadowOffset),
            ClampCoordinate(y64 + s_.ShadowOffset), text, line.ShadowColour, extra);
  font.Draw(target, x, y, text, line.TextColour, extra);
}

void TextWindow::RedrawBand(Reach reach, int64_t left64) {
  const gdi::Rect band = gdi::ClipEdges(left64, reach.top, s_.PicTextCanvas.Width(), reach.bottom,
                                        s_.PicTextCanvas.Bounds());
  if (band.Empty()) return;
  const int band_left = band.x;
  const int band_top = band.y;
  const int width = band.width;
  const int height = band.height;
  const int64_t top = band.y;
  const int64_t bottom = band.Bottom();

  // The area is composed aside and copied back, which clips every line to it.
  if (band_.Width() != width || band_.Height() != height) band_.Resize(width, height);
  const int64_t sx = int64_t{s_.CanvasX} + band_left;
  const int64_t sy = int64_t{s_.CanvasY} + band_top;
  const bool covered = sx >= 0 && sy >= 0 && sx + width <= s_.PicTextSpace.Width() &&
                       sy + height <= s_.PicTextSpace.Height();
  if (!covered) band_.Fill(0, 0, width, height, gdi::kBlack);
  gdi::BitBlt(band_, 0, 0, width, height, s_.PicTextSpace, ClampCoordinate(sx), ClampCoordinate(sy),
              gdi::kSrcCopy);

  // Every line reaches the same distance above and below its top.
  const int64_t line_height = int64_t{s_.Leading} + SampleHeight();
  const Reach reach0 = LineReach(0);
  for (int k = 0; k <= s_.LastLineIndex; ++k) {
    if (s_.TextLines[static_cast<size_t>(k)].Text.empty()) continue;
    const int64_t line_top = line_height * k;
    if (line_top + reach0.bottom <= top || line_top + reach0.top >= bottom) continue;
    // Drawn with the area's left edge as column 0.
    DrawLineOn(band_, k, -band_left, line_top - top);
  }
  gdi::BitBlt(s_.PicTextCanvas, band_left, band_top, width, height, band_, 0, 0, gdi::kSrcCopy);
}

TextWindow::DrawParams TextWindow::CurrentDrawParams() {
  return {s_.Canvas.font, s_.Canvas.char_extra, s_.Leading, s_.ShadowOffset,
          s_.EdgeOn,      s_.CanvasX,           s_.CanvasY};
}

bool TextWindow::DrawTextLine(int i, bool place_y) {
  if (i < 0 || i > s_.LastLineIndex) return false;
  const TextLine& line = s_.TextLines[static_cast<size_t>(i)];
  if (line.Text.empty()) return false;
  if (!place_y) {
    // Lines drawn while scrolling are drawn once each over an erased
    // canvas; those wholly outside it are passed over.
    ForgetDrawnLines();
    const Reach r = LineReach(s_.PenY);
    if (r.bottom <= 0 || r.top >= s_.PicTextCanvas.Height()) return false;
    DrawLineOn(s_.PicTextCanvas, i, 0, s_.PenY);
    return true;
  }
  s_.PenY = LineTop(i);

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
  if (drawn_.size() != s_.TextLines.size()) drawn_.assign(s_.TextLines.size(), DrawnLine{});
  DrawnLine& before = drawn_[static_cast<size_t>(i)];
  std::u16string text = Drawn(line.Text);
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
    const gdi::Font& font = s_.Canvas.Font(fonts_);
    // Ink of the new characters may reach left of their pen position
    // (slanted or overhanging glyphs, the edge, a shadow to the left).
    const int64_t reach_left = font.Height() / 2 + 2 + (s_.EdgeOn ? 1 : 0) +
                               std::max<int64_t>(0, -int64_t{s_.ShadowOffset}) +
                               std::max<int64_t>(0, -int64_t{s_.Canvas.char_extra});
    left = int64_t{font.Extent(before.text, s_.Canvas.char_extra).width} - reach_left;
  }
  RedrawBand(LineReach(s_.PenY), left);
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
  if (!s_.TextWindowVisible) return;
  ToScreen(s_.PicTextCanvas, ClampCoordinate(int64_t{s_.WindowX} + s_.CanvasX),
           ClampCoordinate(int64_t{s_.WindowY} + s_.CanvasY), s_.PicTextCanvas.Width(),
           s_.PicTextCanvas.Height());
  window_.Refresh();
}

void TextWindow::ScrollTextUp() {
  Script& script = script_;
  if (LayingOutChoices() && s_.TextLines[0].ChoiceNumber != 0) {
    script.ScriptError(u"選択肢をテキスト表示欄に表示しきれません", false);
  }
  for (int step = 1; step <= 4; ++step) {
    const uint32_t t0 = clock_.TimeGetTime();
    // A step that takes no time and that no event can come between is
    // covered whole by the next one before anyone could see it: the canvas
    // and its place on the screen are drawn again completely.
    if (step < 4 && PacedDelay() / 8 == 0 && !events_.EventsDue()) {
      events_.DoEvents();
      continue;
    }
    EraseCanvas(0, s_.PicTextCanvas.Height());
    const int64_t line_height = int64_t{s_.Leading} + SampleHeight();
    int64_t pen = -(line_height * step) / 4;
    for (int i = 0; i <= s_.LastLineIndex; ++i) {
      if (step != 4 || i != 0) {
        s_.PenY = pen;
        DrawTextLine(i, false);
      }
      pen += SampleHeight() + int64_t{s_.Leading};
    }
    PresentCanvas();
    events_.DoEvents();
    const int32_t frame = PacedDelay() / 8;
    const int64_t elapsed = static_cast<int32_t>(clock_.TimeGetTime() - t0);
    if (elapsed < frame) clock_.Sleep(static_cast<uint32_t>(frame - elapsed));
  }
  for (int i = 0; i < s_.LastLineIndex; ++i) {
    s_.TextLines[static_cast<size_t>(i)] = std::move(s_.TextLines[static_cast<size_t>(i) + 1]);
  }
  TextLine& last = s_.TextLines[static_cast<size_t>(s_.LastLineIndex)];
  last.Text.clear();
  last.ChoiceNumber = 0;
  s_.CurrentTextLine = s_.LastLineIndex;
}

// --- Typing -------------------------------------------------------------------

void TextWindow::ShowTextLine() {
  Script& script = script_;
  std::optional<std::u16string> translated;
  if (translate_) translated = translate_(script_state_.CurrentLine);
  script_state_.CurrentLine = vars_.ExpandText(std::move(script_state_.CurrentLine));
  if (hold_) {
    HoldText(script_state_.CurrentLine);
    if (translated) script_state_.CurrentLine = std::move(*translated);
  }
  std::u16string& rest = script_state_.CurrentLine;
  // A line number restored from elsewhere (a save file) must not point
  // outside the table.
  s_.CurrentTextLine = std::clamp(s_.CurrentTextLine, 0, s_.LastLineIndex + 1);
  typed_from_ = {script_state_.CurrentFile, script_state_.CurrentLineNumber};
  bool typed_at_once = false;
  if (!LayingOutChoices()) record_.TextBegins(typed_from_.first, typed_from_.second);

  for (;;) {
    const uint32_t t0 = clock_.TimeGetTime();
    if (s_.CurrentTextLine > s_.LastLineIndex) {
      s_.ShowRestAtOnce = false;
      PresentCanvas();
      // In text mode 1 an empty text joins the next one and must not scroll
      // a full window. A choice line always takes a display line of its
      // own, whatever the text mode, so it scrolls.
      if (rest.empty() && s_.TextMode == 1 && !LayingOutChoices()) break;
      ScrollTextUp();
    }
    TextLine& line = s_.TextLines[static_cast<size_t>(s_.CurrentTextLine)];
    if (line.Text.empty()) {
      if (LayingOutChoices()) {
        line.ChoiceNumber = s_.ChoiceCounter;
        line.TextColour = s_.NotSelectedColour;
        line.ShadowColour = s_.NotSelectedShadowColour;
      } else {
        line.TextColour = s_.UsualColour;
        line.ShadowColour = s_.UsualShadowColour;
      }
    }
    // Skipping types at once without the window keeping it so.
    typed_at_once |= PacedDelay() == 0 && ApplicableDelay() != 0;
    const bool draw_whole_lines = s_.ShowRestAtOnce || LayingOutChoices() || typed_at_once;
    if (rest.empty()) {
      if (draw_whole_lines) DrawTextLine(s_.CurrentTextLine, true);
      break;
    }
    if (rest.starts_with(u"\\n")) {
      rest.erase(0, 2);
      if (draw_whole_lines) DrawTextLine(s_.CurrentTextLine, true);
      LineCompleted(s_.CurrentTextLine);
      ++s_.CurrentTextLine;
      continue;
    }

    if (wrap_words_) {
      const WordBreak at = BreakBetweenWords(line, rest);
      if (at != WordBreak::kNone) {
        // The spaces at a break end the line unseen.
        if (at == WordBreak::kAtSpace) rest.erase(0, rest.find_first_not_of(u' '));
        if (draw_whole_lines) DrawTextLine(s_.CurrentTextLine, true);
        LineCompleted(s_.CurrentTextLine);
        ++s_.CurrentTextLine;
        continue;
      }
    }
    const char16_t ch = rest[0];
    const gdi::Font& font = s_.Canvas.Font(fonts_);
    const int64_t width = font.Extent(Drawn(line.Text + ch), s_.Canvas.char_extra).width;
    if (width - s_.CharacterSpacing > s_.PicTextCanvas.Width()) {
      if (line.Text.empty()) {
        script.ScriptError(
            u"テキストキャンバスの幅が狭い、もしくはフォントが大きすぎるため文字の表示が出来ません",
            false);
      }
      if (draw_whole_lines) DrawTextLine(s_.CurrentTextLine, true);
      LineCompleted(s_.CurrentTextLine);
      ++s_.CurrentTextLine;
      continue;
    }

    rest.erase(0, 1);
    line.Text += ch;
    if (!LayingOutChoices()) ++chars_typed_;
    events_.DoEvents();
    if (ApplicableDelay() == 0) s_.ShowRestAtOnce = true;
    const int32_t delay = PacedDelay();
    if (s_.ShowRestAtOnce || LayingOutChoices() || delay == 0) continue;
    DrawTextLine(s_.CurrentTextLine, true);
    PresentCanvas();
    // Every character costs at least the delay, measured from the start of
    // its pass, so the drawing time is part of it.
    const int64_t elapsed = static_cast<int32_t>(clock_.TimeGetTime() - t0);
    if (elapsed < delay) clock_.Sleep(static_cast<uint32_t>(delay - elapsed));
  }
  if (typed_at_once && !s_.ShowRestAtOnce && s_.TextWindowVisible) PresentCanvas();
  if (LayingOutChoices() || s_.TextMode == 0) {
    // In text mode 1 the line stays open for the next text.
    if (s_.CurrentTextLine <= s_.LastLineIndex) LineCompleted(s_.CurrentTextLine);
    s_.CurrentTextLine = std::min(s_.CurrentTextLine + 1, s_.LastLineIndex + 1);
  }
}

void TextWindow::LineCompleted(int index) {
  const TextLine& line = s_.TextLines[static_cast<size_t>(index)];
  // Choices are laid out, not typed.
  if (line.ChoiceNumber != 0 || LayingOutChoices()) return;
  record_.TextShown(typed_from_.first, typed_from_.second, Drawn(line.Text));
}

TextWindow::WordBreak TextWindow::BreakBetweenWords(const TextLine& line,
                                                    std::u16string_view rest) {
  if (rest.starts_with(u"\\n")) return WordBreak::kNone;
  const gdi::Font& font = s_.Canvas.Font(fonts_);
  const int extra = s_.Canvas.char_extra;
  // The test of a character that may not be typed: its line would be wider
  // than the canvas.
  const int64_t room = int64_t{s_.PicTextCanvas.Width()} + s_.CharacterSpacing;
  const auto width = [&](std::u16string_view text) {
    return int64_t{font.Extent(Drawn(text), extra).width};
  };
  if (rest[0] == u' ') return width(line.Text + u' ') > room ? WordBreak::kAtSpace : WordBreak::kNone;
  // Inside a word the line may not break.
  if (line.Text.empty()) return WordBreak::kNone;
  const char16_t before = line.Text.back();
  if (before != u' ' && before != u'-' && !IsWide(before) && !IsWide(rest[0])) {
    return WordBreak::kNone;
  }
  // The word: up to a space, a line break or a full-width character, or
  // through a hyphen; a full-width character is a word of its own.
  size_t n = 1;
  if (!IsWide(rest[0])) {
    while (n < rest.size() && rest[n - 1] != u'-' && rest[n] != u' ' && !IsWide(rest[n]) &&
           !rest.substr(n).starts_with(u"\\n")) {
      ++n;
    }
  }
  const std::u16string_view word = rest.substr(0, n);
  if (width(line.Text + std::u16string(word)) <= room) return WordBreak::kNone;
  // The word starts the next line; one longer than a whole line breaks
  // there between its characters.
  return WordBreak::kBeforeWord;
}

void TextWindow::ScrollHeldUp() {
  std::vector<TextLine>& lines = s_.HeldLines;
  for (int i = 0; i < s_.LastLineIndex; ++i) {
    lines[static_cast<size_t>(i)] = std::move(lines[static_cast<size_t>(i) + 1]);
  }
  TextLine& last = lines[static_cast<size_t>(s_.LastLineIndex)];
  last.Text.clear();
  last.ChoiceNumber = 0;
  s_.HeldCurrentLine = s_.LastLineIndex;
}

void TextWindow::HoldText(std::u16string_view text) {
  // The same steps as ShowTextLine's, without drawing or waiting; a
  // character too wide for an empty line (which the game reports) is held
  // there all the same.
  std::vector<TextLine>& lines = s_.HeldLines;
  int32_t& current = s_.HeldCurrentLine;
  current = std::clamp(current, 0, s_.LastLineIndex + 1);
  const gdi::Font& font = GameFont();
  const bool choices = LayingOutChoices();
  size_t at = 0;
  for (;;) {
    if (current > s_.LastLineIndex) {
      if (at == text.size() && s_.TextMode == 1 && !choices) break;
      ScrollHeldUp();
    }
    TextLine& line = lines[static_cast<size_t>(current)];
    if (line.Text.empty()) {
      line.ChoiceNumber = choices ? s_.ChoiceCounter : line.ChoiceNumber;
      line.TextColour = choices ? s_.NotSelectedColour : s_.UsualColour;
      line.ShadowColour = choices ? s_.NotSelectedShadowColour : s_.UsualShadowColour;
    }
    if (at == text.size()) break;
    if (text.substr(at).starts_with(u"\\n")) {
      at += 2;
      ++current;
      continue;
    }
    const char16_t ch = text[at];
    if (!line.Text.empty() &&
        int64_t{font.Extent(AsDrawn(line.Text + ch), s_.Canvas.char_extra).width} -
                s_.CharacterSpacing >
            s_.PicTextCanvas.Width()) {
      ++current;
      continue;
    }
    line.Text += ch;
    ++at;
  }
  if (choices || s_.TextMode == 0) current = std::min(current + 1, s_.LastLineIndex + 1);
}


}  // namespace tsumugi
