// Printing text straight onto the screen or an off-screen page (".tpr"),
// with its own copy of the text window's font settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/text/text_context.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

class Engine;

class TextPrinter {
 public:
  // Registers ".tpr".
  explicit TextPrinter(Engine& engine);

  // Gives the screen and every page the canvas font and character spacing
  // of the text window, and resets the print settings to the window's.
  void ApplyTextFont();

  // The text state of the screen and of page n (0 to PageCount). A page
  // that has none yet takes page 0's, as a new page is made like page 0.
  TextContext& ScreenContext() { return screen_; }
  TextContext& PageContext(int n);

  int32_t PrintLeading = 0;
  int32_t PrintSpacing = 0;
  int32_t PrintShadowOffset = 2;
  gdi::ColorRef PrintColour = gdi::kWhite;
  gdi::ColorRef PrintShadowColour = gdi::kBlack;
  bool PrintEdgeOn = false;
  // 0 left, 1 centred, 2 right.
  int32_t PrintAlign = 0;

 private:
  bool Tpr();
  void FontCommand();
  // Applies a change to the screen and to every page.
  template <typename Change>
  void ForEveryContext(Change change);

  Engine& e_;
  TextContext screen_;
  std::vector<TextContext> pages_;
};

}  // namespace tsumugi
