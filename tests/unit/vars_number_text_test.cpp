#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/text_codec.h"
#include "engine/vars/number_text.h"

namespace tsumugi {
namespace {

TEST(VarsNumberTextTest, ParseNumberReadsDecimalHexadecimalAndFractions) {
  // Fractions round to the nearest integer, an exact half to even; hexadecimal
  // is a 32-bit pattern.
  const std::pair<const char16_t*, int32_t> values[] = {{u"-12", -12},
                                                        {u"+5", 5},
                                                        {u"0000000000000000000000000001", 1},
                                                        {u"2147483647", INT32_MAX},
                                                        {u"-2147483648", INT32_MIN},
                                                        {u"2.5", 2},
                                                        {u"3.5", 4},
                                                        {u".5", 0},
                                                        {u".6", 1},
                                                        {u"-.5", 0},
                                                        {u"-2.5", -2},
                                                        {u"-3.5", -4},
                                                        {u"2.500000", 2},
                                                        {u"2.5000001", 3},
                                                        {u"2.4999999", 2},
                                                        {u"5.", 5},
                                                        {u"2147483647.4", INT32_MAX},
                                                        {u"-2147483648.5", INT32_MIN},
                                                        {u"&H10", 16},
                                                        {u"&HFFFFFFFF", -1},
                                                        {u"&hff", 255},
                                                        {u"&H80000000", INT32_MIN},
                                                        {u"&H0000000000000010", 16}};
  for (const auto& [word, value] : values) {
    const ParsedNumber parsed = ParseNumber(word);
    EXPECT_EQ(parsed.kind, NumberKind::kValue) << Utf16ToUtf8(word);
    EXPECT_EQ(parsed.value, value) << Utf16ToUtf8(word);
  }
  for (const char16_t* word :
       {u"2147483648", u"-2147483649", u"2147483647.5", u"-2147483648.51", u"&H100000000"}) {
    EXPECT_EQ(ParseNumber(word).kind, NumberKind::kOutOfRange) << Utf16ToUtf8(word);
  }
  for (const char16_t* word : {u"", u"-", u".", u"-.", u"--1", u"1.2.3", u"1e3", u" 1", u"1 ",
                               u"１２", u"0x10", u"&H", u"&HG", u"-&H1", u"&H1FFFFFFFFx"}) {
    EXPECT_EQ(ParseNumber(word).kind, NumberKind::kNotNumeric) << Utf16ToUtf8(word);
  }
}

TEST(VarsNumberTextTest, PicturesPadTrimAndOverflowDigitPlaces) {
  const struct {
    int64_t value;
    const char16_t* picture;
    const char16_t* text;
  } cases[] = {{7, u"000", u"007"},
               {123, u"00", u"123"},
               {0, u"#", u""},
               {0, u"0", u"0"},
               {0, u"#0", u"0"},
               {5, u"#0#", u"05"},
               {1234, u"00-00", u"12-34"},
               {5, u"00-00", u"00-05"},
               {12345, u"00-00", u"123-45"},
               {-7, u"000", u"-007"},
               {-5, u"x00", u"x-05"},
               {-5, u"###", u"-5"},
               {7, u"", u"7"},
               {-7, u"abc", u"abc-7"},
               {42, u"(000)", u"(042)"},
               {INT32_MIN, u"0", u"-2147483648"}};
  for (const auto& c : cases) {
    EXPECT_EQ(FormatWithPicture(c.value, c.picture), c.text)
        << c.value << " " << Utf16ToUtf8(c.picture);
  }
}

TEST(VarsNumberTextTest, DeclarationWordsExpandArraysOrDeclareNothing) {
  const struct {
    const char16_t* word;
    std::vector<std::u16string> names;
  } cases[] = {
      {u"score", {u"score"}},
      {u"item[3]", {u"item0", u"item1", u"item2"}},
      {u"a[2]b[3]", {u"a0b[3]", u"a1b[3]"}},
      {u"x[0]", {}},
      {u"x[03]", {u"x0", u"x1", u"x2"}},
      {u"x[3^#]", {u"x", u"x1", u"x2"}},
      {u"x[2^]", {u"x0", u"x1"}},
      {u"[2]", {u"0", u"1"}},
      {u"a]b", {u"a]b"}},
  };
  for (const auto& c : cases) {
    std::vector<std::u16string> names = {u"before"};
    EXPECT_TRUE(ExpandDeclarationWord(c.word, names)) << Utf16ToUtf8(c.word);
    ASSERT_EQ(names.front(), u"before") << Utf16ToUtf8(c.word);
    EXPECT_EQ(std::vector(names.begin() + 1, names.end()), c.names) << Utf16ToUtf8(c.word);
  }
  std::vector<std::u16string> names;
  ASSERT_TRUE(ExpandDeclarationWord(u"name[12^00]", names));
  EXPECT_EQ(names[9], u"name09");
  EXPECT_EQ(names.back(), u"name11");
  names.clear();
  EXPECT_TRUE(ExpandDeclarationWord(u"big[100000]", names));
  EXPECT_EQ(names.size(), static_cast<size_t>(kMaxArrayCount));

  for (const char16_t* word : {u"x[", u"x[3", u"x[a]", u"x[-1]", u"x[+1]", u"x[]", u"x[^00]",
                               u"x[1.5]", u"x[100001]", u"x[99999999999999999999]"}) {
    names = {u"before"};
    EXPECT_FALSE(ExpandDeclarationWord(word, names)) << Utf16ToUtf8(word);
    EXPECT_EQ(names.size(), 1u) << Utf16ToUtf8(word);
  }
}

}  // namespace
}  // namespace tsumugi
