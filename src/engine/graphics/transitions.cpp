#include "engine/graphics/transitions.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/gdi/bitblt.h"
#include "platform/gdi/picture.h"

namespace tsumugi {

std::optional<CrossFade> ParseCrossFade(std::u16string_view effect) {
  // The number in `length` characters from `at` (fewer when the word ends
  // first); nullopt unless they are all digits.
  auto digits = [effect](size_t at, size_t length) -> std::optional<int> {
    if (at >= effect.size()) return std::nullopt;
    int value = 0;
    for (char16_t c : effect.substr(at, length)) {
      if (c < u'0' || c > u'9') return std::nullopt;
      value = value * 10 + (c - u'0');
    }
    return value;
  };
  const std::optional<int> start = digits(0, 2);
  const std::optional<int> end = digits(2, 2);
  const std::optional<int> count = effect.size() == 4 ? std::optional<int>(0) : digits(4, 2);
  if (effect.size() < 4 || !start || !end || !count) return std::nullopt;
  CrossFade fade;
  fade.start = static_cast<float>(*start) / 10.0f;
  fade.end = static_cast<float>(*end) / 10.0f;
  fade.count = effect.size() == 4
                   ? static_cast<int>(std::nearbyint(std::fabs(fade.end - fade.start) * 10.0f + 1.0f))
                   : *count;
  return fade;
}

float CrossFadeLevel(const CrossFade& fade, int i) {
  if (i <= 0 || fade.count <= 1) return fade.start;
  if (i >= fade.count - 1) return fade.end;
  float step = (fade.end - fade.start) * static_cast<float>(i);
  step /= static_cast<float>(fade.count - 1);
  return fade.start + step;
}

bool LoadPatternFrame(const std::filesystem::path& file, gdi::Surface& pattern,
                      std::string* error) {
  gdi::Surface picture;
  if (!gdi::LoadPicture(file, &picture, error)) return false;
  if (picture.Width() <= 0 || picture.Height() <= 0) {
    *error = "the picture has no pixels";
    return false;
  }
  // Tiles of the picture's own size, cut to the screen, laid edge to edge
  // from the top-left corner: pixel (x, y) is the tile's (x mod w, y mod h).
  const int w = std::min(picture.Width(), gdi::kScreenWidth);
  const int h = std::min(picture.Height(), gdi::kScreenHeight);
  pattern.Resize(gdi::kScreenWidth, gdi::kScreenHeight);
  for (int y = 0; y < gdi::kScreenHeight; ++y) {
    const uint32_t* in = picture.Row(y % h);
    uint32_t* out = pattern.Row(y);
    for (int x = 0; x < gdi::kScreenWidth; x += w) {
      std::copy_n(in, std::min(w, gdi::kScreenWidth - x), out + x);
    }
  }
  return true;
}

void WipeFrame(gdi::Surface& dst, gdi::Blit t, const gdi::Surface& src, gdi::Surface& pattern) {
  // The pattern is read where the destination is written, so the part that
  // can change lies inside the destination, the pattern and the source.
  if (!gdi::ClipBlit(t, dst.Bounds().Intersect(pattern.Bounds()), src.Bounds())) return;
  // Black pattern pixels clear the destination; the pattern then becomes
  // the source where it was black (and black where it was white), and the
  // exclusive or lays that into the cleared pixels.
  gdi::BitBlt(dst, t.x, t.y, t.width, t.height, pattern, t.x, t.y, gdi::kSrcAnd);
  gdi::BitBlt(pattern, t.x, t.y, t.width, t.height, src, t.sx, t.sy, gdi::kSrcErase);
  gdi::BitBlt(dst, t.x, t.y, t.width, t.height, pattern, t.x, t.y, gdi::kSrcInvert);
}

}  // namespace tsumugi
