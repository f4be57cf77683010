// The game's state: everything a running game is, as plain data, one
// structure per subsystem, every default written once, here.
//
// The subsystems read and write it (Engine::state); what they keep besides
// it (pictures loaded from files, realised fonts, decoders, scratch
// surfaces) is a cache that can be made again from it. So the state can be
// taken at a wait and put back, and a new game starts from a
// default-constructed one. Pictures that came from files are named here;
// what was drawn (the text canvas, the screen under windows, markers and
// buttons, the pages) is kept as pixels.
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/state/game_state.h"
#include "engine/text/text_context.h"
#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

// --- Script and input -------------------------------------------------------------

// The reading position.
struct ScriptState {
  // Catalogue index of the scenario being read (0: none yet).
  int32_t CurrentFile = 0;
  // Lines read from CurrentFile since it was last rewound; the first is 1.
  int32_t CurrentLineNumber = 0;
  // The line being executed; commands consume it word by word. At a wait it
  // holds what the waiting command left of its line.
  std::u16string CurrentLine;

  friend bool operator==(const ScriptState&, const ScriptState&) = default;
};

enum class RunStateKind : int16_t {
  kRunning = 0,
  kWaitTextClick = 1,
  kWaitTextClickOrRight = 2,
  kWaitClick = 3,
  kWaitClickOrRight = 4,
  kLayingOutChoices = 5,
  kWaitChoice = 6,
  kPlayingVideo = 7,
  kRunningChoiceBlock = 8,
};

struct InputState {
  RunStateKind RunState = RunStateKind::kRunning;
  // The state at the press that began a button press.
  RunStateKind SavedRunState = RunStateKind::kRunning;
  bool LeftHeld = false;
  bool RightHeld = false;
  bool ClickSkip = false;
  bool RightClickEnabled = true;
  bool RightClickReturns = false;
  bool EnterHeld = false;
  bool SpaceHeld = false;
  // The clear mode of the ".tcl" that waits: the rest of its line, read
  // when the click comes.
  std::u16string TclClearMode;

  // Waits of kind 1 pass without stopping while this holds.
  bool SkipTest() const {
    return (ClickSkip && LeftHeld) || (!RightClickReturns && RightClickEnabled && RightHeld);
  }
  // Typing and scrolling run at the fast pace while this holds.
  bool FastForwardHeld() const {
    return (ClickSkip && LeftHeld) || (RightClickEnabled && RightHeld);
  }

  friend bool operator==(const InputState&, const InputState&) = default;
};

// Slots of each memory table (call, recall and button memories).
inline constexpr int kMemoryCount = 10;
// Display lines a page snapshot and a page memory hold.
inline constexpr int kMemoryLines = 64;

// The place each ".sub" left from: the scenario file (0: never set) and the
// number of the ".sub" line in it.
struct CallMemoryState {
  std::array<int32_t, kMemoryCount> MemoryFile{};
  std::array<int32_t, kMemoryCount> MemoryLine{};

  friend bool operator==(const CallMemoryState&, const CallMemoryState&) = default;
};

// --- Variables ----------------------------------------------------------------------

inline constexpr int kFlagCount = 256;

struct VariableState {
  // The four predefined integers and those the configuration file
  // declares; sorted once declarations end.
  std::vector<std::u16string> IntegerNames{u"on", u"off", u"cx", u"cy"};
  std::vector<int32_t> IntegerValues{0, 0, 0, 0};
  std::vector<std::u16string> TextNames;
  std::vector<std::u16string> TextValues;
  std::array<bool, kFlagCount> Flags{};
  // The generator of ".rnd".
  std::mt19937 Random;

  friend bool operator==(const VariableState&, const VariableState&) = default;
};

// --- The text window ------------------------------------------------------------------

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
  // What the player saw of the page, when the game's texts are shown
  // otherwise than the game lays them out (a translation): Lines above are
  // the game's own, which save files keep. Empty otherwise, and after a
  // save file was read.
  std::vector<TextLine> Shown;
  int32_t ShownLastLine = -1;
  int32_t ShownCurrentLine = 0;

  friend bool operator==(const PageMemory&, const PageMemory&) = default;
};
using PageMemoryTable = std::array<PageMemory, kMemoryCount>;

// The picture of the text window: a blank one (a black picture whose mask
// lets the screen show through everywhere) of a size, or a picture file.
struct WindowPictureState {
  // Empty: blank.
  std::u16string Name;
  int32_t BlankWidth = gdi::kScreenWidth;
  int32_t BlankHeight = gdi::kScreenHeight;

  friend bool operator==(const WindowPictureState&, const WindowPictureState&) = default;
};

// Where ".mst" puts the click marker: its mode number plus one, kept as the
// script gave it. A number past the named ones leaves the marker where it
// was shown last.
enum class MarkerPlacement : int32_t {
  kNone = 0,
  kAfterTextWrapping = 1,  // after the text, on the next line when it does not fit
  kAfterText = 2,
  kFromCanvas = 3,  // at the offsets from the text canvas
  kOnScreen = 4,    // at the offsets on the screen
};

struct TextWindowState {
  // --- Display lines
  std::vector<TextLine> TextLines = std::vector<TextLine>(14);
  int32_t LastLineIndex = 13;
  // The line that receives the next character; LastLineIndex + 1 when the
  // window is full and the next character first scrolls.
  int32_t CurrentTextLine = 0;

  // --- Settings
  int32_t TypingDelay = 200;
  int32_t FastTypingDelay = 1;
  bool ShowRestAtOnce = false;
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
  // The canvas font as set by ".txt font".
  TextContext Canvas{gdi::LogFont{}, 0};
  // The canvas pen position (CurrentY of the canvas).
  int64_t PenY = 0;
  // The hover highlight has put the canvas of the waiting menu on the
  // screen at least once.
  bool HoverPresented = false;

