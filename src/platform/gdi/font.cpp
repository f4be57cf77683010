#include "platform/gdi/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <climits>
#include <utility>

#include "platform/gdi/font_lookup.h"

namespace tsumugi::gdi {

namespace detail {

struct FontLibrary {
  FT_Library ft = nullptr;
  FaceFinder finder;
  bool crisp = false;
  uint64_t rasterised = 0;

  FontLibrary() = default;
  FontLibrary(const FontLibrary&) = delete;
  FontLibrary& operator=(const FontLibrary&) = delete;
  ~FontLibrary() {
    if (ft != nullptr) FT_Done_FreeType(ft);
  }
};

struct FontFace {
  FT_Face face = nullptr;
  // Styles asked for that the face does not have itself.
  bool simulate_bold = false;
  bool simulate_italic = false;

  explicit FontFace(FT_Face f) : face(f) {}
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;
  ~FontFace() {
    if (face != nullptr) FT_Done_Face(face);
  }
};

}  // namespace detail

namespace {

// Slant of simulated italics: tan(12 degrees) in 16.16, the shear FreeType's
// own synthetic oblique uses. The baseline stays put, so the advance does too.
constexpr FT_Matrix kOblique = {0x10000, 0x0366A, 0, 0x10000};

// value * num / den rounded to the nearest integer, halves up; all positive.
int RoundedScale(int64_t value, int64_t num, int64_t den) {
  return static_cast<int>((value * num * 2 + den) / (den * 2));
}

// The next character of `text` from index i, which moves past it. A surrogate
// pair is one character; a lone surrogate stands for itself (and, having no
// glyph, draws as the face's missing-character glyph).
char32_t NextCharacter(std::u16string_view text, size_t& i) {
  const char16_t unit = text[i++];
  if (unit >= 0xD800 && unit <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 &&
      text[i] <= 0xDFFF) {
    const char32_t low = text[i++];
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00);
  }
  return unit;
}

// Colour c laid over pixel d with coverage a: each channel becomes
// (c * w + d * (256 - w)) / 256, rounded down, with the weight w = a + a / 128
// (0 for no coverage, which keeps d, and 256 for full coverage, which gives
// c). Red and blue are weighted together in one multiply, green in another;
// the weights sum to 256, so no channel carries into the next.
inline uint32_t Blend(uint32_t d, uint32_t c, uint32_t a) {
  const uint32_t w = a + (a >> 7);
  const uint32_t iw = 256 - w;
  const uint32_t rb = (((c & 0x00FF00FFu) * w + (d & 0x00FF00FFu) * iw) >> 8) & 0x00FF00FFu;
  const uint32_t g = (((c & 0x0000FF00u) * w + (d & 0x0000FF00u) * iw) >> 8) & 0x0000FF00u;
  return rb | g;
}

// Blends colour c over n pixels with their coverages: Blend for every
// pixel, but with SSE2 four pixels at a time, each channel in a 16-bit lane
// (c * w + d * (256 - w) is at most 255 * 256, so it fits). Stored pixels
// have a clear top byte, which stays clear.
void BlendSpan(uint32_t* out, const uint8_t* a, int n, uint32_t c) {
  int k = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i colour = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(c)), zero);
  const __m128i full = _mm_set1_epi16(256);
  const __m128i rgb = _mm_set1_epi32(0x00FFFFFF);
  for (; k + 4 <= n; k += 4) {
    uint32_t four;
    std::memcpy(&four, a + k, 4);
    const __m128i cover = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(four)), zero);
    const __m128i w = _mm_add_epi16(cover, _mm_srli_epi16(cover, 7));
    const __m128i ww = _mm_unpacklo_epi16(w, w);
    const __m128i w01 = _mm_unpacklo_epi32(ww, ww);  // pixels 0 and 1, each weight four times
    const __m128i w23 = _mm_unpackhi_epi32(ww, ww);
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + k));
    const __m128i d01 = _mm_unpacklo_epi8(d, zero);
    const __m128i d23 = _mm_unpackhi_epi8(d, zero);
    const __m128i r01 = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(colour, w01), _mm_mullo_epi16(d01, _mm_sub_epi16(full, w01))),
        8);
    const __m128i r23 = _mm_srli_epi16(
        _mm_add_epi16(_mm_mullo_epi16(colour, w23), _mm_mullo_epi16(d23, _mm_sub_epi16(full, w23))),
        8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     _mm_and_si128(_mm_packus_epi16(r01, r23), rgb));
  }
