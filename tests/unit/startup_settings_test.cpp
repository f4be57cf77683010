// The settings file: key matching, last occurrence, folders.
#include <gtest/gtest.h>

#include "common/text_codec.h"
#include "engine/startup/settings.h"

namespace tsumugi {
namespace {

Settings Apply(const std::vector<std::string>& lines) {
  Settings s;
  s.ProgramFolder = u"/games/x/";
  std::vector<std::u16string> u;
  for (const auto& l : lines) u.push_back(ToU16(l));
  ApplySettingsLines(u, s);
  return s;
}

TEST(StartupSettings, LastOccurrenceWinsAndValuesAreTakenUnchanged) {
  Settings s = Apply(
      {"Style=Full", "Style=Window ", "ZOrder=Top", "ZOrder=", "Extension=.scn", "Extension="});
  EXPECT_EQ(s.DisplayStyle, DisplayStyleKind::kUnknown);  // "Window ": no trimming
  EXPECT_EQ(s.WindowZOrder, u"");           // an empty value is taken too
  EXPECT_EQ(s.ScenarioExtension, u".scn");  // an empty extension is not
}

TEST(StartupSettings, KeysAreCaseSensitiveAndStartInTheFirstColumn) {
  Settings s = Apply({"style=Full", " Style=Full", "STYLE=Full", "zorder=Top", "dir=data"});
  EXPECT_EQ(s.DisplayStyle, DisplayStyleKind::kMissing);
  EXPECT_EQ(s.WindowZOrder, u"");
  EXPECT_EQ(s.ScenarioFolder, u"");
}

TEST(StartupSettings, FolderValuesTheLaterLineDecidesAndSeparators) {
  // An empty value changes nothing. Backslashes of old settings files become
  // the host separator; a value that ends in one gets a second, as it always
  // did.
  const std::pair<std::vector<std::string>, std::u16string> cases[] = {
      {{"Dir=scen", "Path=/abs/data"}, u"/abs/data/"},
      {{"Path=/abs/data", "Dir=scen"}, u"/games/x/scen/"},
      {{"Dir=scen", "Path="}, u"/games/x/scen/"},
      {{"Dir=", "Path="}, u""},
      {{"Dir=story\\data"}, u"/games/x/story/data/"},
      {{"Dir=data\\"}, u"/games/x/data//"}};
  for (const auto& [lines, folder] : cases) EXPECT_EQ(Apply(lines).ScenarioFolder, folder);
}

TEST(StartupSettings, StyleQuestionAndColourModes) {
  EXPECT_EQ(Apply({"StyleSelect=窓？", "StyleSelect="}).StyleQuestion,
            u"フルスクリーン表示しますか？");
  EXPECT_EQ(Apply({"StyleSelect=窓？"}).StyleQuestion, u"窓？");
  Settings s = Apply({"ColorMode0=a", "ColorMode4=e", "ColorMode5=x", "ColorMode2=c=d"});
  EXPECT_EQ(s.ColorModeMessages[2], u"c=d");
  EXPECT_EQ(s.ColorModeMessages[4], u"e");
  EXPECT_EQ(s.ColorModeMessages[1], u"");
}

}  // namespace
}  // namespace tsumugi
