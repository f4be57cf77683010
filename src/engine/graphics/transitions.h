// The drawing steps of picture transitions, free of engine state: cross-fade
// levels, wipe-pattern frames.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

// A cross-fade effect word of four or more characters, "SSEE" or "SSEEFF":
// start and end levels in tenths, then the frame count. Four characters
// give |end - start| x 10 + 1 frames (11 for "0010", 1 for "1010"); more
// take the count from characters 5 and 6; characters after the sixth are
// not read.
struct CrossFade {
  float start = 0.0f;
  float end = 0.0f;
  int count = 0;  // may be 0 ("001000"): the caller reports it
};

// Reads a cross-fade effect word; nullopt when a level or the frame count is
// not written in digits (a sign, a space or a full-width digit included).
[[nodiscard]] std::optional<CrossFade> ParseCrossFade(std::u16string_view effect);

// The level of frame i (0 to count - 1) of a fade: the start level first,
// the end level last, evenly between, in single precision. The last frame
// takes the end level as written: computed, it can miss it by a rounding
// step, and a fade that ends on 1.0 or 0.0 would then end just outside the
// drawable range, where nothing is drawn, leaving the picture short of its
// end ("021014" ends at 1.0000001, "010014" at -0.000000007).
float CrossFadeLevel(const CrossFade& fade, int i);

// Loads one frame of a wipe-pattern series into `pattern`: the picture is
// repeated over a 640 x 480 surface from the top-left corner (a picture
// larger than that is cut to it). On failure returns false with the loader's
// reason in *error and leaves `pattern` unchanged.
[[nodiscard]] bool LoadPatternFrame(const std::filesystem::path& file, gdi::Surface& pattern,
                                    std::string* error);

// One frame of a wipe: inside the copy's destination, every destination pixel whose
// pattern pixel (read at the destination's coordinates) is black takes the
// source pixel, and every pixel where the pattern is white keeps its colour
// (grey patterns mix bitwise, as the raster operations do). Pixels whose
// source lies outside src are left alone. `pattern` is used up: inside the
// rectangle it holds working values afterwards. src must not be dst.
void WipeFrame(gdi::Surface& dst, gdi::Blit blit, const gdi::Surface& src, gdi::Surface& pattern);

}  // namespace tsumugi
