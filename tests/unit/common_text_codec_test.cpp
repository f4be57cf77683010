#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/game_text.h"
#include "common/text_codec.h"

namespace tsumugi {
namespace {

using namespace std::string_literals;

// "ないコマンドを指定しました" as written by a Japanese Windows editor.
const std::string kSentenceCp932 =
    "\x82\xC8\x82\xA2\x83\x52\x83\x7D\x83\x93\x83\x68\x82\xF0\x8E\x77\x92\xE8\x82\xB5\x82\xDC\x82"
    "\xB5\x82\xBD";
const std::u16string kSentence = u"ないコマンドを指定しました";

// Hex dump for readable failure messages on byte strings.
std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (!out.empty()) out += ' ';
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// ---------------------------------------------------------------------------
// CP932

TEST(CommonCp932Test, JapaneseTextRoundTrips) {
  EXPECT_EQ(Cp932ToUtf16(kSentenceCp932), kSentence);
  EXPECT_EQ(Hex(Utf16ToCp932(kSentence)), Hex(kSentenceCp932));

  // Half-width katakana are single bytes 0xA1-0xDF.
  const std::string katakana = "\xB1\xB2\xB3\xDE\xA1\xDF";
  EXPECT_EQ(Cp932ToUtf16(katakana), u"ｱｲｳﾞ｡ﾟ");
  EXPECT_EQ(Hex(Utf16ToCp932(u"ｱｲｳﾞ｡ﾟ")), Hex(katakana));

  // Double-byte codes whose trail byte is an ASCII letter or backslash must
  // not be split.
  EXPECT_EQ(Cp932ToUtf16("\x83\x5C\x83\x74\x83\x67"), u"ソフト");

  // Scripts write paths with 0x5C; it must not turn into a yen sign.
  EXPECT_EQ(Cp932ToUtf16("a\\b~c"), u"a\\b~c");
  EXPECT_EQ(Utf16ToCp932(u"a\\b~c"), "a\\b~c");
}

TEST(CommonCp932Test, VendorExtensionsAndWindowsMappings) {
  // NEC special characters (row 13).
  EXPECT_EQ(Cp932ToUtf16("\x87\x40"), u"①");
  EXPECT_EQ(Hex(Utf16ToCp932(u"①")), "87 40");
  // IBM extension; the NEC-selected copy of the same character decodes alike,
  // and writing uses the IBM code as Windows does.
  EXPECT_EQ(Cp932ToUtf16("\xFA\x40"), u"ⅰ");
  EXPECT_EQ(Cp932ToUtf16("\xEE\xEF"), u"ⅰ");
  EXPECT_EQ(Hex(Utf16ToCp932(u"ⅰ")), "FA 40");
  // Windows decodes 0x8160 to the full-width tilde, not the wave dash.
  EXPECT_EQ(Cp932ToUtf16("\x81\x60"), u"～");
  EXPECT_EQ(Hex(Utf16ToCp932(u"～")), "81 60");
  // "・" is itself a real character and must round-trip like any other.
  EXPECT_EQ(Cp932ToUtf16("\x81\x45"), u"・");
  EXPECT_EQ(Hex(Utf16ToCp932(u"・")), "81 45");
}

TEST(CommonCp932Test, EveryDefinedCodeSurvivesReencoding) {
  // Several codes share a character (NEC and IBM copies), so bytes need not
  // round-trip, but the character read back must always be the same.
  int defined = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead <= 0xDF) continue;  // single-byte range
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (trail == 0x7F) continue;
      const std::string code = {static_cast<char>(lead), static_cast<char>(trail)};
      const std::u16string decoded = Cp932ToUtf16(code);
      ASSERT_EQ(decoded.size(), 1u) << Hex(code);
      if (decoded[0] == kCp932Replacement && code != "\x81\x45") continue;
      ++defined;
      const std::string reencoded = Utf16ToCp932(decoded);
      ASSERT_EQ(reencoded.size(), 2u) << Hex(code) << " -> " << Hex(reencoded);
      ASSERT_EQ(Cp932ToUtf16(reencoded), decoded) << Hex(code) << " -> " << Hex(reencoded);
    }
  }
  // JIS X 0208 alone has 6879 characters; the vendor extensions add more.
  EXPECT_GT(defined, 7000);
  for (int b = 0; b < 0x100; ++b) {
    if (b >= 0x80 && (b < 0xA1 || b > 0xDF)) continue;
    const std::string byte(1, static_cast<char>(b));
    EXPECT_EQ(Utf16ToCp932(Cp932ToUtf16(byte)), byte) << Hex(byte);
  }
}

