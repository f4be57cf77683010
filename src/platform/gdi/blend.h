// Cross-fade blending: two rectangles of pixels captured once, then mixed at
// any number of levels and drawn onto the destination.
//
// The captures are kept the way a 24-bit device-independent bitmap holds
// them: records of three bytes (blue, green, red), rows padded to a multiple
// of four pixels so that no row needs filler bytes. The padding columns are
// captured and mixed like the others but never drawn.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/surface.h"

namespace tsumugi::gdi {

// The mix of one colour byte: source x level + destination x (1 - level),
// with 1 - level taken in single precision, the products and their sum in
// double precision, and the sum rounded to the nearest integer, halves to
// even. For levels from 0 to 1 the result is always 0 to 255. Every frame
// BlendBuffers::Step draws is exactly this, byte for byte.
uint8_t MixByte(uint8_t source, uint8_t destination, float level);

// True for the levels Step draws: 0 to 1 inclusive. NaN is not one of them.
inline bool IsDrawableLevel(float level) {
  return level >= 0.0f && level <= 1.0f;
}

// The ways MixBytes can run: plain code for any processor, and a path for
// x86-64 processors with AVX2, chosen at run time. Both give the same bytes.
enum class MixKernel { kPortable, kAvx2 };
// Whether this processor can run the kernel.
[[nodiscard]] bool MixKernelAvailable(MixKernel kernel);
// The fastest kernel this processor runs.
MixKernel BestMixKernel();

// out[i] := MixByte(source[i], destination[i], level) for i < count, for a
// level from 0 to 1 (any other level leaves out unchanged). The kernel must
// be available.
void MixBytes(const uint8_t* source, const uint8_t* destination, uint8_t* out, size_t count,
              float level, MixKernel kernel);

class BlendBuffers {
 public:
  // Frames are mixed with the kernel given, which must be available.
  explicit BlendBuffers(MixKernel kernel = BestMixKernel()) : kernel_(kernel) {}
  BlendBuffers(const BlendBuffers&) = delete;
  BlendBuffers& operator=(const BlendBuffers&) = delete;

  // Starts a cross-fade of width x height pixels: captures the destination
  // rectangle at (x, y) and the source rectangle at (sx, sy), PaddedWidth()
  // columns wide. A captured pixel outside the destination surface is black;
  // where the source rectangle leaves its surface, the captured destination
  // pixel stands in for the source, so that part never changes in a frame.
  // A blend already running is ended first. A width or height of 0 or less,
  // or above Surface::kMaxDimension, is refused: the blend is active but
  // captures nothing and its frames draw nothing; the result is false.
  [[nodiscard]] bool Begin(const Surface& dst, int x, int y, const Surface& src, int sx, int sy,
                           int width, int height);

  // Mixes every captured record at `level` and draws the first Width()
  // columns of each row at (x, y) of dst, clipped to dst. The mix always
  // starts from the captures, so frames do not accumulate. A level outside
  // 0 to 1 (or NaN), an inactive or refused blend draw nothing and return
  // false.
  [[nodiscard]] bool Step(Surface& dst, int x, int y, float level);

  // Frees the buffers. Harmless when no blend is active.
  void End();

  bool Active() const { return active_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Width rounded up to a multiple of 4 (637 gives 640).
  int PaddedWidth() const { return padded_width_; }

  // The captured and mixed records, PaddedWidth() x Height() x 3 bytes,
  // top row first, each record blue, green, red. Mixed holds the last
  // frame drawn.
  const std::vector<uint8_t>& SourceBytes() const { return source_; }
  const std::vector<uint8_t>& DestinationBytes() const { return destination_; }
  const std::vector<uint8_t>& MixedBytes() const { return mixed_; }

 private:
  bool active_ = false;
  int width_ = 0;
  int height_ = 0;
  int padded_width_ = 0;
  std::vector<uint8_t> source_;
  std::vector<uint8_t> destination_;
  std::vector<uint8_t> mixed_;
  MixKernel kernel_;
};

}  // namespace tsumugi::gdi
