// Text encoding conversions between the engine's UTF-16 strings and the byte
// encodings found in game files (CP932, i.e. Windows Shift-JIS with the NEC
// and IBM extensions, and UTF-8).
//
// None of these functions throw on bad input: undecodable bytes and
// unencodable characters are replaced, and decoding always consumes the
// whole input.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tsumugi {

// Character substituted for CP932 bytes that do not form a defined character
// (the same "・" Japanese Windows shows for such bytes).
inline constexpr char16_t kCp932Replacement = u'\u30FB';
// Character substituted for ill-formed UTF-8 and unpaired surrogates.
inline constexpr char16_t kUnicodeReplacement = u'\uFFFD';

// Decodes CP932 bytes. Each invalid sequence (a lone lead byte at the end, a
// lead byte followed by a byte that cannot be a trail byte, a byte that is
// neither a character nor a lead byte, an undefined double-byte code) becomes
// one U+30FB. A lead byte followed by a non-trail byte yields U+30FB for the
// lead byte alone; the following byte is decoded on its own. NUL bytes
// decode to U+0000.
std::u16string Cp932ToUtf16(std::string_view bytes);

// Encodes to CP932. A character CP932 cannot represent (including one given
// as a surrogate pair) and an unpaired surrogate each become "?".
std::string Utf16ToCp932(std::u16string_view text);

// True when CP932 has a form for the character (NUL included); false for
// surrogates and every character it lacks.
[[nodiscard]] bool HasCp932Form(char16_t c);

// Decodes UTF-8. Each maximal ill-formed subsequence (overlong forms, encoded
// surrogates, values above U+10FFFF, truncated sequences, stray continuation
// bytes) becomes one U+FFFD. Characters outside the BMP become surrogate
// pairs.
std::u16string Utf8ToUtf16(std::string_view bytes);

// Encodes to UTF-8; an unpaired surrogate is written as U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no encoded
// surrogates, nothing above U+10FFFF). The empty string is valid.
[[nodiscard]] bool IsValidUtf8(std::string_view bytes);

// Decodes the contents of a game file (scenario, settings, save):
//  - starting with the UTF-8 byte-order mark: the mark is dropped and the
//    rest is decoded as UTF-8;
//  - otherwise well-formed UTF-8 that contains at least one byte >= 0x80:
//    UTF-8;
//  - otherwise CP932 (which also covers pure ASCII).
std::u16string DecodeGameText(std::string_view bytes);

// Splits text into lines. CR LF, LF and a lone CR each end a line and are not
// part of it. Trailing text without a terminator is a last line; a text that
// ends with a terminator has no empty line after it; an empty text has no
// lines.
std::vector<std::u16string> SplitLines(std::u16string_view text);

// Shorthand for string literals and other UTF-8 text: same as Utf8ToUtf16.
inline std::u16string ToU16(std::string_view ascii_or_utf8) {
  return Utf8ToUtf16(ascii_or_utf8);
}

}  // namespace tsumugi
