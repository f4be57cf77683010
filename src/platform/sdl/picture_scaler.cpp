#include "platform/sdl/picture_scaler.h"

#include <algorithm>
#include <cstring>

namespace tsumugi::sdl {

namespace {

// a and b mixed by w / 256, the three colour bytes at once.
inline uint32_t Mix(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t v = 256 - w;
  const uint32_t rb = (((a & 0xFF00FF) * v + (b & 0xFF00FF) * w) >> 8) & 0xFF00FF;
  const uint32_t g = (((a & 0x00FF00) * v + (b & 0x00FF00) * w) >> 8) & 0x00FF00;
  return rb | g;
}

// Bands of changed rows closer than this are redrawn as one.
constexpr int kBandGap = 4;
// More bands than this are redrawn as one rectangle around them all.
constexpr size_t kMaxBands = 8;

}  // namespace

void PictureScaler::Axis::Build(int source, int output, Filter filter) {
  index.assign(static_cast<size_t>(output), 0);
  weight.assign(static_cast<size_t>(output), 0);
  const int64_t s = source, d = output;
  for (int64_t i = 0; i < d; ++i) {
    int64_t at = 0, w = 0;
    if (filter == Filter::kSmooth) {
      // The centre of output pixel i, in half-steps of 1 / (2d) source
      // pixels, measured from the centre of source pixel 0.
      const int64_t u = (2 * i + 1) * s - d;
      at = u < 0 ? -1 : u / (2 * d);
      w = ((u - at * 2 * d) * 256 + d) / (2 * d);
      if (at < 0) at = 0, w = 0;
    } else if (d >= s) {
      // Output pixel i covers [i s / d, (i + 1) s / d) of the source, which
      // reaches into the next source pixel only at a border.
      at = i * s / d;
      const int64_t over = (i + 1) * s - (at + 1) * d;
      if (over > 0) w = (over * 256 + s / 2) / s;
    } else {
      at = (2 * i + 1) * s / (2 * d);
    }
    if (w >= 256) ++at, w = 0;
    if (at >= s - 1) at = s - 1, w = 0;
    index[static_cast<size_t>(i)] = static_cast<int>(at);
    weight[static_cast<size_t>(i)] = static_cast<uint16_t>(w);
  }
}

void PictureScaler::Axis::Span(int from, int to, int* first, int* last) const {
  *first = static_cast<int>(index.size());
  *last = 0;
  for (size_t i = 0; i < index.size(); ++i) {
    const int lo = index[i];
    const int hi = lo + (weight[i] > 0 ? 1 : 0);
    if (hi >= from && lo < to) {
      *first = std::min(*first, static_cast<int>(i));
      *last = static_cast<int>(i) + 1;
    }
  }
  if (*first > *last) *first = *last;
}

void PictureScaler::Configure(Size size, Filter filter) {
  size_ = {std::max(0, size.width), std::max(0, size.height)};
  x_.Build(gdi::kScreenWidth, size_.width, filter);
  y_.Build(gdi::kScreenHeight, size_.height, filter);
}

Rect PictureScaler::Affected(const Rect& source) const {
  int x0, x1, y0, y1;
  x_.Span(source.x, source.x + source.width, &x0, &x1);
  y_.Span(source.y, source.y + source.height, &y0, &y1);
  return {x0, y0, x1 - x0, y1 - y0};
}

const uint32_t* PictureScaler::ScaledRow(const gdi::Surface& picture, int source,
                                         const Rect& area) {
  for (int k = 0; k < 2; ++k) {
    if (row_source_[k] == source) return rows_[k].data();
  }
  // Rows are asked for top to bottom: the one from further up goes.
  const int k = row_source_[0] < row_source_[1] ? 0 : 1;
  std::vector<uint32_t>& row = rows_[k];
  row.resize(static_cast<size_t>(area.width));
  const uint32_t* src = picture.Row(source);
  const int* index = x_.index.data() + area.x;
  const uint16_t* weight = x_.weight.data() + area.x;
  for (int i = 0; i < area.width; ++i) {
    const uint32_t p = src[index[i]];
    row[static_cast<size_t>(i)] = weight[i] ? Mix(p, src[index[i] + 1], weight[i]) : p;
  }
  row_source_[k] = source;
  return row.data();
}

void PictureScaler::Draw(const gdi::Surface& picture, const Rect& area, uint32_t* dst, int pitch) {
  if (picture.Width() != gdi::kScreenWidth || picture.Height() != gdi::kScreenHeight) return;
  const Rect clipped = area.Intersect({0, 0, size_.width, size_.height});
  if (clipped.Empty()) return;
  row_source_[0] = row_source_[1] = -1;
  const size_t bytes = static_cast<size_t>(clipped.width) * sizeof(uint32_t);
  for (int y = clipped.y; y < clipped.Bottom(); ++y) {
    uint32_t* out = dst + static_cast<ptrdiff_t>(y) * pitch + clipped.x;
    const int sy = y_.index[static_cast<size_t>(y)];
    const uint32_t w = y_.weight[static_cast<size_t>(y)];
    const uint32_t* a = ScaledRow(picture, sy, clipped);
    if (w == 0) {
      std::memcpy(out, a, bytes);
      continue;
    }
    const uint32_t* b = ScaledRow(picture, sy + 1, clipped);
    // Rows come top to bottom, so the row above sy is the one replaced and
    // `a` stays valid.
    for (int i = 0; i < clipped.width; ++i) out[i] = Mix(a[i], b[i], w);
  }
}

std::vector<Rect> TakeChanges(const gdi::Surface& frame, gdi::Surface* shown) {
  std::vector<Rect> bands;
  if (frame.Width() != shown->Width() || frame.Height() != shown->Height()) return bands;
  const int width = frame.Width();
  const size_t row_bytes = static_cast<size_t>(width) * sizeof(uint32_t);
  int band_end = -1;  // the row after the last changed one of the open band
  for (int y = 0; y < frame.Height(); ++y) {
    const uint32_t* now = frame.Row(y);
    uint32_t* was = shown->Row(y);
    if (std::memcmp(now, was, row_bytes) == 0) continue;
    int left = 0, right = width;
    while (now[left] == was[left]) ++left;
    while (now[right - 1] == was[right - 1]) --right;
    std::memcpy(was + left, now + left, static_cast<size_t>(right - left) * sizeof(uint32_t));
    if (!bands.empty() && y - band_end <= kBandGap) {
      Rect& b = bands.back();
      const int r = std::max(b.x + b.width, right);
      b.x = std::min(b.x, left);
      b.width = r - b.x;
      b.height = y + 1 - b.y;
    } else {
      bands.push_back({left, y, right - left, 1});
    }
    band_end = y + 1;
  }
  if (bands.size() > kMaxBands) {
    Rect all = bands.front();
    int right = 0;
    for (const Rect& b : bands) {
      all.x = std::min(all.x, b.x);
      right = std::max(right, b.x + b.width);
    }
    all.width = right - all.x;
    all.height = bands.back().y + bands.back().height - all.y;
    bands.assign(1, all);
  }
  return bands;
}

}  // namespace tsumugi::sdl
