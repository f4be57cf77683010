// Picture buttons: ".btn" defines them and skips their branches, "bsw"
// shows them, "bhd" takes them away, ".btn exit" returns to the page a
// taken button kept; Timer4 follows a held button between its pressed and
// normal looks.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/text/text_window.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

class Engine;

class Buttons {
 public:
  // Most buttons one ".btn" block may define, and most pixels all their
  // pictures may have together (sixteen screens): far beyond any menu bar,
  // small enough that a runaway definition list cannot exhaust memory.
  static constexpr int kMaxButtons = 256;
  static constexpr int64_t kMaxTotalPixels = int64_t{16} * 640 * 480;

  // Registers ".btn", ".bsw" and ".bhd".
  explicit Buttons(Engine& engine);

  void Reset();

  int32_t ButtonCount() const { return static_cast<int32_t>(buttons_.size()); }

  // Whether (px, py) on the screen presses button n: inside its rectangle,
  // on a black pixel of its hit map, or without one on an opaque pixel of
  // its normal picture.
  bool HitButton(int32_t n, int64_t px, int64_t py) const;
  // Button n over the screen under it, in its normal or pressed look.
  void DrawButtonUp(int32_t n);
  void DrawButtonDown(int32_t n);
  // Button n was taken: its memory keeps the page snapshot, and the reading
  // position goes back to the line that ended the definitions, from where
  // the branch search starts.
  void EnterButtonBlock(int32_t n);
  // Timer4: the held button follows the pointer.
  void TrackTick();

  // From "bsw" to "bhd": presses are tested against the buttons.
  bool ButtonsShown = false;
  // The button held down, 0 for none.
  int32_t PressedButton = 0;
  // The line that ended the last definition list.
  int32_t BlockEndFile = 0;
  int32_t BlockEndLine = 0;
  PageMemoryTable ButtonMemories;

 private:
  struct Button {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t MemoryNumber = 0;
    bool HasHitMap = false;
    // The normal picture gives the button its size everywhere.
    gdi::Surface PicBtnUp;
    gdi::Surface PicMBtnUp;
    gdi::Surface PicBtnDown;
    gdi::Surface PicMBtnDown;
    // The screen under the button when the buttons were shown.
    gdi::Surface PicBtnSave;
    gdi::Surface PicBtnCM;
  };

  bool Btn();
  bool Bsw();
  bool Bhd();
  void DefineButton(Button& button);
  void LoadMasked(const std::u16string& word, gdi::Surface& picture, gdi::Surface& mask);
  // Button n, or nullptr when there is none of that number.
  const Button* Find(int32_t n) const;
  void Draw(const Button& button, bool pressed);

  Engine& e_;
  std::vector<Button> buttons_;
  int64_t total_pixels_ = 0;
};

}  // namespace tsumugi
