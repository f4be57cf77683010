// The text history the player opens with L: every display line of text
// the session typed, page by page, the newest at the bottom, drawn by
// Tsumugi over a dimmed picture of the game. The lines are kept here; the
// player's layer routes the keys, the wheel and the buttons to it while it
// is open, so that the game hears none of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/gdi/font.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

struct HistoryLine {
  std::u16string text;
  // A choice the player took at a menu.
  bool choice = false;
  // The first line after a wait: a new page.
  bool page_start = false;

  friend bool operator==(const HistoryLine&, const HistoryLine&) = default;
};

class TextHistory {
 public:
  // The oldest lines go beyond this many.
  static constexpr size_t kMaxLines = 20000;

  // A display line completed, and a choice taken; the next line added after
  // NewPage() begins a page.
  void AddLine(std::u16string_view text);
  void AddChoice(std::u16string_view text);
  void NewPage() { new_page_ = true; }
  const std::deque<HistoryLine>& Lines() const { return lines_; }

  // The screen: opened over `game` (the picture the player sees), scrolled
  // by rows (positive: back towards older text), drawn with `font`.
  bool Open() const { return open_; }
  void Show(const gdi::Surface& game);
  void Close();
  // Scrolls `rows` back (negative: forward); false when it did not move.
  bool Scroll(int rows);
  // Rows one screen shows.
  static int RowsShown();
  // Draws the screen as it stands now.
  const gdi::Surface& Draw(const gdi::Font& font);

 private:
  void Add(std::u16string_view text, bool choice);
  // Rows all the lines take, page gaps included.
  int RowCount() const;

  std::deque<HistoryLine> lines_;
  bool new_page_ = false;
  bool open_ = false;
  // Rows scrolled back from the newest.
  int back_ = 0;
  gdi::Surface dimmed_;
  gdi::Surface screen_;
};

}  // namespace tsumugi
