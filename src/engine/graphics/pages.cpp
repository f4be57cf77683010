#include "engine/graphics/pages.h"

#include <algorithm>

namespace tsumugi {

gdi::Surface* Pages::Page(int n) {
  if (n < 0 || n > page_count_) return nullptr;
  if (static_cast<size_t>(n) >= pages_.size()) pages_.resize(static_cast<size_t>(n) + 1);
  std::unique_ptr<gdi::Surface>& page = pages_[static_cast<size_t>(n)];
  if (!page) page = std::make_unique<gdi::Surface>(kWidth, kHeight, base_colour_);
  return page.get();
}

void Pages::SetPageCount(int count) {
  page_count_ = std::clamp(count, 0, kMaxPageCount);
  if (pages_.size() > static_cast<size_t>(page_count_) + 1) {
    pages_.resize(static_cast<size_t>(page_count_) + 1);
  }
}

void Pages::SetBaseColour(gdi::ColorRef colour) {
  base_colour_ = colour & 0x00FFFFFFu;
  // Pages not made yet will be made in the new colour.
  for (std::unique_ptr<gdi::Surface>& page : pages_) {
    if (!page) continue;
    page->SetBackColor(base_colour_);
    page->Clear();
  }
}

}  // namespace tsumugi
