#include "platform/gdi/blend.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TSUMUGI_BLEND_AVX2 1
#endif

namespace tsumugi::gdi {
namespace {

// Adding 1.5 x 2^52 to a double between 0 and 2^51 leaves no bits below the
// units, so the addition rounds to an integer in the current rounding mode,
// which is to the nearest, halves to even; subtracting it again is exact.
constexpr double kRoundingMagic = 6755399441055744.0;

// --- Exact integer form of MixByte -------------------------------------------
//
// The double sum of MixByte is exact for every level from 0 to 1 that is not
// tiny (the products have at most 32 significant bits and the sum at most 53),
// so MixByte rounds the exact value v = s * level + d * k. That value can be
// found with 32-bit integers:
//
//   level = (H + L / 2^24) / 2^24, with H = floor(level * 2^24) and L the next
//     24 bits; exact for every level from 2^-25 up (a float has 24 significant
//     bits), and for smaller levels both forms give d.
//   k = (2^24 - H - delta) / 2^24, delta 0 or 1: 1 - level is a float of the
//     range 0.5 to 1 (24 bits below the point) or, for levels above one half,
//     exact.
//
// So v * 2^24 = (s - d) * H + d * 2^24 - d * delta + s * L / 2^24. All terms
// but the last are integers; n takes them and the integer part of the last,
// and the remaining fraction f = (s * L mod 2^24) / 2^24 matters only for
// ties. n is below 2^32 (v < 256), so unsigned 32-bit arithmetic gives it
// exactly even where (s - d) * H wraps. Rounding n + f to units of 2^24,
// halves to even: (n + 2^23 - 1 + odd) >> 24, where odd is 1 when the
// rounded-down result is odd or f is not 0 (then n + f cannot be a half).
//
// The unit tests compare this with MixByte at every level a script can give
// and at levels chosen to reach the edges of the argument.
struct MixConstants {
  uint32_t high;        // H
  uint32_t low;         // L
  uint32_t delta_mask;  // all ones when delta is 1
};

MixConstants SplitLevel(float level) {
  MixConstants c;
  const double scaled = std::ldexp(static_cast<double>(level), 24);
  const double high = std::floor(scaled);
  c.high = static_cast<uint32_t>(high);
  c.low = static_cast<uint32_t>(std::floor(std::ldexp(scaled - high, 24)));
  const float k = 1.0f - level;
  const uint32_t k_units = static_cast<uint32_t>(std::ldexp(static_cast<double>(k), 24));
  const uint32_t delta = (uint32_t{1} << 24) - c.high - k_units;
  c.delta_mask = delta != 0 ? 0xFFFFFFFFu : 0u;
  return c;
}

inline uint8_t MixOne(uint32_t s, uint32_t d, const MixConstants& c) {
  const uint32_t by_low = s * c.low;
  const uint32_t n = (s - d) * c.high + (d << 24) - (d & c.delta_mask) + (by_low >> 24);
  const uint32_t odd = ((n >> 24) | ((by_low << 8) != 0 ? 1u : 0u)) & 1u;
  return static_cast<uint8_t>((n + 0x7FFFFFu + odd) >> 24);
}

// GCC vectorizes loops at -O2 only when they need no run-time checks; this
// one is worth the checks (eight to sixteen bytes a step with SSE2 or NEON).
#if defined(__GNUC__) && !defined(__clang__)
#define TSUMUGI_VECTORIZE \
  __attribute__((optimize("tree-loop-vectorize", "vect-cost-model=dynamic")))
#else
#define TSUMUGI_VECTORIZE
#endif

TSUMUGI_VECTORIZE void MixPortable(const uint8_t* __restrict source,
                                   const uint8_t* __restrict destination, uint8_t* __restrict out,
                                   size_t count, const MixConstants& constants) {
  const MixConstants c = constants;
  for (size_t i = 0; i < count; ++i) out[i] = MixOne(source[i], destination[i], c);
}

// Records of three bytes (blue, green, red) to 0x00RRGGBB pixels.
void RecordsToPixelsPortable(const uint8_t* records, uint32_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out[i] = uint32_t{records[i * 3]} | uint32_t{records[i * 3 + 1]} << 8 |
             uint32_t{records[i * 3 + 2]} << 16;
  }
}

#ifdef TSUMUGI_BLEND_AVX2

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Eight bytes of each input, widened to 32-bit lanes, mixed as MixOne does.
template <bool kWithLow>
__attribute__((target("avx2"))) inline __m256i MixEight(const uint8_t* source,
                                                        const uint8_t* destination, __m256i high,
                                                        __m256i low, __m256i delta_mask) {
  const __m256i one = _mm256_set1_epi32(1);
  const __m256i s = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source)));
  const __m256i d =
      _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(destination)));
  __m256i n = _mm256_mullo_epi32(_mm256_sub_epi32(s, d), high);
  n = _mm256_add_epi32(n, _mm256_slli_epi32(d, 24));
  n = _mm256_sub_epi32(n, _mm256_and_si256(d, delta_mask));
  __m256i odd;
  if constexpr (kWithLow) {
    const __m256i by_low = _mm256_mullo_epi32(s, low);
    n = _mm256_add_epi32(n, _mm256_srli_epi32(by_low, 24));
    const __m256i fraction_zero =
        _mm256_cmpeq_epi32(_mm256_slli_epi32(by_low, 8), _mm256_setzero_si256());
    odd = _mm256_or_si256(_mm256_srli_epi32(n, 24), _mm256_andnot_si256(fraction_zero, one));
  } else {
    odd = _mm256_srli_epi32(n, 24);
  }
  odd = _mm256_and_si256(odd, one);
  n = _mm256_add_epi32(n, _mm256_add_epi32(_mm256_set1_epi32(0x7FFFFF), odd));
  return _mm256_srli_epi32(n, 24);
}

