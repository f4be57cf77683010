// The player's layer's own words (notes, menus, questions): written here
// in Japanese, shown in the player's language where a translation of ours
// exists.
#pragma once

#include <string>
#include <string_view>

namespace tsumugi {

// `japanese` (UTF-8) in the player's language.
std::u16string Words(const char* japanese);
// The same with "{}" in it standing for `value`.
std::u16string Words(const char* japanese, std::u16string_view value);

}  // namespace tsumugi
