#include "platform/sdl/sdl_host.h"

#include <dlfcn.h>

#include <chrono>
#include <iostream>

#include "common/text_codec.h"
#include "platform/instance/stop_signals.h"

namespace tsumugi::sdl {

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;
// The mix is made this far ahead of what the device plays (about 90 ms):
// enough to ride out a busy moment of the engine, short enough that a
// sound starts close to its line.
constexpr uint64_t kLookaheadFrames = 4000;
// While media play, the engine's thread comes back this often to feed them.
constexpr uint32_t kMediaPumpMs = 5;
// Presses and keys kept while a wave sound holds the engine.
constexpr size_t kMaxDeferred = 256;
// The longest the host goes without looking for the player's request to
// close, or for a stop signal.
constexpr uint32_t kQuitCheckMs = 50;

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
    : screen_(kWidth, kHeight, gdi::kBlack), options_(std::move(options)) {
  devices_ = std::make_unique<media::MediaDevices>(media::MediaDevices::Options{
      .sound = false, .soundfont = options_.soundfont, .err = options_.err});
}

SdlHost::~SdlHost() {
  if (cursor_) {
    SDL_SetCursor(SDL_GetDefaultCursor());
    SDL_FreeCursor(cursor_);
  }
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  if (window_ || renderer_) SDL_QuitSubSystem(SDL_INIT_VIDEO);
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
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    *error = SDL_GetError();
    return false;
  }
  window_ = SDL_CreateWindow("Form2", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kWidth,
                             kHeight, SDL_WINDOW_HIDDEN);
  if (!window_) {
    *error = SDL_GetError();
    return false;
  }
  // No vsync: a typed character must cost the game's own delay, not a
  // display frame.
  renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (!renderer_) {
    *error = SDL_GetError();
    return false;
  }
  SDL_RenderSetLogicalSize(renderer_, kWidth, kHeight);
  texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_XRGB8888, SDL_TEXTUREACCESS_STREAMING,
                               kWidth, kHeight);
  if (!texture_) {
    *error = SDL_GetError();
    return false;
  }
  // Keys reach the engine as key codes; no input method is involved.
  SDL_StopTextInput();
  start_ticks_ = SDL_GetTicks();

  if (options_.sound) {
    std::string audio_error;
    if (audio_.Open(&audio_error)) {
      devices_ = std::make_unique<media::MediaDevices>(media::MediaDevices::Options{
          .sound = true, .soundfont = options_.soundfont, .err = options_.err});
    } else if (options_.err) {
      *options_.err << "tsumugi: no sound device (" << audio_error << "); the game plays silently\n";
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
    if (pacer_.Changed(TimeGetTime())) Present();
  }
}

void SdlHost::DeliverMediaNotification() {
  if (!notification_pending_) return;
  notification_pending_ = false;
  if (sink_) sink_->OnMediaNotify();
}

void SdlHost::HoldForSound() {
  while (devices_->SoundPlaying()) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
      if (event.type == SDL_QUIT) {
        if (sink_) sink_->OnCloseRequest();
      } else if (event.type == SDL_KEYDOWN && event.key.keysym.sym == SDLK_ESCAPE) {
        if (sink_) sink_->OnKeyPress(27);
      } else if (event.type == SDL_WINDOWEVENT) {
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED) Present();
      } else if ((event.type == SDL_MOUSEBUTTONDOWN || event.type == SDL_MOUSEBUTTONUP ||
                  event.type == SDL_KEYDOWN || event.type == SDL_KEYUP) &&
                 deferred_.size() < kMaxDeferred) {
        // The window would have queued these until the sound was over.
        deferred_.push_back(event);
      }
    }
    PumpMedia();
    if (pacer_.Due(TimeGetTime())) Present();
    SDL_Delay(2);
  }
}

void SdlHost::DispatchDeferred() {
  while (!deferred_.empty()) {
    const SDL_Event event = deferred_.front();
    deferred_.pop_front();
    Dispatch(event);
  }
}

uint32_t SdlHost::TimeGetTime() {
  return SDL_GetTicks() - start_ticks_;
}