template <bool kWithLow>
__attribute__((target("avx2"))) void MixAvx2(const uint8_t* source, const uint8_t* destination,
                                             uint8_t* out, size_t count, const MixConstants& c) {
  const __m256i high = _mm256_set1_epi32(static_cast<int>(c.high));
  const __m256i low = _mm256_set1_epi32(static_cast<int>(c.low));
  const __m256i delta_mask = _mm256_set1_epi32(static_cast<int>(c.delta_mask));
  // Packing works within 128-bit halves; this puts the four groups of
  // eight bytes back in order.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    const __m256i r0 = MixEight<kWithLow>(source + i, destination + i, high, low, delta_mask);
    const __m256i r1 =
        MixEight<kWithLow>(source + i + 8, destination + i + 8, high, low, delta_mask);
    const __m256i r2 =
        MixEight<kWithLow>(source + i + 16, destination + i + 16, high, low, delta_mask);
    const __m256i r3 =
        MixEight<kWithLow>(source + i + 24, destination + i + 24, high, low, delta_mask);
    const __m256i bytes =
        _mm256_packus_epi16(_mm256_packus_epi32(r0, r1), _mm256_packus_epi32(r2, r3));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_permutevar8x32_epi32(bytes, order));
  }
  for (; i < count; ++i) out[i] = MixOne(source[i], destination[i], c);
}

// Converts eight records at a time; each step reads four bytes past the
// records it converts, so the last records go the portable way.
__attribute__((target("avx2"))) void RecordsToPixelsAvx2(const uint8_t* records, uint32_t* out,
                                                         size_t count, size_t readable_bytes) {
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0,
                                          1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  size_t i = 0;
  for (; i + 8 <= count && i * 3 + 28 <= readable_bytes; i += 8) {
    const uint8_t* p = records + i * 3;
    const __m256i both = _mm256_inserti128_si256(
        _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_shuffle_epi8(both, spread));
  }
  RecordsToPixelsPortable(records + i * 3, out + i, count - i);
}

#else

bool HasAvx2() {
  return false;
}

#endif

}  // namespace

uint8_t MixByte(uint8_t source, uint8_t destination, float level) {
  const float k = 1.0f - level;
  const double sum = static_cast<double>(source) * static_cast<double>(level) +
                     static_cast<double>(destination) * static_cast<double>(k);
  return static_cast<uint8_t>(static_cast<int>((sum + kRoundingMagic) - kRoundingMagic));
}

bool MixKernelAvailable(MixKernel kernel) {
  switch (kernel) {
    case MixKernel::kPortable:
      return true;
    case MixKernel::kAvx2:
      return HasAvx2();
  }
  return false;
}