TEST(CommonCp932Test, InvalidBytesBecomeMiddleDotWithoutSwallowingText) {
  struct Case {
    std::string bytes;
    std::u16string expected;
  };
  const std::vector<Case> cases = {
      // Lead byte at the end, or before a byte that cannot be a trail byte.
      {"z\x82", u"z・"},
      {"\x82\x0Az", u"・\nz"},
      {"\x82\x7Fz", u"・\x7Fz"},
      {"\x82\xFD\x82\xA0", u"・・あ"},
      {"\x82\0z"s, u"・\0z"s},
      // Bytes that are neither characters nor lead bytes.
      {"\x80z", u"・z"},
      {"\xA0z", u"・z"},
      {"\xFD\xFE\xFF\x82\xA0", u"・・・あ"},
      // A well-formed but undefined pair is one character.
      {"\x85\x40z", u"・z"},
      // A real "・" (0x8145), then a bad byte.
      {"\x81\x45\x82", u"・・"},
      {"\x82\xA0\x82", u"あ・"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cp932ToUtf16(c.bytes), c.expected) << Hex(c.bytes);
  }
  // NUL bytes are characters like any other.
  EXPECT_EQ(Cp932ToUtf16("A\0\x82\xA0\0"s), u"A\0あ\0"s);
  EXPECT_EQ(Utf16ToCp932(u"A\0あ"s), "A\0\x82\xA0"s);
}

TEST(CommonCp932Test, CharactersCp932LacksBecomeQuestionMarks) {
  // An emoji is one "?" even though it takes two UTF-16 units.
  EXPECT_EQ(Utf16ToCp932(u"A😀B한C"), "A?B?C");
  // Unpaired surrogates: high at the end, low alone, high before a letter.
  EXPECT_EQ(Utf16ToCp932(u"x\xDC00y\xD800z\xD800"), "x?y?z?");
  EXPECT_EQ(Utf16ToCp932(u"\xFFFD\xFFFF"), "??");
}

// ---------------------------------------------------------------------------
// UTF-8

TEST(CommonUtf8Test, RoundTripsAllPlanes) {
  const std::string utf8 = "A\xC3\xA9\xE3\x81\x82\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  const std::u16string utf16 = u"A\u00E9\u3042\U0001F600\U0010FFFF";
  EXPECT_EQ(Utf8ToUtf16(utf8), utf16);
  EXPECT_EQ(Hex(Utf16ToUtf8(utf16)), Hex(utf8));
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(ToU16("ないコマンド"), u"ないコマンド");
  EXPECT_EQ(Utf8ToUtf16("a\0b"s), u"a\0b"s);
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("\xEF\xBF\xBF"));  // U+FFFF
  EXPECT_TRUE(IsValidUtf8("\xED\x9F\xBF"));  // U+D7FF, just below surrogates
  EXPECT_FALSE(IsValidUtf8(kSentenceCp932));
}

TEST(CommonUtf8Test, IllFormedSequencesBecomeReplacementCharacters) {
  struct Case {
    std::string bytes;
    std::u16string expected;
  };
  // One U+FFFD per maximal ill-formed subsequence, and the following valid
  // characters are kept.
  const std::vector<Case> cases = {
      {"\x80z", u"\uFFFDz"},                              // stray continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong "/"
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},            // overlong, 3 bytes
      {"\xED\xA0\x80z", u"\uFFFD\uFFFD\uFFFDz"},          // encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"\xE3\x81z", u"\uFFFDz"},                          // truncated, then ASCII
      {"\xE3\x81\xE3\x81\x82", u"\uFFFD\u3042"},          // truncated, then valid
      {"z\xF0\x9F\x98", u"z\uFFFD"},                      // truncated at the end
      {"\xFE\xFF", u"\uFFFD\uFFFD"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.bytes), c.expected) << Hex(c.bytes);
    EXPECT_FALSE(IsValidUtf8(c.bytes)) << Hex(c.bytes);
  }
}

TEST(CommonUtf8Test, UnpairedSurrogatesEncodeAsReplacement) {
  EXPECT_EQ(Hex(Utf16ToUtf8(u"a\xD800")), "61 EF BF BD");
  // A low surrogate before a high one is not a pair.
  EXPECT_EQ(Hex(Utf16ToUtf8(u"\xDC00\xD800z")), "EF BF BD EF BF BD 7A");
}

// ---------------------------------------------------------------------------
// Game files

