// The variable store on a real engine: declarations, lookup, flags, integer
// arguments, expressions, substitution and colour words, with their reports.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

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
  v.Values().TextValues[v.FindTextVariable(u"s")] = u"x]y";
  v.Values().TextValues[v.FindTextVariable(u"t")] = u"n";
  v.Values().TextValues[v.FindTextVariable(u"u")] = u"[n";
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
  int32_t Value(const char16_t* name) {
    return v().Values().IntegerValues[v().FindIntegerVariable(name)];
  }
  int32_t Evaluate(const std::u16string& line) { return v().EvaluateExpression(line); }

  EngineFixture f_{{{"data/start.txt", ".end\n"}}};
};

TEST_F(VarsStoreTest, TablesAreSortedByCodeAndCaseSensitive) {
  EXPECT_TRUE(std::is_sorted(v().Values().IntegerNames.begin(), v().Values().IntegerNames.end()));
  EXPECT_TRUE(std::is_sorted(v().Values().TextNames.begin(), v().Values().TextNames.end()));

  // b declared before a: a still comes first, the predefined names are there
  // without declarations, and values were not moved by the sort.
  v().ResetVariables();
  for (const char16_t* name : {u"b", u"a", u"B"}) v().DeclareVariable(VariableKind::kInteger, name);
  v().FinishDeclarations();
  EXPECT_EQ(v().Values().IntegerNames,
            (std::vector<std::u16string>{u"B", u"a", u"b", u"cx", u"cy", u"off", u"on"}));
  EXPECT_EQ(v().Values().IntegerValues, (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(v().LookUpIntegerVariable(u"A"), -1);
  EXPECT_EQ(v().FindTextVariable(u"cx"), -1);
  EXPECT_TRUE(v().Values().TextNames.empty());
  for (bool flag : v().Values().Flags) EXPECT_FALSE(flag);
}

TEST_F(VarsStoreTest, FlagWordsAndValues) {
  EXPECT_EQ(v().FlagNumber(u"flag255"), 255);
  EXPECT_EQ(v().FlagNumber(u"flagging123"), 123);
  EXPECT_TRUE(Variables::IsFlagWord(u"flag"));
  EXPECT_FALSE(Variables::IsFlagWord(u"xflag001"));
  EXPECT_FALSE(Variables::IsFlagWord(u"Flag001"));
  v().WriteFlag(255, -7);
  EXPECT_EQ(v().ReadFlag(255), 1);
  v().WriteFlag(255, 0);
  EXPECT_EQ(v().ReadFlag(255), 0);
  // Numbers outside the table touch nothing.
  const auto before = v().Values().Flags;
  for (int number : {-1, 256, 100000}) {
    v().WriteFlag(number, 1);
    EXPECT_EQ(v().ReadFlag(number), 0);
  }
  EXPECT_EQ(v().Values().Flags, before);
}

TEST_F(VarsStoreTest, ArgToIntegerReadsNumbersFlagsAndVariables) {
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u"", 0},         {u"3.5", 4},          {u"neg", -5},      {u"[n]", 7},
      {u"name[i]", 33}, {u"flag010", 1},      {u"flag011", 0},   {u"flagging123", 1},
      {u"xflag001", 5}, {u"[t]", 7},          {u"[e]", 0},       {u"[n]0", 70},
      {u"on", 1},       {u"[flag010^00]", 1}, {u"[name[i]]", 33}};
  for (const auto& [word, value] : cases)
    EXPECT_EQ(v().ArgToInteger(word), value) << Utf16ToUtf8(word);
  v().SetIntegerByName(u"i", 2);
  EXPECT_EQ(v().ArgToInteger(u"a[i]"), 42);
}

