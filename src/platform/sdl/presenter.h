// Putting the 640x480 picture on the window, scaled, without holding up the
// engine's thread.
//
// The engine refreshes after every composed change: once per typed
// character, scroll step and transition frame, so refreshes come far more
// often than a display shows frames. The host marks the picture as changed
// and hands it to a presenter only when the presenter is ready for the next
// display frame; a change made between two display frames is shown at the
// next one. What differs from the last frame shown is all that is scaled and
// uploaded.
//
// Two presenters:
// - SurfacePresenter scales on the processor into the window's own pixels
//   (shared memory with the X server) on the engine's thread. No graphics
//   stack is loaded, so the window stays light where OpenGL would only be
//   emulated. A plain X server offers no display sync for such pixels; the
//   presenter is ready once per display frame, at the display's rate.
// - RendererPresenter hands each frame to a thread of its own that owns an
//   accelerated SDL renderer with display sync. The graphics card scales,
//   and the wait for the display's refresh happens on that thread, never on
//   the engine's: the presenter is ready again as soon as the frame before
//   has reached the display.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/gdi/surface.h"
#include "platform/sdl/picture_scaler.h"

namespace tsumugi::sdl {

class Presenter {
 public:
  virtual ~Presenter() = default;
  // True when a frame handed over now goes to the display at its next
  // refresh.
  virtual bool Ready(uint32_t now) = 0;
  // Milliseconds until Ready (0 when it is now), at most `cap`.
  virtual uint32_t TimeUntilReady(uint32_t now, uint32_t cap) = 0;
  // Shows `frame` (640x480). Only what differs from the frame shown before
  // is scaled and uploaded; `whole` redraws everything, the bars included
  // (after a resize, an expose or a lost graphics device).
  virtual void Present(const gdi::Surface& frame, bool whole, uint32_t now) = 0;
  // Waits until the frame handed over last is on the display (for the
  // benchmark and the end of the run).
  virtual void Finish() {}
  // "software" or the SDL render driver's name.
  virtual std::string Name() const = 0;
};

// The software presenter; `frame_ms` is the display's frame time. Null with
// a message when the window has no pixels to draw on.
std::unique_ptr<Presenter> MakeSurfacePresenter(SDL_Window* window, Filter filter,
                                                uint32_t frame_ms, std::string* error);

// The accelerated presenter. `window` must have been made with
// SDL_WINDOW_OPENGL where the platform's renderer needs it. Null with a
// message when no accelerated renderer can be made.
std::unique_ptr<Presenter> MakeRendererPresenter(SDL_Window* window, Filter filter,
                                                 std::string* error);

// The SDL event a RendererPresenter pushes when it is ready again, so that
// a host waiting for events wakes to hand over a waiting frame.
uint32_t PresenterReadyEvent();

}  // namespace tsumugi::sdl
