// Where the game's 640x480 picture lies in a window of any size, and how
// points move between the window and the game.
#pragma once

#include <string>

#include "platform/gdi/rect.h"
#include "platform/host.h"

namespace tsumugi::sdl {

using gdi::Rect;

// The largest whole number n for which 640n x 480n fits `area`; 0 when not
// even 640x480 does.
int FittingScale(Size area);

// The size the window opens at in `usable` (the desktop less its panels):
// 640x480 times `requested` when that fits, else times the largest whole
// number that fits; on a desktop smaller than 640x480, the largest 4:3 size
// that fits. `note` gets a line for the player when the request could not
// be met, and is left alone otherwise.
Size OpeningWindowSize(Size usable, int requested, std::string* note);

// The part of an output of `size` that the picture covers: as large as
// fits with the proportions of 640x480, centred, with black bars on the
// other sides. Empty only for an empty output.
Rect Viewport(Size output);

// A point of the window (in the same units as `viewport`) in game pixels.
// Points on the bars lie outside 0..639 x 0..479.
Point WindowToGame(Point window, const Rect& viewport);

// The window point of a game pixel: the first window point that maps back
// to it, so that a point moved there reads back unchanged at any scale of
// 1 or more.
Point GameToWindow(Point game, const Rect& viewport);

}  // namespace tsumugi::sdl
