// The settings file beside the game and the shared settings start-up
// settles from it.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tsumugi {

// The "Style=" of the settings file.
enum class DisplayStyleKind {
  kMissing,  // no value
  kUnknown,  // a value that names no style
  kUser,     // the player is asked
  kFull,
  kWindow,
};

// The style a "Style=" value names, matched exactly as written.
DisplayStyleKind ParseDisplayStyle(std::u16string_view value);

struct Settings {
  // Both folders end in the host's separator.
  std::u16string ProgramFolder;
  std::u16string ScenarioFolder;
  std::u16string ScenarioExtension = u".txt";
  // User, Full or Window once start-up has checked it.
  DisplayStyleKind DisplayStyle = DisplayStyleKind::kMissing;
  std::u16string StyleQuestion = kDefaultStyleQuestion;
  // "Top" or "Normal".
  std::u16string WindowZOrder;
  std::array<std::u16string, 5> ColorModeMessages;
  bool DesktopIs640x480 = false;
  // Set by the configuration file; selects the colour depth and message.
  int ColorModeIndex = 0;

  static constexpr const char16_t* kDefaultStyleQuestion = u"フルスクリーン表示しますか？";
};

// Applies one line of the settings file. Keys are matched case-sensitively at
// the start of the line, in a fixed order; the value is the rest of the line,
// untouched. Lines that match no key are ignored; a later line overrides an
// earlier one. "Dir=" and "Path=" values are made into folders under
// `program_folder` or as given.
void ApplySettingsLine(const std::u16string& line, Settings& settings);

// Applies every line of a settings file.
void ApplySettingsLines(const std::vector<std::u16string>& lines, Settings& settings);

// Joins a folder value and the separator the way the settings keys do:
// backslashes become the host separator and one separator is appended, even
// after one that is already there.
std::u16string FolderFromSetting(const std::u16string& value);

}  // namespace tsumugi
