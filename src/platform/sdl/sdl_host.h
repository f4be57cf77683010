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
#include "platform/sdl/audio_output.h"
#include "platform/sdl/present_pacer.h"

namespace tsumugi::sdl {

struct SdlOptions {
  // False: no sound device is opened (--no-sound); media still keep time.
  bool sound = true;
  // The SoundFont for MIDI music; empty: the distribution's.
  std::filesystem::path soundfont;
  // Where the one line about a missing device or unplayable file goes.
  std::ostream* err = nullptr;
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
  bool Open(std::string* error);

  void SetEventSink(HostEvents* sink) override { sink_ = sink; }
  uint32_t TimeGetTime() override;
  void Sleep(uint32_t milliseconds) override;
  void DoEvents() override;
  void WaitEvents(uint32_t milliseconds) override;
  void RunEventLoop() override;
  void SetTimerInterval(TimerId timer, uint32_t milliseconds) override;
  void EnableTimer(TimerId timer, bool enabled) override;
  void MessageBoxOk(const std::u16string& text) override;
  bool MessageBoxYesNo(const std::u16string& text) override;
  gdi::Surface& Screen() override { return screen_; }
  void Refresh() override;
  void SetCaption(const std::u16string& caption) override;
  void ShowWindow(bool visible) override;
  void SetWindowStyle(bool full_screen, bool topmost) override;
  Size DesktopSize() override;
  DisplayChange ChangeDisplayMode(int width, int height, int bits_per_pixel,
                                  bool test_only) override;
  void RestoreDisplayMode() override {}
  Point GetCursorPos() override;
  void SetCursorPos(Point position) override;
  void SetCursorImage(const gdi::CursorImage* image) override;
  MediaService& Media() override { return *devices_; }
  bool AcquireInstanceLock(const std::string& game_folder) override;
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
  // SDL_Delay that looks for a request to close every 50 ms.
  void Delay(uint32_t milliseconds);
  // Puts the screen on the display now.
  void Present();
  // Presents a changed screen whose time has come.
  void PresentIfDue();
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
  // Handles the events put aside while the engine was held.
  void DispatchDeferred();

  HostEvents* sink_ = nullptr;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  // The game's pointer picture; null while the standard arrow is shown.
  SDL_Cursor* cursor_ = nullptr;
  uint32_t start_ticks_ = 0;
  std::array<Timer, kTimerCount> timers_;
  gdi::Surface screen_;
  // Refreshes closer together than this are shown as one frame: a little
  // more than a display frame at 120 Hz.
  PresentPacer pacer_{8};
  InstanceLock instance_lock_;

  SdlOptions options_;
  AudioOutput audio_;
  std::unique_ptr<media::MediaDevices> devices_;
  std::vector<int16_t> mix_;
  uint64_t box_version_ = 0;
  bool notification_pending_ = false;
  // Presses and keys that arrived while the engine was held.
  std::deque<SDL_Event> deferred_;
  // The screen with the video box laid over it.
  gdi::Surface composed_;
};

}  // namespace tsumugi::sdl
