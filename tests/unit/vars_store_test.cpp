// The variable store on a real engine: declarations, lookup, flags, integer
// arguments, expressions, substitution and colour words, with their reports.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/text_codec.h"
#include "support/engine_fixture.h"

namespace tsumugi {
namespace {

using test::EngineFixture;

// Integers n, i, a2, name3, xflag001, big, neg, p0, both; texts s, t, u, e,
// both. Declared out of order on purpose.
void DeclareTestVariables(Variables& v) {
  v.ResetVariables();
  for (const char16_t* name :
       {u"neg", u"n", u"i", u"name3", u"a2", u"xflag001", u"big", u"p0", u"both"}) {
    v.DeclareVariable(VariableKind::kInteger, name);
  }
  for (const char16_t* name : {u"t", u"s", u"u", u"e", u"both"}) {
    v.DeclareVariable(VariableKind::kText, name);
  }
  v.FinishDeclarations();
  v.SetIntegerByName(u"n", 7);
  v.SetIntegerByName(u"i", 3);
  v.SetIntegerByName(u"a2", 42);
  v.SetIntegerByName(u"name3", 33);
  v.SetIntegerByName(u"xflag001", 5);
  v.SetIntegerByName(u"big", 123);
  v.SetIntegerByName(u"neg", -5);
  v.TextValues[v.FindTextVariable(u"s")] = u"x]y";
  v.TextValues[v.FindTextVariable(u"t")] = u"n";
  v.TextValues[v.FindTextVariable(u"u")] = u"[n";
  v.WriteFlag(10, 1);
  v.WriteFlag(123, 1);
}

// The report a call ends the engine with, on a fresh engine. Without a
// script line running, the header names line 0 of "start".
std::string ReportOf(const std::function<void(Variables&)>& action) {
  EngineFixture f({{"data/start.txt", ".end\n"}});
  f.StartWithoutRunning();
  DeclareTestVariables(f.engine().vars);
  try {
    action(f.engine().vars);
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kError);
    return f.OnlyMessage();
  }
  ADD_FAILURE() << "the engine did not end";
  return "";
}

std::string Report(const std::string& message) {
  return "File「start.txt」  Line「0」\r\n\r\n" + message + "\r\n実行を中止します";
}

class VarsStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    f_.StartWithoutRunning();
    DeclareTestVariables(v());
  }
  Variables& v() { return f_.engine().vars; }
  int32_t Value(const char16_t* name) { return v().IntegerValues[v().FindIntegerVariable(name)]; }
  int32_t Evaluate(const std::u16string& line) {
    f_.engine().script.CurrentLine = line;
    int32_t result = v().EvaluateExpression();
    EXPECT_EQ(f_.engine().script.CurrentLine, u"") << Utf16ToUtf8(line);
    return result;
  }

  EngineFixture f_{{{"data/start.txt", ".end\n"}}};
};

TEST_F(VarsStoreTest, TablesAreSortedByCodeAndCaseSensitive) {
  EXPECT_TRUE(std::is_sorted(v().IntegerNames.begin(), v().IntegerNames.end()));
  EXPECT_TRUE(std::is_sorted(v().TextNames.begin(), v().TextNames.end()));
  EXPECT_EQ(v().IntegerNames.size(), v().IntegerValues.size());
  EXPECT_EQ(v().TextNames.size(), v().TextValues.size());

  // b declared before a: a still comes first, and values were not moved
  // by the sort (all still 0 except "on").
  v().ResetVariables();
  v().DeclareVariable(VariableKind::kInteger, u"b");
  v().DeclareVariable(VariableKind::kInteger, u"a");
  v().DeclareVariable(VariableKind::kInteger, u"B");
  v().FinishDeclarations();
  EXPECT_EQ(v().IntegerNames,
            (std::vector<std::u16string>{u"B", u"a", u"b", u"cx", u"cy", u"off", u"on"}));
  EXPECT_EQ(v().IntegerValues, (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 1}));
  EXPECT_LT(v().LookUpIntegerVariable(u"a"), v().LookUpIntegerVariable(u"b"));
  EXPECT_EQ(v().LookUpIntegerVariable(u"A"), -1);
  EXPECT_EQ(v().FindTextVariable(u"a"), -1);
  EXPECT_TRUE(v().TextNames.empty());
  EXPECT_EQ(Value(u"on"), 1);
  EXPECT_EQ(Value(u"off"), 0);
}

