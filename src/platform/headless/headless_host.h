// The headless host: no window and no sound device. The clock is virtual,
// player actions come from an input file, and message boxes are written to
// standard output as JSON lines, so that a game plays as fast as the
// processor allows and every run is identical.
#pragma once

#include <array>
#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/surface.h"
#include "platform/headless/input_script.h"
#include "platform/host.h"
#include "platform/instance/instance_lock.h"
#include "platform/media/media_devices.h"
#include "platform/media/wav_writer.h"

namespace tsumugi::headless {

struct HeadlessOptions {
  std::vector<Action> actions;
  // Engine time after which the run stops (exit status 3).
  std::optional<uint64_t> max_time;
  Size desktop{1024, 768};
  std::ostream* out = nullptr;  // JSON message lines
  std::ostream* err = nullptr;  // runner diagnostics
  // The whole mix of the run goes here (--audio-out), when it is open.
  media::WavWriter* audio_out = nullptr;
  // The SoundFont for MIDI music (--soundfont); empty: the distribution's.
  std::filesystem::path soundfont;
  // Media devices to use instead of the host's own (a test's recording
  // fake); the host then runs no media of its own.
  MediaService* media = nullptr;
  // Real time a script may run without letting engine time pass before the
  // runner stops it as an endless loop (exit status 3).
  std::chrono::milliseconds endless_script_limit{30000};
  // The local date and time at engine time 0 (--date); the clock moves it
  // on, so that ".now" answers the same in every run.
  LocalDateTime start_date = kDefaultStartDate;
  // 2000-01-01T00:00:00, a Saturday.
  static constexpr LocalDateTime kDefaultStartDate{};

  // A run that goes on from where another stood (a snapshot put back by a
  // test or a tool): the engine time it starts at, the time of the action
  // before it (timed actions count from there), and the first of `actions`
  // still to come.
  uint64_t start_time = 0;
  uint64_t last_action_time = 0;
  size_t first_action = 0;
  // The run stood between the two halves of this action (a click's press
  // and release, a key's down and up): it begins with the second half.
  std::optional<size_t> finish_action;
  // Whether the run takes the game folder's single-instance lock; a tool
  // that plays one game in many engines at once (each writing nothing into
  // the folder) does not.
  bool instance_lock = true;
};

class HeadlessHost final : public Host {
 public:
  explicit HeadlessHost(HeadlessOptions options);

  void SetEventSink(HostEvents* sink) override { sink_ = sink; }

  uint32_t TimeGetTime() override { return static_cast<uint32_t>(now_); }
  void Sleep(uint32_t milliseconds) override;
  void DoEvents() override;
  bool EventsDue() override;
  void WaitEvents(uint32_t milliseconds) override;
  void RunEventLoop() override;

  void SetTimerInterval(TimerId timer, uint32_t milliseconds) override;
  void EnableTimer(TimerId timer, bool enabled) override;
  TimerSetting GetTimer(TimerId timer) override;
  void RestoreTimer(TimerId timer, const TimerSetting& setting) override;

  void MessageBoxOk(const std::u16string& text) override;
  [[nodiscard]] bool MessageBoxYesNo(const std::u16string& text) override;

  gdi::Surface& Screen() override { return screen_; }
  void Refresh() override { ++refresh_count_; }
  void SetCaption(const std::u16string& caption) override { caption_ = caption; }
  void ShowWindow(bool visible) override { window_visible_ = visible; }
  void SetWindowStyle(bool full_screen, bool topmost) override;
  Size DesktopSize() override { return options_.desktop; }
  [[nodiscard]] DisplayChange ChangeDisplayMode(int width, int height, int bits_per_pixel,
                                                bool test_only) override;
  void RestoreDisplayMode() override;
  MediaService& Media() override { return options_.media ? *options_.media : devices_; }
  Point GetCursorPos() override { return cursor_; }
  void SetCursorPos(Point position) override { cursor_ = position; }
  void RestoreCursorPos(Point position) override { cursor_ = position; }
  void SetOverlay(const gdi::Surface* overlay, Point at) override {
    overlay_ = overlay;
    overlay_at_ = at;
  }
  gdi::Surface ShownScreen() override;
  void SetCursorImage(const gdi::CursorImage* image) override {
    cursor_image_ = image;
    ++cursor_image_changes_;
  }
  [[nodiscard]] bool AcquireInstanceLock(const std::string& game_folder) override;
  void Diagnostic(const std::string& text) override;
  // Always the same, so that a run repeats exactly.
  uint64_t RandomSeed() override { return 20261206; }
  LocalDateTime LocalTime() override { return AddMilliseconds(options_.start_date, now_); }

