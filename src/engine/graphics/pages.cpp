#include "engine/graphics/pages.h"

#include <algorithm>

#include "engine/state/game_state.h"

namespace tsumugi {

gdi::Surface* Pages::Page(int n) {
  if (n < 0 || n > s_.PageCount) return nullptr;
  // Every page gets its place at the first use of any: a command that works
  // with two pages keeps the first one's address while it asks for the
  // second.
  if (s_.Pages.size() != static_cast<size_t>(s_.PageCount) + 1) {
    s_.Pages.resize(static_cast<size_t>(s_.PageCount) + 1);
  }
  gdi::Surface& page = s_.Pages[static_cast<size_t>(n)];
  if (page.Empty()) page = gdi::Surface(gdi::kScreenWidth, gdi::kScreenHeight, s_.BaseColour);
  return &page;
}

void Pages::SetPageCount(int count) {
  s_.PageCount = std::clamp(count, 0, kMaxPageCount);
  if (s_.Pages.size() > static_cast<size_t>(s_.PageCount) + 1) {
    s_.Pages.resize(static_cast<size_t>(s_.PageCount) + 1);
  }
}

void Pages::SetBaseColour(gdi::ColorRef colour) {
  s_.BaseColour = colour & 0x00FFFFFFu;
  // Pages not made yet will be made in the new colour.
  for (gdi::Surface& page : s_.Pages) {
    if (page.Empty()) continue;
    page.SetBackColor(s_.BaseColour);
    page.Clear();
  }
}

}  // namespace tsumugi
