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
  Settings s = Apply({"Style=Full", "Style=Window ", "ZOrder=Top", "ZOrder=", "Extension=.scn",
                      "Extension="});
  EXPECT_EQ(s.DisplayStyle, u"Window ");  // no trimming
  EXPECT_EQ(s.WindowZOrder, u"");         // an empty value is taken too
  EXPECT_EQ(s.ScenarioExtension, u".scn");  // an empty extension is not
}

TEST(StartupSettings, KeysAreCaseSensitiveAndStartInTheFirstColumn) {
  Settings s = Apply({"style=Full", " Style=Full", "STYLE=Full", "zorder=Top", "dir=data"});
  EXPECT_EQ(s.DisplayStyle, u"");
  EXPECT_EQ(s.WindowZOrder, u"");
  EXPECT_EQ(s.ScenarioFolder, u"");
}

TEST(StartupSettings, DirAndPathTheLaterLineDecides) {
  EXPECT_EQ(Apply({"Dir=scen", "Path=/abs/data"}).ScenarioFolder, u"/abs/data/");
  EXPECT_EQ(Apply({"Path=/abs/data", "Dir=scen"}).ScenarioFolder, u"/games/x/scen/");
  // An empty value changes nothing.
  EXPECT_EQ(Apply({"Dir=scen", "Path="}).ScenarioFolder, u"/games/x/scen/");
  EXPECT_EQ(Apply({"Dir=", "Path="}).ScenarioFolder, u"");
}

TEST(StartupSettings, FolderValuesGetOneSeparatorMore) {
  // Backslashes of old settings files become the host separator; a value
  // that ends in one gets a second, as it always did.
  EXPECT_EQ(Apply({"Dir=story\\data"}).ScenarioFolder, u"/games/x/story/data/");
  EXPECT_EQ(Apply({"Dir=data\\"}).ScenarioFolder, u"/games/x/data//");
}

TEST(StartupSettings, StyleQuestionAndColourModes) {
  EXPECT_EQ(Apply({}).StyleQuestion, u"フルスクリーン表示しますか？");
  EXPECT_EQ(Apply({"StyleSelect=窓？", "StyleSelect="}).StyleQuestion, u"フルスクリーン表示しますか？");
  EXPECT_EQ(Apply({"StyleSelect=窓？"}).StyleQuestion, u"窓？");
  Settings s = Apply({"ColorMode0=a", "ColorMode4=e", "ColorMode5=x", "ColorMode2=c=d"});
  EXPECT_EQ(s.ColorModeMessages[0], u"a");
  EXPECT_EQ(s.ColorModeMessages[2], u"c=d");
  EXPECT_EQ(s.ColorModeMessages[4], u"e");
  EXPECT_EQ(s.ColorModeMessages[1], u"");
}

}  // namespace
}  // namespace tsumugi
