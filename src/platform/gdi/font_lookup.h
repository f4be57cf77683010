// Finding the font file for a Windows face name: the fixed substitutes for
// the Japanese Windows faces, then fontconfig. Internal to the font code.
#pragma once

#include <fontconfig/fontconfig.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tsumugi::gdi::detail {

// The family standing in for a Windows Japanese face ("IPAGothic" for
// "ＭＳ ゴシック"), or an empty string for any other name. Case, blanks and
// full-width forms of ASCII characters are ignored, so "ms gothic",
// "MSゴシック" and "ＭＳ ゴシック" are the same face.
std::string SubstituteFamily(std::u16string_view windows_face);

struct FaceFile {
  std::string path;
  int index = 0;  // face index inside a collection file
  std::string family;
};

// fontconfig queries on a configuration of its own, loaded at the first query
// (loading it takes tens of milliseconds).
class FaceFinder {
 public:
  FaceFinder() = default;
  ~FaceFinder();
  FaceFinder(const FaceFinder&) = delete;
  FaceFinder& operator=(const FaceFinder&) = delete;

  // Font files to try for the face name, best first: the face's substitute
  // or the face itself, then IPAGothic, then whatever fontconfig offers for
  // Japanese text. Names that match nothing simply give a shorter list, which
  // is empty only when there are no usable fonts at all. Lists are kept, as
  // each costs several fontconfig matches and a script may switch between a
  // few fonts often.
  const std::vector<FaceFile>& Candidates(std::u16string_view face, bool bold, bool italic);

  // A font that has the character `c`, for text no candidate can draw (a
  // translation's letters that no Japanese font has); none when no font of
  // the system has it. Answers are kept.
  const std::optional<FaceFile>& ForCharacter(char32_t c);

 private:
  // The best scalable font fontconfig has for `family` (any family when it is
  // empty) covering Japanese. With `require_family`, a font is only accepted
  // if its family is the requested one or one that the configuration binds
  // strongly to it (a metric-compatible alias), never a generic fallback.
  [[nodiscard]] std::optional<FaceFile> Match(const std::string& family, bool bold, bool italic,
                                              bool require_family);

  // Loads the configuration at the first query; false when there is none.
  bool Configured();

  std::map<std::tuple<std::u16string, bool, bool>, std::vector<FaceFile>> candidates_;
  std::map<char32_t, std::optional<FaceFile>> for_character_;
  FcConfig* config_ = nullptr;
  bool config_failed_ = false;
};

}  // namespace tsumugi::gdi::detail