#endif
  for (; k < n; ++k) {
    if (a[k] != 0) out[k] = a[k] == 255 ? c : Blend(out[k], c, a[k]);
  }
}

// Opens a candidate face at `height` pixels; null when the file cannot be
// used (unreadable, not scalable, no Unicode character map).
std::unique_ptr<detail::FontFace> OpenFace(FT_Library library, const detail::FaceFile& file,
                                           int height, bool bold, bool italic) {
  FT_Face f = nullptr;
  if (FT_New_Face(library, file.path.c_str(), file.index, &f) != 0) return nullptr;
  auto face = std::make_unique<detail::FontFace>(f);
  if (!FT_IS_SCALABLE(f) || f->units_per_EM == 0 || f->charmap == nullptr ||
      f->charmap->encoding != FT_ENCODING_UNICODE ||
      FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(height)) != 0) {
    return nullptr;
  }
  // The face's own style decides what is simulated. (fontconfig's match
  // cannot tell: its configuration may report a regular face as bold
  // because it would embolden it.)
  face->simulate_bold = bold && (f->style_flags & FT_STYLE_FLAG_BOLD) == 0;
  face->simulate_italic = italic && (f->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
  return face;
}

}  // namespace

// ---------------------------------------------------------------------------
// Font

Font::Font(std::shared_ptr<detail::FontLibrary> library, std::unique_ptr<detail::FontFace> face,
           std::unique_ptr<detail::FontFace> fallback, int pixel_size, std::string family)
    : library_(std::move(library)),
      face_(std::move(face)),
      fallback_(std::move(fallback)),
      pixel_size_(pixel_size),
      simulated_bold_(face_ != nullptr && face_->simulate_bold),
      simulated_italic_(face_ != nullptr && face_->simulate_italic),
      family_(std::move(family)) {
  // Line height and ascent come from the face's design ascender and
  // descender, each rounded to the nearest pixel, rather than from FreeType's
  // size metrics, which round the ascender up and the descender down and so
  // make a 32-pixel IPAGothic 33 pixels high. The IPA faces' ascender and
  // descender add up to exactly one em, as the Windows faces they replace
  // do, so a line is as high as the em: 32 pixels for the 32-pixel font, with
  // an ascent of 28. (Their OS/2 Windows metrics are not used: they reserve
  // extra room below the baseline that the Windows faces lack.) Rounding the
  // height as a whole and the ascent on its own keeps the height at the em
  // even where both parts fall on exactly half a pixel.
  height_ = pixel_size;
  ascent_ = pixel_size - pixel_size / 8;
  if (face_ != nullptr) {
    const FT_Face f = face_->face;
    const int64_t em = f->units_per_EM;
    const int64_t ascender = std::max<int64_t>(f->ascender, 0);
    const int64_t descender = std::max<int64_t>(-static_cast<int64_t>(f->descender), 0);
    if (em > 0 && ascender + descender > 0) {
      height_ = RoundedScale(ascender + descender, pixel_size, em);
      ascent_ = std::min(RoundedScale(ascender, pixel_size, em), height_);
    }
  }
}

Font::~Font() = default;

int Font::FallbackAdvance(char32_t c) const {
  const bool half_width = c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F);
  return half_width ? pixel_size_ / 2 : pixel_size_;
}

