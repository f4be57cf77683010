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
  gdi::BitBlt(*out, box.left, box.top, box.picture.Width(), box.picture.Height(), box.picture, 0, 0,
              gdi::kSrcCopy);
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
