#include "platform/sdl/sdl_host.h"

#include <dlfcn.h>
#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <iostream>

#include "common/diagnostics.h"
#include "common/text_codec.h"
#include "platform/instance/stop_signals.h"
#include "platform/sdl/x11_display.h"

namespace tsumugi::sdl {

namespace {
// The window may be made this small, but no smaller, by the player.
constexpr int kMinimumWidth = 160;
constexpr int kMinimumHeight = 120;
// The largest pointer picture made at a large scale.
constexpr int kMaxCursorSize = 512;
// The mix is made this far ahead of what the device plays (about 90 ms):
// enough to ride out a busy moment of the engine, short enough that a
// sound starts close to its line.
constexpr uint64_t kLookaheadFrames = 4000;
// While media play, the engine's thread comes back this often to feed them.
constexpr uint32_t kMediaPumpMs = 5;
// A quick load in the window has to take a frame, not the seconds that
// playing MIDI music up to its place again would: the music is chased to
// its place instead, close to the ear but not the same samples.
constexpr RestoreMode kRestoreMode = RestoreMode::kFast;
// Presses and keys kept while a wave sound holds the engine.
constexpr size_t kMaxDeferred = 256;
// The longest a hold goes without looking for the player's request to
// close (the close button, Escape); a stop signal ends a hold's sleep at
// once.
constexpr uint32_t kQuitCheckMs = 50;
// The most events one pump hands to the engine before it looks again for
// a request to close and lets the timers and media have their turn: a
// stream of events (a held key, a storm of clicks) must not starve them.
constexpr int kEventsPerPump = 64;
// How far into the queue's key presses the look for Escape reaches.
constexpr int kMaxPeekedKeys = 1024;

// A message box's text for standard error: one line per line of the box.
std::string BoxTextForLog(const std::u16string& text) {
  std::string utf8 = Utf16ToUtf8(text);
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out += utf8[i];
  }
  return out;
}
}  // namespace

SdlHost::SdlHost(SdlOptions options)
    : screen_(gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack), options_(std::move(options)) {
  devices_ = std::make_unique<media::MediaDevices>(media::MediaDevices::Options{
      .sound = false, .soundfont = options_.soundfont, .err = options_.err, .restore = kRestoreMode});
}

