// The drawing steps of picture transitions, free of engine state: clipping a
// transfer to the pixels that exist, wipe-pattern frames.
#pragma once

#include <filesystem>
#include <string>

#include "platform/gdi/surface.h"

namespace tsumugi {

// A rectangle of width x height pixels taken from (sx, sy) of a source and
// put at (x, y) of a destination.
struct Transfer {
  int x = 0, y = 0, width = 0, height = 0, sx = 0, sy = 0;
};

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
