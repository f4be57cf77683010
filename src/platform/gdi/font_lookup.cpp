#include "platform/gdi/font_lookup.h"

#include <string>
#include <utility>

#include "common/text_codec.h"

namespace tsumugi::gdi::detail {
namespace {

// The form face names are compared in: full-width ASCII folded to ASCII,
// ASCII letters in lower case, blanks (ASCII and ideographic) removed.
std::u16string FoldFaceName(std::u16string_view face) {
  std::u16string out;
  out.reserve(face.size());
  for (char16_t c : face) {
    if (c >= u'\uFF01' && c <= u'\uFF5E') c = static_cast<char16_t>(c - 0xFF01 + 0x21);
    if (c == u' ' || c == u'\u3000' || c == u'\t') continue;
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    out.push_back(c);
  }
  return out;
}

struct Substitute {
  std::u16string_view folded_face;
  const char* family;
};

// The faces of Japanese Windows and the IPA fonts drawn to the same design
// grid: same em square, same full-width and half-width advances.
constexpr Substitute kSubstitutes[] = {
    {u"msgothic", "IPAGothic"},    {u"msゴシック", "IPAGothic"},
    {u"mspgothic", "IPAPGothic"},  {u"mspゴシック", "IPAPGothic"},
    {u"msuigothic", "IPAPGothic"}, {u"msmincho", "IPAMincho"},
    {u"ms明朝", "IPAMincho"},      {u"mspmincho", "IPAPMincho"},
    {u"msp明朝", "IPAPMincho"},
};

constexpr const char* kDefaultFamily = "IPAGothic";

bool SameFamily(const FcChar8* a, const std::string& b) {
  return FcStrCmpIgnoreCase(a, reinterpret_cast<const FcChar8*>(b.c_str())) == 0;
}

}  // namespace

std::string SubstituteFamily(std::u16string_view windows_face) {
  const std::u16string folded = FoldFaceName(windows_face);
  for (const Substitute& s : kSubstitutes) {
    if (folded == s.folded_face) return s.family;
  }
  return {};
}

FaceFinder::~FaceFinder() {
  if (config_ != nullptr) FcConfigDestroy(config_);
}

bool FaceFinder::Configured() {
  if (config_ == nullptr && !config_failed_) {
    config_ = FcInitLoadConfigAndFonts();
    config_failed_ = config_ == nullptr;
  }
  return config_ != nullptr;
}

const std::optional<FaceFile>& FaceFinder::ForCharacter(char32_t c) {
  if (const auto it = for_character_.find(c); it != for_character_.end()) return it->second;
  std::optional<FaceFile> found;
  FcPattern* pattern = Configured() ? FcPatternCreate() : nullptr;
  FcCharSet* wanted = pattern != nullptr ? FcCharSetCreate() : nullptr;
  if (wanted != nullptr) {
    FcCharSetAddChar(wanted, c);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(config_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(config_, pattern, &result)) {
      // The best match may still lack the character: then no font has it.
      FcCharSet* has = nullptr;
      FcChar8* file = nullptr;
      FcBool scalable = FcFalse;
      if (FcPatternGetCharSet(match, FC_CHARSET, 0, &has) == FcResultMatch &&
          FcCharSetHasChar(has, c) &&
          FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
          FcPatternGetBool(match, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable) {
        FaceFile face;
        face.path = reinterpret_cast<const char*>(file);
        int index = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) face.index = index;
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
          face.family = reinterpret_cast<const char*>(name);
        }
        found = std::move(face);
      }
      FcPatternDestroy(match);
    }
    FcCharSetDestroy(wanted);
  }
  if (pattern != nullptr) FcPatternDestroy(pattern);
  return for_character_.emplace(c, std::move(found)).first->second;
}

std::optional<FaceFile> FaceFinder::Match(const std::string& family, bool bold, bool italic,
                                          bool require_family) {
  if (!Configured()) return std::nullopt;

  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return std::nullopt;
  if (!family.empty()) {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  }
  // Japanese coverage, so that a family-less match (and any tie) goes to a
  // font that has kana and kanji.
  if (FcLangSet* langs = FcLangSetCreate()) {
    FcLangSetAdd(langs, reinterpret_cast<const FcChar8*>("ja"));
    FcPatternAddLangSet(pattern, FC_LANG, langs);
    FcLangSetDestroy(langs);
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config_, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);

  // Families the request stands for: the name itself and the aliases the
  // configuration binds to it strongly. Generic fallbacks such as
  // "sans-serif" are added with weak binding and do not count.
  std::vector<std::string> wanted;
  if (require_family) {
    FcValue value;
    FcValueBinding binding;
    for (int id = 0;
         FcPatternGetWithBinding(pattern, FC_FAMILY, id, &value, &binding) == FcResultMatch;
         ++id) {
      if (value.type == FcTypeString && binding != FcValueBindingWeak) {
        wanted.emplace_back(reinterpret_cast<const char*>(value.u.s));
      }
    }
  }

  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config_, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return std::nullopt;

  std::optional<FaceFile> found;
  FcChar8* file = nullptr;
  FcBool scalable = FcFalse;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
      FcPatternGetBool(match, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable) {
    bool family_ok = !require_family;
    FcChar8* name = nullptr;
    // A font lists its family under several names (English and localised);
    // any of them may be the one asked for.
    for (int id = 0; !family_ok && FcPatternGetString(match, FC_FAMILY, id, &name) == FcResultMatch;
         ++id) {
      for (const std::string& w : wanted) {
        if (SameFamily(name, w)) {
          family_ok = true;
          break;
        }
      }
    }
    if (family_ok) {
      FaceFile face;
      face.path = reinterpret_cast<const char*>(file);
      int index = 0;
      if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) face.index = index;
      if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
        face.family = reinterpret_cast<const char*>(name);
      }
      found = std::move(face);
    }
  }
  FcPatternDestroy(match);
  return found;
}

const std::vector<FaceFile>& FaceFinder::Candidates(std::u16string_view face, bool bold,
                                                    bool italic) {
  auto key = std::make_tuple(std::u16string(face), bold, italic);
  if (const auto it = candidates_.find(key); it != candidates_.end()) return it->second;
  std::vector<FaceFile> out;
  auto add = [&out](std::optional<FaceFile> f) {
    if (!f) return;
    for (const FaceFile& have : out) {
      if (have.path == f->path && have.index == f->index) return;
    }
    out.push_back(std::move(*f));
  };
  std::string family = SubstituteFamily(face);
  if (family.empty()) family = Utf16ToUtf8(face);
  if (!family.empty()) add(Match(family, bold, italic, true));
  add(Match(kDefaultFamily, bold, italic, true));
  add(Match(std::string(), bold, italic, false));
  return candidates_.emplace(std::move(key), std::move(out)).first->second;
}

}  // namespace tsumugi::gdi::detail