SdlHost::~SdlHost() {
  stop_wakeup_.reset();
  if (cursor_) {
    SDL_SetCursor(SDL_GetDefaultCursor());
    SDL_FreeCursor(cursor_);
  }
  // The presenter's thread lets go of the window before it goes.
  presenter_.reset();
  if (window_) SDL_DestroyWindow(window_);
  if (window_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer checks for leaks at exit, after SDL and the GL loader have
// unloaded the libraries they opened; a leak inside one of them then has no
// name to suppress it by. The desktop bus library and the software GL
// driver are kept loaded so that tests/sanitizer/lsan.supp can name theirs.
static void KeepLeakyLibrariesLoaded() {
  for (const char* library :
       {"libdbus-1.so.3", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
        "/usr/lib/aarch64-linux-gnu/dri/swrast_dri.so", "/usr/lib/dri/swrast_dri.so"}) {
    dlopen(library, RTLD_LAZY | RTLD_NODELETE);
  }
}
#endif

bool SdlHost::Open(std::string* error) {
#if defined(__SANITIZE_ADDRESS__)
  KeepLeakyLibrariesLoaded();
#endif
  // SIGTERM and SIGINT are the engine's own (see stop_signals.h): SDL would
  // turn them into a quit event that a hold could leave unread.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A click that brings a window to the front counts as a click, as it
  // did on Windows: the first click on a message box's button, or on the
  // game, is never swallowed.
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  // A window's own pixels stay in memory shared with the X server; SDL
  // would otherwise put them through OpenGL, loading a whole graphics stack
  // for a 640x480 picture.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // A desktop's compositor stays in charge of the window, so that frames
  // drawn without the graphics card still reach the display in step with
  // its refresh.
  SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    *error = SDL_GetError();
    return false;
  }
  // Without a display SDL falls back to a driver that draws nowhere: the
  // game would play unseen. Only a player who asks for one gets it.
  const std::string driver = SDL_GetCurrentVideoDriver();
  const char* asked = std::getenv("SDL_VIDEODRIVER");
  if ((driver == "offscreen" || driver == "dummy") &&
      (asked == nullptr || std::string(asked).find(driver) == std::string::npos)) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    const char* display = std::getenv("DISPLAY");
    *error = display != nullptr && *display != '\0'
                 ? "the display '" + std::string(display) + "' cannot be opened"
                 : "there is no display (DISPLAY and WAYLAND_DISPLAY are not set)";
    return false;
  }
  EndCleanlyOnDisplayLoss();
  stop_wakeup_ = std::make_unique<StopWakeup>();
  // Without the thread a stop signal is still seen, only not during an
  // idle wait for events: then at the next event.
  static_cast<void>(stop_wakeup_->Start());

  SDL_Rect usable{0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(0, &usable) != 0 || usable.w <= 0 || usable.h <= 0) {
    const Size desktop = DesktopSize();
    usable = {0, 0, desktop.width, desktop.height};
  }
  std::string note;
  windowed_size_ = OpeningWindowSize({usable.w, usable.h}, options_.scale, &note);
  if (!note.empty() && options_.err) Complain(*options_.err, note);

  bool accelerated = options_.renderer == RendererChoice::kAccelerated ||
                     (options_.renderer == RendererChoice::kAuto && DisplayHasGraphicsCard());
  const uint32_t flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
  if (accelerated) {
    window_ = SDL_CreateWindow("Form2", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               windowed_size_.width, windowed_size_.height,
                               flags | SDL_WINDOW_OPENGL);
    std::string why;
    if (window_) presenter_ = MakeRendererPresenter(window_, options_.filter, &why);
    if (!presenter_) {
      if (!window_) why = SDL_GetError();
      if (options_.err && options_.renderer == RendererChoice::kAccelerated) {
        Complain(*options_.err, "no accelerated renderer (" + why + "); drawing in software");
      }
      if (window_) SDL_DestroyWindow(window_);
      window_ = nullptr;
    }
  }
  if (!presenter_) {
    window_ = SDL_CreateWindow("Form2", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               windowed_size_.width, windowed_size_.height, flags);
    if (!window_) {
      *error = SDL_GetError();
      return false;
    }
    SDL_DisplayMode mode;
    int rate = 60;
    if (SDL_GetDesktopDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0) rate = mode.refresh_rate;
    presenter_ = MakeSurfacePresenter(window_, options_.filter, static_cast<uint32_t>(1000 / rate),
                                      error);
    if (!presenter_) return false;
  }
  own_full_screen_ = !HasWindowManager();
  SDL_SetWindowMinimumSize(window_, std::min(kMinimumWidth, windowed_size_.width),
                           std::min(kMinimumHeight, windowed_size_.height));
  // Keys reach the engine as key codes; no input method is involved.
  SDL_StopTextInput();
  start_ticks_ = SDL_GetTicks();

  if (options_.sound) {
    std::string audio_error;
    if (audio_.Open(&audio_error)) {
      const MediaVolumes volumes = devices_->Volumes();
      devices_ = std::make_unique<media::MediaDevices>(media::MediaDevices::Options{
          .sound = true, .soundfont = options_.soundfont, .err = options_.err, .restore = kRestoreMode});
      devices_->SetVolumes(volumes);
    } else if (options_.err) {
      Complain(*options_.err, "no sound device (" + audio_error + "); the game plays silently");
    }
  }
  devices_->SetHold([this] { HoldForSound(); });
  return true;
}

uint64_t SdlHost::HeardFrame() {
  return audio_.IsOpen() ? audio_.Played() : media::FrameAtMs(TimeGetTime());
}

void SdlHost::PumpMedia() {
  media::MediaDevices& d = *devices_;
  const uint64_t heard = HeardFrame();
  if (audio_.IsOpen()) {
    const uint64_t target = heard + kLookaheadFrames;
    while (d.Position() < target && audio_.Room() > 0) {
      const uint64_t stop = std::min<uint64_t>(target, d.Position() + std::min<size_t>(audio_.Room(), 1024));
      mix_.resize(static_cast<size_t>(stop - d.Position()) * 2);
      audio_.Push(mix_.data(), d.Render(stop, mix_.data()));
    }
  } else {
    while (d.Position() < heard) d.Render(heard, nullptr);
  }
  d.Heard(heard);
  if (d.TakeNotification()) notification_pending_ = true;
  if (d.Box().version != box_version_) {
    box_version_ = d.Box().version;
    Refresh();
  }
}

