#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/text_codec.h"
#include "engine/vars/number_text.h"

namespace tsumugi {
namespace {

constexpr int32_t kMax = INT32_MAX;
constexpr int32_t kMin = INT32_MIN;

struct NumberCase {
  const char16_t* word;
  NumberKind kind;
  int32_t value;
};

TEST(VarsNumberTextTest, ParseNumberReadsDecimalHexadecimalAndFractions) {
  const NumberCase cases[] = {
      // Plain decimal with and without signs, at the edges of the range.
      {u"0", NumberKind::kValue, 0},
      {u"-12", NumberKind::kValue, -12},
      {u"+5", NumberKind::kValue, 5},
      {u"007", NumberKind::kValue, 7},
      {u"0000000000000000000000000001", NumberKind::kValue, 1},
      {u"2147483647", NumberKind::kValue, kMax},
      {u"-2147483648", NumberKind::kValue, kMin},
      {u"2147483648", NumberKind::kOutOfRange, 0},
      {u"-2147483649", NumberKind::kOutOfRange, 0},
      {u"99999999999999999999999999999", NumberKind::kOutOfRange, 0},
      // Fractions round to the nearest integer, an exact half to even.
      {u"2.5", NumberKind::kValue, 2},
      {u"3.5", NumberKind::kValue, 4},
      {u"1.5", NumberKind::kValue, 2},
      {u"0.5", NumberKind::kValue, 0},
      {u".5", NumberKind::kValue, 0},
      {u".6", NumberKind::kValue, 1},
      {u"-0.5", NumberKind::kValue, 0},
      {u"-.5", NumberKind::kValue, 0},
      {u"-1.5", NumberKind::kValue, -2},
      {u"-2.5", NumberKind::kValue, -2},
      {u"-3.5", NumberKind::kValue, -4},
      {u"2.500000", NumberKind::kValue, 2},
      {u"2.5000001", NumberKind::kValue, 3},
      {u"2.4999999", NumberKind::kValue, 2},
      {u"2.6", NumberKind::kValue, 3},
      {u"5.", NumberKind::kValue, 5},
      {u"2147483647.4", NumberKind::kValue, kMax},
      {u"2147483647.5", NumberKind::kOutOfRange, 0},
      {u"2147483646.5", NumberKind::kValue, 2147483646},
      {u"-2147483648.5", NumberKind::kValue, kMin},
      {u"-2147483648.51", NumberKind::kOutOfRange, 0},
      // Hexadecimal is a 32-bit pattern.
      {u"&H10", NumberKind::kValue, 16},
      {u"&HFFFFFFFF", NumberKind::kValue, -1},
      {u"&hff", NumberKind::kValue, 255},
      {u"&H7FFFFFFF", NumberKind::kValue, kMax},
      {u"&H80000000", NumberKind::kValue, kMin},
      {u"&H0000000000000010", NumberKind::kValue, 16},
      {u"&H0", NumberKind::kValue, 0},
      {u"&H100000000", NumberKind::kOutOfRange, 0},
      {u"&HFFFFFFFFF", NumberKind::kOutOfRange, 0},
      // Words that are not numbers at all.
      {u"", NumberKind::kNotNumeric, 0},
      {u"-", NumberKind::kNotNumeric, 0},
      {u"+", NumberKind::kNotNumeric, 0},
      {u".", NumberKind::kNotNumeric, 0},
      {u"-.", NumberKind::kNotNumeric, 0},
      {u"--1", NumberKind::kNotNumeric, 0},
      {u"1.2.3", NumberKind::kNotNumeric, 0},
      {u"1e3", NumberKind::kNotNumeric, 0},
      {u"1,000", NumberKind::kNotNumeric, 0},
      {u" 1", NumberKind::kNotNumeric, 0},
      {u"1 ", NumberKind::kNotNumeric, 0},
      {u"１２", NumberKind::kNotNumeric, 0},
      {u"0x10", NumberKind::kNotNumeric, 0},
      {u"n", NumberKind::kNotNumeric, 0},
      {u"&H", NumberKind::kNotNumeric, 0},
      {u"&HG", NumberKind::kNotNumeric, 0},
      {u"-&H1", NumberKind::kNotNumeric, 0},
      {u"&H1FFFFFFFFx", NumberKind::kNotNumeric, 0},
      {u"&O17", NumberKind::kNotNumeric, 0},
  };
  for (const NumberCase& c : cases) {
    const ParsedNumber parsed = ParseNumber(c.word);
    EXPECT_EQ(parsed.kind, c.kind) << Utf16ToUtf8(c.word);
    if (c.kind == NumberKind::kValue) {
      EXPECT_EQ(parsed.value, c.value) << Utf16ToUtf8(c.word);
    }
  }
}

TEST(VarsNumberTextTest, PicturesPadTrimAndOverflowDigitPlaces) {
  struct Case {
    int64_t value;
    const char16_t* picture;
    const char16_t* text;
  };
  const Case cases[] = {
      {7, u"000", u"007"},
      {3, u"000", u"003"},
      {7, u"00", u"07"},
      {123, u"00", u"123"},
      {5, u"#", u"5"},
      {0, u"#", u""},
      {0, u"0", u"0"},
      {0, u"#0", u"0"},
      {0, u"##", u""},
      {5, u"#0#", u"05"},
      {1234, u"00-00", u"12-34"},
      {5, u"00-00", u"00-05"},
      {12345, u"00-00", u"123-45"},
      {-7, u"000", u"-007"},
      {-5, u"x00", u"x-05"},
      {-123, u"#", u"-123"},
      {-5, u"###", u"-5"},
      {7, u"", u"7"},
      {-7, u"abc", u"abc-7"},
      {0, u"No.", u"No.0"},
      {42, u"(000)", u"(042)"},
      {INT32_MIN, u"0", u"-2147483648"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatWithPicture(c.value, c.picture), c.text)
        << c.value << " " << Utf16ToUtf8(c.picture);
  }
}

TEST(VarsNumberTextTest, DeclarationWordsExpandArrays) {
  struct Case {
    const char16_t* word;
    std::vector<std::u16string> names;
  };
  const Case cases[] = {
      {u"score", {u"score"}},
      {u"item[3]", {u"item0", u"item1", u"item2"}},
      {u"a[2]b", {u"a0b", u"a1b"}},
      {u"a[2]b[3]", {u"a0b[3]", u"a1b[3]"}},
      {u"x[0]", {}},
      {u"x[03]", {u"x0", u"x1", u"x2"}},
      {u"x[3^#]", {u"x", u"x1", u"x2"}},
      {u"x[2^]", {u"x0", u"x1"}},
      {u"[2]", {u"0", u"1"}},
      {u"a]b", {u"a]b"}},
  };
  for (const Case& c : cases) {
    std::vector<std::u16string> names = {u"before"};
    EXPECT_TRUE(ExpandDeclarationWord(c.word, names)) << Utf16ToUtf8(c.word);
    std::vector<std::u16string> expected = {u"before"};
    expected.insert(expected.end(), c.names.begin(), c.names.end());
    EXPECT_EQ(names, expected) << Utf16ToUtf8(c.word);
  }

  std::vector<std::u16string> names;
  ASSERT_TRUE(ExpandDeclarationWord(u"name[12^00]", names));
  ASSERT_EQ(names.size(), 12u);
  EXPECT_EQ(names.front(), u"name00");
  EXPECT_EQ(names[9], u"name09");
  EXPECT_EQ(names[10], u"name10");
  EXPECT_EQ(names.back(), u"name11");
}

TEST(VarsNumberTextTest, UnusableDeclarationWordsDeclareNothing) {
  for (const char16_t* word : {u"x[", u"x[3", u"x[a]", u"x[-1]", u"x[+1]", u"x[]", u"x[^00]",
                               u"x[1.5]", u"x[100001]", u"x[99999999999999999999]"}) {
    std::vector<std::u16string> names = {u"before"};
    EXPECT_FALSE(ExpandDeclarationWord(word, names)) << Utf16ToUtf8(word);
    EXPECT_EQ(names, std::vector<std::u16string>{u"before"}) << Utf16ToUtf8(word);
  }
  std::vector<std::u16string> names;
  EXPECT_TRUE(ExpandDeclarationWord(u"big[100000]", names));
  EXPECT_EQ(names.size(), static_cast<size_t>(kMaxArrayCount));
  EXPECT_EQ(names.back(), u"big99999");
}

}  // namespace
}  // namespace tsumugi
