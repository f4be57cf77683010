// The Host: everything the engine takes from the machine it runs on.
//
// A host hands the engine its services (clock and timers, events, dialogs,
// the window, game storage, media); the headless host (virtual clock,
// scripted input, JSON message log) and the SDL host (a real window) offer
// them all. The calls are shaped like the Windows services the
// engine was designed around (a millisecond clock, Sleep, "let pending events
// run", window timers, message boxes, a window with a 640x480 drawing area),
// so that engine code reads like the behaviour it reproduces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/diagnostics.h"
#include "platform/clock/local_time.h"
#include "platform/saves/save_folders.h"

namespace tsumugi::gdi {
class Surface;
struct CursorImage;
}

namespace tsumugi {

class MediaService;

// The middle button is the player's (it opens Tsumugi's menu): no game
// hears of it.
enum class MouseButton : int { kLeft = 1, kRight = 2, kMiddle = 4 };

// Virtual key codes, as the engine's key routing knows them.
enum class KeyCode : int {
  kEnter = 13,
  kEscape = 27,
  kSpace = 32,
  kLeft = 37,
  kUp = 38,
  kRight = 39,
  kDown = 40,
  kF4 = 115,
  // The player's own keys, which no game hears of: the menu, quick save
  // and quick load, skip (Ctrl held, Tab), auto mode, the text history,
  // going back and forward a wait.
  kF1 = 112,
  kF5 = 116,
  kF9 = 120,
  kCtrl = 17,
  kTab = 9,
  kA = 65,
  kL = 76,
  kPageUp = 33,
  kPageDown = 34,
};

// Shift-state bits of key and mouse events.
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// The game's three window timers, and two of the player's layer (the notes
// Tsumugi shows over the game, and the answer auto mode and skipping give a
// click wait), which no game ever sees.
enum class TimerId : int { kTimer1 = 0, kTimer3 = 1, kTimer4 = 2, kNote = 3, kAnswer = 4 };
inline constexpr int kTimerCount = 5;
inline constexpr int kGameTimerCount = 3;

// A timer as the engine set it, and how long until it next ticks: what a
// snapshot of the game keeps of it.
struct TimerSetting {
  uint32_t interval = 0;
  bool enabled = false;
  uint32_t due_in = 0;

  friend bool operator==(const TimerSetting&, const TimerSetting&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Results of a display-mode request, with the values the engine tests for.
enum class DisplayChange : int {
  kSuccessful = 0,
  kRestart = 1,
  kFailed = -1,
  kBadMode = -2,
};

// The engine's side of the event pump: the host calls these, one at a time,
// on the engine's thread, from inside DoEvents, WaitEvents or RunEventLoop.
class HostEvents {
 public:
  virtual ~HostEvents() = default;
  virtual void OnMouseDown(MouseButton button, int shift, int x, int y) = 0;
  virtual void OnMouseUp(MouseButton button, int shift, int x, int y) = 0;
  virtual void OnKeyDown(KeyCode key, int shift) = 0;
  virtual void OnKeyUp(KeyCode key, int shift) = 0;
  // The mouse wheel turned: notches away from the player (up) are
  // positive, towards the player negative.
  virtual void OnWheel(int notches) = 0;
  // A typed character (Escape arrives here as 27).
  virtual void OnKeyPress(int character) = 0;
  virtual void OnTimer(TimerId timer) = 0;
  // The window is being closed by the player.
  virtual void OnCloseRequest() = 0;
  // A run limit of the host (the headless --max-time) has been reached.
  virtual void OnTimeLimit() = 0;
  // A media device slot has stopped by itself at the end of its medium.
  virtual void OnMediaNotify() = 0;
};

// The services a host hands an engine, each a small interface of its own,
// so that a part of the engine takes only those it uses (a pause needs the
// clock, a report a dialog, drawing the window) and a test can give it a
// recording fake of just that one.

// The millisecond clock, sleeping, the window timers, the date and the seed
// of random numbers.
class HostClock {
 public:
  virtual ~HostClock() = default;
  // Milliseconds since the engine started; wraps like timeGetTime.
  virtual uint32_t TimeGetTime() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;

  virtual void SetTimerInterval(TimerId timer, uint32_t milliseconds) = 0;
  virtual void EnableTimer(TimerId timer, bool enabled) = 0;
  // The timer as it stands, and putting one back: a restored timer next
  // ticks `due_in` milliseconds from now, then at its interval.
  virtual TimerSetting GetTimer(TimerId timer) = 0;
  virtual void RestoreTimer(TimerId timer, const TimerSetting& setting) = 0;

  // The seed of the script's random numbers.
  virtual uint64_t RandomSeed() = 0;
  // The local date and time ".now" reads: the machine's clock, unless the
  // host keeps a clock of its own.
  virtual LocalDateTime LocalTime() { return SystemLocalTime(); }
};

// The event pump: mouse, keys, timers and media notifications reach the
// engine's handlers (HostEvents) from here, one at a time, on its thread.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void SetEventSink(HostEvents* sink) = 0;
  // Let pending events run, without waiting for any.
  virtual void DoEvents() = 0;
  // Whether DoEvents would deliver anything now. A host that cannot tell
  // says yes; the engine then draws every frame of an animation that takes
  // no time, since an event between its frames could show one.
  virtual bool EventsDue() { return true; }
  // Let events run, waiting at most `milliseconds` for them; used by pauses
  // so that a pause does not spin the processor.
  virtual void WaitEvents(uint32_t milliseconds) = 0;
  // The engine waits for the player: run events until the engine ends. The
  // engine ends by throwing out of an event handler, so this never returns
  // normally on a host that has a player; a host may return when it has no
  // more input to give.
  virtual void RunEventLoop() = 0;
};

// What the host says to the people at it: message boxes, which stop the
// game until the player answers, and lines for whoever runs the engine.
class HostDialogs {
 public:
  virtual ~HostDialogs() = default;
  virtual void MessageBoxOk(const std::u16string& text) = 0;
  // Returns true for Yes.
  [[nodiscard]] virtual bool MessageBoxYesNo(const std::u16string& text) = 0;

