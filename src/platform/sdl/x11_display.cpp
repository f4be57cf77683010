#include "platform/sdl/x11_display.h"

#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/instance/stop_signals.h"

#ifdef TSUMUGI_HAVE_X11
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace tsumugi::sdl {

namespace {

bool IsX11() {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr && std::strcmp(driver, "x11") == 0;
}

#ifdef TSUMUGI_HAVE_X11
int OnDisplayLost(Display*) {
  static const char kMessage[] =
      "tsumugi: the connection to the display was lost; the game ends\n";
  // Only what is safe in a failing state: one write, then the exit.
  [[maybe_unused]] const ssize_t written = ::write(2, kMessage, sizeof kMessage - 1);
  EndProcessNow(1);
}
#endif

}  // namespace

bool DisplayHasGraphicsCard() {
  const char* forced = std::getenv("LIBGL_ALWAYS_SOFTWARE");
  if (forced != nullptr && *forced != '\0' && std::strcmp(forced, "0") != 0) return false;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver == nullptr || std::strcmp(driver, "dummy") == 0 ||
      std::strcmp(driver, "offscreen") == 0) {
    return false;
  }
  if (!IsX11()) return true;
#ifdef TSUMUGI_HAVE_X11
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  bool direct = false;
  for (const char* extension : {"DRI3", "DRI2", "NV-GLX"}) {
    int opcode, event, error;
    if (XQueryExtension(display, extension, &opcode, &event, &error)) direct = true;
  }
  XCloseDisplay(display);
  return direct;
#else
  return false;
#endif
}

bool HasWindowManager() {
  if (!IsX11()) return true;
#ifdef TSUMUGI_HAVE_X11
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return false;
  // A window manager that follows the desktop conventions announces itself
  // with this property on the root window.
  bool found = false;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check != None) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success) {
      found = data != nullptr && count > 0;
    }
    if (data) XFree(data);
  }
  XCloseDisplay(display);
  return found;
#else
  return true;
#endif
}

void LabelTitleAsUtf8(SDL_Window* window, const std::string& utf8) {
#ifdef TSUMUGI_HAVE_X11
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  const Atom utf8_string = XInternAtom(display, "UTF8_STRING", False);
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  for (const Atom property : {XA_WM_NAME, XA_WM_ICON_NAME}) {
    XChangeProperty(display, info.info.x11.window, property, utf8_string, 8, PropModeReplace, bytes,
                    static_cast<int>(utf8.size()));
  }
  XFlush(display);
#else
  (void)window;
  (void)utf8;
#endif
}

void MakeDialog(SDL_Window* box, SDL_Window* owner) {
#ifdef TSUMUGI_HAVE_X11
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(box, &info) || info.subsystem != SDL_SYSWM_X11) return;
  Display* display = info.info.x11.display;
  const Window window = info.info.x11.window;
  if (owner != nullptr) {
    SDL_SysWMinfo owner_info;
    SDL_VERSION(&owner_info.version);
    if (SDL_GetWindowWMInfo(owner, &owner_info) && owner_info.subsystem == SDL_SYSWM_X11) {
      XSetTransientForHint(display, window, owner_info.info.x11.window);
    }
  }
  Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  XChangeProperty(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&type), 1);
  if (owner != nullptr) {
    Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(&modal), 1);
  }
  // The older convention many window managers still read: the box may be
  // moved and closed, not minimised, maximised or resized.
  struct {
    unsigned long flags, functions, decorations;
    long input_mode;
    unsigned long status;
  } motif{};
  constexpr unsigned long kFunctionsGiven = 1, kDecorationsGiven = 2;
  constexpr unsigned long kMove = 4, kClose = 32;
  constexpr unsigned long kBorder = 2, kTitle = 8, kMenu = 16;
  motif.flags = kFunctionsGiven | kDecorationsGiven;
  motif.functions = kMove | kClose;
  motif.decorations = kBorder | kTitle | kMenu;
  const Atom hints = XInternAtom(display, "_MOTIF_WM_HINTS", False);
  XChangeProperty(display, window, hints, hints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&motif), 5);
  XFlush(display);
#else
  (void)box;
  (void)owner;
#endif
}

void EndCleanlyOnDisplayLoss() {
#ifdef TSUMUGI_HAVE_X11
  if (IsX11()) XSetIOErrorHandler(OnDisplayLost);
#endif
}

}  // namespace tsumugi::sdl