TEST(CommonDecodeGameTextTest, ChoosesEncoding) {
  const std::string kBom = "\xEF\xBB\xBF";
  const std::string sentence_utf8 = Utf16ToUtf8(kSentence);
  // CP932 files are the norm.
  EXPECT_EQ(DecodeGameText(kSentenceCp932), kSentence);
  EXPECT_EQ(DecodeGameText("title=abc\r\n"), u"title=abc\r\n");
  // A byte-order mark is dropped.
  EXPECT_EQ(DecodeGameText(kBom + sentence_utf8), kSentence);
  EXPECT_EQ(DecodeGameText(kBom + "abc"), u"abc");
  EXPECT_EQ(DecodeGameText(kBom), u"");
  // UTF-8 without a mark is recognised by its non-ASCII content.
  EXPECT_EQ(DecodeGameText(sentence_utf8), kSentence);
  // After a mark the file is UTF-8 even where it is broken.
  EXPECT_EQ(DecodeGameText(kBom + "\x82\xA0"), u"\uFFFD\uFFFD");
  // Invalid UTF-8 that is also broken CP932 still decodes as CP932.
  EXPECT_EQ(DecodeGameText("\x82\xA0\xFF"), u"あ・");
}

TEST(CommonDecodeGameTextTest, Cp932ThatIsAlsoValidUtf8IsReadAsUtf8) {
  // Half-width "ﾃｽ" is 0xC3 0xBD, which is also UTF-8 for "ý". Such short
  // katakana-only files are ambiguous; the bytes are taken as UTF-8.
  ASSERT_TRUE(IsValidUtf8("\xC3\xBD"));
  EXPECT_EQ(DecodeGameText("\xC3\xBD"), u"ý");
  // Ordinary Japanese text is not valid UTF-8 and so is never misread.
  EXPECT_EQ(DecodeGameText(std::string("\xC3\xBD") + kSentenceCp932), u"ﾃｽ" + kSentence);
}

// ---------------------------------------------------------------------------
// Lines

TEST(CommonSplitLinesTest, AllTerminatorsEndLines) {
  struct Case {
    std::u16string text;
    std::vector<std::u16string> lines;
  };
  const std::vector<Case> cases = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\n", {u"a"}},
      {u"a\r\n", {u"a"}},
      {u"a\r", {u"a"}},
      {u"a\nb", {u"a", u"b"}},
      {u"a\r\nb\nc\rd", {u"a", u"b", u"c", u"d"}},
      {u"a\r\n\r\nb\r\n", {u"a", u"", u"b"}},
      {u"\n", {u""}},
      {u"\n\n", {u"", u""}},
      {u"\r\r\n", {u"", u""}},  // lone CR, then CR LF
      {u"\n\r", {u"", u""}},    // LF CR is two terminators
      {u"a\r\rb", {u"a", u"", u"b"}},
      {u"\0\n\0"s, {u"\0"s, u"\0"s}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << Utf16ToUtf8(c.text);
  }
}

// A file read line by line from its bytes gives exactly the lines of the
// whole file decoded and split: every kind of line end (also where SWAR
// words of eight bytes begin and end), a byte-order mark, CP932 lead bytes
// cut off by a line end, ill-formed UTF-8, NUL bytes.
TEST(CommonGameTextTest, LinesAreThoseOfTheWholeFileDecodedAndSplit) {
  const std::string long_line(21, 'x');
  const std::vector<std::string> files = {
      "",
      "\xEF\xBB\xBF",
      "a",
      "a\r\nb\nc\rd",
      "\n\r\r\n\n",
      long_line + "\r" + long_line + "\n\r\n" + long_line,
      "1234567\r\n12345678\n123456789\r",
      kSentenceCp932 + "\r\n" + kSentenceCp932 + "\x82\r\x82\n\x82",
      "\xEF\xBB\xBF" + Utf16ToUtf8(kSentence) + "\r\n\xE3\x81\r\xC3\xA9\n",
      Utf16ToUtf8(kSentence) + "\n\xC3\xA9\r\n",
      "\0a\r\n\0"s,
  };
  for (const std::string& bytes : files) {
    const GameText text(bytes);
    std::vector<std::u16string> lines;
    text.ForEachLine([&](std::string_view line) { lines.push_back(text.Decode(line)); });
    EXPECT_EQ(lines, SplitLines(DecodeGameText(bytes))) << Hex(bytes);
    EXPECT_EQ(text.binary(), bytes.find('\0') != std::string::npos) << Hex(bytes);
  }
}

}  // namespace
}  // namespace tsumugi
