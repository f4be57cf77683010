// Numbers as scripts write them: numeric words, number pictures and the
// array forms of variable declarations. Pure functions, no engine state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tsumugi {

enum class NumberKind {
  kNotNumeric,  // the word is not a number (it may be a name)
  kValue,       // a number that fits a signed 32-bit integer
  kOutOfRange,  // written as a number, but outside the signed 32-bit range
};

struct ParsedNumber {
  NumberKind kind = NumberKind::kNotNumeric;
  int32_t value = 0;
};

// Reads a whole word as a number:
//  - decimal: an optional "+" or "-", digits, optionally a "." and more
//    digits, with at least one digit in all ("7", "-12", "2.5", ".5", "5.");
//    a fraction is rounded to the nearest integer, an exact half to the even
//    neighbour, then the result must fit 32 bits;
//  - hexadecimal: "&H" (or "&h") and one or more hexadecimal digits of
//    either case, read as a 32-bit two's-complement pattern (&HFFFFFFFF is
//    -1); more than eight digits after leading zeros are out of range.
// Anything else (signs on hexadecimal, exponents, spaces) is not numeric.
ParsedNumber ParseNumber(std::u16string_view word);

// Writes `value` through a number picture: "0" is a digit place that always
// shows a digit, "#" a digit place that shows only significant digits (zero
// has none), any other character is copied. Digits fill the places from the
// right; digits beyond the places are written whole before the first place.
// A "-" goes straight before the first digit written. A picture without
// digit places is copied and followed by the plain number.
void AppendWithPicture(std::u16string& out, int64_t value, std::u16string_view picture);
std::u16string FormatWithPicture(int64_t value, std::u16string_view picture);

// The most variables one array declaration may create.
inline constexpr int kMaxArrayCount = 100000;

// The names one declaration word stands for, appended to `names`:
//  - a word without "[" is one name;
//  - prefix "[" count "]" suffix is count names prefix + i + suffix for
//    i = 0 .. count - 1 in plain decimal ("item[3]" gives item0 to item2);
//  - prefix "[" count "^" picture "]" suffix writes i through the picture
//    ("name[12^00]" gives name00 to name11).
// The count is plain decimal digits, 0 to kMaxArrayCount. A word with "["
// that is not of these forms, or with an unusable count, returns false and
// appends nothing.
bool ExpandDeclarationWord(std::u16string_view word, std::vector<std::u16string>& names);

}  // namespace tsumugi
