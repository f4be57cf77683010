// The SDL host: a real window with the 640x480 drawing area, mouse and
// keyboard, real time.
#pragma once

#include <SDL.h>

#include <array>
#include <deque>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdi/cursor_image.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"
#include "platform/instance/instance_lock.h"
#include "platform/media/media_devices.h"
#include "platform/gdi/font.h"
#include "platform/sdl/audio_output.h"
#include "platform/sdl/message_box.h"
#include "platform/sdl/picture_scaler.h"
#include "platform/sdl/presenter.h"
#include "platform/sdl/stop_wakeup.h"

namespace tsumugi::sdl {

enum class RendererChoice { kAuto, kSoftware, kAccelerated };

struct SdlOptions {
  // False: no sound device is opened (--no-sound); media still keep time.
  bool sound = true;
  // The SoundFont for MIDI music; empty: the distribution's.
  std::filesystem::path soundfont;
  // Where the one line about a missing device or unplayable file goes.
  std::ostream* err = nullptr;
  // The window opens at 640x480 times this (0: the largest whole number
  // that fits the desktop).
  int scale = 0;
  Filter filter = Filter::kSharp;
  // The player plays in full screen: the game's first window is shown full
  // screen, and each switch the game makes (F4) switches from there.
  bool full_screen = false;
  // kAuto: accelerated where the display has a graphics card, else
  // software (see presenter.h).
  RendererChoice renderer = RendererChoice::kAuto;
};

class SdlHost final : public Host {
 public:
  explicit SdlHost(SdlOptions options = {});
  ~SdlHost() override;
  SdlHost(const SdlHost&) = delete;
  SdlHost& operator=(const SdlHost&) = delete;

  // False (with a message) when there is no display to open a window on.
  // Without a sound device the game plays silently, with one line on the
  // error stream.
  [[nodiscard]] bool Open(std::string* error);

  // "software", or the name of the accelerated renderer.
  std::string RendererName() const { return presenter_ ? presenter_->Name() : ""; }

  void SetEventSink(HostEvents* sink) override { sink_ = sink; }
  uint32_t TimeGetTime() override;
  void Sleep(uint32_t milliseconds) override;
  void DoEvents() override;
  void WaitEvents(uint32_t milliseconds) override;
  void RunEventLoop() override;
  void SetTimerInterval(TimerId timer, uint32_t milliseconds) override;
  void EnableTimer(TimerId timer, bool enabled) override;
  TimerSetting GetTimer(TimerId timer) override;
  void RestoreTimer(TimerId timer, const TimerSetting& setting) override;
  void MessageBoxOk(const std::u16string& text) override;
  [[nodiscard]] bool MessageBoxYesNo(const std::u16string& text) override;
  gdi::Surface& Screen() override { return screen_; }
  void Refresh() override;
  void SetCaption(const std::u16string& caption) override;
  void ShowWindow(bool visible) override;
  void SetWindowStyle(bool full_screen, bool topmost) override;
  Size DesktopSize() override;
  [[nodiscard]] DisplayChange ChangeDisplayMode(int width, int height, int bits_per_pixel,
                                                bool test_only) override;
  void RestoreDisplayMode() override {}
  Point GetCursorPos() override;
  void SetCursorPos(Point position) override;
  void SetCursorImage(const gdi::CursorImage* image) override;
  void SetOverlay(const gdi::Surface* overlay, Point at) override;
  gdi::Surface ShownScreen() override;
  MediaService& Media() override { return *devices_; }
  [[nodiscard]] bool AcquireInstanceLock(const std::string& game_folder) override;
  uint64_t RandomSeed() override;

 private:
  struct Timer {
    uint32_t interval = 0;
    bool enabled = false;
    uint32_t next_due = 0;
  };
  void Dispatch(const SDL_Event& event);
  // Ends the engine when the player asked to close (close button, Escape)
  // or a stop signal came, leaving every other event in the queue.
  void CheckForQuit();
  // The same, with the events SDL has already taken from the window.
  void LookForQuit();
  // Sleeps, waking early when a stop signal comes.
  void SleepUnlessStopped(uint32_t milliseconds);
  // A sleep that looks for a request to close every 50 ms.
  void Delay(uint32_t milliseconds);
  // Puts the screen on the display now; `whole` redraws all of it.
  void Present(bool whole = false);
  // Presents a changed screen when the presenter is ready for it.
  void PresentIfDue();
  // How long a wait of at most `cap` may last with a changed screen
  // waiting to be shown.
  uint32_t TimeToPresent(uint32_t cap);
  // The picture's place in the window, in window coordinates (those of
  // mouse events and the pointer).
  Rect InputViewport();
  // Makes the game's pointer picture at the window's scale.
  void UpdateCursor();
  void OnWindowEvent(const SDL_WindowEvent& event);
  // Shows one of our own message boxes; kFailed when it cannot.
  MessageBoxAnswer ShowBox(const std::u16string& text, bool yes_no);
  void FireDueTimers();
  // Milliseconds until the next enabled timer is due (or `cap`).
  uint32_t TimeToNextTimer(uint32_t cap);
  // The frame of the mix the player hears now.
  uint64_t HeardFrame();
  // Keeps the sound device fed, draws due video pictures and notes media
  // that have ended.
  void PumpMedia();
  // Delivers a noted end of a medium to the engine.
  void DeliverMediaNotification();
  // Holds the engine while the wave sound plays (see MediaService).
  void HoldForSound();
  // Takes the window off the display if the engine hid it and has not
  // shown it again since.
  void HideIfPending();
  // Handles the events put aside while the engine was held.
  void DispatchDeferred();

  HostEvents* sink_ = nullptr;
  // Posts an event when a stop signal comes, ending an idle wait.
  std::unique_ptr<StopWakeup> stop_wakeup_;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<Presenter> presenter_;
  // The screen changed since it was last handed to the presenter.
  bool pending_ = false;
  // The window's size and place to go back to when full screen ends.
  Size windowed_size_;
  Point windowed_position_;
  // No window manager: full screen is a borderless window over the
  // display, made by the host.
  bool own_full_screen_ = false;
  // The engine hid the window; it goes at the next pump, wait or box.
  bool hide_pending_ = false;
  bool full_screen_ = false;
  // Whether the game has set the window's style yet, and whether the
  // window shows the other style than the game asks for (the player's
  // full screen over the game's window).
  bool style_set_ = false;
  bool style_flipped_ = false;
  // The game's pointer picture, kept to be made again at a new scale; the
  // SDL pointer made of it, null while the standard arrow is shown.
  std::optional<gdi::CursorImage> cursor_image_;
  SDL_Cursor* cursor_ = nullptr;
  int cursor_width_ = 0;
  // The fonts of the message boxes, made when the first box shows.
  std::unique_ptr<gdi::FontEngine> box_fonts_;
  uint32_t start_ticks_ = 0;
  std::array<Timer, kTimerCount> timers_;
  gdi::Surface screen_;
  InstanceLock instance_lock_;

  SdlOptions options_;
  AudioOutput audio_;
  std::unique_ptr<media::MediaDevices> devices_;
  std::vector<int16_t> mix_;
  uint64_t box_version_ = 0;
  bool notification_pending_ = false;
  // The key presses waiting in the queue, looked through for Escape.
  std::vector<SDL_Event> peeked_keys_;
  // Presses and keys that arrived while the engine was held.
  std::deque<SDL_Event> deferred_;
  // The screen with the video box and the player's layer laid over it.
  gdi::Surface composed_;
  const gdi::Surface* overlay_ = nullptr;
  Point overlay_at_;
};

}  // namespace tsumugi::sdl