  // One line (UTF-8, without the newline) for the person running the engine,
  // on standard error: the real cause behind a message whose wording the
  // game expects ("too large", "outside the game folder", ...).
  virtual void Diagnostic(const std::string& text) { Complain(text); }
};

// The window: its drawing area and how it is presented, the display mode
// and the pointer.
class HostWindow {
 public:
  virtual ~HostWindow() = default;
  // The 640x480 drawing area. The engine draws on it and calls Refresh to let
  // the player see it.
  virtual gdi::Surface& Screen() = 0;
  virtual void Refresh() = 0;
  virtual void SetCaption(const std::u16string& caption) = 0;
  virtual void ShowWindow(bool visible) = 0;
  // Full screen without caption, or a window with caption; optionally above
  // all other windows.
  virtual void SetWindowStyle(bool full_screen, bool topmost) = 0;
  virtual Size DesktopSize() = 0;
  // Asks for a 640x480 display at the given depth (0: any). With `test_only`
  // nothing changes; the result tells whether it could.
  [[nodiscard]] virtual DisplayChange ChangeDisplayMode(int width, int height, int bits_per_pixel,
                                                        bool test_only) = 0;
  virtual void RestoreDisplayMode() = 0;

  // The pointer, in pixels of the drawing area.
  virtual Point GetCursorPos() = 0;
  virtual void SetCursorPos(Point position) = 0;
  // Where the pointer was when a game's state was taken, given back with
  // it. A host whose pointer is the player's hand on a mouse leaves it
  // there; a host that plays the player keeps its own pointer in step.
  virtual void RestoreCursorPos(Point position) { (void)position; }
  // The pointer's picture over the window; nullptr gives the standard
  // arrow back. The image stays valid until the next call. A host without a
  // window has no pointer to show it on and may ignore it.
  virtual void SetCursorImage(const gdi::CursorImage* image) { (void)image; }

  // The player's layer: a picture Tsumugi draws over the game at `at`
  // (a note such as "保存しました"), shown with the screen and in screenshots
  // until it is taken away (nullptr). It is never part of the screen the
  // game draws on and reads. The picture stays valid until the next call.
  virtual void SetOverlay(const gdi::Surface* overlay, Point at) = 0;
  // What the player sees: the screen with the video box and the player's
  // layer over it (screenshots are of this).
  virtual gdi::Surface ShownScreen() = 0;
};

// Where a game keeps what lasts beyond a run: its save files and its data
// folder, and the lock that keeps two copies from playing it at once.
class GameStorage {
 public:
  virtual ~GameStorage() = default;
  // Takes the lock that keeps a second copy from playing the same game
  // folder at once. False when another copy holds it.
  [[nodiscard]] virtual bool AcquireInstanceLock(const std::string& game_folder) = 0;
  // Where ".sav" writes and ".lod" looks (platform/saves).
  virtual SaveFolders SaveFoldersFor(const std::filesystem::path& scenario_folder,
                                     const std::filesystem::path& game_folder,
                                     const std::optional<std::filesystem::path>& save_dir) {
    return ChooseSaveFolders(scenario_folder, game_folder, save_dir);
  }
  // The game's own folder for what Tsumugi keeps of it (quick saves).
  virtual std::filesystem::path DataFolder(const std::filesystem::path& game_folder) {
    return GameDataFolder(game_folder);
  }
};

// A host: a backend that hands its services to an engine. The headless host
// and the SDL host each offer all of them.
class Host : public HostClock,
             public EventPump,
             public HostDialogs,
             public HostWindow,
             public GameStorage {
 public:
  ~Host() override = default;

  HostClock& Clock() { return *this; }
  EventPump& Events() { return *this; }
  HostDialogs& Dialogs() { return *this; }
  HostWindow& Window() { return *this; }
  GameStorage& Storage() { return *this; }
  // The media devices, the wave player and the video box of this host.
  virtual MediaService& Media() = 0;
};

}  // namespace tsumugi
