// Picture buttons: ".btn" defines them and skips their branches, "bsw"
// shows them, "bhd" takes them away, ".btn exit" returns to the page a
// taken button kept; Timer4 follows a held button between its pressed and
// normal looks.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "engine/state/game_state.h"
#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"

namespace tsumugi {

class CommandArgs;
class ControlFlow;
class HostWindow;
class GameFiles;
class RunRecord;
class Script;
class TextWindow;
class Variables;

class Buttons {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Btn(CommandArgs& args);
  bool Bsw(CommandArgs& args);
  bool Bhd(CommandArgs& args);

  // Most buttons one ".btn" block may define, and most pixels all their
  // pictures may have together (sixteen screens): far beyond any menu bar,
  // small enough that a runaway definition list cannot exhaust memory.
  static constexpr int kMaxButtons = 256;
  static constexpr int64_t kMaxTotalPixels = int64_t{16} * gdi::kScreenWidth * gdi::kScreenHeight;

  // Registers ".btn", ".bsw" and ".bhd".
  Buttons(HostWindow& window, Script& script, ControlFlow& flow, Variables& vars, GameFiles& files,
          TextWindow& text, RunRecord& record, ScriptState& script_state, ButtonsState& state);

  int32_t ButtonCount() const { return static_cast<int32_t>(s_.Buttons.size()); }

  // Whether (px, py) on the screen presses button n: inside its rectangle,
  // on a black pixel of its hit map, or without one on an opaque pixel of
  // its normal picture.
  bool HitButton(int32_t n, int64_t px, int64_t py) const;
  // The button a press at (px, py) takes: the last one hit, 0 for none.
  int32_t ButtonAt(int64_t px, int64_t py) const;
  // The point of the screen a player presses to take button n: the point
  // of its hit area nearest the area's centre that takes it (no later
  // button covers it); none when no point does.
  std::optional<Point> ButtonPoint(int32_t n) const;
  // Button n over the screen under it, in its normal or pressed look.
  void DrawButtonUp(int32_t n);
  void DrawButtonDown(int32_t n);
  // Button n was taken: its memory keeps the page snapshot, and the reading
  // position goes back to the line that ended the definitions, from where
  // the branch search starts.
  void EnterButtonBlock(int32_t n);
  // Timer4: the held button follows the pointer.
  void TrackTick();

  // Loads the pictures of the buttons the state defines again: after the
  // state was put back.
  void RebuildPictures();

 private:
  // The pictures of a button, made from the names its state holds.
  struct Pictures {
    // The normal picture gives the button its size everywhere.
    gdi::Surface PicBtnUp;
    gdi::Surface PicMBtnUp;
    gdi::Surface PicBtnDown;
    gdi::Surface PicMBtnDown;
    // The hit map; empty when the button has none.
    gdi::Surface PicBtnCM;
  };

  // Reads a definition line: the names, then the pictures loaded.
  void DefineButton(ButtonState& button, Pictures& pictures);
  void LoadMasked(const std::u16string& name, gdi::Surface& picture, gdi::Surface& mask);
  void LoadHitMap(const std::u16string& name, gdi::Surface& map);
  // Button n, or nullptr when there is none of that number.
  const ButtonState* Find(int32_t n) const;
  void Draw(int32_t n, bool pressed);

  HostWindow& window_;
  Script& script_;
  ControlFlow& flow_;
  Variables& vars_;
  GameFiles& files_;
  TextWindow& text_;
  RunRecord& record_;
  ScriptState& script_state_;
  ButtonsState& s_;
  std::vector<Pictures> pictures_;
  // Pixels of the pictures of the list being defined.
  int64_t total_pixels_ = 0;
};

}  // namespace tsumugi