Font::Glyph Font::Rasterise(char32_t c) const {
  Glyph g;
  g.advance = FallbackAdvance(c);
  if (face_ == nullptr) return g;
  ++library_->rasterised;

  const bool crisp = library_->crisp;
  // Outlines only (never a face's embedded bitmaps), so that every size and
  // the simulated styles look alike. Hinting stays on: the default native
  // hinter for grey glyphs, full hinting for one-bit ones.
  const FT_Int32 flags = FT_LOAD_NO_BITMAP | (crisp ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  // A character the face lacks comes from the fallback face when that has
  // it (Japanese text in a Latin face stays readable), placed on the same
  // baseline; when neither has it, the face's missing-character glyph
  // (glyph 0) is drawn, as Windows drew a font's default character.
  const detail::FontFace* source = face_.get();
  FT_UInt index = FT_Get_Char_Index(source->face, c);
  if (index == 0 && fallback_ != nullptr) {
    if (const FT_UInt other = FT_Get_Char_Index(fallback_->face, c); other != 0) {
      source = fallback_.get();
      index = other;
    }
  }
  if (index == 0) {
    if (const detail::FontFace* more = FaceFor(c)) {
      source = more;
      index = FT_Get_Char_Index(more->face, c);
    }
  }
  const FT_Face f = source->face;
  FT_Error error = FT_Load_Glyph(f, index, flags);
  if (error != 0 && index != 0) error = FT_Load_Glyph(f, 0, flags);
  if (error != 0) return g;

  const FT_GlyphSlot slot = f->glyph;
  const bool bold = source->simulate_bold;
  // The advance is the unhinted one rounded to whole pixels, so that layout
  // is the same with and without smoothing and whatever the hinter does.
  g.advance = static_cast<int>((slot->linearHoriAdvance + 0x8000) >> 16);
  if (bold) g.advance += 1;
  if (source->simulate_italic && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Outline_Transform(&slot->outline, &kOblique);
  }
  if (FT_Render_Glyph(slot, crisp ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return g;

  const FT_Bitmap& bitmap = slot->bitmap;
  const int width = static_cast<int>(bitmap.width);
  const int rows = static_cast<int>(bitmap.rows);
  const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  if (width <= 0 || rows <= 0 || bitmap.pitch <= 0 ||
      (!mono && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)) {
    return g;
  }
  // Simulated bold overstrikes the glyph one pixel to the right: every
  // stroke one pixel wider, the glyph and its advance too, as Windows made
  // bold out of a face that had none.
  g.box.width = width + (bold ? 1 : 0);
  g.box.height = rows;
  g.box.x = slot->bitmap_left;
  g.box.y = ascent_ - slot->bitmap_top;
  g.coverage.assign(static_cast<size_t>(g.box.width) * static_cast<size_t>(rows), 0);
  const int max_grey = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
  for (int y = 0; y < rows; ++y) {
    const unsigned char* src = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    uint8_t* dst = g.coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(g.box.width);
    if (mono) {
      for (int x = 0; x < width; ++x) dst[x] = ((src[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
    } else if (max_grey == 255) {
      std::copy(src, src + width, dst);
    } else {
      for (int x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(src[x] * 255 / max_grey);
    }
    if (bold) {
      for (int x = g.box.width - 1; x > 0; --x) dst[x] = std::max(dst[x], dst[x - 1]);
    }
  }
  FindInk(g);
  return g;
}

const detail::FontFace* Font::FaceFor(char32_t c) const {
  // Control characters and the private use areas are not looked for: what
  // they show is the business of the font that was asked for.
  if (c < 0x20 || (c >= 0xE000 && c <= 0xF8FF) || c >= 0xF0000 || library_->ft == nullptr) {
    return nullptr;
  }
  const std::optional<detail::FaceFile>& file = library_->finder.ForCharacter(c);
  if (!file) return nullptr;
  auto [it, added] = more_faces_.try_emplace({file->path, file->index});
  if (added) {
    it->second = OpenFace(library_->ft, *file, pixel_size_, simulated_bold_, simulated_italic_);
  }
  const detail::FontFace* face = it->second.get();
  return face != nullptr && FT_Get_Char_Index(face->face, c) != 0 ? face : nullptr;
}

void Font::FindInk(Glyph& g) {
  g.ink.assign(static_cast<size_t>(g.box.height), Ink{});
  for (int y = 0; y < g.box.height; ++y) {
    const uint8_t* row =
        g.coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(g.box.width);
    int first = 0, end = g.box.width;
    while (first < end && row[first] == 0) ++first;
    while (end > first && row[end - 1] == 0) --end;
    g.ink[static_cast<size_t>(y)] = {static_cast<uint16_t>(first), static_cast<uint16_t>(end)};
  }
}

const Font::Glyph& Font::GetGlyph(char32_t c) const {
  if (const auto it = glyphs_.find(c); it != glyphs_.end()) return it->second;
  Glyph g = Rasterise(c);
  if (cache_bytes_ + g.Bytes() > kMaxCacheBytes) {
    glyphs_.clear();
    cache_bytes_ = 0;
  }
  cache_bytes_ += g.Bytes();
  return glyphs_.emplace(c, std::move(g)).first->second;
}

tsumugi::Size Font::Extent(std::u16string_view text, int char_extra) const {
  int64_t width = 0;
  for (size_t i = 0; i < text.size();) {
    width += GetGlyph(NextCharacter(text, i)).advance + static_cast<int64_t>(char_extra);
  }
  width = std::clamp<int64_t>(width, INT_MIN, INT_MAX);
  return {static_cast<int>(width), height_};
}

void Font::Draw(Surface& dst, int x, int y, std::u16string_view text, ColorRef color,
                int char_extra) const {
  if (dst.Empty()) return;
  const uint32_t pixel = PixelFromColorRef(color);
  int64_t pen = x;
  for (size_t i = 0; i < text.size();) {
    const Glyph& g = GetGlyph(NextCharacter(text, i));
    const int64_t gx = pen + g.box.x;
    const int64_t gy = static_cast<int64_t>(y) + g.box.y;
    pen += g.advance + static_cast<int64_t>(char_extra);
    if (g.box.width == 0) continue;
    const Rect box = ClipEdges(gx, gy, gx + g.box.width, gy + g.box.height, dst.Bounds());
    for (int row = box.y; row < box.Bottom(); ++row) {
      const size_t glyph_row = static_cast<size_t>(row - gy);
      const Ink ink = g.ink[glyph_row];
      const Rect span = ClipEdges(gx + ink.first, row, gx + ink.end, row + 1, box);
      if (span.Empty()) continue;
      const uint8_t* coverage =
          g.coverage.data() + glyph_row * static_cast<size_t>(g.box.width) + (span.x - gx);
      BlendSpan(dst.Row(row) + span.x, coverage, span.width, pixel);
    }
  }
}

// ---------------------------------------------------------------------------
// FontEngine

FontEngine::FontEngine(bool crisp) : library_(std::make_shared<detail::FontLibrary>()) {
  library_->crisp = crisp;
  if (FT_Init_FreeType(&library_->ft) != 0) library_->ft = nullptr;
}

FontEngine::~FontEngine() = default;

bool FontEngine::Crisp() const { return library_->crisp; }

uint64_t FontEngine::RasterisedGlyphCount() const { return library_->rasterised; }

std::shared_ptr<const Font> FontEngine::GetTextFont(const LogFont& request) {
  if (text_face_.empty()) return GetFont(request);
  LogFont instead = request;
  instead.face = text_face_;
  return GetFont(instead);
}

std::shared_ptr<const Font> FontEngine::GetFont(const LogFont& request) {
  const int height = std::clamp(request.height, kMinHeight, kMaxHeight);
  Key key{request.face, height, request.bold, request.italic};
  if (const auto it = fonts_.find(key); it != fonts_.end()) return it->second;

  if (fonts_.size() >= kMaxCachedFonts) {
    std::erase_if(fonts_, [](const auto& entry) { return entry.second.use_count() == 1; });
  }

  // The first candidate that opens is the font's face; the next one, if any,
  // supplies the characters the first lacks.
  std::unique_ptr<detail::FontFace> face;
  std::unique_ptr<detail::FontFace> fallback;
  std::string family;
  if (library_->ft != nullptr) {
    for (const detail::FaceFile& candidate :
         library_->finder.Candidates(request.face, request.bold, request.italic)) {
      auto opened = OpenFace(library_->ft, candidate, height, request.bold, request.italic);
      if (opened == nullptr) continue;
      if (face == nullptr) {
        face = std::move(opened);
        family = candidate.family;
      } else {
        fallback = std::move(opened);
        break;
      }
    }
  }
  std::shared_ptr<const Font> font(
      new Font(library_, std::move(face), std::move(fallback), height, std::move(family)));
  fonts_.emplace(std::move(key), font);
  return font;
}

}  // namespace tsumugi::gdi
