// The text state of a drawing context: the font it was last given and the
// character extra added after every character. The text window's canvas,
// the screen and every off-screen page each have one.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/text_codec.h"
#include "platform/gdi/font.h"

namespace tsumugi {

class TextContext {
 public:
  TextContext() = default;
  TextContext(gdi::LogFont font_in, int char_extra_in)
      : font(std::move(font_in)), char_extra(char_extra_in) {}

  gdi::LogFont font;
  int char_extra = 0;

  // Two contexts are the same when they draw the same; the realised font
  // is only a cache.
  friend bool operator==(const TextContext& a, const TextContext& b) {
    return a.font == b.font && a.char_extra == b.char_extra;
  }

  // The realised font the text is drawn in for `font`, asked for again only
  // when `font` changed.
  const gdi::Font& Font(gdi::FontEngine& fonts) {
    if (!realised_ || !(realised_for_ == font)) {
      realised_ = fonts.GetTextFont(font);
      realised_for_ = font;
    }
    return *realised_;
  }

 private:
  std::shared_ptr<const gdi::Font> realised_;
  gdi::LogFont realised_for_;
};

// A text of the current scenario as written, in the language shown: its
// translation with the values put in; none when it has none.
using TextTranslator = std::function<std::optional<std::u16string>(std::u16string_view written)>;

// Text is drawn and measured as the code page bytes of the system: a
// character the code page lacks comes out as "?", as it always did.
inline std::u16string AsDrawn(std::u16string_view text) {
  return Cp932ToUtf16(Utf16ToCp932(text));
}

// Coordinates computed from script values can leave the range of int; any
// value this far out is off every surface, so clamping changes nothing that
// can be seen.
inline int ClampCoordinate(int64_t value) {
  constexpr int64_t kLimit = int64_t{1} << 30;
  return static_cast<int>(std::clamp(value, -kLimit, kLimit));
}

}  // namespace tsumugi