TEST_F(VarsStoreTest, IsIntegerArgumentTellsNumbersFromLabels) {
  for (const char16_t* word : {u"", u"&H10", u"-2.5", u"99999999999", u"n", u"xflag001", u"flag001",
                               u"flagX", u"[n]", u"[t]", u"name[i]", u"both"}) {
    EXPECT_TRUE(v().IsIntegerArgument(word)) << Utf16ToUtf8(word);
  }
  for (const char16_t* word : {u"[e]", u"scene1", u"s", u"N", u"a[n]"}) {
    EXPECT_FALSE(v().IsIntegerArgument(word)) << Utf16ToUtf8(word);
  }
}

TEST_F(VarsStoreTest, ExpressionsRunLeftToRightWithoutPrecedence) {
  const std::pair<const char16_t*, int32_t> cases[] = {{u"10 - 3 - 2", 5},
                                                       {u"1 ? 5 + 1", 2},
                                                       {u"2 + 3 * 4", 20},
                                                       {u"-7 / 2", -3},
                                                       {u"7 / -2", -3},
                                                       {u"-7 % 3", -1},
                                                       {u"7 % -3", 1},
                                                       {u"5 +", 5},
                                                       {u"5 *", 0},
                                                       {u"", 0},
                                                       {u"n = 3", 7},
                                                       {u"1 + [n] * flag010", 8},
                                                       {u"&HFFFFFFFF * -1", 1},
                                                       {u"-2147483647 - 1", INT32_MIN},
                                                       {u"-2147483648 % -1", 0},
                                                       {u"46340 * 46340", 2147395600}};
  for (const auto& [line, value] : cases) EXPECT_EQ(Evaluate(line), value) << Utf16ToUtf8(line);
}

TEST_F(VarsStoreTest, ExpandTextReplacesInnermostFirstAndNeverRescansInsertedText) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"]abc", u"]abc"},         {u"a[b", u"a[b"},         {u"値は[n]です", u"値は7です"},
      {u"[name[i]^000]", u"033"}, {u"[s]]", u"x]y]"},       {u"[u]]", u"7"},
      {u"[[t]]", u"7"},           {u"[e]]", u"]"},          {u"[[n]", u"[7"},
      {u"[n]]", u"7]"},           {u"[n^00]", u"07"},       {u"[big^00]", u"123"},
      {u"[neg^000]", u"-005"},    {u"[flag010]", u"1"},     {u"[flag011^00]", u"00"},
      {u"[&H10]", u"16"},         {u"x[n]y[i]z", u"x7y3z"}, {u"[both]", u"0"},
      {u"[t][s]", u"nx]y"}};
  for (const auto& [text, expanded] : cases) {
    EXPECT_EQ(v().ExpandText(text), expanded) << Utf16ToUtf8(text);
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
  std::u16string many, expected;
  for (int k = 0; k < kDepth; ++k) many += u"[n]]", expected += u"7]";
  EXPECT_TRUE(v().ExpandText(many) == expected);
}

TEST_F(VarsStoreTest, EveryColourNameAndHexadecimalColours) {
  const std::pair<const char16_t*, uint32_t> cases[] = {
      {u"black", 0x000000},       {u"red", 0x0000FF},        {u"green", 0x00FF00},
      {u"yellow", 0x00FFFF},      {u"blue", 0xFF0000},       {u"magenta", 0xFF00FF},
      {u"cyan", 0xFFFF00},        {u"white", 0xFFFFFF},      {u"darkred", 0x000080},
      {u"darkgreen", 0x008000},   {u"darkyellow", 0x008080}, {u"darkblue", 0x800000},
      {u"darkmagenta", 0x800080}, {u"darkcyan", 0x808000},   {u"gray", 0xC0C0C0},
      {u"darkgray", 0x808080},    {u"123456", 0x563412},     {u"aBcDeF", 0xEFCDAB}};
  for (const auto& [word, value] : cases)
    EXPECT_EQ(v().ColourValue(word), value) << Utf16ToUtf8(word);
}

