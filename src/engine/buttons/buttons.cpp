#include "engine/buttons/buttons.h"

#include "engine/engine.h"
#include "engine/messages.h"
#include "platform/gdi/bitblt.h"

namespace tsumugi {

Buttons::Buttons(Engine& engine) : e_(engine), s_(engine.state.buttons) {
  Script& script = e_.script;
  script.RegisterCommand(u"btn", [this](CommandArgs& args) { return Btn(args); });
  script.RegisterCommand(u"bsw", [this](CommandArgs& args) { return Bsw(args); });
  script.RegisterCommand(u"bhd", [this](CommandArgs& args) { return Bhd(args); });
}

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
  Script& script = e_.script;
  if (args.Form() == u"exit") {
    TextWindow& text = e_.text;
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
    if (!e_.state.script.CurrentLine.empty() && e_.state.script.CurrentLine[0] == u'.') break;
    if (ButtonCount() >= kMaxButtons) {
      script.ScriptError(std::u16string(messages::kTooManyButtons), false);
    }
    e_.record.LineRan(e_.state.script.CurrentFile, e_.state.script.CurrentLineNumber,
                      e_.state.script.CurrentLine);
    DefineButton(s_.Buttons.emplace_back(), pictures_.emplace_back());
  }
  s_.BlockEndFile = e_.state.script.CurrentFile;
  s_.BlockEndLine = e_.state.script.CurrentLineNumber;
  // The branches run only when their button is taken.
  e_.flow.SkipBlock();
  return false;
}

void Buttons::LoadMasked(const std::u16string& name, gdi::Surface& picture, gdi::Surface& mask) {
  e_.picture_files.LoadPictureFile(name, &picture);
  total_pixels_ += int64_t{picture.Width()} * picture.Height();
  if (total_pixels_ > kMaxTotalPixels) {
    e_.script.ScriptError(u"ボタンの画像が大きすぎます", false);
  }
  MakeMask(mask, picture);
}

void Buttons::LoadHitMap(const std::u16string& name, gdi::Surface& map) {
  e_.picture_files.LoadPictureFile(name, &map);
  total_pixels_ += int64_t{map.Width()} * map.Height();
  if (total_pixels_ > kMaxTotalPixels) e_.script.ScriptError(u"ボタンの画像が大きすぎます", false);
}

void Buttons::DefineButton(ButtonState& b, Pictures& p) {
  Script& script = e_.script;
  Variables& vars = e_.vars;
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
  gdi::Surface& screen = e_.host.Screen();
  for (size_t i = 0; i < s_.Buttons.size(); ++i) {
    ButtonState& b = s_.Buttons[i];
    const Pictures& p = pictures_[i];
    const int w = p.PicBtnUp.Width();
    const int h = p.PicBtnUp.Height();
    gdi::BitBlt(b.PicBtnSave, 0, 0, w, h, screen, b.X, b.Y, gdi::kSrcCopy);
    gdi::BitBlt(screen, b.X, b.Y, w, h, p.PicMBtnUp, 0, 0, gdi::kSrcAnd);
    gdi::BitBlt(screen, b.X, b.Y, w, h, p.PicBtnUp, 0, 0, gdi::kSrcInvert);
  }
  e_.host.Refresh();
  return false;
}

// .bhd [KEEP]   0 (or nothing) puts back the screen under the buttons
bool Buttons::Bhd(CommandArgs& args) {
  if (args.Integer(0) == 0) {
    gdi::Surface& screen = e_.host.Screen();
    for (const ButtonState& b : s_.Buttons) {
      gdi::BitBlt(screen, b.X, b.Y, b.PicBtnSave.Width(), b.PicBtnSave.Height(), b.PicBtnSave, 0, 0,
                  gdi::kSrcCopy);
    }
    e_.host.Refresh();
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

void Buttons::Draw(int32_t n, bool pressed) {
  const ButtonState* b = Find(n);
  if (b == nullptr) return;
  const Pictures& p = pictures_[static_cast<size_t>(n) - 1];
  gdi::Surface& screen = e_.host.Screen();
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
  const Point pointer = e_.host.GetCursorPos();
  Draw(s_.PressedButton, HitButton(s_.PressedButton, pointer.x, pointer.y));
  e_.host.Refresh();
}

void Buttons::EnterButtonBlock(int32_t n) {
  const ButtonState* b = Find(n);
  if (b == nullptr) return;
  e_.text.StoreSnapshot(s_.ButtonMemories[static_cast<size_t>(b->MemoryNumber)]);
  e_.script.RewindScenario(s_.BlockEndFile);
  e_.flow.ReadLinesUntil(s_.BlockEndLine);
}

}  // namespace tsumugi