void SdlHost::DeliverMediaNotification() {
  if (!notification_pending_) return;
  notification_pending_ = false;
  if (sink_) sink_->OnMediaNotify();
}

void SdlHost::HoldForSound() {
  while (devices_->SoundPlaying()) {
    if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) {
        if (sink_) sink_->OnCloseRequest();
      } else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
        if (sink_) sink_->OnKeyPress(27);
      } else if (event.type == SDL_WINDOWEVENT) {
        OnWindowEvent(event.window);
      } else if ((event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP ||
                  event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
                 deferred_.size() < kMaxDeferred) {
        // The window would have queued these until the sound was over.
        deferred_.push_back(event);
      }
    }
    PumpMedia();
    PresentIfDue();
    SleepUnlessStopped(2);
  }
}

void SdlHost::DispatchDeferred() {
  while (!deferred_.empty()) {
    const SDL_Event event = deferred_.front();
    deferred_.pop_front();
    Dispatch(event);
  }
}

void SdlHost::SleepUnlessStopped(uint32_t milliseconds) {
  const int fd = StopSignalFd();
  if (fd < 0) {
    SDL_Delay(milliseconds);
    return;
  }
  pollfd wake{fd, POLLIN, 0};
  ::poll(&wake, 1, static_cast<int>(milliseconds));
}

uint32_t SdlHost::TimeGetTime() {
  return SDL_GetTicks() - start_ticks_;
}

void SdlHost::CheckForQuit() {
  SDL_PumpEvents();
  LookForQuit();
}