TEST_F(VarsStoreTest, PredefinedNamesExistWithoutDeclarations) {
  v().ResetVariables();
  v().FinishDeclarations();
  EXPECT_EQ(v().ArgToInteger(u"on"), 1);
  EXPECT_EQ(v().ArgToInteger(u"off"), 0);
  EXPECT_GE(v().LookUpIntegerVariable(u"cx"), 0);
  EXPECT_GE(v().LookUpIntegerVariable(u"cy"), 0);
  EXPECT_EQ(v().FindTextVariable(u"cx"), -1);
  for (bool flag : v().Flags) EXPECT_FALSE(flag);
}

TEST_F(VarsStoreTest, FlagWordsAndValues) {
  EXPECT_EQ(v().FlagNumber(u"flag000"), 0);
  EXPECT_EQ(v().FlagNumber(u"flag255"), 255);
  EXPECT_EQ(v().FlagNumber(u"flagging123"), 123);
  EXPECT_EQ(v().FlagNumber(u"flag1000"), 0);
  EXPECT_TRUE(Variables::IsFlagWord(u"flag"));
  EXPECT_FALSE(Variables::IsFlagWord(u"xflag001"));
  EXPECT_FALSE(Variables::IsFlagWord(u"Flag001"));
  v().WriteFlag(255, -7);
  EXPECT_EQ(v().ReadFlag(255), 1);
  v().WriteFlag(255, 0);
  EXPECT_EQ(v().ReadFlag(255), 0);
  EXPECT_EQ(v().ReadFlag(0), 0);
  // Numbers outside the table touch nothing.
  const auto before = v().Flags;
  for (int number : {-1, 256, 100000}) {
    v().WriteFlag(number, 1);
    EXPECT_EQ(v().ReadFlag(number), 0);
  }
  EXPECT_EQ(v().Flags, before);
}

TEST_F(VarsStoreTest, ArgToIntegerReadsNumbersFlagsAndVariables) {
  struct Case {
    const char16_t* word;
    int32_t value;
  };
  const Case cases[] = {
      {u"", 0},
      {u"-12", -12},
      {u"&H10", 16},
      {u"&HFFFFFFFF", -1},
      {u"2.5", 2},
      {u"3.5", 4},
      {u"n", 7},
      {u"neg", -5},
      {u"[n]", 7},
      {u"name[i]", 33},
      {u"flag010", 1},
      {u"flag011", 0},
      {u"flagging123", 1},
      {u"xflag001", 5},
      {u"[t]", 7},
      {u"[e]", 0},
      {u"[3^000]", 3},
      {u"[n]0", 70},
      {u"[neg]", -5},
      {u"on", 1},
      {u"[flag010^00]", 1},
      {u"[name[i]]", 33},
  };
  for (const Case& c : cases) EXPECT_EQ(v().ArgToInteger(c.word), c.value) << Utf16ToUtf8(c.word);

  // An array element chosen by another variable.
  v().SetIntegerByName(u"i", 2);
  EXPECT_EQ(v().ArgToInteger(u"a[i]"), 42);
}

