// The text window: text lines typed character by character into a table of
// display lines, the window picture and canvas they are drawn on, the text
// settings command ".txt", the window commands ".tsw", ".thd", ".tsp" and
// ".tmd", click waits with their blinking marker (".tcl", ".clk", ".mst"),
// timed pauses (".wat"), and the page snapshot and choice lines that the
// press handler works with.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/state/game_state.h"
#include "engine/state/player_pace.h"
#include "engine/text/text_context.h"
#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"

namespace tsumugi {

class CommandArgs;
class Catalogue;
class ControlFlow;
class EventPump;
class HostClock;
class HostWindow;
class GameFiles;
class RunRecord;
class Script;
class TextPrinter;
class Variables;
namespace gdi {
class FontEngine;
}

class TextWindow {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Slt(CommandArgs& args);
  bool Rcl(CommandArgs& args);
  bool Tcl(CommandArgs& args);
  bool Clk(CommandArgs& args);
  bool Mst(CommandArgs& args);
  bool Tsw(CommandArgs& args);
  bool Thd(CommandArgs& args);
  bool Tsp(CommandArgs& args);
  bool Tmd(CommandArgs& args);
  bool Txt(CommandArgs& args);

  // Most display lines a window may have: far more than a 480-pixel screen
  // can show, few enough that a mistyped count cannot exhaust memory.
  static constexpr int kMaxLines = 1000;
  // Largest window or canvas side ".txt" accepts, in pixels: over three
  // screens wide. A window takes four surfaces of its size (its picture, the
  // mask, the window and the screen under it), so a 4096-pixel square one
  // would hold 256 MB for pixels that can never be on the screen.
  static constexpr int kMaxWindowSide = 2048;
  // A click marker is shown whole on the 640x480 screen or not at all: a
  // larger picture would only cost memory (six surfaces of its size).
  static constexpr int kMaxMarkerWidth = gdi::kScreenWidth;
  static constexpr int kMaxMarkerHeight = gdi::kScreenHeight;

  // Registers the commands of the text window.
  TextWindow(HostClock& clock, EventPump& events, HostWindow& window, gdi::FontEngine& fonts,
             Catalogue& catalogue, Script& script, ControlFlow& flow, Variables& vars,
             GameFiles& files, TextPrinter& printer, RunRecord& record, const PlayerPace& pace,
             ButtonsState& buttons_state, InputState& input_state, ScriptState& script_state,
             TextWindowState& state);

  // The game's texts are shown otherwise than the game lays them out: each
  // translated by `translate` (when set), broken between words with
  // `wrap_words`. The game's own layout of its own text is then kept beside
  // what is shown, for what the game writes of its pages.
  void ShowTextsOtherwise(TextTranslator translate, bool wrap_words);

  // --- Typing --------------------------------------------------------------
  // Types the script's CurrentLine (consumed to empty) into the window.
  void ShowTextLine();
  // Draws display line i on the canvas. With place_y the line goes to its
  // own top; otherwise it is drawn at the canvas pen position (scrolling).
  // False when nothing was drawn (no such line, an empty one, or one the
  // canvas already shows exactly as it would be drawn).
  bool DrawTextLine(int i, bool place_y);
  // Copies the canvas to the screen while the window is shown.
  void PresentCanvas();
  // Scrolls the window up by one display line, in four steps.
  void ScrollTextUp();

  // --- Waits and the marker ------------------------------------------------
  // The marker of each wait.
  enum class MarkerKind { kTextClick, kClick };  // ".tcl", ".clk"
  // Shows the click marker of a kind and starts its blinking.
  void ShowClickMarker(MarkerKind kind);
  // Stops the blinking and puts back the screen under the marker.
  void EraseClickMarker();
  // Clears the window: 0 at once, 1 by scrolling every line out; any other
  // mode leaves it. The next text starts on the first line.
  void ClearTextWindow(int32_t mode);
  // A pause of `milliseconds` that lets events run.
  void WaitMilliseconds(int32_t milliseconds);
  // Timer3: the marker's blink.
  void BlinkTick();