void SdlHost::LookForQuit() {
  if (!sink_) return;
  if (StopSignal() != 0) sink_->OnCloseRequest();
  SDL_Event quit;
  if (SDL_PeepEvents(&quit, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) sink_->OnCloseRequest();
  // Escape ends the engine whatever it is doing; the other keys wait their
  // turn in the queue, however many a held key has put there.
  peeked_keys_.resize(kMaxPeekedKeys);
  const int keys = SDL_PeepEvents(peeked_keys_.data(), kMaxPeekedKeys, SDL_PEEKEVENT, SDL_KEYDOWN,
                                  SDL_KEYDOWN);
  for (int i = 0; i < keys; ++i) {
    if (peeked_keys_[static_cast<size_t>(i)].key.keysym.sym == SDLK_ESCAPE) sink_->OnKeyPress(27);
  }
}

void SdlHost::Delay(uint32_t milliseconds) {
  // A hold ignores the game's input, but not the player's wish to leave:
  // it is cut into short pieces, with a look for it after each.
  const uint32_t start = TimeGetTime();
  for (;;) {
    CheckForQuit();
    const uint32_t spent = TimeGetTime() - start;
    if (spent >= milliseconds) return;
    SleepUnlessStopped(std::min(milliseconds - spent, kQuitCheckMs));
  }
}

void SdlHost::Sleep(uint32_t milliseconds) {
  HideIfPending();
  // A changed screen that falls due during the pause is shown on the way,
  // and playing media are fed.
  const uint32_t start = TimeGetTime();
  for (;;) {
    const bool busy = devices_->Busy();
    if (busy) PumpMedia();
    PresentIfDue();
    const uint32_t elapsed = TimeGetTime() - start;
    if (elapsed >= milliseconds) return;
    uint32_t step = milliseconds - elapsed;
    if (busy) step = std::min(step, kMediaPumpMs);
    step = std::max<uint32_t>(1, TimeToPresent(step));
    Delay(step);
  }
}

void SdlHost::FireDueTimers() {
  uint32_t now = TimeGetTime();
  for (size_t i = 0; i < timers_.size(); ++i) {
    Timer& t = timers_[i];
    if (!t.enabled || t.interval == 0) continue;
    if (static_cast<int32_t>(now - t.next_due) >= 0) {
      t.next_due = now + t.interval;
      if (sink_) sink_->OnTimer(static_cast<TimerId>(i));
    }
  }
}

uint32_t SdlHost::TimeToNextTimer(uint32_t cap) {
  uint32_t now = TimeGetTime();
  uint32_t wait = cap;
  for (const Timer& t : timers_) {
    if (!t.enabled || t.interval == 0) continue;
    int32_t left = static_cast<int32_t>(t.next_due - now);
    wait = std::min<uint32_t>(wait, left > 0 ? static_cast<uint32_t>(left) : 0);
  }
  return wait;
}

void SdlHost::DoEvents() {
  HideIfPending();
  DispatchDeferred();
  // The close button, Escape and a stop signal come first, wherever they
  // are in the queue.
  LookForQuit();
  SDL_Event event;
  for (int i = 0; i < kEventsPerPump && SDL_PollEvent(&event); ++i) {
    if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
    Dispatch(event);
  }
  PumpMedia();
  DeliverMediaNotification();
  FireDueTimers();
  PresentIfDue();
}

void SdlHost::WaitEvents(uint32_t milliseconds) {
  HideIfPending();
  SDL_Event event;
  uint32_t wait = TimeToPresent(TimeToNextTimer(milliseconds));
  if (devices_->Busy()) wait = std::min(wait, kMediaPumpMs);
  if (!deferred_.empty() || notification_pending_ || StopSignal() != 0) wait = 0;
  // Nothing due: sleep until an event comes (a stop signal posts one).
  const int timeout = wait >= static_cast<uint32_t>(INT32_MAX) ? -1 : static_cast<int>(wait);
  if (SDL_WaitEventTimeout(&event, timeout)) {
    if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
    Dispatch(event);
  }
  DoEvents();
}

void SdlHost::RunEventLoop() {
  for (;;) WaitEvents(UINT32_MAX);
}

void SdlHost::Dispatch(const SDL_Event& event) {
  if (!sink_) return;
  switch (event.type) {
    case SDL_QUIT:
      sink_->OnCloseRequest();
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      MouseButton button;
      if (event.button.button == SDL_BUTTON_LEFT)
        button = MouseButton::kLeft;
      else if (event.button.button == SDL_BUTTON_RIGHT)
        button = MouseButton::kRight;
      else if (event.button.button == SDL_BUTTON_MIDDLE)
        button = MouseButton::kMiddle;
      else
        break;
      SDL_Keymod mod = SDL_GetModState();
      int shift = ((mod & KMOD_SHIFT) ? kShiftMask : 0) | ((mod & KMOD_CTRL) ? kCtrlMask : 0) |
                  ((mod & KMOD_ALT) ? kAltMask : 0);
      // The engine knows only the game's 640x480 pixels, at any scale.
      const Point at = WindowToGame({event.button.x, event.button.y}, InputViewport());
      if (event.type == SDL_MOUSEBUTTONDOWN) {
        sink_->OnMouseDown(button, shift, at.x, at.y);
      } else {
        sink_->OnMouseUp(button, shift, at.x, at.y);
      }
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      // A held key repeats its key-down; only the arrow keys (the pointer
      // keeps moving) and PageUp and PageDown (one wait further each) act
      // again. F4 and Alt+Enter switch the screen once a press, and Enter
      // and Space press once.
      const SDL_Keycode sym = event.key.keysym.sym;
      if (event.type == SDL_KEYDOWN && event.key.repeat != 0 && sym != SDLK_LEFT &&
          sym != SDLK_UP && sym != SDLK_RIGHT && sym != SDLK_DOWN && sym != SDLK_PAGEUP &&
          sym != SDLK_PAGEDOWN) {
        break;
      }
      KeyCode key;
      switch (event.key.keysym.sym) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
          key = KeyCode::kEnter;
          break;
        case SDLK_SPACE:
          key = KeyCode::kSpace;
          break;
        case SDLK_ESCAPE:
          key = KeyCode::kEscape;
          break;
        case SDLK_F4:
          key = KeyCode::kF4;
          break;
        case SDLK_F5:
          key = KeyCode::kF5;
          break;
        case SDLK_F9:
          key = KeyCode::kF9;
          break;
        case SDLK_F1:
          key = KeyCode::kF1;
          break;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
          key = KeyCode::kCtrl;
          break;
        case SDLK_TAB:
          key = KeyCode::kTab;
          break;
        case SDLK_a:
          key = KeyCode::kA;
          break;
        case SDLK_l:
          key = KeyCode::kL;
          break;
        case SDLK_PAGEUP:
          key = KeyCode::kPageUp;
          break;
        case SDLK_PAGEDOWN:
          key = KeyCode::kPageDown;
          break;
        case SDLK_LEFT:
          key = KeyCode::kLeft;
          break;
        case SDLK_UP:
          key = KeyCode::kUp;
          break;
        case SDLK_RIGHT:
          key = KeyCode::kRight;
          break;
        case SDLK_DOWN:
          key = KeyCode::kDown;
          break;
        default:
          return;
      }
      SDL_Keymod mod = static_cast<SDL_Keymod>(event.key.keysym.mod);
      int shift = ((mod & KMOD_SHIFT) ? kShiftMask : 0) | ((mod & KMOD_CTRL) ? kCtrlMask : 0) |
                  ((mod & KMOD_ALT) ? kAltMask : 0);
      if (event.type == SDL_KEYDOWN) {
        sink_->OnKeyDown(key, shift);
        if (key == KeyCode::kEscape) sink_->OnKeyPress(27);
      } else {
        sink_->OnKeyUp(key, shift);
      }
      break;
    }
    case SDL_MOUSEWHEEL: {
      // Notches away from the player are positive, whichever way the
      // system turns the wheel.
      const int notches =
          event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
      if (notches != 0) sink_->OnWheel(notches);
      break;
    }
    case SDL_WINDOWEVENT:
      OnWindowEvent(event.window);
      break;
    case SDL_RENDER_TARGETS_RESET:
    case SDL_RENDER_DEVICE_RESET:
      Present(true);
      break;
    default:
      // The stop signal's wake-up: acted on by whoever woke.
      break;
  }
}