TEST_F(VarsStoreTest, IsIntegerArgumentTellsNumbersFromLabels) {
  struct Case {
    const char16_t* word;
    bool integer;
  };
  const Case cases[] = {
      {u"", true},         {u"0", true},           {u"&H10", true},
      {u"-2.5", true},     {u"99999999999", true}, {u"n", true},
      {u"xflag001", true}, {u"flag001", true},     {u"flagX", true},
      {u"[n]", true},      {u"[t]", true},         {u"name[i]", true},
      {u"[e]", false},     {u"scene1", false},     {u"s", false},
      {u"both", true},     {u"N", false},          {u"a[n]", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(v().IsIntegerArgument(c.word), c.integer) << Utf16ToUtf8(c.word);
  }
}

TEST_F(VarsStoreTest, ExpressionsRunLeftToRightWithoutPrecedence) {
  struct Case {
    const char16_t* line;
    int32_t value;
  };
  const Case cases[] = {
      {u"10 - 3 - 2", 5},
      {u"1 ? 5 + 1", 2},
      {u"7 % 3 * 2", 2},
      {u"2 + 3 * 4", 20},
      {u"7 / 2", 3},
      {u"-7 / 2", -3},
      {u"7 / -2", -3},
      {u"-7 % 3", -1},
      {u"7 % -3", 1},
      {u"5 +", 5},
      {u"5 *", 0},
      {u"5 ?", 5},
      {u"", 0},
      {u"n + 1", 8},
      {u"n = 3", 7},
      {u"1 + [n] * flag010", 8},
      {u"&HFFFFFFFF * -1", 1},
      {u"2147483647 + 0", INT32_MAX},
      {u"-2147483647 - 1", INT32_MIN},
      {u"-2147483648 % -1", 0},
      {u"46340 * 46340", 2147395600},
      {u"2.5 + 3.5", 6},
  };
  for (const Case& c : cases) EXPECT_EQ(Evaluate(c.line), c.value) << Utf16ToUtf8(c.line);
}

TEST_F(VarsStoreTest, ExpandTextReplacesInnermostFirstAndNeverRescansInsertedText) {
  struct Case {
    const char16_t* text;
    const char16_t* expanded;
  };
  const Case cases[] = {
      {u"plain text", u"plain text"},
      {u"]abc", u"]abc"},
      {u"a[b", u"a[b"},
      {u"a]b", u"a]b"},
      {u"[n]", u"7"},
      {u"値は[n]です", u"値は7です"},
      {u"[name[i]]", u"33"},
      {u"[name[i]^000]", u"033"},
      {u"[s]]", u"x]y]"},
      {u"[u]]", u"7"},
      {u"[[t]]", u"7"},
      {u"[e]]", u"]"},
      {u"[[n]", u"[7"},
      {u"[n]]", u"7]"},
      {u"[3^000]", u"003"},
      {u"[n^00]", u"07"},
      {u"[big^00]", u"123"},
      {u"[neg]", u"-5"},
      {u"[neg^000]", u"-005"},
      {u"[flag010]", u"1"},
      {u"[flag011]", u"0"},
      {u"[flag010^00]", u"01"},
      {u"[flag011^00]", u"00"},
      {u"[&H10]", u"16"},
      {u"[007]", u"7"},
      {u"[2.5]", u"2"},
      {u"[n][i]", u"73"},
      {u"x[n]y[i]z", u"x7y3z"},
      {u"[both]", u"0"},
      {u"[t][s]", u"nx]y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(v().ExpandText(c.text), c.expanded) << Utf16ToUtf8(c.text);
  }
}

TEST_F(VarsStoreTest, ExpandTextCopesWithDeepAndLongInput) {
  // 100,000 nested references [p[p[...[p0]...]]]: each level reads p0 = 0.
  // The texts are large, so they are compared without printing them.
  constexpr int kDepth = 100000;
  std::u16string nested;
  for (int k = 0; k < kDepth; ++k) nested += u"[p";
  nested += u"0";
  nested.append(kDepth, u']');
  EXPECT_EQ(v().ExpandText(nested), u"0");

  // Every closer pairs with the opener before it: the value 7 is read
  // again as the number 7 at each level.
  const std::u16string closers(kDepth, u']');
  EXPECT_EQ(v().ExpandText(std::u16string(kDepth, u'[') + u"n" + closers), u"7");

  // Unpaired brackets stay as they are.
  EXPECT_TRUE(v().ExpandText(closers) == closers);
  const std::u16string openers(kDepth, u'[');
  EXPECT_TRUE(v().ExpandText(openers + u"[n]") == openers + u"7");
  std::u16string many;
  for (int k = 0; k < kDepth; ++k) many += u"[n]]";
  std::u16string expected;
  for (int k = 0; k < kDepth; ++k) expected += u"7]";
  EXPECT_TRUE(v().ExpandText(many) == expected);
}

TEST_F(VarsStoreTest, EveryColourNameAndHexadecimalColours) {
  struct Case {
    const char16_t* word;
    uint32_t value;
  };
  const Case cases[] = {
      {u"black", 0x000000},       {u"red", 0x0000FF},        {u"green", 0x00FF00},
      {u"yellow", 0x00FFFF},      {u"blue", 0xFF0000},       {u"magenta", 0xFF00FF},
      {u"cyan", 0xFFFF00},        {u"white", 0xFFFFFF},      {u"darkred", 0x000080},
      {u"darkgreen", 0x008000},   {u"darkyellow", 0x008080}, {u"darkblue", 0x800000},
      {u"darkmagenta", 0x800080}, {u"darkcyan", 0x808000},   {u"gray", 0xC0C0C0},
      {u"darkgray", 0x808080},    {u"00ff00", 65280},        {u"FF0000", 0x0000FF},
      {u"0000FF", 0xFF0000},      {u"123456", 0x563412},     {u"aBcDeF", 0xEFCDAB},
  };
  for (const Case& c : cases) EXPECT_EQ(v().ColourValue(c.word), c.value) << Utf16ToUtf8(c.word);
}

struct ErrorCase {
  const char* what;
  std::function<void(Variables&)> action;
  std::string message;
};

void ExpectReports(const std::vector<ErrorCase>& cases) {
  for (const ErrorCase& c : cases) EXPECT_EQ(ReportOf(c.action), Report(c.message)) << c.what;
}

TEST(VarsStoreErrorTest, UndeclaredNamesAreReported) {
  const std::string integer = "\r\n\r\n宣言されていない整数型変数が使われました";
  const std::string any = "\r\n\r\n宣言されていない変数が使われました";
  const std::string long_name(100000, 'x');
  ExpectReports({
      {"lookup of A", [](Variables& v) { v.FindIntegerVariable(u"A"); }, "変数名 A" + integer},
      {"word x", [](Variables& v) { v.ArgToInteger(u"x"); }, "変数名 x" + integer},
      {"text variable", [](Variables& v) { v.ArgToInteger(u"s"); }, "変数名 s" + integer},
      {"a+1", [](Variables& v) { v.ArgToInteger(u"a+1"); }, "変数名 a+1" + integer},
      {"a[n]", [](Variables& v) { v.ArgToInteger(u"a[n]"); }, "変数名 a7" + integer},
      {"[x]", [](Variables& v) { v.ExpandText(u"[x]"); }, "変数名 x" + any},
      {"[]", [](Variables& v) { v.ExpandText(u"[]"); }, "変数名 " + any},
      {"[x^00]", [](Variables& v) { v.ExpandText(u"[x^00]"); }, "変数名 x" + integer},
      {"[s^00]", [](Variables& v) { v.ExpandText(u"[s^00]"); }, "変数名 s" + integer},
      {"[^00]", [](Variables& v) { v.ExpandText(u"[^00]"); }, "変数名 " + integer},
      {"operand", [](Variables& v) { v.ArgToInteger(u"[x]"); }, "変数名 x" + any},
      {"long name", [&](Variables& v) { v.ExpandText(u"[" + std::u16string(100000, u'x') + u"]"); },
       "変数名 " + long_name + any},
  });
}

TEST(VarsStoreErrorTest, NumbersFlagsAndColoursOutOfRangeAreReported) {
  const std::string range =
      "\r\n\r\n扱える範囲（-2147483648～2147483647）を超える数値が使われました";
  const std::string flag = "\r\n\r\n000～255の番号で終わらないフラグ名が使われました";
  ExpectReports({
      {"big decimal", [](Variables& v) { v.ArgToInteger(u"2147483648"); },
       "数値 2147483648" + range},
      {"big hexadecimal", [](Variables& v) { v.ArgToInteger(u"&H100000000"); },
       "数値 &H100000000" + range},
      {"rounded up", [](Variables& v) { v.ArgToInteger(u"2147483647.5"); },
       "数値 2147483647.5" + range},
      {"in a reference", [](Variables& v) { v.ExpandText(u"[99999999999]"); },
       "数値 99999999999" + range},
      {"in a pictured reference", [](Variables& v) { v.ExpandText(u"a[-9999999999^00]"); },
       "数値 -9999999999" + range},
      {"after substitution", [](Variables& v) { v.ArgToInteger(u"[n]000000000"); },
       "数値 7000000000" + range},
      {"flag256", [](Variables& v) { v.ArgToInteger(u"flag256"); }, "フラグ名 flag256" + flag},
      {"flag alone", [](Variables& v) { v.ArgToInteger(u"flag"); }, "フラグ名 flag" + flag},
      {"flag12", [](Variables& v) { v.ArgToInteger(u"flag12"); }, "フラグ名 flag12" + flag},
      {"flag 1x2", [](Variables& v) { v.ArgToInteger(u"flag1x2"); }, "フラグ名 flag1x2" + flag},
      {"[flag999]", [](Variables& v) { v.ExpandText(u"[flag999]"); }, "フラグ名 flag999" + flag},
      {"FlagNumber", [](Variables& v) { v.FlagNumber(u"flag-01"); }, "フラグ名 flag-01" + flag},
      {"five digits", [](Variables& v) { v.ColourValue(u"0FF00"); }, "ない色を指定しました"},
      {"capital name", [](Variables& v) { v.ColourValue(u"Red"); }, "ない色を指定しました"},
      {"seven digits", [](Variables& v) { v.ColourValue(u"0FF0000"); }, "ない色を指定しました"},
      {"not hexadecimal", [](Variables& v) { v.ColourValue(u"00GG00"); }, "ない色を指定しました"},
      {"empty colour", [](Variables& v) { v.ColourValue(u""); }, "ない色を指定しました"},
  });
}

TEST(VarsStoreErrorTest, ArithmeticOutsideTheRangeAndDivisionByZeroAreReported) {
  const std::string over = "\r\n\r\n計算結果が扱える範囲（-2147483648～2147483647）を超えました";
  const std::string zero = "\r\n\r\n0で割り算をしようとしました";
  struct Case {
    const char16_t* line;
    std::string message;
  };
  const Case cases[] = {
      {u"2147483647 + 1", "計算 2147483647 + 1" + over},
      {u"-2147483648 - 1", "計算 -2147483648 - 1" + over},
      {u"65536 * 65536", "計算 65536 * 65536" + over},
      {u"-2147483648 / -1", "計算 -2147483648 / -1" + over},
      {u"n * 1000000000", "計算 7 * 1000000000" + over},
      {u"5 / 0", "計算 5 / 0" + zero},
      {u"5 % 0", "計算 5 % 0" + zero},
      {u"1 + 1 / off", "計算 2 / 0" + zero},
      {u"+ 1", "変数名 +\r\n\r\n宣言されていない整数型変数が使われました"},
      {u"1  + 1", "変数名 +\r\n\r\n宣言されていない整数型変数が使われました"},
  };
  for (const Case& c : cases) {
    EngineFixture f({{"data/start.txt", ".end\n"}});
    f.StartWithoutRunning();
    DeclareTestVariables(f.engine().vars);
    f.engine().script.CurrentLine = c.line;
    EXPECT_THROW(f.engine().vars.EvaluateExpression(), EngineEnded) << Utf16ToUtf8(c.line);
    EXPECT_EQ(f.OnlyMessage(), Report(c.message)) << Utf16ToUtf8(c.line);
  }
}

}  // namespace
}  // namespace tsumugi
