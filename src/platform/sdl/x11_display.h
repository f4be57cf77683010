// What the window host asks of the X server itself, beside SDL.
#pragma once

#include <SDL.h>

#include <string>

namespace tsumugi::sdl {

// Whether the display the window goes on draws with a graphics card. On X
// that is an X server offering direct rendering (DRI2, DRI3, or the
// proprietary NVIDIA driver); a virtual or remote X server without it would
// only emulate OpenGL on the processor. Other platforms always have one;
// SDL's dummy and offscreen drivers never do. LIBGL_ALWAYS_SOFTWARE says no.
bool DisplayHasGraphicsCard();

// Whether a window manager runs that can make a window full screen; false
// on a bare X server, where the host resizes the window itself. Other
// platforms always have one.
bool HasWindowManager();

// Labels the window's old-style title (WM_NAME, which window managers
// without the desktop conventions show) as UTF-8 text: SDL writes the UTF-8
// bytes there marked as Latin-1, which such a window manager would show as
// mojibake. No effect off X.
void LabelTitleAsUtf8(SDL_Window* window, const std::string& utf8);

// Makes a window that is not shown yet a dialog: of the owner (its
// window manager keeps it above the owner and gives it no minimise or
// maximise button), or standing alone when the owner is null. No effect
// off X.
void MakeDialog(SDL_Window* box, SDL_Window* owner);

// When the connection to the X server breaks (the server ended, the remote
// session dropped), says so on standard error and ends the process with
// status 1, removing the lock file, instead of leaving the process to
// Xlib's default exit. No effect off X.
void EndCleanlyOnDisplayLoss();

}  // namespace tsumugi::sdl
