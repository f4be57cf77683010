// The off-screen pages PicOff(0) to PicOff(PageCount): 640x480 surfaces that
// scripts compose pictures and print text on before they are shown.
//
// A page takes memory only once it is used: until then it is, as far as
// anyone can tell, a page cleared to the base colour. So a configuration
// file may ask for many pages without the engine allocating them all.
#pragma once

#include "engine/state/game_state.h"
#include "platform/gdi/surface.h"

namespace tsumugi {


class Pages {
 public:
  // The highest page count a configuration file may give. Each page used
  // takes 1.2 MB, so this keeps a script that fills them all within memory.
  static constexpr int kMaxPageCount = 1000;
  // The page count when the configuration file does not set one.
  static constexpr int kDefaultPageCount = 2;

  explicit Pages(PageState& state) : s_(state) {}

  // Page n, cleared to the base colour at its first use; nullptr when there
  // is no page n (page 0 always exists, pages 1 to PageCount after the
  // start-up).
  gdi::Surface* Page(int n);

  // Sets the highest page number (0 to kMaxPageCount); pages above it are
  // dropped.
  void SetPageCount(int count);
  int PageCount() const { return s_.PageCount; }

  // The background colour of every page: all pages are cleared to it.
  void SetBaseColour(gdi::ColorRef colour);
  gdi::ColorRef BaseColour() const { return s_.BaseColour; }

 private:
  PageState& s_;
};

}  // namespace tsumugi