  // One more action at the end of the input: a tool that decides how to
  // play as the game goes adds them at the waits.
  void AddAction(Action action) { options_.actions.push_back(std::move(action)); }
  // Moves the time limit (engine time after which the run stops as with
  // --max-time).
  void SetMaxTime(std::optional<uint64_t> time) { options_.max_time = time; }
  // Whether actions are left to perform.
  bool ActionsLeft() const { return next_action_ < options_.actions.size(); }
  // The text of the last message box shown (an error report, say).
  const std::u16string& LastMessage() const { return last_message_; }

  // What a test may want to look at.
  uint64_t Now() const { return now_; }
  size_t NextAction() const { return next_action_; }
  // The click or key whose press or key-down has been delivered and is
  // being handled, its release to come (the outermost, when actions are
  // performed while another one is handled).
  std::optional<size_t> HalfDoneAction() const { return half_done_; }
  uint64_t LastActionTime() const { return last_action_time_; }
  // How many times the clock has moved: a wait with nothing due on the way
  // is one step, however long.
  uint64_t ClockSteps() const { return clock_steps_; }
  const std::u16string& Caption() const { return caption_; }
  bool WindowVisible() const { return window_visible_; }
  bool FullScreen() const { return full_screen_; }
  bool DisplayChanged() const { return display_changed_; }
  int DisplayRestoreCount() const { return display_restore_count_; }
  int RefreshCount() const { return refresh_count_; }
  // The pointer picture the engine set last (nullptr: the standard arrow),
  // and how many times it was set.
  const gdi::CursorImage* CursorImage() const { return cursor_image_; }
  int CursorImageChanges() const { return cursor_image_changes_; }
  bool TimerEnabled(TimerId timer) const { return timers_[Index(timer)].enabled; }
  uint32_t TimerInterval(TimerId timer) const { return timers_[Index(timer)].interval; }
  // A file the input file asked for (a screenshot) could not be written; the
  // run was ended there (exit status 4).
  bool WriteFailed() const { return write_failed_; }

 private:
  struct Timer {
    uint32_t interval = 0;
    bool enabled = false;
    uint64_t next_due = 0;
  };
  static size_t Index(TimerId timer) { return static_cast<size_t>(timer); }

  // Moves the virtual clock forward, playing the media on the way; past the
  // time limit the run stops. With `stop_at_notification` the clock stops
  // early at the millisecond a device stops by itself, so that the engine
  // hears of it exactly then.
  void AdvanceTo(uint64_t time, bool stop_at_notification = false);
  // Plays the media up to `time`; returns the millisecond reached (earlier
  // only when stopping at a notification).
  uint64_t PlayMediaTo(uint64_t time, bool stop_at_notification);
  // Holds the engine until the wave sound has ended.
  void HoldForSound();
  // The time of the next timer tick or timed action, if any.
  std::optional<uint64_t> NextEventTime() const;
  std::optional<uint64_t> NextTimedActionTime() const;
  // Delivers every timer tick and timed action that is due now, in time
  // order. Returns true when something was delivered.
  bool DeliverDue();
  // Performs the action at next_action_ - 1: a copy, since actions added
  // while it is handled (AddAction) may move the list.
  void Perform(Action action);
  // Delivers the first half of that action, remembering it as half done.
  template <typename Deliver>
  void FirstHalf(Deliver deliver);
  // The second half of a click or a key.
  void FinishAction(const Action& action);
  // Stops a script that loops without letting engine time pass, and ends
  // the engine when a stop signal came; called at every pump.
  void CheckForEndlessScript();

  HeadlessOptions options_;
  HostEvents* sink_ = nullptr;
  uint64_t now_ = 0;
  uint64_t clock_steps_ = 0;
  std::array<Timer, kTimerCount> timers_;
  size_t next_action_ = 0;
  uint64_t last_action_time_ = 0;
  std::optional<bool> pending_answer_;

  gdi::Surface screen_;
  std::u16string caption_;
  bool window_visible_ = false;
  bool full_screen_ = false;
  bool display_changed_ = false;
  int display_restore_count_ = 0;
  int refresh_count_ = 0;
  Point cursor_;
  const gdi::Surface* overlay_ = nullptr;
  Point overlay_at_;
  const gdi::CursorImage* cursor_image_ = nullptr;
  int cursor_image_changes_ = 0;
  InstanceLock instance_lock_;
  bool write_failed_ = false;
  std::optional<size_t> half_done_;
  std::u16string last_message_;

  media::MediaDevices devices_;
  // The box as last shown, and the frames of the mix on their way out.
  std::vector<int16_t> mix_;
  bool notification_pending_ = false;

  // Watchdog for a script that loops without ever letting time pass: the
  // engine time last seen and the real time (in coarse milliseconds) since
  // which it has stood still.
  uint64_t watched_time_ = 0;
  int64_t watched_since_ms_ = 0;
};

}  // namespace tsumugi::headless