void SdlHost::SetTimerInterval(TimerId timer, uint32_t milliseconds) {
  Timer& t = timers_[static_cast<size_t>(timer)];
  t.interval = milliseconds;
  t.next_due = TimeGetTime() + milliseconds;
}

void SdlHost::EnableTimer(TimerId timer, bool enabled) {
  Timer& t = timers_[static_cast<size_t>(timer)];
  if (enabled && !t.enabled) t.next_due = TimeGetTime() + t.interval;
  t.enabled = enabled;
}

TimerSetting SdlHost::GetTimer(TimerId timer) {
  const Timer& t = timers_[static_cast<size_t>(timer)];
  const int32_t left = static_cast<int32_t>(t.next_due - TimeGetTime());
  return {t.interval, t.enabled, left > 0 ? static_cast<uint32_t>(left) : 0};
}

void SdlHost::RestoreTimer(TimerId timer, const TimerSetting& setting) {
  Timer& t = timers_[static_cast<size_t>(timer)];
  t.interval = setting.interval;
  t.enabled = setting.enabled;
  t.next_due = TimeGetTime() + setting.due_in;
}

MessageBoxAnswer SdlHost::ShowBox(const std::u16string& text, bool yes_no) {
  if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
  HideIfPending();
  // The box may stay up a long time: the screen behind it must be current.
  if (pending_) Present();
  if (!box_fonts_) box_fonts_ = std::make_unique<gdi::FontEngine>();
  const uint32_t main_id = window_ ? SDL_GetWindowID(window_) : 0;
  MessageBoxRequest request{
      .text = text,
      .yes_no = yes_no,
      .owner = window_,
      .scale = std::max(1, InputViewport().width / gdi::kScreenWidth),
      // The game window repaints behind the box, and sound plays on.
      .other =
          [this, main_id](const SDL_Event& e) {
            if (e.type == SDL_WINDOWEVENT && e.window.windowID == main_id) OnWindowEvent(e.window);
          },
      .idle =
          [this] {
            PumpMedia();
            PresentIfDue();
            return devices_->Busy() ? kMediaPumpMs : std::max<uint32_t>(1, TimeToPresent(1000));
          },
  };
  std::string error;
  const MessageBoxAnswer answer = RunMessageBox(*box_fonts_, request, &error);
  if (answer == MessageBoxAnswer::kFailed) {
    Complain("the message box could not be shown: " + error);
  }
  return answer;
}

void SdlHost::MessageBoxOk(const std::u16string& text) {
  // Every box is also on standard error, so that one the desktop fails to
  // show is never lost.
  Complain("message: " + BoxTextForLog(text));
  ShowBox(text, false);
}

