// Text on surfaces: fonts chosen by Windows face name and realised at a pixel
// size through FreeType and fontconfig, lines drawn with a transparent
// background the way TextOut draws them, and measured the way
// GetTextExtentPoint32 measures them with a character extra set.
//
// None of this is thread-safe: a FontEngine and the fonts it hands out belong
// to the engine's one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"
#include "platform/host.h"

namespace tsumugi::gdi {

// A font request, as a drawing context holds it.
struct LogFont {
  // A Windows face name such as "ＭＳ ゴシック" or "MS Mincho"; any text is
  // accepted (see FontEngine::GetFont for how it is resolved).
  std::u16string face = u"ＭＳ ゴシック";
  // Em height in pixels (the character height, not the cell height).
  int height = 32;
  bool bold = false;
  bool italic = false;

  friend bool operator==(const LogFont&, const LogFont&) = default;
};

namespace detail {
struct FontLibrary;  // the FreeType library, fontconfig and shared counters
struct FontFace;     // one opened FreeType face at one size
}  // namespace detail

// A realised font: one face at one pixel size and style, with the glyphs it
// has rasterised so far. Obtained from FontEngine::GetFont; stays usable
// after the engine that made it is gone.
class Font {
 public:
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Height of a line of text: ascent + descent. For the Japanese faces this
  // equals the em height (32 for the default font).
  int Height() const { return height_; }
  // Distance from the top of the character cell to the baseline.
  int Ascent() const { return ascent_; }
  // The em height actually used, after clamping the request.
  int PixelSize() const { return pixel_size_; }
  // The family that was found for the requested face, in UTF-8 ("IPAGothic");
  // empty when no usable font file exists at all.
  const std::string& Family() const { return family_; }
  bool SimulatedBold() const { return simulated_bold_; }
  bool SimulatedItalic() const { return simulated_italic_; }

  // Size of `text` drawn as one line: the width is the sum of the advances
  // plus `char_extra` after every character, the last one included; the
  // height is Height(). A surrogate pair is one character. The width is
  // clamped to the range of int.
  tsumugi::Size Extent(std::u16string_view text, int char_extra) const;

  // Draws `text` with the top-left of the first character cell at (x, y), the
  // baseline at y + Ascent(). Only glyph pixels change: in crisp mode they
  // take `color`, otherwise the colour is blended over the surface by the
  // glyph's coverage. The pen moves on by each character's advance plus
  // `char_extra`. Everything outside `dst` is clipped; any coordinates are
  // accepted.
  void Draw(Surface& dst, int x, int y, std::u16string_view text, ColorRef color,
            int char_extra) const;

 private:
  friend class FontEngine;

  // The covered columns of one glyph row: [first, end); empty for a row
  // without ink.
  struct Ink {
    uint16_t first = 0;
    uint16_t end = 0;
  };
  // A rasterised glyph: an 8-bit coverage map (0 untouched, 255 full colour)
  // of box.width x box.height, with box placed relative to the pen position
  // and the top of the character cell, and the columns of each row that
  // carry ink, so that drawing blends only those, several pixels at a time.
  struct Glyph {
    Rect box;
    int advance = 0;
    std::vector<uint8_t> coverage;
    std::vector<Ink> ink;

    size_t Bytes() const { return coverage.size() + ink.size() * sizeof(Ink); }
  };

  // Glyph caches of one font are cleared when they hold more than this many
  // coverage bytes, so that absurdly large fonts cannot eat the memory; at the
  // usual sizes (about 1 KiB a glyph) this is never reached.
  static constexpr size_t kMaxCacheBytes = size_t{64} << 20;

  // `face` null: no usable font file; `fallback` null: nothing to fall back
  // on for characters `face` lacks.
  Font(std::shared_ptr<detail::FontLibrary> library, std::unique_ptr<detail::FontFace> face,
       std::unique_ptr<detail::FontFace> fallback, int pixel_size, std::string family);

  const Glyph& GetGlyph(char32_t c) const;
  // A face at this font's size for a character neither face has; null when
  // no font has it.
  const detail::FontFace* FaceFor(char32_t c) const;
  Glyph Rasterise(char32_t c) const;
  static void FindInk(Glyph& g);
  // Advance used when there is no face to ask: half the em for ASCII and
  // half-width katakana, the em for everything else.
  int FallbackAdvance(char32_t c) const;