  // --- The window's picture and what was drawn
  WindowPictureState WindowPicture;
  gdi::Surface PicTextCanvas{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};
  // The screen under the window with the window picture laid over it: the
  // background the text is drawn on.
  gdi::Surface PicTextSpace{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};
  // The screen under the window as it was, for ".thd 0".
  gdi::Surface PicTextSave{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};

  // --- The click marker
  // The pictures of ".tcl" and ".clk" waits; empty: none yet.
  std::u16string TclMarkerName;
  std::u16string ClkMarkerName;
  // The screen under the marker, and the screen with the marker over it.
  gdi::Surface PicMarkSave;
  gdi::Surface PicMarkWork;
  MarkerPlacement MarkerMode = MarkerPlacement::kNone;
  int32_t MarkerOffsetX = 0;
  int32_t MarkerOffsetY = 0;
  int32_t MarkerX = 0;
  int32_t MarkerY = 0;
  bool MarkerShown = false;

  // --- The page snapshot and the recall point
  int32_t SnapFile = 0;
  int32_t SnapLine = 0;
  int32_t SnapCurrentLine = 0;
  int32_t SnapLastLine = -1;
  std::vector<TextLine> SnapLines{TextLine{}};
  // While the game's texts are shown otherwise than the game lays them out
  // (a translation, lines broken between words), the display lines above
  // are what the player sees, and these are the game's own: its own text
  // broken at any character in its own font, as the game has always held
  // it. What the game writes of a page (save files) comes from these. Empty
  // otherwise.
  std::vector<TextLine> HeldLines;
  int32_t HeldCurrentLine = 0;
  std::vector<TextLine> HeldSnapLines;
  int32_t HeldSnapLastLine = -1;
  int32_t HeldSnapCurrentLine = 0;
  // The recall point: 0 for none.
  int32_t RecallFile = 0;
  int32_t RecallLine = 0;
  int32_t RecallSlot = 0;
  PageMemoryTable RecallMemories;

  friend bool operator==(const TextWindowState&, const TextWindowState&) = default;
};

// Printing onto the screen and the pages (".tpr"): its own copy of the text
// settings, and the font of every surface it prints on.
struct PrintState {
  int32_t PrintLeading = 0;
  int32_t PrintSpacing = 0;
  int32_t PrintShadowOffset = 2;
  gdi::ColorRef PrintColour = gdi::kWhite;
  gdi::ColorRef PrintShadowColour = gdi::kBlack;
  bool PrintEdgeOn = false;
  // 0 left, 1 centred, 2 right.
  int32_t PrintAlign = 0;
  TextContext Screen{gdi::LogFont{}, 0};
  // Page n's; a page that has none yet takes page 0's.
  std::vector<TextContext> Pages;

  friend bool operator==(const PrintState&, const PrintState&) = default;
};

// --- Pictures ---------------------------------------------------------------------------

struct PageState {
  // The highest page number.
  int32_t PageCount = 2;
  // The background colour of every page.
  gdi::ColorRef BaseColour = gdi::kBlack;
  // Page n; an empty surface is a page not used yet, as far as anyone can
  // tell a page cleared to the base colour.
  std::vector<gdi::Surface> Pages;

  friend bool operator==(const PageState&, const PageState&) = default;
};

// One picture button of the last ".btn" list.
struct ButtonState {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t MemoryNumber = 0;
  // The pictures: normal, pressed and the hit map (empty: none).
  std::u16string Normal;
  std::u16string Pressed;
  std::u16string HitMap;
  // The screen under the button when the buttons were shown.
  gdi::Surface PicBtnSave;

  friend bool operator==(const ButtonState&, const ButtonState&) = default;
};

struct ButtonsState {
  std::vector<ButtonState> Buttons;
  // From "bsw" to "bhd": presses are tested against the buttons.
  bool ButtonsShown = false;
  // The button held down, 0 for none.
  int32_t PressedButton = 0;
  // The line that ended the last definition list.
  int32_t BlockEndFile = 0;
  int32_t BlockEndLine = 0;
  PageMemoryTable ButtonMemories;

  // Buttons are shown and there is at least one to press.
  bool AnyShown() const { return ButtonsShown && !Buttons.empty(); }

  friend bool operator==(const ButtonsState&, const ButtonsState&) = default;
};

// --- Pointer, media and the window ---------------------------------------------------------

struct CursorState {
  // The pointer picture's name as ".cur" gave it; empty: the standard arrow.
  std::u16string Picture;

  friend bool operator==(const CursorState&, const CursorState&) = default;
};

// What the engine knows of each media slot, by slot number 1 to 5.
struct MediaSlotsState {
  std::array<bool, 6> DevicePlaying{};
  std::array<bool, 6> DeviceLoops{};
  // Slots 3 and 4: open, playing or not.
  std::array<bool, 6> VideoOpen{};
  int32_t CdTrackCount = 0;
  int32_t CdTrack = 0;

  friend bool operator==(const MediaSlotsState&, const MediaSlotsState&) = default;
};

struct WindowState {
  // The caption ".cap" gave.
  std::u16string Caption;

  friend bool operator==(const WindowState&, const WindowState&) = default;
};

// --- The whole ----------------------------------------------------------------------------

struct GameState {
  ScriptState script;
  InputState input;
  CallMemoryState calls;
  VariableState vars;
  TextWindowState text;
  PrintState print;
  PageState pages;
  ButtonsState buttons;
  CursorState cursor;
  MediaSlotsState media;
  WindowState window;

  friend bool operator==(const GameState&, const GameState&) = default;
};

}  // namespace tsumugi
