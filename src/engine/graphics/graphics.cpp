#include "engine/graphics/graphics.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>
#include <vector>

#include "common/file_lookup.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "engine/engine_end.h"
#include "engine/files/game_files.h"
#include "engine/graphics/pages.h"
#include "engine/media/media_commands.h"
#include "engine/messages.h"
#include "engine/script/command_args.h"
#include "engine/vars/number_text.h"
#include "platform/gdi/bitblt.h"
#include "platform/host.h"

namespace tsumugi {

namespace {

// A frame number as wipe-pattern files write it: at least two digits.
std::u16string FrameNumber(int n) {
  std::u16string digits = ToDecimal(n);
  if (digits.size() < 2) digits.insert(0, 2 - digits.size(), u'0');
  return digits;
}

// Ends the cross-fade however the transition is left (a report ends the
// engine by unwinding through it).
class BlendScope {
 public:
  explicit BlendScope(Graphics& graphics) : graphics_(graphics) {}
  BlendScope(const BlendScope&) = delete;
  BlendScope& operator=(const BlendScope&) = delete;
  ~BlendScope() { graphics_.BlendEnd(); }

 private:
  Graphics& graphics_;
};

}  // namespace

Graphics::Graphics(HostClock& clock, EventPump& events, HostDialogs& dialogs, HostWindow& window,
                   ScriptErrors& errors, GameFiles& files, Pages& pages, MediaCommands& media,
                   const PlayerPace& pace, TextWindowState& text_state)
    : clock_(clock),
      events_(events),
      dialogs_(dialogs),
      window_(window),
      errors_(errors),
      files_(files),
      pages_(pages),
      media_(media),
      pace_(pace),
      text_state_(text_state) {}

void Graphics::ForgetPicture() {
  CharaPictureName.clear();
  CharaPictureMasked = false;
}

// --- Cross-fade ---------------------------------------------------------------

void Graphics::BlendBegin(const gdi::Surface& dst, int x, int y, const gdi::Surface& src, int sx,
                          int sy, int width, int height) {
  // A refused size leaves a blend whose frames draw nothing, which is what
  // the script gets for it: the fade still takes its time.
  static_cast<void>(blend_.Begin(dst, x, y, src, sx, sy, width, height));
}

void Graphics::BlendStep(gdi::Surface& dst, int x, int y, float level) {
  // A frame at a level outside 0 to 1 is left out on purpose.
  static_cast<void>(blend_.Step(dst, x, y, level));
}

void Graphics::BlendEnd() {
  blend_.End();
}

// --- .bsc ---------------------------------------------------------------------

// .bsc COLOUR
bool Graphics::BaseColourCommand(CommandArgs& args) {
  ScriptErrors& script = errors_;
  if (text_state_.TextWindowVisible) {
    script.ScriptError(u"「.bsc」は「.thd」がかかった状態でしか実行できません", false);
  }
  const gdi::ColorRef colour = args.Colour(0);
  gdi::Surface& screen = window_.Screen();
  screen.SetBackColor(colour);
  pages_.SetBaseColour(colour);
  // The scratch surface takes the colour for the next "base" source; it is
  // cleared when that is used.
  PicBack.SetBackColor(colour);
  media_.SetVideoBackColour(colour);
  screen.Clear();
  window_.Refresh();
  return false;
}

// --- Helpers of .pic and .spr -----------------------------------------------------

gdi::Surface& Graphics::PageOfWord(const std::u16string& word) {
  const ParsedNumber number = ParseNumber(std::u16string_view(word).substr(3));
  if (number.kind == NumberKind::kNotNumeric) {
    errors_.ScriptError(messages::PageNotNumeric(word), false);
  }
  // A number beyond the integer range names no page either.
  gdi::Surface* page = number.kind == NumberKind::kValue ? pages_.Page(number.value) : nullptr;
  if (page == nullptr) {
    errors_.ScriptError(messages::NoPage(word), false);
  }
  return *page;
}

gdi::Surface& Graphics::DestinationSurface(const std::u16string& word) {
  if (word == u"screen") return window_.Screen();
  if (word.starts_with(u"off")) return PageOfWord(word);
  errors_.ScriptError(messages::NoDestination(word), false);
}

Graphics::SourceKind Graphics::KindOfSource(const std::u16string& word) const {
  if (word.starts_with(u"off")) return SourceKind::kPage;
  if (word == u"screen") return SourceKind::kScreen;
  if (word == u"base") return SourceKind::kBase;
  return SourceKind::kPicture;
}

void Graphics::PreparePicture(const std::u16string& word, bool masked) {
  // An empty cache name holds nothing: an empty word is looked up (and
  // reported) like any other name.
  if (word != CharaPictureName || CharaPictureMasked != masked || CharaPictureName.empty()) {
    // Forget the old picture first, so that a failed load cannot leave a
    // name that no longer matches the surface, and so that the old picture
    // and its mask are not held while the new one is decoded (two pictures
    // of 4096 x 4096 would hold 256 MB at once).
    CharaPictureName.clear();
    PicChara.Resize(0, 0);
    PicMChara.Resize(0, 0);
    files_.LoadPictureFile(word, &PicChara);
    if (masked) MakeMask(PicMChara, PicChara);
  }
  CharaPictureName = word;
  CharaPictureMasked = masked;
}

void Graphics::TakeSpriteRegion(const gdi::Surface& src, gdi::Blit& t) {
  // Only the part of the region that lies inside the source exists; the
  // rest of it is left out of the sprite (it shows the destination), and
  // the sprite's key colour is that of its first existing pixel, which is
  // the source pixel at (sx, sy) whenever that is inside the source.
  gdi::Blit region{{0, 0, t.width, t.height}, t.sx, t.sy};
  if (!gdi::ClipBlit(region, {0, 0, t.width, t.height}, src.Bounds())) {
    PicChara.Resize(0, 0);
    PicMChara.Resize(0, 0);
    t.width = t.height = 0;
    t.sx = t.sy = 0;
    return;
  }
  PicChara.Resize(region.width, region.height);
  gdi::BitBlt(PicChara, 0, 0, region.width, region.height, src, region.sx, region.sy,
              gdi::kSrcCopy);
  MakeMask(PicMChara, PicChara);
  t = {gdi::Rect{t.x, t.y, region.width, region.height}.Offset(region.x, region.y), 0, 0};
}

void Graphics::RefreshIfScreen(const gdi::Surface& dst) {
  if (&dst == &window_.Screen()) window_.Refresh();
}

void Graphics::Pace(uint32_t frame_start, int64_t limit) {
  // Differences of the wrapping millisecond clock are signed 32-bit.
  limit = std::clamp<int64_t>(pace_.Pause(limit), INT32_MIN, INT32_MAX);
  const int32_t elapsed = static_cast<int32_t>(clock_.TimeGetTime() - frame_start);
  if (elapsed < limit) clock_.Sleep(static_cast<uint32_t>(limit - elapsed));
}

// --- .pic and .spr ------------------------------------------------------------

// .pic [DESTINATION] SOURCE [EFFECT] [WAIT] [X] [Y] [WIDTH] [HEIGHT] [SX] [SY]  (.spr the same)
bool Graphics::PictureCommand(CommandArgs& args, bool sprite) {
  ScriptErrors& script = errors_;
  // The first frame starts with the command: loading files is part of it.
  const uint32_t frame_start = clock_.TimeGetTime();

  const std::u16string& destination_word = args.Text(0);
  const std::u16string& source_word = args.Text(1);
  const std::u16string& effect = args.Text(2);
  const int32_t wait = args.Integer(3);
  gdi::Blit t;
  t.x = args.Integer(4);
  t.y = args.Integer(5);
  t.width = args.Integer(6);
  t.height = args.Integer(7);
  t.sx = args.Integer(8);
  t.sy = args.Integer(9);
  const bool default_size = !args.Given(6);

  gdi::Surface& dst = DestinationSurface(destination_word);
  gdi::Surface& screen = window_.Screen();

  // The source.
  const gdi::Surface* src = nullptr;
  const SourceKind kind = KindOfSource(source_word);
  if (kind == SourceKind::kBase && sprite) {
    script.ScriptError(std::u16string(messages::kSpriteOfBase), false);
  }
  if (kind == SourceKind::kPicture) {
    PreparePicture(source_word, sprite);
    src = &PicChara;
    if (default_size) {
      t.width = PicChara.Width();
      t.height = PicChara.Height();
    }
  } else {
    src = kind == SourceKind::kScreen ? &screen
          : kind == SourceKind::kPage ? &PageOfWord(source_word)
                                      : &PicBack;
    if (default_size) {
      t.width = gdi::kScreenWidth;
      t.height = gdi::kScreenHeight;
    }
    if (kind == SourceKind::kBase) {
      // An even colour: whatever part of the rectangle is visible takes it,
      // read from the top-left corner of the blank surface.
      PicBack.Clear();
      t.sx = t.sy = 0;
      if (!gdi::ClipBlit(t, dst.Bounds(), {0, 0, INT_MAX, INT_MAX})) t = gdi::Blit{};
      t.sx = t.sy = 0;
    }
    if (sprite) {
      TakeSpriteRegion(*src, t);
      CharaPictureName = source_word;
      CharaPictureMasked = true;
      src = &PicChara;
    }
  }

  if (effect == u"0") {
    if (sprite) {
      gdi::BitBlt(dst, t.x, t.y, t.width, t.height, PicMChara, t.sx, t.sy, gdi::kSrcAnd);
      gdi::BitBlt(dst, t.x, t.y, t.width, t.height, PicChara, t.sx, t.sy, gdi::kSrcInvert);
    } else {
      gdi::BitBlt(dst, t.x, t.y, t.width, t.height, *src, t.sx, t.sy, gdi::kSrcCopy);
    }
    RefreshIfScreen(dst);
    Pace(frame_start, wait);
    if (sprite) events_.DoEvents();
    return false;
  }

  // A transition changes only the visible part of the rectangle where a
  // source pixel exists. It works on that part alone, which keeps its
  // buffers within the screen's size whatever the script asks.
  gdi::Blit visible = t;
  const gdi::Surface* from = src;
  if (!gdi::ClipBlit(visible, dst.Bounds(), src->Bounds())) {
    visible = gdi::Blit{};
  } else if (sprite) {
    // The finished picture is composed in PicBack first: the destination
    // with the sprite laid over it through its mask.
    gdi::BitBlt(PicBack, 0, 0, visible.width, visible.height, dst, visible.x, visible.y,
                gdi::kSrcCopy);
    gdi::BitBlt(PicBack, 0, 0, visible.width, visible.height, PicMChara, visible.sx, visible.sy,
                gdi::kSrcAnd);
    gdi::BitBlt(PicBack, 0, 0, visible.width, visible.height, PicChara, visible.sx, visible.sy,
                gdi::kSrcInvert);
    from = &PicBack;
    visible.sx = visible.sy = 0;
  } else if (src == &dst) {
    // A surface drawn onto itself: the wipe changes the destination before
    // it reads the source, so it reads a copy.
    gdi::BitBlt(PicBack, 0, 0, visible.width, visible.height, *src, visible.sx, visible.sy,
                gdi::kSrcCopy);
    from = &PicBack;
    visible.sx = visible.sy = 0;
  }

  if (effect.size() <= 3) {
    WipeTransition(dst, *from, visible, effect, wait, frame_start);
  } else {
    CrossFadeTransition(dst, *from, visible, effect, wait, !sprite, frame_start);
  }
  return false;
}

void Graphics::WipeTransition(gdi::Surface& dst, const gdi::Surface& src, const gdi::Blit& t,
                              const std::u16string& effect, int64_t wait, uint32_t frame_start) {
  // The series: "pat" + effect + frame number, all with the extension of
  // the first frame, up to the first number without a file.
  const std::filesystem::path first = files_.FindPictureFile(u"pat" + effect + FrameNumber(0));
  const std::u16string first_text = Utf8ToUtf16(PathToUtf8(first));
  const std::u16string extension =
      first_text.substr(first_text.size() - std::min<size_t>(4, first_text.size()));
  std::vector<std::filesystem::path> frames;
  for (int n = 0;; ++n) {
    GameFile file = files_.FindFile(u"pat" + effect + FrameNumber(n) + extension);
    if (!file.path) break;
    frames.push_back(std::move(*file.path));
  }

  for (size_t i = 0; i < frames.size(); ++i) {
    if (i > 0) frame_start = clock_.TimeGetTime();
    std::string error;
    if (!LoadPatternFrame(frames[i], PicPat, &error)) {
      dialogs_.Diagnostic(PathToUtf8(frames[i]) + ": " + error);
      errors_.ScriptError(u"ファイル「" + Utf8ToUtf16(PathToUtf8(frames[i])) +
                              u"」はピクチャーファイルとして読み込めません",
                          false);
    }
    WipeFrame(dst, t, src, PicPat);
    RefreshIfScreen(dst);
    Pace(frame_start, wait);
    events_.DoEvents();
  }
}

void Graphics::CrossFadeTransition(gdi::Surface& dst, const gdi::Surface& src, const gdi::Blit& t,
                                   const std::u16string& effect, int64_t wait_per_frame,
                                   bool hold_grows_with_count, uint32_t frame_start) {
  const std::optional<CrossFade> fade = ParseCrossFade(effect);
  if (!fade) {
    errors_.ScriptError(messages::CrossFadeNotDigits(effect), false);
  }

  BlendScope scope(*this);
  if (t.width > 0 && t.height > 0) {
    BlendBegin(dst, t.x, t.y, src, t.sx, t.sy, t.width, t.height);
  }
  const int count = fade->count;
  if (count < 1) {
    errors_.ScriptError(std::u16string(messages::kNoFrames), false);
  }
  // ".pic" holds each frame longer the more frames there are.
  const int64_t limit = hold_grows_with_count ? wait_per_frame * count : wait_per_frame;

  for (int i = 0; i < count; ++i) {
    if (i > 0) frame_start = clock_.TimeGetTime();
    const float level = CrossFadeLevel(*fade, i);
    BlendStep(dst, t.x, t.y, level);
    RefreshIfScreen(dst);
    Pace(frame_start, limit);
    events_.DoEvents();
  }
}

}  // namespace tsumugi
