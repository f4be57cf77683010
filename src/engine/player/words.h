// The player's layer's own words (notes, menus, questions): written here
// in Japanese, shown in the player's language where a translation of ours
// exists.
#pragma once

#include <string>
#include <string_view>

namespace tsumugi {

// The domain of our words: po/LANG.po, installed as LANG/LC_MESSAGES/tsumugi.mo.
inline constexpr char kWordsDomain[] = "tsumugi";

// `japanese` (UTF-8) in the player's language.
std::u16string Words(const char* japanese);
// Marks words that are translated where they are shown, later.
constexpr const char* WordsLater(const char* japanese) { return japanese; }
// The same with "{}" in it standing for `value`.
std::u16string Words(const char* japanese, std::u16string_view value);

}  // namespace tsumugi
