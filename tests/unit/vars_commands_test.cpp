// The value commands ".let", ".rnd" and ".now" on a real engine, and their
// reports with the header of the line that failed.
#include <gtest/gtest.h>

#include <ctime>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "common/text_codec.h"
#include "platform/clock/local_time.h"
#include "support/engine_fixture.h"

namespace tsumugi {
namespace {

using test::EngineFixture;

class VarsCommandsTest : public testing::Test {
 protected:
  void SetUp() override {
    f_.StartWithoutRunning();
    Variables& v = vars();
    v.ResetVariables();
    for (const char16_t* name : {u"n", u"i", u"a2", u"both"}) {
      v.DeclareVariable(VariableKind::kInteger, name);
    }
    for (const char16_t* name : {u"s", u"t", u"both"}) v.DeclareVariable(VariableKind::kText, name);
    v.FinishDeclarations();
    v.SeedRandom(20240601);
  }

  Variables& vars() { return f_.engine().vars; }
  int32_t Int(const char16_t* name) {
    return vars().Values().IntegerValues[vars().FindIntegerVariable(name)];
  }
  std::u16string Text(const char16_t* name) {
    return vars().Values().TextValues[vars().FindTextVariable(name)];
  }
  void Run(const std::string& line) { EXPECT_FALSE(f_.Execute(line)) << line; }

