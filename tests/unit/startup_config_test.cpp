// The configuration file: declarations, options, and its reports.
#include <gtest/gtest.h>

#include "common/text_codec.h"
#include "support/engine_fixture.h"

namespace tsumugi::test {
namespace {

std::vector<std::u16string> U16(std::initializer_list<const char*> words) {
  std::vector<std::u16string> out;
  for (const char* w : words) out.push_back(ToU16(w));
  return out;
}

TEST(StartupConfig, DeclaresExactlyTheNamesOfEachForm) {
  EngineFixture f({{"data/start.txt", "\n"},
                   {"data/config.txt",
                    "; variables\n.int score item[3]\n\t.str name[12^00]  later\n"
                    ".int b a\n.other x\n\n"}});
  f.StartWithoutRunning();
  Variables& v = f.engine().vars;
  EXPECT_EQ(f.engine().state.vars.IntegerNames,
            U16({"a", "b", "cx", "cy", "item0", "item1", "item2", "off", "on", "score"}));
  EXPECT_EQ(f.engine().state.vars.TextNames,
            U16({"name00", "name01", "name02", "name03", "name04", "name05", "name06", "name07",
                 "name08", "name09", "name10", "name11"}));
  // Two spaces end the list: "later" is not declared.
  EXPECT_EQ(v.FindTextVariable(u"later"), -1);
  EXPECT_EQ(v.ArgToInteger(u"on"), 1);
}

TEST(StartupConfig, CaptionColourModeAndPages) {
  EngineFixture f(
      {{"data/start.txt", "\n"}, {"data/CONFIG.TXT", ".cap 物語 [3^00]\n.cmd 2\n.scr 5\n"}});
  f.StartWithoutRunning();
  EXPECT_EQ(f.host().Caption(), u"物語 03");
  EXPECT_EQ(f.engine().settings.ColorModeIndex, 2);
  EXPECT_EQ(f.engine().pages.PageCount(), 5);
}

TEST(StartupConfig, ErrorsNameTheConfigurationFileAndLine) {
  const std::pair<std::string, std::string> cases[] = {
      {".int a\n.cap [nothing]\n",
       "Line「2」\r\n\r\n変数名 nothing\r\n\r\n宣言されていない変数が使われました"},
      {".int item[lots]\n", "Line「1」\r\n\r\n変数の宣言「item[lots]」が正しくありません"},
      {".int a[100000] b[100000] c[100000] d[100000] e[100000] f[100000] g[100000] h[100000] "
       "i[100000] j[100000] k[1]\n",
       "Line「1」\r\n\r\n宣言された変数が多すぎます"}};
  for (const auto& [config, message] : cases) {
    EngineFixture f({{"data/start.txt", "\n"}, {"data/config.txt", config}});
    EXPECT_THROW(f.StartWithoutRunning(), EngineEnded);
    EXPECT_EQ(f.OnlyMessage(), "File「config.txt」  " + message + "\r\n実行を中止します");
  }
}

}  // namespace
}  // namespace tsumugi::test
