#include "engine/startup/settings.h"

#include "common/strings.h"

namespace tsumugi {

DisplayStyleKind ParseDisplayStyle(std::u16string_view value) {
  if (value.empty()) return DisplayStyleKind::kMissing;
  if (value == u"User") return DisplayStyleKind::kUser;
  if (value == u"Full") return DisplayStyleKind::kFull;
  if (value == u"Window") return DisplayStyleKind::kWindow;
  return DisplayStyleKind::kUnknown;
}

std::u16string FolderFromSetting(const std::u16string& value) {
  std::u16string folder = value;
  for (char16_t& c : folder) {
    if (c == u'\\') c = u'/';
  }
  folder += u'/';
  return folder;
}

void ApplySettingsLine(const std::u16string& line, Settings& settings) {
  auto value_after = [&](std::u16string_view key) { return line.substr(key.size()); };

  if (StartsWith(line, u"Dir=")) {
    std::u16string value = value_after(u"Dir=");
    if (!value.empty()) settings.ScenarioFolder = settings.ProgramFolder + FolderFromSetting(value);
  } else if (StartsWith(line, u"Path=")) {
    std::u16string value = value_after(u"Path=");
    if (!value.empty()) settings.ScenarioFolder = FolderFromSetting(value);
  } else if (StartsWith(line, u"Extension=")) {
    std::u16string value = value_after(u"Extension=");
    if (!value.empty()) settings.ScenarioExtension = value;
  } else if (StartsWith(line, u"Style=")) {
    settings.DisplayStyle = ParseDisplayStyle(value_after(u"Style="));
  } else if (StartsWith(line, u"StyleSelect=")) {
    std::u16string value = value_after(u"StyleSelect=");
    settings.StyleQuestion = value.empty() ? Settings::kDefaultStyleQuestion : value;
  } else if (StartsWith(line, u"ZOrder=")) {
    settings.WindowZOrder = value_after(u"ZOrder=");
  } else {
    for (int n = 0; n < 5; ++n) {
      std::u16string key = u"ColorMode";
      key += static_cast<char16_t>(u'0' + n);
      key += u'=';
      if (StartsWith(line, key)) {
        settings.ColorModeMessages[n] = value_after(key);
        break;
      }
    }
  }
}

void ApplySettingsLines(const std::vector<std::u16string>& lines, Settings& settings) {
  for (const std::u16string& line : lines) ApplySettingsLine(line, settings);
}

}  // namespace tsumugi
