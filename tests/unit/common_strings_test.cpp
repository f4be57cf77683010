#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "common/strings.h"

namespace tsumugi {
namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

TEST(CommonStringsTest, ToDecimalCoversTheWholeRange) {
  EXPECT_EQ(ToDecimal(0), u"0");
  EXPECT_EQ(ToDecimal(-7), u"-7");
  EXPECT_EQ(ToDecimal(1234567890), u"1234567890");
  EXPECT_EQ(ToDecimal(kMax), u"9223372036854775807");
  EXPECT_EQ(ToDecimal(kMin), u"-9223372036854775808");
}

TEST(CommonStringsTest, ParseDecimalIntAcceptsSignedDigits) {
  EXPECT_EQ(ParseDecimalInt(u"0"), 0);
  EXPECT_EQ(ParseDecimalInt(u"-0"), 0);
  EXPECT_EQ(ParseDecimalInt(u"+42"), 42);
  EXPECT_EQ(ParseDecimalInt(u"-42"), -42);
  EXPECT_EQ(ParseDecimalInt(u"007"), 7);
  EXPECT_EQ(ParseDecimalInt(u"9223372036854775807"), kMax);
  EXPECT_EQ(ParseDecimalInt(u"-9223372036854775808"), kMin);
  for (const int64_t v : {kMin, kMin + 1, int64_t{-1000001}, int64_t{99}, kMax - 1, kMax}) {
    EXPECT_EQ(ParseDecimalInt(ToDecimal(v)), v);
  }
}

TEST(CommonStringsTest, ParseDecimalIntRejectsEverythingElse) {
  for (const char16_t* text : {u"", u"-", u"+", u"--1", u"+-1", u" 1", u"1 ", u"1a", u"0x10",
                               u"1.5", u"１２", u"9223372036854775808", u"-9223372036854775809",
                               u"18446744073709551616", u"99999999999999999999999"}) {
    EXPECT_EQ(ParseDecimalInt(text), std::nullopt) << U16ToAscii(text);
  }
}

TEST(CommonStringsTest, AsciiConversionsReplaceOtherCharacters) {
  EXPECT_EQ(AsciiToU16("a\x7F\x80\xFF"), u"a\x7F??");
  EXPECT_EQ(U16ToAscii(u"a\x7F\x80あ😀"), "a\x7F????");
}

}  // namespace
}  // namespace tsumugi
