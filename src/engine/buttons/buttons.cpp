#include "engine/buttons/buttons.h"

#include "engine/files/game_files.h"
#include "engine/messages.h"
#include "engine/script/command_args.h"
#include "engine/script/control_flow.h"
#include "engine/script/reader.h"
#include "engine/script/run_record.h"
#include "engine/text/text_window.h"
#include "engine/vars/variables.h"
#include "platform/gdi/bitblt.h"
#include "platform/host.h"

namespace tsumugi {

Buttons::Buttons(HostWindow& window, Script& script, ControlFlow& flow, Variables& vars,
                 GameFiles& files, TextWindow& text, RunRecord& record, ScriptState& script_state,
                 ButtonsState& state)
    : window_(window),
      script_(script),
      flow_(flow),
      vars_(vars),
      files_(files),
      text_(text),
      record_(record),
      script_state_(script_state),
      s_(state) {}

const ButtonState* Buttons::Find(int32_t n) const {
  if (n < 1 || n > ButtonCount()) return nullptr;
  return &s_.Buttons[static_cast<size_t>(n) - 1];
}

// --- Definitions ---------------------------------------------------------------------

// .btn
// NORMAL PRESSED [HITMAP] X Y MEMORY   one line per button
// .                                    the end of the list
// .1 ... .2 ... .                      the branches, each left with ".skp"
//
// .btn exit MEMORY MODE REDRAW         back to the page a taken button kept
bool Buttons::Btn(CommandArgs& args) {
  Script& script = script_;
  if (args.Form() == u"exit") {
    TextWindow& text = text_;
    PageMemory& memory = text.CheckedMemory(s_.ButtonMemories, args.Integer(0));
    const int32_t mode = args.Integer(1);
    text.ReturnToMemory(memory, mode, args.Integer(2));
    return false;
  }

  s_.Buttons.clear();
  pictures_.clear();
  total_pixels_ = 0;
  for (;;) {
    script.ReadScriptLine();
    if (!script_state_.CurrentLine.empty() && script_state_.CurrentLine[0] == u'.') break;
    if (ButtonCount() >= kMaxButtons) {
      script.ScriptError(std::u16string(messages::kTooManyButtons), false);
    }
    record_.LineRan(script_state_.CurrentFile, script_state_.CurrentLineNumber,
                    script_state_.CurrentLine);
    DefineButton(s_.Buttons.emplace_back(), pictures_.emplace_back());
  }
  s_.BlockEndFile = script_state_.CurrentFile;
  s_.BlockEndLine = script_state_.CurrentLineNumber;
  // The branches run only when their button is taken.
  flow_.SkipBlock();
  return false;
}

void Buttons::LoadMasked(const std::u16string& name, gdi::Surface& picture, gdi::Surface& mask) {
  files_.LoadPictureFile(name, &picture);
  total_pixels_ += int64_t{picture.Width()} * picture.Height();
  if (total_pixels_ > kMaxTotalPixels) {
    script_.ScriptError(u"ボタンの画像が大きすぎます", false);
  }
  MakeMask(mask, picture);
}

void Buttons::LoadHitMap(const std::u16string& name, gdi::Surface& map) {
  files_.LoadPictureFile(name, &map);
  total_pixels_ += int64_t{map.Width()} * map.Height();
  if (total_pixels_ > kMaxTotalPixels) script_.ScriptError(u"ボタンの画像が大きすぎます", false);
}

void Buttons::DefineButton(ButtonState& b, Pictures& p) {
  Script& script = script_;
  Variables& vars = vars_;
  b.Normal = vars.ExpandText(script.NextArgument());
  LoadMasked(b.Normal, p.PicBtnUp, p.PicMBtnUp);
  b.Pressed = vars.ExpandText(script.NextArgument());
  LoadMasked(b.Pressed, p.PicBtnDown, p.PicMBtnDown);
  b.PicBtnSave = gdi::Surface(p.PicBtnUp.Width(), p.PicBtnUp.Height());
  // A third word that reads as a number is the position: no hit map.
  std::u16string word = script.NextArgument();
  if (!vars.IsIntegerArgument(word)) {
    b.HitMap = vars.ExpandText(word);
    LoadHitMap(b.HitMap, p.PicBtnCM);
    word = script.NextArgument();
  }
  b.X = vars.ArgToInteger(word);
  b.Y = vars.ArgToInteger(script.NextArgument());
  b.MemoryNumber = vars.ArgToInteger(script.NextArgument());
  if (b.MemoryNumber < 0 || b.MemoryNumber >= kMemoryCount) {
    script.ScriptError(std::u16string(messages::kBadMemoryNumber), false);
  }
}

void Buttons::RebuildPictures() {
  pictures_.clear();
  total_pixels_ = 0;
  for (const ButtonState& b : s_.Buttons) {
    Pictures& p = pictures_.emplace_back();
    LoadMasked(b.Normal, p.PicBtnUp, p.PicMBtnUp);
    LoadMasked(b.Pressed, p.PicBtnDown, p.PicMBtnDown);
    if (!b.HitMap.empty()) LoadHitMap(b.HitMap, p.PicBtnCM);
  }
}

// --- Showing and hiding ------------------------------------------------------------------

// .bsw
bool Buttons::Bsw(CommandArgs&) {
  s_.ButtonsShown = true;
  gdi::Surface& screen = window_.Screen();
  for (size_t i = 0; i < s_.Buttons.size(); ++i) {
    ButtonState& b = s_.Buttons[i];
    const Pictures& p = pictures_[i];
    const int w = p.PicBtnUp.Width();
    const int h = p.PicBtnUp.Height();
    gdi::BitBlt(b.PicBtnSave, 0, 0, w, h, screen, b.X, b.Y, gdi::kSrcCopy);
    gdi::BitBlt(screen, b.X, b.Y, w, h, p.PicMBtnUp, 0, 0, gdi::kSrcAnd);
    gdi::BitBlt(screen, b.X, b.Y, w, h, p.PicBtnUp, 0, 0, gdi::kSrcInvert);
  }
  window_.Refresh();
  return false;
}

// .bhd [KEEP]   0 (or nothing) puts back the screen under the buttons
bool Buttons::Bhd(CommandArgs& args) {
  if (args.Integer(0) == 0) {
    gdi::Surface& screen = window_.Screen();
    for (const ButtonState& b : s_.Buttons) {
      gdi::BitBlt(screen, b.X, b.Y, b.PicBtnSave.Width(), b.PicBtnSave.Height(), b.PicBtnSave, 0, 0,
                  gdi::kSrcCopy);
    }
    window_.Refresh();
  }
  s_.ButtonsShown = false;
  return false;
}

// --- Presses ---------------------------------------------------------------------------------

bool Buttons::HitButton(int32_t n, int64_t px, int64_t py) const {
  const ButtonState* b = Find(n);
  if (b == nullptr) return false;
  const Pictures& p = pictures_[static_cast<size_t>(n) - 1];
  const int64_t x = px - b->X;
  const int64_t y = py - b->Y;
  if (x < 0 || y < 0 || x >= p.PicBtnUp.Width() || y >= p.PicBtnUp.Height()) return false;
  // A point beyond a smaller hit map reads as no colour at all: a miss.
  const gdi::Surface& map = b->HitMap.empty() ? p.PicMBtnUp : p.PicBtnCM;
  return map.GetPixel(static_cast<int>(x), static_cast<int>(y)) == gdi::kBlack;
}

int32_t Buttons::ButtonAt(int64_t px, int64_t py) const {
  for (int32_t n = ButtonCount(); n >= 1; --n) {
    if (HitButton(n, px, py)) return n;
  }
  return 0;
}

std::optional<Point> Buttons::ButtonPoint(int32_t n) const {
  const ButtonState* b = Find(n);
  if (b == nullptr) return std::nullopt;
  const gdi::Surface& picture = pictures_[static_cast<size_t>(n) - 1].PicBtnUp;
  // The centre of the points that take the button, then the one of them
  // nearest it.
  int64_t sum_x = 0, sum_y = 0, count = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      if (ButtonAt(b->X + x, b->Y + y) != n) continue;
      sum_x += x;
      sum_y += y;
      ++count;
    }
  }
  if (count == 0) return std::nullopt;
  const int64_t cx = sum_x / count, cy = sum_y / count;
  std::optional<Point> best;
  int64_t best_distance = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      const int64_t distance = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (best && distance >= best_distance) continue;
      if (ButtonAt(b->X + x, b->Y + y) != n) continue;
      best = Point{static_cast<int>(b->X + x), static_cast<int>(b->Y + y)};
      best_distance = distance;
    }
  }
  return best;
}

