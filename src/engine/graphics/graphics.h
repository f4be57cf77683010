// Pictures and effects: the picture and sprite commands ".pic" and ".spr"
// with their wipe-pattern and cross-fade transitions, the scratch surfaces
// they work in, the cross-fade buffers, and the base colour command ".bsc".
// The off-screen pages are in Pages, picture files and masks in
// GameFiles.
#pragma once

#include <cstdint>
#include <string>

#include "engine/graphics/transitions.h"
#include "engine/state/game_state.h"
#include "engine/state/player_pace.h"
#include "platform/gdi/blend.h"
#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

class CommandArgs;
class EventPump;
class HostClock;
class HostDialogs;
class HostWindow;
class MediaCommands;
class Pages;
class GameFiles;
class ScriptErrors;

class Graphics {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool PictureCommand(CommandArgs& args, bool sprite);
  bool BaseColourCommand(CommandArgs& args);

  // Registers ".pic", ".spr" and ".bsc".
  Graphics(HostClock& clock, EventPump& events, HostDialogs& dialogs, HostWindow& window,
           ScriptErrors& errors, GameFiles& files, Pages& pages, MediaCommands& media,
           const PlayerPace& pace, TextWindowState& text_state);

  // Empties the picture cache.
  void ForgetPicture();

  // --- Cross-fade, one at a time ----------------------------------------------
  // Captures the destination rectangle at (x, y) and the source rectangle at
  // (sx, sy) of width x height pixels.
  void BlendBegin(const gdi::Surface& dst, int x, int y, const gdi::Surface& src, int sx, int sy,
                  int width, int height);
  // Draws the captures mixed at `level` onto dst at (x, y); a level outside
  // 0 to 1 draws nothing.
  void BlendStep(gdi::Surface& dst, int x, int y, float level);
  // Frees the buffers; harmless when no cross-fade runs.
  void BlendEnd();
  const gdi::BlendBuffers& Blend() const { return blend_; }

  // --- Surfaces -------------------------------------------------------------
  // Scratch: the blank "base" source, the copy of a source a wipe draws onto
  // itself, the composed region of a sprite transition.
  gdi::Surface PicBack{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};
  // The picture last loaded by ".pic" or ".spr" (or the region a ".spr" took
  // from a surface) and its transparency mask.
  gdi::Surface PicChara;
  gdi::Surface PicMChara{0, 0, gdi::kWhite};
  // The current wipe-pattern frame, tiled over the screen.
  gdi::Surface PicPat{gdi::kScreenWidth, gdi::kScreenHeight, gdi::kBlack};

  // The picture cache: the source word whose picture PicChara holds, and
  // whether ".spr" prepared it (key-colour pixels black, mask built).
  std::u16string CharaPictureName;
  bool CharaPictureMasked = false;

 private:
  // What a source word names.
  enum class SourceKind { kPicture, kScreen, kPage, kBase };

  // The shared handler of ".pic" (sprite false) and ".spr" (sprite true).

  // The surface of "screen" or "off" + n; anything else is reported.
  gdi::Surface& DestinationSurface(const std::u16string& word);
  SourceKind KindOfSource(const std::u16string& word) const;
  // The page an "off" word names; a number that is not one or a page that
  // does not exist is reported.
  gdi::Surface& PageOfWord(const std::u16string& word);

  // Loads the picture of `word` into PicChara unless the cache holds it in
  // the state wanted (masked for ".spr").
  void PreparePicture(const std::u16string& word, bool masked);
  // ".spr" from a surface: the region becomes PicChara, masked. The region
  // is cut to the part inside src; `t` follows the cut.
  void TakeSpriteRegion(const gdi::Surface& src, gdi::Blit& t);

  void WipeTransition(gdi::Surface& dst, const gdi::Surface& src, const gdi::Blit& t,
                      const std::u16string& effect, int64_t wait, uint32_t frame_start);
  void CrossFadeTransition(gdi::Surface& dst, const gdi::Surface& src, const gdi::Blit& t,
                           const std::u16string& effect, int64_t wait_per_frame,
                           bool hold_grows_with_count, uint32_t frame_start);

  // Shows the screen if dst is the screen.
  void RefreshIfScreen(const gdi::Surface& dst);
  // Sleeps for what is left of `limit` milliseconds since frame_start.
  void Pace(uint32_t frame_start, int64_t limit);

  HostClock& clock_;
  EventPump& events_;
  HostDialogs& dialogs_;
  HostWindow& window_;
  ScriptErrors& errors_;
  GameFiles& files_;
  Pages& pages_;
  MediaCommands& media_;
  const PlayerPace& pace_;
  TextWindowState& text_state_;
  gdi::BlendBuffers blend_;
};

}  // namespace tsumugi
