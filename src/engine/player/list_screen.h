// The screens of the player's menu (F1, the middle button): a title and a
// list of lines the player picks from with the arrow keys, the wheel, Enter
// or a click, drawn by Tsumugi over a dimmed picture of the game. Lines of
// text, or slots with a thumbnail for the save and load screens.
#pragma once

#include <string>
#include <vector>

#include "platform/gdi/font.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

struct ListItem {
  std::u16string text;
  // A second and a third line (a slot's date and its page's first words).
  std::u16string detail;
  std::u16string more;
  // A slot's picture (empty: none).
  gdi::Surface thumbnail;
  // Lines that cannot be picked are drawn grey and passed over; lines that
  // only tell (the keys) are passed over but drawn as the others.
  bool enabled = true;
  bool info = false;
  // What picking the line does, for the screen's owner.
  int tag = 0;
};

class ListScreen {
 public:
  enum class Layout { kLines, kSlots };

  ListScreen() = default;
  ListScreen(std::u16string title, std::vector<ListItem> items, Layout layout = Layout::kLines);

  std::u16string title;
  std::vector<ListItem> items;
  Layout layout = Layout::kLines;
  int selected = 0;

  // Selects the next line that can be picked, `by` lines on (negative:
  // back); stays where it is at either end.
  void Move(int by);
  // Selects the line at `index` when it can be picked.
  void Select(int index);
  // The line under a point of the screen, or -1.
  int HitTest(int x, int y) const;
  // Draws the screen over `background` into `out`.
  void Draw(gdi::Surface& out, const gdi::Surface& background, const gdi::Font& font) const;

 private:
  // Where line `index` stands on the screen.
  gdi::Rect Place(int index) const;
};

// The game's picture at a quarter of its brightness, behind the screens of
// the player's layer.
gdi::Surface Dimmed(const gdi::Surface& game);

}  // namespace tsumugi