TEST(VarsStoreErrorTest, UndeclaredNamesNumbersFlagsAndColoursAreReported) {
  const std::string integer = "\r\n\r\n宣言されていない整数型変数が使われました";
  const std::string any = "\r\n\r\n宣言されていない変数が使われました";
  const std::string range =
      "\r\n\r\n扱える範囲（-2147483648～2147483647）を超える数値が使われました";
  const std::string flag = "\r\n\r\n000～255の番号で終わらないフラグ名が使われました";
  const std::string colour = "ない色を指定しました";
  const std::string long_name(100000, 'x');
  auto arg = [](std::u16string w) { return [w](Variables& v) { v.ArgToInteger(w); }; };
  auto expand = [](std::u16string w) { return [w](Variables& v) { v.ExpandText(w); }; };
  auto colour_of = [](std::u16string w) { return [w](Variables& v) { v.ColourValue(w); }; };
  const struct {
    const char* what;
    std::function<void(Variables&)> action;
    std::string message;
  } cases[] = {
      {"lookup of A", [](Variables& v) { v.FindIntegerVariable(u"A"); }, "変数名 A" + integer},
      {"text variable", arg(u"s"), "変数名 s" + integer},
      {"a[n]", arg(u"a[n]"), "変数名 a7" + integer},
      {"[]", expand(u"[]"), "変数名 " + any},
      {"[s^00]", expand(u"[s^00]"), "変数名 s" + integer},
      {"operand", arg(u"[x]"), "変数名 x" + any},
      {"long name", expand(u"[" + std::u16string(100000, u'x') + u"]"),
       "変数名 " + long_name + any},
      {"big hexadecimal", arg(u"&H100000000"), "数値 &H100000000" + range},
      {"rounded up", arg(u"2147483647.5"), "数値 2147483647.5" + range},
      {"in a pictured reference", expand(u"a[-9999999999^00]"), "数値 -9999999999" + range},
      {"after substitution", arg(u"[n]000000000"), "数値 7000000000" + range},
      {"flag256", arg(u"flag256"), "フラグ名 flag256" + flag},
      {"flag alone", arg(u"flag"), "フラグ名 flag" + flag},
      {"flag 1x2", arg(u"flag1x2"), "フラグ名 flag1x2" + flag},
      {"[flag999]", expand(u"[flag999]"), "フラグ名 flag999" + flag},
      {"FlagNumber", [](Variables& v) { v.FlagNumber(u"flag-01"); }, "フラグ名 flag-01" + flag},
      {"five digits", colour_of(u"0FF00"), colour},
      {"capital name", colour_of(u"Red"), colour},
      {"not hexadecimal", colour_of(u"00GG00"), colour}};
  for (const auto& c : cases) EXPECT_EQ(ReportOf(c.action), Report(c.message)) << c.what;
}

TEST(VarsStoreErrorTest, ArithmeticOutsideTheRangeAndDivisionByZeroAreReported) {
  const std::string over = "\r\n\r\n計算結果が扱える範囲（-2147483648～2147483647）を超えました";
  const std::string zero = "\r\n\r\n0で割り算をしようとしました";
  struct Case {
    const char16_t* line;
    std::string message;
  };
  const Case cases[] = {
      {u"-2147483648 - 1", "計算 -2147483648 - 1" + over},
      {u"65536 * 65536", "計算 65536 * 65536" + over},
      {u"-2147483648 / -1", "計算 -2147483648 / -1" + over},
      {u"n * 1000000000", "計算 7 * 1000000000" + over},
      {u"5 % 0", "計算 5 % 0" + zero},
      {u"1 + 1 / off", "計算 2 / 0" + zero},
      {u"1  + 1", "変数名 +\r\n\r\n宣言されていない整数型変数が使われました"},
  };
  for (const Case& c : cases) {
    EngineFixture f({{"data/start.txt", ".end\n"}});
    f.StartWithoutRunning();
    DeclareTestVariables(f.engine().vars);
    EXPECT_THROW(f.engine().vars.EvaluateExpression(c.line), EngineEnded) << Utf16ToUtf8(c.line);
    EXPECT_EQ(f.OnlyMessage(), Report(c.message)) << Utf16ToUtf8(c.line);
  }
}

}  // namespace
}  // namespace tsumugi
