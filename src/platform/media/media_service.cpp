#include "platform/media/media_service.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/bitblt.h"

namespace tsumugi {

bool operator==(const VideoBoxSnapshot& a, const VideoBoxSnapshot& b) {
  const gdi::Surface& p = a.picture;
  const gdi::Surface& q = b.picture;
  return a.left == b.left && a.top == b.top && a.visible == b.visible &&
         p.Width() == q.Width() && p.Height() == q.Height() && p.BackColor() == q.BackColor() &&
         std::equal(p.Data(), p.Data() + static_cast<size_t>(p.Width()) * static_cast<size_t>(p.Height()),
                    q.Data());
}

gdi::Surface ComposeWithVideoBox(const gdi::Surface& screen, const VideoBox& box) {
  gdi::Surface out;
  ComposeWithVideoBox(screen, box, &out);
  return out;
}

void ComposeWithVideoBox(const gdi::Surface& screen, const VideoBox& box, gdi::Surface* out) {
  if (out->Width() != screen.Width() || out->Height() != screen.Height()) {
    *out = screen;
  } else {
    std::memcpy(out->Data(), screen.Data(),
                static_cast<size_t>(screen.Width()) * static_cast<size_t>(screen.Height()) * 4);
  }
  if (!box.visible) return;
  const int x0 = std::max(0, box.left);
  const int y0 = std::max(0, box.top);
  const int x1 = static_cast<int>(std::min<int64_t>(screen.Width(), int64_t{box.left} + box.picture.Width()));
  const int y1 = static_cast<int>(std::min<int64_t>(screen.Height(), int64_t{box.top} + box.picture.Height()));
  for (int y = y0; y < y1; ++y) {
    std::memcpy(out->Row(y) + x0, box.picture.Row(y - box.top) + (x0 - box.left),
                static_cast<size_t>(x1 - x0) * 4);
  }
}

void ComposeShown(const gdi::Surface& screen, const VideoBox& box, const gdi::Surface* overlay,
                  Point at, gdi::Surface* out) {
  ComposeWithVideoBox(screen, box, out);
  if (overlay != nullptr) {
    gdi::BitBlt(*out, at.x, at.y, overlay->Width(), overlay->Height(), *overlay, 0, 0,
                gdi::kSrcCopy);
  }
}

}  // namespace tsumugi