void SdlHost::CheckForQuit() {
  if (!sink_) return;
  if (StopSignal() != 0) sink_->OnCloseRequest();
  SDL_PumpEvents();
  SDL_Event events[64];
  if (SDL_PeepEvents(events, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0) sink_->OnCloseRequest();
  // Escape ends the engine whatever it is doing; the other keys wait their
  // turn in the queue.
  const int keys = SDL_PeepEvents(events, 64, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN);
  for (int i = 0; i < keys; ++i) {
    if (events[i].key.keysym.sym == SDLK_ESCAPE) sink_->OnKeyPress(27);
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
    SDL_Delay(std::min(milliseconds - spent, kQuitCheckMs));
  }
}

void SdlHost::Sleep(uint32_t milliseconds) {
  // A changed screen that falls due during the pause is shown on the way,
  // and playing media are fed.
  const uint32_t start = TimeGetTime();
  for (;;) {
    const bool busy = devices_->Busy();
    if (busy) PumpMedia();
    const uint32_t now = TimeGetTime();
    if (pacer_.Due(now) && pacer_.Pending()) Present();
    const uint32_t elapsed = now - start;
    if (elapsed >= milliseconds) return;
    uint32_t step = milliseconds - elapsed;
    if (busy) step = std::min(step, kMediaPumpMs);
    if (pacer_.Pending()) step = std::min(step, std::max<uint32_t>(1, pacer_.TimeUntilDue(now, step)));
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
  DispatchDeferred();
  if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
  SDL_Event event;
  while (SDL_PollEvent(&event)) Dispatch(event);
  PumpMedia();
  DeliverMediaNotification();
  FireDueTimers();
  PresentIfDue();
}

void SdlHost::WaitEvents(uint32_t milliseconds) {
  SDL_Event event;
  uint32_t wait = pacer_.TimeUntilDue(TimeGetTime(), TimeToNextTimer(milliseconds));
  if (devices_->Busy()) wait = std::min(wait, kMediaPumpMs);
  // A stop signal wakes nothing: it is looked for this often.
  wait = std::min(wait, kQuitCheckMs);
  if (!deferred_.empty() || notification_pending_) wait = 0;
  if (SDL_WaitEventTimeout(&event, static_cast<int>(wait))) {
    Dispatch(event);
  }
  DoEvents();
}

void SdlHost::RunEventLoop() {
  for (;;) WaitEvents(100);
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
      else
        break;
      SDL_Keymod mod = SDL_GetModState();
      int shift = ((mod & KMOD_SHIFT) ? kShiftMask : 0) | ((mod & KMOD_CTRL) ? kCtrlMask : 0) |
                  ((mod & KMOD_ALT) ? kAltMask : 0);
      if (event.type == SDL_MOUSEBUTTONDOWN) {
        sink_->OnMouseDown(button, shift, event.button.x, event.button.y);
      } else {
        sink_->OnMouseUp(button, shift, event.button.x, event.button.y);
      }
      break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
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
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) Present();
      break;
    default:
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

void SdlHost::MessageBoxOk(const std::u16string& text) {
  // Every box is also on standard error, so that one the desktop fails to
  // show is never lost.
  std::cerr << "tsumugi: message: " << BoxTextForLog(text) << std::endl;
  if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
  // The box may stay up a long time: the screen behind it must be current.
  if (pacer_.Pending()) Present();
  int shown;
  {
    ModalScope modal;
    shown = SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, "Tsumugi",
                                     Utf16ToUtf8(text).c_str(), window_);
  }
  if (shown != 0) {
    std::cerr << "tsumugi: the message box could not be shown: " << SDL_GetError() << std::endl;
  }
}

bool SdlHost::MessageBoxYesNo(const std::u16string& text) {
  std::cerr << "tsumugi: question: " << BoxTextForLog(text) << std::endl;
  if (StopSignal() != 0 && sink_) sink_->OnCloseRequest();
  if (pacer_.Pending()) Present();
  std::string message = Utf16ToUtf8(text);
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "はい"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "いいえ"},
  };
  SDL_MessageBoxData data{
      SDL_MESSAGEBOX_INFORMATION, window_, "Tsumugi", message.c_str(), 2, buttons, nullptr};
  int answer = 0;
  int shown;
  {
    ModalScope modal;
    shown = SDL_ShowMessageBox(&data, &answer);
  }
  if (shown != 0) {
    // Unasked, the safe answer: No (for the style question, stay in a
    // window).
    std::cerr << "tsumugi: the question could not be shown (" << SDL_GetError()
              << "); answering no" << std::endl;
    return false;
  }
  std::cerr << "tsumugi: answer: " << (answer == 1 ? "yes" : "no") << std::endl;
  return answer == 1;
}

void SdlHost::Refresh() {
  if (pacer_.Changed(TimeGetTime())) Present();
}

void SdlHost::PresentIfDue() {
  if (pacer_.Due(TimeGetTime())) Present();
}

void SdlHost::Present() {
  pacer_.Presented(TimeGetTime());
  if (!renderer_) return;
  // The video box is a window of its own over the drawing area.
  const gdi::Surface* shown = &screen_;
  if (devices_->Box().visible) {
    ComposeWithVideoBox(screen_, devices_->Box(), &composed_);
    shown = &composed_;
  }
  SDL_UpdateTexture(texture_, nullptr, shown->Data(),
                    shown->Stride() * static_cast<int>(sizeof(uint32_t)));
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
}

void SdlHost::SetCaption(const std::u16string& caption) {
  if (window_) SDL_SetWindowTitle(window_, Utf16ToUtf8(caption).c_str());
}

void SdlHost::ShowWindow(bool visible) {
  if (!window_) return;
  if (visible) {
    SDL_ShowWindow(window_);
    Present();
  } else {
    SDL_HideWindow(window_);
  }
}

void SdlHost::SetWindowStyle(bool full_screen, bool topmost) {
  if (!window_) return;
  // Today's displays are not switched to 640x480: full screen scales the
  // drawing area over the desktop, keeping its proportions.
  SDL_SetWindowFullscreen(window_, full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  SDL_SetWindowAlwaysOnTop(window_, topmost ? SDL_TRUE : SDL_FALSE);
  if (!full_screen) SDL_SetWindowSize(window_, kWidth, kHeight);
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
  float lx = 0, ly = 0;
  SDL_RenderWindowToLogical(renderer_, wx, wy, &lx, &ly);
  return {static_cast<int>(lx), static_cast<int>(ly)};
}

void SdlHost::SetCursorPos(Point position) {
  int wx = 0, wy = 0;
  SDL_RenderLogicalToWindow(renderer_, static_cast<float>(position.x),
                            static_cast<float>(position.y), &wx, &wy);
  SDL_WarpMouseInWindow(window_, wx, wy);
}

void SdlHost::SetCursorImage(const gdi::CursorImage* image) {
  if (!window_) return;
  SDL_Cursor* cursor = nullptr;
  if (image != nullptr && image->width > 0 && image->height > 0 &&
      image->argb.size() ==
          static_cast<size_t>(image->width) * static_cast<size_t>(image->height)) {
    // SDL copies the pixels into the cursor it makes, so the surface only
    // borrows them for this call.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<uint32_t*>(image->argb.data()), image->width, image->height, 32,
        image->width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (surface) {
      cursor = SDL_CreateColorCursor(surface, image->hot_x, image->hot_y);
      SDL_FreeSurface(surface);
    }
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
