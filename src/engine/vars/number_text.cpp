#include "engine/vars/number_text.h"

#include "common/strings.h"

namespace tsumugi {

namespace {

bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

int HexDigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

ParsedNumber ParseHexadecimal(std::u16string_view digits) {
  if (digits.empty()) return {};
  uint32_t pattern = 0;
  int significant = 0;
  for (char16_t c : digits) {
    int d = HexDigitValue(c);
    if (d < 0) return {};
    if (significant == 0 && d == 0) continue;
    // Keep checking the remaining characters: "&H1FFFFFFFFx" is a name, not
    // a number out of range.
    if (++significant <= 8) pattern = (pattern << 4) | static_cast<uint32_t>(d);
  }
  if (significant > 8) return {NumberKind::kOutOfRange, 0};
  return {NumberKind::kValue, static_cast<int32_t>(pattern)};
}

ParsedNumber ParseDecimal(std::u16string_view word) {
  size_t i = 0;
  const size_t n = word.size();
  bool negative = false;
  if (i < n && (word[i] == u'+' || word[i] == u'-')) {
    negative = word[i] == u'-';
    ++i;
  }
  // The magnitude stops growing once it is far beyond any 32-bit value, so
  // a word of any length is read without overflow.
  constexpr uint64_t kFarOutOfRange = uint64_t{1} << 40;
  uint64_t magnitude = 0;
  size_t digit_count = 0;
  for (; i < n && IsDigit(word[i]); ++i, ++digit_count) {
    if (magnitude < kFarOutOfRange) magnitude = magnitude * 10 + (word[i] - u'0');
  }
  int first_fraction_digit = -1;
  bool nonzero_after_first = false;
  if (i < n && word[i] == u'.') {
    for (++i; i < n && IsDigit(word[i]); ++i, ++digit_count) {
      if (first_fraction_digit < 0) {
        first_fraction_digit = word[i] - u'0';
      } else if (word[i] != u'0') {
        nonzero_after_first = true;
      }
    }
  }
  if (i != n || digit_count == 0) return {};

  // Round to the nearest integer; an exact half goes to the even neighbour.
  if (first_fraction_digit > 5 || (first_fraction_digit == 5 && nonzero_after_first) ||
      (first_fraction_digit == 5 && magnitude % 2 == 1)) {
    ++magnitude;
  }
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (magnitude > limit) return {NumberKind::kOutOfRange, 0};
  const int64_t value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  return {NumberKind::kValue, static_cast<int32_t>(value)};
}

}  // namespace

ParsedNumber ParseNumber(std::u16string_view word) {
  if (word.size() >= 2 && word[0] == u'&' && (word[1] == u'H' || word[1] == u'h')) {
    return ParseHexadecimal(word.substr(2));
  }
  return ParseDecimal(word);
}

void AppendWithPicture(std::u16string& out, int64_t value, std::u16string_view picture) {
  // Zero has no significant digits: a "#" place shows nothing for it.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char16_t buffer[20];
  size_t digit_count = 0;
  for (uint64_t m = magnitude; m != 0; m /= 10) {
    buffer[sizeof buffer / sizeof buffer[0] - 1 - digit_count++] =
        static_cast<char16_t>(u'0' + m % 10);
  }
  const std::u16string_view digits(buffer + sizeof buffer / sizeof buffer[0] - digit_count,
                                   digit_count);

  size_t places = 0;
  for (char16_t c : picture) places += (c == u'0' || c == u'#') ? 1 : 0;
  if (places == 0) {
    out.append(picture);
    out.append(ToDecimal(value));
    return;
  }

  // Digits fill the places from the right; the leftmost places may be left
  // without a digit (padding) or the digits may outnumber the places.
  const size_t extra = digit_count > places ? digit_count - places : 0;
  const size_t empty_places = places > digit_count ? places - digit_count : 0;
  bool sign_pending = value < 0;
  auto write_digits = [&](std::u16string_view text) {
    if (text.empty()) return;
    if (sign_pending) {
      out.push_back(u'-');
      sign_pending = false;
    }
    out.append(text);
  };

  size_t place = 0;
  for (char16_t c : picture) {
    if (c != u'0' && c != u'#') {
      out.push_back(c);
      continue;
    }
    if (place == 0) write_digits(digits.substr(0, extra));
    if (place < empty_places) {
      if (c == u'0') write_digits(u"0");
    } else {
      write_digits(digits.substr(extra + place - empty_places, 1));
    }
    ++place;
  }
}

std::u16string FormatWithPicture(int64_t value, std::u16string_view picture) {
  std::u16string out;
  AppendWithPicture(out, value, picture);
  return out;
}

bool ExpandDeclarationWord(std::u16string_view word, std::vector<std::u16string>& names) {
  const size_t open = word.find(u'[');
  if (open == std::u16string_view::npos) {
    names.emplace_back(word);
    return true;
  }
  const size_t close = word.find(u']', open + 1);
  if (close == std::u16string_view::npos) return false;

  const std::u16string_view inner = word.substr(open + 1, close - open - 1);
  const size_t caret = inner.find(u'^');
  const std::u16string_view count_text = inner.substr(0, caret);
  const bool has_picture = caret != std::u16string_view::npos;
  const std::u16string_view picture = has_picture ? inner.substr(caret + 1) : std::u16string_view();

  if (count_text.empty()) return false;
  int count = 0;
  for (char16_t c : count_text) {
    if (!IsDigit(c)) return false;
    count = count * 10 + (c - u'0');
    if (count > kMaxArrayCount) return false;
  }

  const std::u16string_view prefix = word.substr(0, open);
  const std::u16string_view suffix = word.substr(close + 1);
  names.reserve(names.size() + static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    std::u16string name(prefix);
    if (has_picture) {
      AppendWithPicture(name, i, picture);
    } else {
      name += ToDecimal(i);
    }
    name += suffix;
    names.push_back(std::move(name));
  }
  return true;
}

}  // namespace tsumugi
