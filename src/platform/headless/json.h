// Just enough JSON for the runner's message lines.
#pragma once

#include <string>
#include <string_view>

namespace tsumugi::headless {

// A JSON string literal (quotes included) holding `text`, in UTF-8.
std::string JsonString(std::u16string_view text);

}  // namespace tsumugi::headless
