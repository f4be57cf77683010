// Message boxes drawn by the engine itself.
//
// The toolkit's own box draws with the X server's core fonts, which on a
// plain X server (and many desktops) have no Japanese at all, and falls back
// to an outside program that may not be installed. This box is a small
// window of our own whose text is drawn with the same fonts as the game's:
// modal over the game window, with OK or はい/いいえ, answered by the mouse,
// Enter (the focused button), Escape (OK, or いいえ), the arrow and Tab keys
// (focus) and Y or N.
#pragma once

#include <SDL.h>

#include <functional>
#include <string>

#include "platform/gdi/font.h"

namespace tsumugi::sdl {

struct MessageBoxRequest {
  std::u16string text;
  bool yes_no = false;
  // The game window the box is modal for; null or hidden: the box stands
  // alone, centred on the screen.
  SDL_Window* owner = nullptr;
  // The size of the box's pixels: the game's scale, so that the box reads
  // as well as the game behind it (0: chosen from the screen's size).
  int scale = 0;
  // Called with every event that is not the box's own (the owner's
  // repaints); input to other windows never reaches it.
  std::function<void(const SDL_Event&)> other;
  // Called when the wait for an event ran out, so that the host can keep
  // sound playing; returns how long the next wait may last, in ms.
  std::function<uint32_t()> idle;
};

enum class MessageBoxAnswer { kOk, kYes, kNo, kFailed };

// Shows the box and waits for the answer: kOk for an OK box, kYes or kNo
// for a question; kFailed with `error` when no window could be made.
MessageBoxAnswer RunMessageBox(gdi::FontEngine& fonts, const MessageBoxRequest& request,
                               std::string* error);

}  // namespace tsumugi::sdl
