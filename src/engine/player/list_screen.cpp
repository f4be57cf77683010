#include "engine/player/list_screen.h"

#include <algorithm>
#include <utility>

#include "platform/gdi/rect.h"

namespace tsumugi {

namespace {

constexpr int kTitleTop = 14;
constexpr int kLineWidth = 480;
constexpr int kLineHeight = 28;
// Slots: two columns of five.
constexpr int kSlotColumns = 2;
constexpr int kSlotRows = 5;
constexpr int kSlotTop = 48;
constexpr int kSlotWidth = 300;
constexpr int kSlotHeight = 82;
constexpr int kThumbWidth = 96;
constexpr int kThumbHeight = 72;

constexpr gdi::ColorRef kText = 0xffffff;
constexpr gdi::ColorRef kGreyText = 0x808080;
constexpr gdi::ColorRef kTitle = 0xd0d0d0;
constexpr gdi::ColorRef kPanel = 0x201818;
constexpr gdi::ColorRef kSelected = 0x704830;
constexpr gdi::ColorRef kFrame = 0x909090;

void Frame(gdi::Surface& out, const gdi::Rect& r, gdi::ColorRef colour) {
  out.Fill(r.x, r.y, r.width, 1, colour);
  out.Fill(r.x, r.y + r.height - 1, r.width, 1, colour);
  out.Fill(r.x, r.y, 1, r.height, colour);
  out.Fill(r.x + r.width - 1, r.y, 1, r.height, colour);
}

// `text` cut to what fits in `width` pixels.
std::u16string Fitted(const gdi::Font& font, std::u16string text, int width) {
  while (!text.empty() && font.Extent(text, 0).width > width) text.pop_back();
  return text;
}

// `picture` shrunk (or grown) to w x h, each pixel the nearest one.
void DrawScaled(gdi::Surface& out, int x, int y, int w, int h, const gdi::Surface& picture) {
  if (picture.Width() <= 0 || picture.Height() <= 0) return;
  for (int row = 0; row < h; ++row) {
    const int sy = row * picture.Height() / h;
    for (int col = 0; col < w; ++col) {
      const int sx = col * picture.Width() / w;
      out.Fill(x + col, y + row, 1, 1, gdi::ColorRefFromPixel(picture.Data()[sy * picture.Width() + sx]));
    }
  }
}

}  // namespace

gdi::Surface Dimmed(const gdi::Surface& game) {
  gdi::Surface dimmed = game;
  if (dimmed.Width() != gdi::kScreenWidth || dimmed.Height() != gdi::kScreenHeight) {
    return gdi::Surface(gdi::kScreenWidth, gdi::kScreenHeight, 0);
  }
  uint32_t* pixel = dimmed.Data();
  const size_t count = static_cast<size_t>(dimmed.Width()) * static_cast<size_t>(dimmed.Height());
  for (size_t i = 0; i < count; ++i) pixel[i] = (pixel[i] >> 2) & 0x3f3f3f;
  return dimmed;
}

ListScreen::ListScreen(std::u16string title_in, std::vector<ListItem> items_in, Layout layout_in)
    : title(std::move(title_in)), items(std::move(items_in)), layout(layout_in) {
  selected = -1;
  Move(1);
  if (selected < 0) selected = 0;
}

void ListScreen::Move(int by) {
  const int count = static_cast<int>(items.size());
  const int step = by < 0 ? -1 : 1;
  int at = selected;
  for (int left = std::abs(by); left > 0;) {
    at += step;
    if (at < 0 || at >= count) return;
    if (items[static_cast<size_t>(at)].enabled) {
      selected = at;
      --left;
    }
  }
}

void ListScreen::Select(int index) {
  if (index >= 0 && index < static_cast<int>(items.size()) &&
      items[static_cast<size_t>(index)].enabled) {
    selected = index;
  }
}

gdi::Rect ListScreen::Place(int index) const {
  if (layout == Layout::kSlots) {
    const int column = index / kSlotRows;
    const int row = index % kSlotRows;
    const int left = (gdi::kScreenWidth - kSlotColumns * kSlotWidth - 8) / 2;
    return {left + column * (kSlotWidth + 8), kSlotTop + row * (kSlotHeight + 4), kSlotWidth,
            kSlotHeight};
  }
  const int count = static_cast<int>(items.size());
  const int top = std::max(kTitleTop + 36, (gdi::kScreenHeight - count * kLineHeight) / 2);
  return {(gdi::kScreenWidth - kLineWidth) / 2, top + index * kLineHeight, kLineWidth,
          kLineHeight};
}

int ListScreen::HitTest(int x, int y) const {
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    if (Place(i).Contains(x, y)) return i;
  }
  return -1;
}

void ListScreen::Draw(gdi::Surface& out, const gdi::Surface& background,
                      const gdi::Font& font) const {
  out = background;
  const int title_width = font.Extent(title, 0).width;
  font.Draw(out, (gdi::kScreenWidth - title_width) / 2, kTitleTop, title, kTitle, 0);
  for (int i = 0; i < static_cast<int>(items.size()); ++i) {
    const ListItem& item = items[static_cast<size_t>(i)];
    const gdi::Rect r = Place(i);
    const bool chosen = i == selected && item.enabled;
    out.Fill(r.x, r.y, r.width, r.height, chosen ? kSelected : kPanel);
    if (chosen) Frame(out, r, kFrame);
    const gdi::ColorRef colour = item.enabled || item.info ? kText : kGreyText;
    if (layout == Layout::kSlots) {
      const int tx = r.x + 6;
      const int ty = r.y + (r.height - kThumbHeight) / 2;
      out.Fill(tx, ty, kThumbWidth, kThumbHeight, 0);
      DrawScaled(out, tx, ty, kThumbWidth, kThumbHeight, item.thumbnail);
      const int text_x = tx + kThumbWidth + 8;
      const int width = static_cast<int>(r.Right()) - text_x - 4;
      font.Draw(out, text_x, r.y + 6, Fitted(font, item.text, width), colour, 0);
      font.Draw(out, text_x, r.y + 30, Fitted(font, item.detail, width), colour, 0);
      font.Draw(out, text_x, r.y + 54, Fitted(font, item.more, width), colour, 0);
    } else {
      const int y = r.y + (r.height - font.Height()) / 2;
      // The line on the left, its value or meaning on the right, which
      // keeps the room it needs up to two thirds of the width.
      const std::u16string detail = Fitted(font, item.detail, r.width * 2 / 3 - 32);
      const int detail_width = detail.empty() ? 0 : font.Extent(detail, 0).width + 16;
      font.Draw(out, r.x + 16, y, Fitted(font, item.text, r.width - detail_width - 40), colour,
                0);
      if (!detail.empty()) {
        font.Draw(out, static_cast<int>(r.Right()) - 16 - font.Extent(detail, 0).width, y, detail,
                  colour, 0);
      }
    }
  }
}

}  // namespace tsumugi