  std::shared_ptr<detail::FontLibrary> library_;
  std::unique_ptr<detail::FontFace> face_;
  std::unique_ptr<detail::FontFace> fallback_;
  int pixel_size_ = 0;
  int height_ = 0;
  int ascent_ = 0;
  bool simulated_bold_ = false;
  bool simulated_italic_ = false;
  std::string family_;

  mutable std::unordered_map<char32_t, Glyph> glyphs_;
  // Faces opened for characters neither face has, by file and index.
  mutable std::map<std::pair<std::string, int>, std::unique_ptr<detail::FontFace>> more_faces_;
  mutable size_t cache_bytes_ = 0;
};

// Owns FreeType, the fontconfig configuration, the realised fonts and their
// glyph caches. One per engine.
class FontEngine {
 public:
  // Requested heights are clamped to this range: a height of 0 or less (which
  // a script can ask for) draws at 1 pixel rather than failing, and heights
  // above 1000 pixels, more than any screen can show, are cut down so that a
  // single glyph cannot need megabytes.
  static constexpr int kMinHeight = 1;
  static constexpr int kMaxHeight = 1000;

  // `crisp`: glyphs are rasterised unsmoothed (every pixel fully on or off),
  // as Windows 95 drew them; otherwise with 8-bit grayscale anti-aliasing.
  explicit FontEngine(bool crisp = false);
  ~FontEngine();
  FontEngine(const FontEngine&) = delete;
  FontEngine& operator=(const FontEngine&) = delete;

  bool Crisp() const;

  // The realised font for `request`; the same request gives the same font
  // object while it is cached. Never fails:
  //  - the Windows faces "ＭＳ ゴシック"/"MS Gothic", "ＭＳ Ｐゴシック"/
  //    "MS PGothic", "ＭＳ 明朝"/"MS Mincho", "ＭＳ Ｐ明朝"/"MS PMincho" (compared
  //    ignoring case, blanks and full-width forms of ASCII letters) become
  //    IPAGothic, IPAPGothic, IPAMincho and IPAPMincho, and "MS UI Gothic"
  //    becomes IPAPGothic;
  //  - any other name is looked up through fontconfig, accepting only a font
  //    whose family is that name or an alias the configuration binds firmly
  //    to it (a metric-compatible substitute such as Liberation Sans for
  //    Arial), never a generic fallback;
  //  - when that finds nothing, IPAGothic; without IPAGothic, any font
  //    fontconfig offers for Japanese; without any font file at all, a font
  //    that measures like a monospaced Japanese font and draws nothing.
  // The next face of that list supplies the characters the chosen face
  // lacks (kana in a Latin face), on the same baseline; a character no face
  // has comes from any font fontconfig finds for it; only a character no
  // font of the system has draws as the chosen face's missing-character
  // glyph.
  // Bold and italic use the face's own bold or italic when fontconfig finds
  // one; otherwise they are simulated: bold by overstriking every glyph one
  // pixel to the right, which makes each character one pixel wider, as
  // Windows did; italic by slanting the outline, advances unchanged.
  std::shared_ptr<const Font> GetFont(const LogFont& request);
  // The game's texts are drawn in `face` instead of the face they ask for,
  // at the size and style they ask for (a translation for Latin script);
  // empty: as asked.
  void SetTextFace(std::u16string face) { text_face_ = std::move(face); }
  const std::u16string& TextFace() const { return text_face_; }
  // The font a game's text is drawn in for `request`.
  std::shared_ptr<const Font> GetTextFont(const LogFont& request);

  // How many glyphs have been rasterised by fonts of this engine. Drawing or
  // measuring text whose characters are all cached does not change it.
  uint64_t RasterisedGlyphCount() const;

 private:
  // Fonts no one else holds are dropped when more than this many are cached.
  static constexpr size_t kMaxCachedFonts = 32;

  using Key = std::tuple<std::u16string, int, bool, bool>;

  std::shared_ptr<detail::FontLibrary> library_;
  std::map<Key, std::shared_ptr<const Font>> fonts_;
  std::u16string text_face_;
};

}  // namespace tsumugi::gdi