MixKernel BestMixKernel() {
  return MixKernelAvailable(MixKernel::kAvx2) ? MixKernel::kAvx2 : MixKernel::kPortable;
}

void MixBytes(const uint8_t* source, const uint8_t* destination, uint8_t* out, size_t count,
              float level, MixKernel kernel) {
  if (!IsDrawableLevel(level)) return;
  const MixConstants c = SplitLevel(level);
#ifdef TSUMUGI_BLEND_AVX2
  if (kernel == MixKernel::kAvx2 && HasAvx2()) {
    if (c.low != 0) {
      MixAvx2<true>(source, destination, out, count, c);
    } else {
      MixAvx2<false>(source, destination, out, count, c);
    }
    return;
  }
#else
  (void)kernel;
#endif
  MixPortable(source, destination, out, count, c);
}

namespace {

// Copies the 24 colour bits of the pixels of src that the rectangle of
// `columns` x `rows` at (x, y) covers into records of `out` (stride
// `columns` records); records whose pixel lies outside src are left alone.
void Capture(const Surface& src, int x, int y, int columns, int rows, uint8_t* out) {
  const Rect part = Rect{x, y, columns, rows}.Intersect(src.Bounds());
  for (int row = part.y; row < part.Bottom(); ++row) {
    const uint32_t* in = src.Row(row);
    uint8_t* record = out + (static_cast<size_t>(row - int64_t{y}) * static_cast<size_t>(columns) +
                             static_cast<size_t>(part.x - int64_t{x})) *
                                3;
    for (int i = part.x; i < part.Right(); ++i, record += 3) {
      const uint32_t p = in[i];  // 0x00RRGGBB
      record[0] = static_cast<uint8_t>(p);
      record[1] = static_cast<uint8_t>(p >> 8);
      record[2] = static_cast<uint8_t>(p >> 16);
    }
  }
}

}  // namespace

bool BlendBuffers::Begin(const Surface& dst, int x, int y, const Surface& src, int sx, int sy,
                         int width, int height) {
  End();
  active_ = true;
  if (width <= 0 || height <= 0 || width > Surface::kMaxDimension ||
      height > Surface::kMaxDimension) {
    return false;
  }
  width_ = width;
  height_ = height;
  padded_width_ = (width + 3) / 4 * 4;
  const size_t bytes = static_cast<size_t>(padded_width_) * static_cast<size_t>(height_) * 3;

  destination_.assign(bytes, 0);
  Capture(dst, x, y, padded_width_, height_, destination_.data());
  // One bitmap serves both captures, so the source capture starts from the
  // destination's pixels.
  source_ = destination_;
  Capture(src, sx, sy, padded_width_, height_, source_.data());
  mixed_.assign(bytes, 0);
  return true;
}

bool BlendBuffers::Step(Surface& dst, int x, int y, float level) {
  if (!active_ || width_ == 0 || !IsDrawableLevel(level)) return false;
  MixBytes(source_.data(), destination_.data(), mixed_.data(), mixed_.size(), level, kernel_);

  // Draw the first width_ columns of every row, clipped to dst.
  const Rect part = Rect{x, y, width_, height_}.Intersect(dst.Bounds());
  if (part.Empty()) return true;
  const size_t row_bytes = static_cast<size_t>(padded_width_) * 3;
  const size_t count = static_cast<size_t>(part.width);
  for (int row = part.y; row < part.Bottom(); ++row) {
    uint32_t* out = dst.Row(row) + part.x;
    const size_t at = static_cast<size_t>(row - int64_t{y}) * row_bytes +
                      static_cast<size_t>(part.x - int64_t{x}) * 3;
#ifdef TSUMUGI_BLEND_AVX2
    if (kernel_ == MixKernel::kAvx2) {
      RecordsToPixelsAvx2(mixed_.data() + at, out, count, mixed_.size() - at);
      continue;
    }
#endif
    RecordsToPixelsPortable(mixed_.data() + at, out, count);
  }
  return true;
}

void BlendBuffers::End() {
  if (!active_) return;
  active_ = false;
  width_ = height_ = padded_width_ = 0;
  // Give the memory back: a full-screen blend holds several megabytes.
  source_ = {};
  destination_ = {};
  mixed_ = {};
}

}  // namespace tsumugi::gdi