  EngineFixture f_{{{"data/start.txt", ".end\n"}}};
};

TEST_F(VarsCommandsTest, LetAssignsFlagsIntegersAndTexts) {
  Run(".let n = 1 + 2 * 3");
  EXPECT_EQ(Int(u"n"), 9);
  Run(".let flag005 = 2");
  EXPECT_TRUE(vars().Values().Flags[5]);
  EXPECT_EQ(vars().ArgToInteger(u"flag005"), 1);
  Run(".let flag005 = 1 - 1");
  EXPECT_FALSE(vars().Values().Flags[5]);
  Run(".let s = Hello [n]");
  EXPECT_EQ(Text(u"s"), u"Hello 9");
  // The text keeps every space, and arithmetic signs are only text.
  Run(".let s = a  b + 1 ");
  EXPECT_EQ(Text(u"s"), u"a  b + 1 ");
  Run(".let n");
  EXPECT_EQ(Int(u"n"), 0);
  // The target is computed: a[i] with i = 2 is a2.
  Run(".let i = 2");
  Run(".let a[i] = i * 21");
  EXPECT_EQ(Int(u"a2"), 42);
  // The two characters after the target are skipped unchecked.
  Run(".let n : 5 + 5");
  EXPECT_EQ(Int(u"n"), 10);
  // A name declared as both kinds is an integer.
  Run(".let both = 3");
  EXPECT_EQ(Int(u"both"), 3);
  EXPECT_EQ(Text(u"both"), u"");
  Run(".let t = [both]");
  EXPECT_EQ(Text(u"t"), u"3");
}

TEST_F(VarsCommandsTest, RndDrawsFromTheRangeByTheFormula) {
  // High below low keeps the formula: 6 down to 1 gives 2 to 5 (6 only for a
  // draw of exactly 0); a span of zero always gives the low bound.
  const struct {
    const char* line;
    std::set<int32_t> values;
  } cases[] = {{".rnd n = 1 to 6", {1, 2, 3, 4, 5, 6}},
               {".rnd n = -4 - -4", {-4}},
               {".rnd n = 6 to 1", {2, 3, 4, 5}},
               {".rnd n = 5 to 4", {5}}};
  for (const auto& c : cases) {
    std::set<int32_t> seen;
    for (int k = 0; k < 600; ++k) {
      Run(c.line);
      seen.insert(Int(u"n"));
    }
    EXPECT_EQ(seen, c.values) << c.line;
  }
  // The whole 32-bit range stays in range.
  for (int k = 0; k < 200; ++k) {
    Run(".rnd n = -2147483648 to 2147483647");
    Run(".rnd n = 2147483647 to -2147483648");
    EXPECT_GE(Int(u"n"), -2147483647);
  }
  int set = 0;
  for (int k = 0; k < 1000; ++k) {
    Run(".rnd flag007 = 0 to 1");
    set += vars().Values().Flags[7] ? 1 : 0;
  }
  EXPECT_GT(set, 400);
  EXPECT_LT(set, 600);
}

TEST_F(VarsCommandsTest, NowReadsTheClockAndTheDate) {
  f_.host().Sleep(1234);
  Run(".now n = millisecond");
  EXPECT_EQ(Int(u"n"), 1234);
  // The counter wraps into negative values like the system's.
  f_.host().Sleep(3000000000u);
  Run(".let t = millisecond");
  Run(".now n = [t]");
  EXPECT_EQ(Int(u"n"), static_cast<int32_t>(3000001234u));

  Run(".let n = 99");
  for (const char* item : {"Year", "", "year ", "weekday2"}) {
    Run(std::string(".now n = ") + item);
    EXPECT_EQ(Int(u"n"), 0) << item;
  }

  // On the headless host the date starts at 2000-01-01T00:00:00 and moves
  // with the virtual clock: 3,000,001,234 ms later it is Friday,
  // 2000-02-04, 17:20:01.
  const char* const items[] = {"year", "month", "day", "weekday", "hour", "minute", "second"};
  const int expected[] = {2000, 2, 4, 6, 17, 20, 1};
  for (size_t k = 0; k < std::size(items); ++k) {
    Run(std::string(".now n = ") + items[k]);
    EXPECT_EQ(Int(u"n"), expected[k]) << items[k];
  }

  // A window reads the machine's local time: each field matches the time
  // read just before or just after.
  auto local_fields = [] {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return std::vector<int>{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_wday + 1,
                            t.tm_hour,        t.tm_min,     t.tm_sec};
  };
  const std::vector<int> before = local_fields();
  const LocalDateTime system = SystemLocalTime();
  const std::vector<int> after = local_fields();
  const int values[] = {system.year, system.month,  system.day,   system.Weekday(),
                        system.hour, system.minute, system.second};
  for (size_t k = 0; k < std::size(values); ++k) {
    EXPECT_TRUE(values[k] == before[k] || values[k] == after[k]) << items[k] << " " << values[k];
  }

  Run(".now flag003 = weekday");
  EXPECT_TRUE(vars().Values().Flags[3]);
  Run(".now flag003 = none");
  EXPECT_FALSE(vars().Values().Flags[3]);
}

// A failing command leaves its target as it was.
TEST_F(VarsCommandsTest, FailedCommandsAssignNothing) {
  Run(".let n = 5");
  Run(".let flag001 = 1");
  for (const char* line : {".let n = 1 / 0", ".let n = x", ".rnd n = 1 to x",
                           ".let flag001 = 0 + y", ".let n = 2147483647 + 1"}) {
    EXPECT_THROW(f_.Execute(line), EngineEnded) << line;
    EXPECT_EQ(Int(u"n"), 5) << line;
    EXPECT_TRUE(vars().Values().Flags[1]) << line;
  }
}

TEST_F(VarsCommandsTest, TextsCannotGrowWithoutBound) {
  Run(".let s = x");
  try {
    for (int k = 0; k < 40; ++k) Run(".let s = [s][s]");
    ADD_FAILURE() << "the text kept growing";
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kError);
  }
  EXPECT_LE(Text(u"s").size(), Variables::kMaxExpandedLength);
  EXPECT_EQ(f_.OnlyMessage(),
            "File「start.txt」  Line「0」\r\n\r\n変数名 s\r\n\r\n"
            "置き換えた結果の文字列が長すぎます（1048576文字まで）\r\n実行を中止します");
}

// Reports through a whole run: the header names the file and the line.
TEST(VarsCommandsReportTest, EachReportWithItsHeader) {
  const std::string undeclared = "\r\n\r\n宣言されていない変数に代入しようとしました";
  const std::string integer = "\r\n\r\n宣言されていない整数型変数が使われました";
  const std::string flag = "\r\n\r\n000～255の番号で終わらないフラグ名が使われました";
  const std::pair<const char*, std::string> cases[] = {
      {".let x = 1", "変数名 x" + undeclared},
      {".let [off] = 1", "変数名 0" + undeclared},
      {".let", "変数名 " + undeclared},
      {".rnd x = 1 to 6", "変数名 x" + integer},
      {".now x = year", "変数名 x" + integer},
      {".rnd x = 1 to y", "変数名 y" + integer},
      {".now flagXYZ = year", "フラグ名 flagXYZ" + flag},
      {".rnd flag12 = 0 to 1", "フラグ名 flag12" + flag},
      {".let on = 2147483647 * 2",
       "計算 2147483647 * 2\r\n\r\n計算結果が扱える範囲（-2147483648～2147483647）を超えました"},
      {".let cy = cx / off", "計算 5 / 0\r\n\r\n0で割り算をしようとしました"},
  };
  for (const auto& [line, message] : cases) {
    EngineFixture f({{"data/start.txt", std::string(";first\n.let cx = 5\n.let flag001 = on\n") +
                                            line + "\n.end\n"}});
    EXPECT_EQ(f.Run(), ExitStatus::kError) << line;
    EXPECT_EQ(f.OnlyMessage(),
              "File「start.txt」  Line「4」\r\n\r\n" + message + "\r\n実行を中止します")
        << line;
  }
}

}  // namespace
}  // namespace tsumugi
