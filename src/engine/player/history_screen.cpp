#include "engine/player/history_screen.h"

#include <algorithm>

#include "engine/player/list_screen.h"
#include "engine/player/words.h"
#include "platform/gdi/rect.h"

namespace tsumugi {

namespace {

constexpr int kMargin = 24;
constexpr int kRowHeight = 20;
constexpr gdi::ColorRef kTextColour = 0xffffff;
// Choices taken stand out (a light blue: 0x00BBGGRR).
constexpr gdi::ColorRef kChoiceColour = 0xffd890;
constexpr gdi::ColorRef kRuleColour = 0x707070;
constexpr gdi::ColorRef kTitleColour = 0xa0a0a0;

}  // namespace

void TextHistory::AddLine(std::u16string_view text) {
  // A window cleared with an empty line open shows nothing of it.
  if (!text.empty()) Add(text, false);
}

void TextHistory::AddChoice(std::u16string_view text) { Add(text, true); }

void TextHistory::Add(std::u16string_view text, bool choice) {
  lines_.push_back({std::u16string(text), choice, new_page_ && !lines_.empty()});
  new_page_ = false;
  if (lines_.size() > kMaxLines) lines_.pop_front();
}

int TextHistory::RowsShown() {
  return (gdi::kScreenHeight - 2 * kMargin - kRowHeight) / kRowHeight;
}

int TextHistory::RowCount() const {
  int rows = 0;
  for (const HistoryLine& line : lines_) rows += line.page_start ? 2 : 1;
  return rows;
}

void TextHistory::Show(const gdi::Surface& game) {
  open_ = true;
  back_ = 0;
  // The game stays visible, dimmed, behind the text.
  dimmed_ = Dimmed(game);
}

void TextHistory::Close() {
  open_ = false;
  dimmed_ = gdi::Surface();
  screen_ = gdi::Surface();
}

bool TextHistory::Scroll(int rows) {
  const int most = std::max(0, RowCount() - RowsShown());
  const int back = std::clamp(back_ + rows, 0, most);
  if (back == back_) return false;
  back_ = back;
  return true;
}

const gdi::Surface& TextHistory::Draw(const gdi::Font& font) {
  screen_ = dimmed_;
  screen_.Fill(0, 0, gdi::kScreenWidth, kMargin + 4, 0);
  font.Draw(screen_, kMargin, kMargin / 2 - 4, Words("履歴"), kTitleColour, 0);
  // From the newest line up, skipping the rows scrolled back.
  const int top = kMargin + kRowHeight;
  int bottom_row = RowsShown();  // rows are counted from `top`
  int skip = back_;
  for (auto it = lines_.rbegin(); it != lines_.rend() && bottom_row > 0; ++it) {
    auto row = [&](auto draw) {
      if (skip > 0) {
        --skip;
        return;
      }
      --bottom_row;
      draw(top + bottom_row * kRowHeight);
    };
    row([&](int y) {
      const std::u16string text = it->choice ? u"→ " + it->text : it->text;
      font.Draw(screen_, kMargin, y + (kRowHeight - font.Height()) / 2, text,
                it->choice ? kChoiceColour : kTextColour, 0);
    });
    if (it->page_start && bottom_row > 0) {
      row([&](int y) {
        screen_.Fill(kMargin, y + kRowHeight / 2, gdi::kScreenWidth - 2 * kMargin, 1, kRuleColour);
      });
    }
  }
  return screen_;
}

}  // namespace tsumugi