  // --- Page snapshot, choices and the recall point --------------------------
  // Keeps a copy of the page at a wait when something may return to it.
  void SnapshotPage();
  // Lays out the choice lines that follow ".slt" (and runs a ".0" block).
  void LayOutChoices();
  // The choice number under a point of the screen, 0 for none.
  int32_t ChoiceHitTest(float x, float y);
  // A point of the screen that takes choice n of the waiting menu (the
  // middle of its first hit row, near the start of the line); none when no
  // row of the window takes it.
  std::optional<Point> ChoicePoint(int32_t n);
  // Timer1: the choice under the pointer in the selected colours.
  void HoverTick();
  // Ends a choice wait: the taken choice (0 for none) in the selected
  // colours, the others not selected, all of them ordinary lines again.
  void EndChoiceWait(int32_t taken);
  // Stores the page snapshot in the recall slot and moves the reading
  // position back to the recall point.
  void ReturnToRecallPoint();
  // Copies the page snapshot into a memory.
  void StoreSnapshot(PageMemory& memory) const;
  // The memory of a number from a script; a number outside 0..9 and an
  // empty memory are reported.
  PageMemory& CheckedMemory(PageMemoryTable& table, int32_t number);
  // Goes back to a kept page: with `redraw` 1 the window shows its lines
  // again; the scenario resumes after its line, and unless `kind` is 1 the
  // waiting command there (a whole menu) is passed over.
  void ReturnToMemory(const PageMemory& memory, int32_t kind, int32_t redraw);

  // The height of "サンプル" in the canvas font, and with the leading.
  int SampleHeight();
  // Kept in 64 bits: the leading may be any 32-bit value a script gives.
  int64_t LineHeight() { return int64_t{SampleHeight()} + s_.Leading; }

  // Makes the pictures that come from files again from their names, and
  // forgets what the canvas was known to show: after the state was put
  // back. False, with the problem reported, when a picture cannot be made.
  void RebuildPictures();
  // Characters typed into the window since the engine began (auto mode
  // waits longer after more text).
  uint64_t CharsTyped() const { return chars_typed_; }

  // The window's picture and its mask, made from the state's
  // WindowPicture.
  const gdi::Surface& WindowPicture() const { return PicTextBmp; }
  const gdi::Surface& WindowMask() const { return PicTextMBmp; }

 private:
  // Rows of the canvas that drawing a line at `top` may touch.
  struct Reach {
    int64_t top;
    int64_t bottom;  // exclusive
  };
  // Everything besides its own record that decides how a line looks on the
  // canvas.
  struct DrawParams {
    gdi::LogFont font;
    int char_extra = 0;
    int32_t leading = 0;
    int32_t shadow_offset = 0;
    bool edge = false;
    int32_t canvas_x = 0;
    int32_t canvas_y = 0;
    friend bool operator==(const DrawParams&, const DrawParams&) = default;
  };
  // What the canvas shows of a display line since it was last drawn at its
  // own top, as long as nothing else changed the canvas under it.
  struct DrawnLine {
    bool valid = false;
    std::u16string text;  // as drawn
    gdi::ColorRef text_colour = 0;
    gdi::ColorRef shadow_colour = 0;
    DrawParams params;
  };

  // The commands.
  void TxtSpaceOrCanvas(CommandArgs& args, bool space);
  void TxtFont(CommandArgs& args);

  // Marker and window helpers.
  void CommonWaitStart();
  // Loads a picture by name and builds its mask; a picture wider or taller
  // than the limits is refused.
  void LoadMaskedPicture(const std::u16string& name, gdi::Surface& picture, gdi::Surface& mask,
                         int max_width, int max_height);
  bool WindowEmpty() const;
  bool AtLineStart() const;
  int32_t ApplicableDelay() const;
  // The same at the player's pace: what the player waits for. What the
  // window keeps follows the script's delay only.
  int32_t PacedDelay() const { return pace_.TypingDelay(ApplicableDelay()); }
  bool LayingOutChoices() const;
  [[noreturn]] void Refuse(const std::u16string& message);
  int32_t CheckedSide(int32_t value, const std::u16string& what);