void Buttons::Draw(int32_t n, bool pressed) {
  const ButtonState* b = Find(n);
  if (b == nullptr) return;
  const Pictures& p = pictures_[static_cast<size_t>(n) - 1];
  gdi::Surface& screen = window_.Screen();
  const int w = p.PicBtnUp.Width();
  const int h = p.PicBtnUp.Height();
  gdi::BitBlt(screen, b->X, b->Y, w, h, b->PicBtnSave, 0, 0, gdi::kSrcCopy);
  gdi::BitBlt(screen, b->X, b->Y, w, h, pressed ? p.PicMBtnDown : p.PicMBtnUp, 0, 0, gdi::kSrcAnd);
  gdi::BitBlt(screen, b->X, b->Y, w, h, pressed ? p.PicBtnDown : p.PicBtnUp, 0, 0, gdi::kSrcInvert);
}

void Buttons::DrawButtonUp(int32_t n) {
  Draw(n, false);
}

void Buttons::DrawButtonDown(int32_t n) {
  Draw(n, true);
}

void Buttons::TrackTick() {
  if (Find(s_.PressedButton) == nullptr) return;
  const Point pointer = window_.GetCursorPos();
  Draw(s_.PressedButton, HitButton(s_.PressedButton, pointer.x, pointer.y));
  window_.Refresh();
}

void Buttons::EnterButtonBlock(int32_t n) {
  const ButtonState* b = Find(n);
  if (b == nullptr) return;
  text_.StoreSnapshot(s_.ButtonMemories[static_cast<size_t>(b->MemoryNumber)]);
  script_.RewindScenario(s_.BlockEndFile);
  flow_.ReadLinesUntil(s_.BlockEndLine);
}

}  // namespace tsumugi