bool SdlHost::MessageBoxYesNo(const std::u16string& text) {
  Complain("question: " + BoxTextForLog(text));
  const MessageBoxAnswer answer = ShowBox(text, true);
  if (answer == MessageBoxAnswer::kFailed) {
    // Unasked, the safe answer: No (for the style question, stay in a
    // window).
    Complain("answering no");
    return false;
  }
  Complain(std::string("answer: ") + (answer == MessageBoxAnswer::kYes ? "yes" : "no"));
  return answer == MessageBoxAnswer::kYes;
}

void SdlHost::Refresh() {
  pending_ = true;
  PresentIfDue();
}

void SdlHost::PresentIfDue() {
  if (pending_ && presenter_ && presenter_->Ready(TimeGetTime())) Present();
}

uint32_t SdlHost::TimeToPresent(uint32_t cap) {
  if (!pending_ || !presenter_) return cap;
  return presenter_->TimeUntilReady(TimeGetTime(), cap);
}

void SdlHost::Present(bool whole) {
  pending_ = false;
  if (!presenter_) return;
  // The video box is a window of its own over the drawing area, and the
  // player's layer lies over both.
  const gdi::Surface* shown = &screen_;
  if (devices_->Box().visible || overlay_ != nullptr) {
    ComposeShown(screen_, devices_->Box(), overlay_, overlay_at_, &composed_);
    shown = &composed_;
  }
  presenter_->Present(*shown, whole, TimeGetTime());
}

void SdlHost::SetOverlay(const gdi::Surface* overlay, Point at) {
  overlay_ = overlay;
  overlay_at_ = at;
  // The whole screen goes again: the region the note covered changed.
  pending_ = true;
  Present(true);
}

gdi::Surface SdlHost::ShownScreen() {
  gdi::Surface shown;
  ComposeShown(screen_, devices_->Box(), overlay_, overlay_at_, &shown);
  return shown;
}

void SdlHost::OnWindowEvent(const SDL_WindowEvent& event) {
  if (!window_ || event.windowID != SDL_GetWindowID(window_)) return;
  switch (event.event) {
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      UpdateCursor();
      Present(true);
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      Present(true);
      break;
    case SDL_WINDOWEVENT_CLOSE:
      // With a message box open SDL reports the game window's close button
      // here rather than as a request to quit.
      if (sink_) sink_->OnCloseRequest();
      break;
    default:
      break;
  }
}

Rect SdlHost::InputViewport() {
  int w = 0, h = 0;
  if (window_) SDL_GetWindowSize(window_, &w, &h);
  return Viewport({w, h});
}

void SdlHost::SetCaption(const std::u16string& caption) {
  if (!window_) return;
  const std::string title = Utf16ToUtf8(caption);
  SDL_SetWindowTitle(window_, title.c_str());
  LabelTitleAsUtf8(window_, title);
}

void SdlHost::ShowWindow(bool visible) {
  if (!window_) return;
  const bool shown = (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) != 0;
  if (visible) {
    hide_pending_ = false;
    if (!shown) SDL_ShowWindow(window_);
    Present(true);
  } else if (shown) {
    // The engine hides the window around a change of style and shows it
    // again at once. Taking it off the display would lose the keyboard's
    // focus, and with it the knowledge that the key that asked for the
    // change is still held (its repeats would count as new presses); so it
    // goes only if it is still to be hidden when anything else happens.
    hide_pending_ = true;
  }
}

void SdlHost::HideIfPending() {
  if (!hide_pending_) return;
  hide_pending_ = false;
  SDL_HideWindow(window_);
}

