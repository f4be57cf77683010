// The text window: text lines typed character by character into a table of
// display lines, the window picture and canvas they are drawn on, the text
// settings command ".txt", the window commands ".tsw", ".thd", ".tsp" and
// ".tmd", click waits with their blinking marker (".tcl", ".clk", ".mst"),
// timed pauses (".wat"), and the page snapshot and choice lines that the
// press handler works with.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/text/text_context.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"

namespace tsumugi {

class Engine;

// One display line of the window.
struct TextLine {
  // The characters already placed on this line.
  std::u16string Text;
  // 0 for an ordinary line; n >= 1 while the line shows choice n of a menu.
  int32_t ChoiceNumber = 0;
  gdi::ColorRef TextColour = gdi::kBlack;
  // Colour of the shadow and of the edge.
  gdi::ColorRef ShadowColour = gdi::kBlack;

  friend bool operator==(const TextLine&, const TextLine&) = default;
};

// Display lines a page snapshot and a page memory hold.
inline constexpr int kMemoryLines = 64;
// Slots of each memory table (call, recall and button memories).
inline constexpr int kMemoryCount = 10;

// A page of the text window kept to return to: where the scenario stood at
// a wait and the display lines the window showed. Recall points and picture
// buttons keep ten each; save files write and read them back.
struct PageMemory {
  // Scenario file number; 0 while the memory is empty.
  int32_t File = 0;
  // The line after which the scenario resumes.
  int32_t Line = 0;
  // Index of the last stored display line; -1 when none is stored.
  int32_t LastLine = -1;
  // The CurrentTextLine to restore.
  int32_t CurrentLine = 0;
  std::array<TextLine, kMemoryLines> Lines;

  friend bool operator==(const PageMemory&, const PageMemory&) = default;
};
using PageMemoryTable = std::array<PageMemory, kMemoryCount>;

class TextWindow {
 public:
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
  static constexpr int kMaxMarkerWidth = 640;
  static constexpr int kMaxMarkerHeight = 480;

  // Registers the commands of the text window.
  explicit TextWindow(Engine& engine);

  // The start-up defaults of the window (the font is applied last).
  void Reset();

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
  // Shows the click marker of a kind (0: ".tcl", 1: ".clk") and starts its
  // blinking.
  void ShowClickMarker(int kind);
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
  int64_t LineHeight() { return int64_t{SampleHeight()} + Leading; }
  // The canvas font as set by ".txt font".
  TextContext& CanvasContext() { return canvas_; }

  // --- Display lines -------------------------------------------------------
  std::vector<TextLine> TextLines;
  int32_t LastLineIndex = 13;
  // The line that receives the next character; LastLineIndex + 1 when the
  // window is full and the next character first scrolls.
  int32_t CurrentTextLine = 0;

  // --- Settings --------------------------------------------------------------
  int32_t TypingDelay = 200;
  int32_t FastTypingDelay = 1;
  bool ShowRestAtOnce = false;
  // Kept across ResetEngine: 0 at the engine's start only.
  int32_t TextMode = 0;
  int32_t Leading = 0;
  int32_t CharacterSpacing = 0;
  int32_t ShadowOffset = 2;
  bool EdgeOn = false;
  gdi::ColorRef UsualColour = gdi::kWhite;
  gdi::ColorRef SelectedColour = gdi::kWhite;
  gdi::ColorRef NotSelectedColour = 0x808080;
  gdi::ColorRef UsualShadowColour = gdi::kBlack;
  gdi::ColorRef SelectedShadowColour = gdi::kBlack;
  gdi::ColorRef NotSelectedShadowColour = gdi::kBlack;
  bool TextWindowVisible = false;
  int32_t ChoiceCounter = 0;

  int32_t WindowX = 0;
  int32_t WindowY = 0;
  int32_t CanvasX = 0;
  int32_t CanvasY = 0;

  // --- Surfaces --------------------------------------------------------------
  gdi::Surface PicTextCanvas;
  gdi::Surface PicTextSpace;
  gdi::Surface PicTextBmp;
  gdi::Surface PicTextMBmp;
  gdi::Surface PicTextSave;

  // --- Click marker ------------------------------------------------------------
  gdi::Surface PicTcl;
  gdi::Surface PicMTcl;
  gdi::Surface PicClk;
  gdi::Surface PicMClk;
  gdi::Surface PicMarkSave;
  gdi::Surface PicMarkWork;
  // 0 none; 1 after the text, moving to the next line when it does not fit;
  // 2 after the text; 3 at the offsets from the canvas; 4 at the offsets on
  // the screen. Not changed by ResetEngine.
  int32_t MarkerMode = 0;
  int32_t MarkerOffsetX = 0;
  int32_t MarkerOffsetY = 0;
  int32_t MarkerX = 0;
  int32_t MarkerY = 0;
  bool MarkerShown = false;

  // --- Page snapshot and recall ------------------------------------------------
  int32_t SnapFile = 0;
  int32_t SnapLine = 0;
  int32_t SnapCurrentLine = 0;
  int32_t SnapLastLine = -1;
  std::vector<TextLine> SnapLines{TextLine{}};

  // The recall point: 0 for none.
  int32_t RecallFile = 0;
  int32_t RecallLine = 0;
  int32_t RecallSlot = 0;
  PageMemoryTable RecallMemories;

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
  bool Slt();
  bool Rcl();
  bool Tcl();
  bool Clk();
  bool Mst();
  bool Tsw();
  bool Thd();
  bool Tsp();
  bool Tmd();
  bool Txt();
  void TxtSpaceOrCanvas(bool space);
  void TxtFont();

  // Marker and window helpers.
  void CommonWaitStart();
  // Loads a picture by name and builds its mask; a picture wider or taller
  // than the limits is refused.
  void LoadMaskedPicture(const std::u16string& name, gdi::Surface& picture, gdi::Surface& mask,
                         int max_width, int max_height);
  bool WindowEmpty() const;
  bool AtLineStart() const;
  int32_t ApplicableDelay() const;
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
  // Copies a rectangle of a surface to the screen.
  void ToScreen(const gdi::Surface& source, int x, int y, int w, int h);

  Engine& e_;
  TextContext canvas_;
  // The canvas pen position (CurrentY of the canvas).
  int64_t pen_y_ = 0;
  // Scratch surface of RedrawBand, kept to avoid an allocation per character.
  gdi::Surface band_;
  // Per display line; empty when nothing is known.
  std::vector<DrawnLine> drawn_;
  // The hover highlight has put the canvas of the waiting menu on the
  // screen at least once.
  bool hover_presented_ = false;
};

}  // namespace tsumugi
