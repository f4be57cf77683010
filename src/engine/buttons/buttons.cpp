#include "engine/buttons/buttons.h"

#include "engine/engine.h"
#include "platform/gdi/bitblt.h"

namespace tsumugi {

Buttons::Buttons(Engine& engine) : e_(engine) {
  Script& script = e_.script;
  script.RegisterCommand(u"btn", [this] { return Btn(); });
  script.RegisterCommand(u"bsw", [this] { return Bsw(); });
  script.RegisterCommand(u"bhd", [this] { return Bhd(); });
}

void Buttons::Reset() {
  PressedButton = 0;
  for (PageMemory& memory : ButtonMemories) memory.LastLine = -1;
}

const Buttons::Button* Buttons::Find(int32_t n) const {
  if (n < 1 || n > ButtonCount()) return nullptr;
  return &buttons_[static_cast<size_t>(n) - 1];
}

// --- Definitions ---------------------------------------------------------------------

// .btn
// NORMAL PRESSED [HITMAP] X Y MEMORY   one line per button
// .                                    the end of the list
// .1 ... .2 ... .                      the branches, each left with ".skp"
//
// .btn exit MEMORY MODE REDRAW         back to the page a taken button kept
bool Buttons::Btn() {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  script.DropCommandName();
  if (vars.ExpandText(script.NextArgument()) == u"exit") {
    TextWindow& text = e_.text;
    PageMemory& memory =
        text.CheckedMemory(ButtonMemories, vars.ArgToInteger(script.NextArgument()));
    const int32_t mode = vars.ArgToInteger(script.NextArgument());
    std::u16string rest = script.TakeRest();
    text.ReturnToMemory(memory, mode, vars.ArgToInteger(rest));
    return false;
  }

  buttons_.clear();
  total_pixels_ = 0;
  for (;;) {
    script.ReadScriptLine();
    if (!script.CurrentLine.empty() && script.CurrentLine[0] == u'.') break;
    if (ButtonCount() >= kMaxButtons) {
      script.ScriptError(u"ボタンは２５６個までしか定義できません", false);
    }
    e_.record.LineRan(script.CurrentFile, script.CurrentLineNumber, script.CurrentLine);
    DefineButton(buttons_.emplace_back());
  }
  BlockEndFile = script.CurrentFile;
  BlockEndLine = script.CurrentLineNumber;
  // The branches run only when their button is taken.
  e_.flow.SkipBlock();
  return false;
}

void Buttons::LoadMasked(const std::u16string& word, gdi::Surface& picture, gdi::Surface& mask) {
  e_.picture_files.LoadPictureFile(e_.vars.ExpandText(word), &picture);
  total_pixels_ += int64_t{picture.Width()} * picture.Height();
  if (total_pixels_ > kMaxTotalPixels) {
    e_.script.ScriptError(u"ボタンの画像が大きすぎます", false);
  }
  MakeMask(mask, picture);
}

void Buttons::DefineButton(Button& b) {
  Script& script = e_.script;
  Variables& vars = e_.vars;
  LoadMasked(script.NextArgument(), b.PicBtnUp, b.PicMBtnUp);
  LoadMasked(script.NextArgument(), b.PicBtnDown, b.PicMBtnDown);
  b.PicBtnSave = gdi::Surface(b.PicBtnUp.Width(), b.PicBtnUp.Height());
  // A third word that reads as a number is the position: no hit map.
  std::u16string word = script.NextArgument();
  b.HasHitMap = !vars.IsIntegerArgument(word);
  if (b.HasHitMap) {
    gdi::Surface& map = b.PicBtnCM;
    e_.picture_files.LoadPictureFile(vars.ExpandText(word), &map);
    total_pixels_ += int64_t{map.Width()} * map.Height();
    if (total_pixels_ > kMaxTotalPixels) script.ScriptError(u"ボタンの画像が大きすぎます", false);
    word = script.NextArgument();
  }
  b.X = vars.ArgToInteger(word);
  b.Y = vars.ArgToInteger(script.NextArgument());
  b.MemoryNumber = vars.ArgToInteger(script.NextArgument());
  if (b.MemoryNumber < 0 || b.MemoryNumber >= kMemoryCount) {
    script.ScriptError(u"メモリー番号が不正です", false);
  }
}

// --- Showing and hiding ------------------------------------------------------------------

bool Buttons::Bsw() {
  e_.script.TakeArguments();
  ButtonsShown = true;
  gdi::Surface& screen = e_.host.Screen();
  for (Button& b : buttons_) {
    const int w = b.PicBtnUp.Width();
    const int h = b.PicBtnUp.Height();
    gdi::BitBlt(b.PicBtnSave, 0, 0, w, h, screen, b.X, b.Y, gdi::kSrcCopy);
    gdi::BitBlt(screen, b.X, b.Y, w, h, b.PicMBtnUp, 0, 0, gdi::kSrcAnd);
    gdi::BitBlt(screen, b.X, b.Y, w, h, b.PicBtnUp, 0, 0, gdi::kSrcInvert);
  }
  e_.host.Refresh();
  return false;
}

// .bhd [KEEP]   0 (or nothing) puts back the screen under the buttons
bool Buttons::Bhd() {
  if (e_.vars.ArgToInteger(e_.script.TakeArguments()) == 0) {
    gdi::Surface& screen = e_.host.Screen();
    for (const Button& b : buttons_) {
      gdi::BitBlt(screen, b.X, b.Y, b.PicBtnUp.Width(), b.PicBtnUp.Height(), b.PicBtnSave, 0, 0,
                  gdi::kSrcCopy);
    }
    e_.host.Refresh();
  }
  ButtonsShown = false;
  return false;
}

// --- Presses ---------------------------------------------------------------------------------

bool Buttons::HitButton(int32_t n, int64_t px, int64_t py) const {
  const Button* b = Find(n);
  if (b == nullptr) return false;
  const int64_t x = px - b->X;
  const int64_t y = py - b->Y;
  if (x < 0 || y < 0 || x >= b->PicBtnUp.Width() || y >= b->PicBtnUp.Height()) return false;
  // A point beyond a smaller hit map reads as no colour at all: a miss.
  const gdi::Surface& map = b->HasHitMap ? b->PicBtnCM : b->PicMBtnUp;
  return map.GetPixel(static_cast<int>(x), static_cast<int>(y)) == gdi::kBlack;
}

void Buttons::Draw(const Button& b, bool pressed) {
  gdi::Surface& screen = e_.host.Screen();
  const int w = b.PicBtnUp.Width();
  const int h = b.PicBtnUp.Height();
  gdi::BitBlt(screen, b.X, b.Y, w, h, b.PicBtnSave, 0, 0, gdi::kSrcCopy);
  gdi::BitBlt(screen, b.X, b.Y, w, h, pressed ? b.PicMBtnDown : b.PicMBtnUp, 0, 0, gdi::kSrcAnd);
  gdi::BitBlt(screen, b.X, b.Y, w, h, pressed ? b.PicBtnDown : b.PicBtnUp, 0, 0, gdi::kSrcInvert);
}

void Buttons::DrawButtonUp(int32_t n) {
  if (const Button* b = Find(n)) Draw(*b, false);
}

void Buttons::DrawButtonDown(int32_t n) {
  if (const Button* b = Find(n)) Draw(*b, true);
}

void Buttons::TrackTick() {
  const Button* b = Find(PressedButton);
  if (b == nullptr) return;
  const Point pointer = e_.host.GetCursorPos();
  Draw(*b, HitButton(PressedButton, pointer.x, pointer.y));
  e_.host.Refresh();
}

void Buttons::EnterButtonBlock(int32_t n) {
  const Button* b = Find(n);
  if (b == nullptr) return;
  e_.text.StoreSnapshot(ButtonMemories[static_cast<size_t>(b->MemoryNumber)]);
  e_.script.RewindScenario(BlockEndFile);
  e_.flow.ReadLinesUntil(BlockEndLine);
}

}  // namespace tsumugi
