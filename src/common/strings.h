// Small helpers for the engine's UTF-16 strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tsumugi {

inline bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.starts_with(prefix);
}

inline bool EndsWith(std::u16string_view text, std::u16string_view suffix) {
  return text.ends_with(suffix);
}

// Decimal digits with a leading "-" for negative values.
inline std::u16string ToDecimal(int64_t value) {
  // Work on the magnitude as unsigned so that INT64_MIN has no overflow.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char16_t buffer[21];
  char16_t* end = buffer + sizeof buffer / sizeof buffer[0];
  char16_t* p = end;
  do {
    *--p = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = u'-';
  return std::u16string(p, end);
}

// Widens ASCII text; bytes >= 0x80 become "?".
inline std::u16string AsciiToU16(std::string_view ascii) {
  std::u16string out;
  out.reserve(ascii.size());
  for (const char c : ascii) {
    const auto b = static_cast<unsigned char>(c);
    out.push_back(b < 0x80 ? static_cast<char16_t>(b) : u'?');
  }
  return out;
}

// Narrows to ASCII; anything outside ASCII becomes "?".
inline std::string U16ToAscii(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// Parses an optional "+" or "-" followed by one or more ASCII digits, and
// nothing else (no spaces). Returns nullopt for any other text and for values
// outside the int64_t range.
inline std::optional<int64_t> ParseDecimalInt(std::u16string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // The magnitude may reach 2^63 for INT64_MIN, so accumulate unsigned.
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < u'0' || c > u'9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - u'0');
    if (magnitude > (limit - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  if (negative) return static_cast<int64_t>(0 - magnitude);
  return static_cast<int64_t>(magnitude);
}

// Parses one to `max_digits` hexadecimal digits (either case), and nothing
// else. Returns nullopt for any other text.
inline std::optional<uint32_t> ParseHex(std::u16string_view text, size_t max_digits = 8) {
  if (text.empty() || text.size() > max_digits || max_digits > 8) return std::nullopt;
  uint32_t value = 0;
  for (char16_t c : text) {
    uint32_t digit;
    if (c >= u'0' && c <= u'9') {
      digit = c - u'0';
    } else if (c >= u'A' && c <= u'F') {
      digit = c - u'A' + 10;
    } else if (c >= u'a' && c <= u'f') {
      digit = c - u'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return value;
}

// Equal when upper- and lower-case ASCII letters are taken as the same.
inline bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace tsumugi