  // Drawing helpers.
  int64_t LineTop(int64_t i);
  Reach LineReach(int64_t top);
  // The canvas rows [top, top + height) erased to the window background.
  void EraseCanvas(int top, int height);
  // Draws line i with its edge and shadow, its cell's top-left corner at
  // (x, y).
  void DrawLineOn(gdi::Surface& target, int i, int x, int64_t y);
  // Restores the canvas rows of `reach`, from column `left` to the right
  // edge, from the window background and draws again, clipped to that area,
  // every line that reaches into it.
  void RedrawBand(Reach reach, int64_t left);
  DrawParams CurrentDrawParams();
  // Forgets what the canvas shows: it was erased or drawn on otherwise.
  void ForgetDrawnLines() { drawn_.clear(); }
  // A display line is complete: it goes to the text log.
  void LineCompleted(int index);

  // Text as it is drawn: through the game's code page, as it always was,
  // unless the texts are shown otherwise (a translation has letters the
  // code page lacks).
  std::u16string Drawn(std::u16string_view text) const {
    return hold_ ? std::u16string(text) : AsDrawn(text);
  }
  // With words wrapped: the next character starts a word (or a full-width
  // character) that does not fit on the current line, so the line ends
  // before it; and a space that does not fit ends the line and is dropped.
  enum class WordBreak { kNone, kBeforeWord, kAtSpace };
  WordBreak BreakBetweenWords(const TextLine& line, std::u16string_view rest);
  // Types `text`, the game's own, into the game's own lines as the game
  // lays it out (at any character, in its own font), drawing nothing.
  void HoldText(std::u16string_view text);
  // Scrolls the game's own lines up by one.
  void ScrollHeldUp();
  // The game's own font, whose line height the window keeps whatever face
  // the text is drawn in, so that as many lines fit as the game laid out.
  const gdi::Font& GameFont();
  // Applies a change to the lines shown and to the game's own.
  template <typename Change>
  void ForEachTable(Change change) {
    change(s_.TextLines);
    if (hold_) change(s_.HeldLines);
  }
  // Copies a rectangle of a surface to the screen.
  void ToScreen(const gdi::Surface& source, int x, int y, int w, int h);

  // Makes the window picture and its mask from the state.
  void MakeWindowPicture();
  // Loads the marker pictures the state names (none for an empty name).
  void LoadMarkerPictures();

  HostClock& clock_;
  EventPump& events_;
  HostWindow& window_;
  gdi::FontEngine& fonts_;
  Catalogue& catalogue_;
  Script& script_;
  ControlFlow& flow_;
  Variables& vars_;
  GameFiles& files_;
  TextPrinter& printer_;
  RunRecord& record_;
  // The script line (file, number) of the text typed last, for the text
  // log.
  std::pair<int, int> typed_from_{0, 0};
  uint64_t chars_typed_ = 0;
  const PlayerPace& pace_;
  ButtonsState& buttons_state_;
  InputState& input_state_;
  ScriptState& script_state_;
  TextWindowState& s_;
  // Made from the state's names. The window picture and its mask (white:
  // the screen shows through).
  gdi::Surface PicTextBmp;
  gdi::Surface PicTextMBmp;
  // The pictures of the ".tcl" and ".clk" markers and their masks.
  gdi::Surface PicTcl;
  gdi::Surface PicMTcl;
  gdi::Surface PicClk;
  gdi::Surface PicMClk;
  // Scratch surface of RedrawBand, kept to avoid an allocation per character.
  gdi::Surface band_;
  // Per display line; empty when nothing is known.
  std::vector<DrawnLine> drawn_;
  // How the texts are shown when not as the game lays them out.
  TextTranslator translate_;
  bool wrap_words_ = false;
  // The game's own lines are kept apart (TextWindowState::HeldLines).
  bool hold_ = false;
  std::shared_ptr<const gdi::Font> game_font_;
  gdi::LogFont game_font_for_;
};

}  // namespace tsumugi
