// The drawing steps of picture transitions, free of engine state: clipping a
// transfer to the pixels that exist, wipe-pattern frames.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gdi/surface.h"

namespace tsumugi {

// A rectangle of width x height pixels taken from (sx, sy) of a source and
// put at (x, y) of a destination.
struct Transfer {
  int x = 0, y = 0, width = 0, height = 0, sx = 0, sy = 0;
};

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
std::optional<CrossFade> ParseCrossFade(std::u16string_view effect);

// The level of frame i (0 to count - 1) of a fade: the start level first,
// the end level last, evenly between, in single precision. The last frame
// takes the end level as written: computed, it can miss it by a rounding
// step, and a fade that ends on 1.0 or 0.0 would then end just outside the
// drawable range, where nothing is drawn, leaving the picture short of its
// end ("021014" ends at 1.0000001, "010014" at -0.000000007).
float CrossFadeLevel(const CrossFade& fade, int i);

// Shrinks t to the pixels whose destination lies inside a surface of
// dst_width x dst_height and whose source lies inside one of src_width x
// src_height; the corners move together. False when nothing is left (t is
// then unusable). Any int values are accepted.
bool ClipTransfer(Transfer& t, int dst_width, int dst_height, int src_width, int src_height);

// Loads one frame of a wipe-pattern series into `pattern`: the picture is
// repeated over a 640 x 480 surface from the top-left corner (a picture
// larger than that is cut to it). On failure returns false with the loader's
// reason in *error and leaves `pattern` unchanged.
bool LoadPatternFrame(const std::filesystem::path& file, gdi::Surface& pattern, std::string* error);

// One frame of a wipe: inside the rectangle, every destination pixel whose
// pattern pixel (read at the destination's coordinates) is black takes the
// source pixel, and every pixel where the pattern is white keeps its colour
// (grey patterns mix bitwise, as the raster operations do). Pixels whose
// source lies outside src are left alone. `pattern` is used up: inside the
// rectangle it holds working values afterwards. src must not be dst.
void WipeFrame(gdi::Surface& dst, int x, int y, int width, int height, const gdi::Surface& src,
               int sx, int sy, gdi::Surface& pattern);

}  // namespace tsumugi
