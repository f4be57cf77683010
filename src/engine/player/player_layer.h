// The player's layer: what Tsumugi offers the player beyond the game
// itself, between the host's input and the engine. Quick save (F5) takes a
// snapshot of the game into the game's data folder; quick load (F9) puts
// the latest one back. A short note drawn over the game says what
// happened; it lives on the host's overlay and a timer of its own, so the
// game never sees it: no variable, timer, input flag or file of the game
// changes because of this layer.
//
// Going back (the wheel up, PageUp) returns to the previous wait the player
// answered (a click wait, a menu, buttons) exactly as it was, and forward
// (the wheel down, PageDown) to the next one again; at a menu gone back to,
// the player may choose another line, and the game goes on from there.
//
// Skipping: with Ctrl held everything passes as fast as it can be shown
// (typing at once, click waits answered, pauses and transitions at their
// fastest) up to a menu, buttons or the end; Tab switches a skip mode that
// passes only text already read, in this run or an earlier one, and ends
// at the first line never shown, at a menu or at buttons.
//
// Snapshots are taken only where no script is on the stack: at a wait, or
// in a timed pause of the top level. A key that comes while the script
// runs (typing, a transition) is kept and acted on at the next wait.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/player/history_screen.h"
#include "engine/player/list_screen.h"
#include "engine/player/player_settings.h"
#include "engine/player/read_marks.h"
#include "engine/player/rollback.h"
#include "engine/script/run_record.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"

namespace tsumugi {

class Engine;

class PlayerLayer final : public TextListener {
 public:
  // How long a note stays over the game.
  static constexpr uint32_t kNoteMilliseconds = 1000;

  explicit PlayerLayer(Engine& engine) : e_(engine) {}
  ~PlayerLayer();
  PlayerLayer(const PlayerLayer&) = delete;
  PlayerLayer& operator=(const PlayerLayer&) = delete;

  // A key the player's layer takes (F5, F9, PageUp, PageDown and the other
  // keys no game uses): true when it was one, which the game must not see.
  bool KeyDown(KeyCode key);
  bool KeyUp(KeyCode key);
  // The wheel: up goes back a wait, down forward (in the text history: it
  // scrolls).
  void Wheel(int notches);
  // A press, a release and a typed character: true when the player's layer
  // took it (a screen of its own is open), which the game must not see.
  bool MouseDown(MouseButton button, int x, int y);
  bool MouseUp(MouseButton button);
  bool KeyPress(int character);
  // The player pressed a button or a key the game hears: it answers the
  // wait, and ends auto mode.
  void GameInput();

  // The script has come back to the event loop: a key kept meanwhile is
  // acted on now.
  void AtWait();
  // A timed pause of the top level runs until engine time `end`: a quick
  // save may be taken in it.
  void PauseBegins(uint32_t end);
  void PauseEnds() { pause_end_.reset(); }

  // The note's timer: the note goes.
  void NoteTimer();
  // The answer timer of auto mode and skipping: the click wait is
  // answered.
  void AnswerTimer();

  // The text the player is shown: lines never read before end skip mode.
  void TextBegins(int file, int line_number) override;
  void TextShown(int file, int line_number, std::u16string_view text) override;
  void ChoiceTaken(std::u16string_view text) override;
  // The run ends: the read marks are kept (when the engine was asked to).
  void Finish();
  // The player quits (Escape, the close button, the end of the input): at
  // a wait, the moment goes to the automatic save.
  void Quitting();
  // Puts the automatic save in place of the game's start; false (said on
  // standard error) when there is none or it does not fit the game.
  bool Resume();
  std::filesystem::path AutoSavePath() const;

  // Auto mode's delay at a click wait: the base and the time a character
  // typed since the previous wait adds.
  uint32_t auto_base_ms = 1200;
  uint32_t auto_per_char_ms = 50;
  bool AutoMode() const { return auto_; }
  // Skip mode (Tab), not counting Ctrl held.
  bool SkipMode() const { return skip_mode_; }
  // Where the read marks are kept, and the marks.
  std::filesystem::path ReadMarksPath() const;
  ReadMarks& Marks();

  // Called wherever a snapshot may be taken: at every wait (nullopt), and
  // when a pause of the top level begins (its length). Tools and tests
  // that follow a game wait by wait hang on here.
  std::function<void(std::optional<uint32_t> pause_left)> snapshot_points;

  // Where quick saves live: --save-dir, or the game's folder under
  // $XDG_DATA_HOME/tsumugi/.
  std::filesystem::path DataFolder() const;
  std::filesystem::path QuickSavePath() const;

  // The waits kept for going back.
  Rollback& History() { return rollback_; }
  // The text of the session, and its screen (L).
  TextHistory& Texts() { return texts_; }
  // Whether the game stands at a wait the player answers: a click wait, a
  // menu, buttons.
  bool AtPlayerWait() const;

