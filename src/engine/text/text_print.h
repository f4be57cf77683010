// Printing text straight onto the screen or an off-screen page (".tpr"),
// with its own copy of the text window's font settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/state/game_state.h"
#include "engine/text/text_context.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

class CommandArgs;
class HostWindow;
class Pages;
namespace gdi {
class FontEngine;
}

class TextPrinter {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Tpr(CommandArgs& args);

  // Registers ".tpr".
  TextPrinter(HostWindow& window, gdi::FontEngine& fonts, Pages& pages, TextWindowState& text_state,
              PrintState& state);

  // Printed texts are shown translated (see TextWindow::ShowTextsOtherwise).
  void ShowTextsOtherwise(TextTranslator translate) {
    translate_ = std::move(translate);
    as_is_ = true;
  }

  // Gives the screen and every page the canvas font and character spacing
  // of the text window, and resets the print settings to the window's.
  void ApplyTextFont();

  // The text state of the screen and of page n (0 to PageCount). A page
  // that has none yet takes page 0's, as a new page is made like page 0.
  TextContext& ScreenContext() { return s_.Screen; }
  TextContext& PageContext(int n);

 private:
  void FontCommand(CommandArgs& args);
  // Applies a change to the screen and to every page.
  template <typename Change>
  void ForEveryContext(Change change);

  HostWindow& window_;
  gdi::FontEngine& fonts_;
  Pages& pages_;
  TextWindowState& text_state_;
  PrintState& s_;
  TextTranslator translate_;
  // Printed texts are drawn as they are, not through the code page.
  bool as_is_ = false;
};

}  // namespace tsumugi