void SdlHost::SetWindowStyle(bool full_screen, bool topmost) {
  if (!window_) return;
  if (!style_set_) {
    style_set_ = true;
    style_flipped_ = options_.full_screen && !full_screen;
  }
  full_screen = full_screen != style_flipped_;
  // Today's displays are not switched to 640x480: full screen covers the
  // desktop in its own mode, the picture scaled with its proportions kept.
  if (full_screen && !full_screen_) {
    SDL_GetWindowSize(window_, &windowed_size_.width, &windowed_size_.height);
    SDL_GetWindowPosition(window_, &windowed_position_.x, &windowed_position_.y);
    if (own_full_screen_) {
      SDL_Rect bounds;
      if (SDL_GetDisplayBounds(std::max(0, SDL_GetWindowDisplayIndex(window_)), &bounds) == 0) {
        SDL_SetWindowBordered(window_, SDL_FALSE);
        SDL_SetWindowPosition(window_, bounds.x, bounds.y);
        SDL_SetWindowSize(window_, bounds.w, bounds.h);
      }
    } else {
      SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
  } else if (!full_screen && full_screen_) {
    if (own_full_screen_) {
      SDL_SetWindowBordered(window_, SDL_TRUE);
      SDL_SetWindowPosition(window_, windowed_position_.x, windowed_position_.y);
    } else {
      SDL_SetWindowFullscreen(window_, 0);
    }
    // Back to the size the player had, not to a postage stamp.
    SDL_SetWindowSize(window_, windowed_size_.width, windowed_size_.height);
  }
  full_screen_ = full_screen;
  SDL_SetWindowAlwaysOnTop(window_, topmost ? SDL_TRUE : SDL_FALSE);
}

Size SdlHost::DesktopSize() {
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return {1024, 768};
  return {mode.w, mode.h};
}

DisplayChange SdlHost::ChangeDisplayMode(int, int, int, bool) {
  return DisplayChange::kSuccessful;
}

Point SdlHost::GetCursorPos() {
  int wx = 0, wy = 0;
  SDL_GetMouseState(&wx, &wy);
  return WindowToGame({wx, wy}, InputViewport());
}

void SdlHost::SetCursorPos(Point position) {
  if (!window_) return;
  const Point at = GameToWindow(position, InputViewport());
  SDL_WarpMouseInWindow(window_, at.x, at.y);
}

void SdlHost::SetCursorImage(const gdi::CursorImage* image) {
  if (image != nullptr && image->width > 0 && image->height > 0 &&
      image->argb.size() ==
          static_cast<size_t>(image->width) * static_cast<size_t>(image->height)) {
    cursor_image_ = *image;
  } else {
    cursor_image_.reset();
  }
  cursor_width_ = 0;
  UpdateCursor();
}

void SdlHost::UpdateCursor() {
  if (!window_) return;
  SDL_Cursor* cursor = nullptr;
  if (cursor_image_) {
    // The picture grows with the game's pixels (never below its own size),
    // square pixels kept, the hot spot on the same pixel of the picture.
    const gdi::CursorImage& image = *cursor_image_;
    const Rect viewport = InputViewport();
    const double scale = std::max(1.0, viewport.width / static_cast<double>(gdi::kScreenWidth));
    const int w = std::clamp(static_cast<int>(image.width * scale + 0.5), 1, kMaxCursorSize);
    const int h = std::clamp(static_cast<int>(image.height * scale + 0.5), 1, kMaxCursorSize);
    if (cursor_ && w == cursor_width_) return;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
      const int sy = std::min(image.height - 1, y * image.height / h);
      for (int x = 0; x < w; ++x) {
        const int sx = std::min(image.width - 1, x * image.width / w);
        pixels[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] =
            image.argb[static_cast<size_t>(sy) * static_cast<size_t>(image.width) +
                       static_cast<size_t>(sx)];
      }
    }
    // SDL copies the pixels into the cursor it makes.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), w, h, 32, w * 4,
                                                              SDL_PIXELFORMAT_ARGB8888);
    if (surface) {
      cursor = SDL_CreateColorCursor(surface, std::min(w - 1, image.hot_x * w / image.width),
                                     std::min(h - 1, image.hot_y * h / image.height));
      SDL_FreeSurface(surface);
    }
    cursor_width_ = w;
  }
  // A picture the platform cannot make a pointer of leaves the standard
  // arrow, as ".cur normal" does.
  SDL_SetCursor(cursor ? cursor : SDL_GetDefaultCursor());
  if (cursor_) SDL_FreeCursor(cursor_);
  cursor_ = cursor;
}

uint64_t SdlHost::RandomSeed() {
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

bool SdlHost::AcquireInstanceLock(const std::string& game_folder) {
  const InstanceLock::Result result = instance_lock_.Take(game_folder);
  if (result == InstanceLock::Result::kUnavailable) {
    Diagnostic("no single-instance lock can be taken (" + instance_lock_.Problem() +
               "); playing on without one");
  }
  return result != InstanceLock::Result::kHeldByOther;
}

}  // namespace tsumugi::sdl