  // The player's settings, applied now, and the file the settings screen
  // keeps them in (none: changes last for the run).
  void UseSettings(const PlayerSettings& settings, std::optional<std::filesystem::path> file);
  const PlayerSettings& Settings() const { return settings_; }
  // The player's menu and its screens (F1, the middle button).
  bool MenuOpen() const { return !screens_.empty(); }
  // The save slots of the menu, 1 to kSlots, in the game's data folder.
  static constexpr int kSlots = 10;
  std::filesystem::path SlotPath(int slot) const;

 private:
  // Saves to (loads from) a snapshot file now, or at the next wait.
  void SaveKey(const std::filesystem::path& path);
  void LoadKey(const std::filesystem::path& path);
  // Goes `steps` waits back (positive) or forward (negative), now at a
  // wait or else at the next one.
  void Step(int steps);
  void StepNow(int steps);
  // Whether the game has left the wait last kept or gone back to: the
  // player acted and the script ran.
  bool LeftPoint() const;
  // Keeps the wait the game stands at for going back, when it is a new one.
  void KeepPoint(bool first);
  // Auto mode: on or off (A); skip mode: on or off (Tab).
  void SwitchAuto(bool on);
  void SwitchSkip(bool on);
  // Ctrl or skip mode changed: the pace follows, and the wait is answered.
  void UpdatePace();
  // Notes a wait newly reached, and sets the answer timer for a click wait
  // that auto mode or skipping answers.
  void NoteWait();
  void ArmAnswer();
  // Whether the wait is one the answer timer answers: a click wait, or a
  // video while Ctrl is held.
  bool Answerable() const;
  void SaveTo(const std::filesystem::path& path, std::optional<uint32_t> pause_left);
  void LoadFrom(const std::filesystem::path& path);
  // Writes the game as it stands to `path`; false with the reason.
  bool WriteSnapshot(const std::filesystem::path& path, std::optional<uint32_t> pause_left,
                     std::string* error);
  // Reads the snapshot at `path` and puts it in place; false when it could
  // not, with the problem told the player (`quiet`: on standard error only).
  bool LoadSnapshot(const std::filesystem::path& path, bool quiet);
  // The menu's screens: the menu itself, the slots to save to and load
  // from, the question before a slot is overwritten, the settings and the
  // keys. The one on top is shown and takes the input.
  enum class ScreenKind { kMenu, kSave, kLoad, kOverwrite, kSettings, kHelp };
  struct Screen {
    ScreenKind kind;
    ListScreen list;
    int slot = 0;
  };
  void OpenMenu();
  void OpenScreen(ScreenKind kind, int slot = 0);
  ListScreen MakeScreen(ScreenKind kind, int slot) const;
  std::vector<ListItem> SlotItems(bool saving) const;
  std::vector<ListItem> SettingItems() const;
  void BackScreen();
  void CloseScreens();
  void DrawScreens();
  void ScreenKey(KeyCode key);
  void ScreenPress(MouseButton button, int x, int y);
  void ScreenPick();
  void ChangeSetting(int tag, int direction);

  // The text history: opened over the game, drawn again after a scroll,
  // closed.
  void OpenHistory();
  void DrawHistory();
  void CloseHistory();
  // Shows a note over the game for kNoteMilliseconds.
  void ShowNote(const std::u16string& text);
  void HideNote();

  Engine& e_;
  // A save or a load asked for while the script ran: done at the next wait.
  std::optional<std::filesystem::path> save_pending_;
  std::optional<std::filesystem::path> load_pending_;
  std::optional<uint32_t> pause_end_;
  Rollback rollback_;
  // Lines read when the wait last kept or gone back to was reached.
  uint64_t lines_at_point_ = 0;
  bool acted_ = false;
  // Waits to go back (positive) or forward at the next wait.
  int pending_steps_ = 0;
  bool auto_ = false;
  bool skip_mode_ = false;
  bool ctrl_held_ = false;
  // The click wait the answer timer is set for (lines read when it was
  // reached), and whether a click is the layer's own answer.
  std::optional<uint64_t> answer_wait_;
  bool answering_ = false;
  // A line never read before was typed since the last wait; the same for
  // the text of the wait the game stands at.
  bool page_unread_ = false;
  bool wait_unread_ = false;
  ReadMarks marks_;
  bool marks_ready_ = false;
  // The wait the game stands at (lines read when it was reached), when it
  // began, the characters typed before it, and all typed before that.
  uint64_t wait_lines_ = UINT64_MAX;
  uint32_t wait_start_ = 0;
  uint64_t wait_chars_ = 0;
  uint64_t chars_before_ = 0;
  gdi::Surface note_;
  bool note_shown_ = false;
  TextHistory texts_;
  // An Escape that closed the history: the character it types must not end
  // the game.
  bool escape_taken_ = false;
  // Buttons whose press the layer took: their release is its too.
  int buttons_taken_ = 0;
  std::vector<Screen> screens_;
  gdi::Surface screens_dimmed_;
  gdi::Surface screens_drawn_;
  PlayerSettings settings_;
  std::optional<std::filesystem::path> settings_file_;
};

}  // namespace tsumugi
