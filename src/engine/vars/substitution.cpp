// Substitution of values into text ("[name]", "[name^picture]") and colour
// words.
#include <algorithm>

#include "common/strings.h"
#include "engine/engine_end.h"
#include "engine/engine_options.h"
#include "engine/messages.h"
#include "engine/script/command_args.h"
#include "engine/vars/number_text.h"
#include "engine/vars/reference_walk.h"
#include "engine/vars/variables.h"
#include "platform/host.h"

namespace tsumugi {

void Variables::AppendReference(std::u16string_view inner, std::u16string& out) {
  const size_t caret = inner.find(u'^');
  if (caret != std::u16string_view::npos) {
    // With a picture only integers qualify: numbers, flags, integer variables.
    const std::u16string_view name = inner.substr(0, caret);
    const ParsedNumber number = ParseNumber(name);
    int32_t value = 0;
    if (number.kind == NumberKind::kValue) {
      value = number.value;
    } else if (number.kind == NumberKind::kOutOfRange) {
      ReportOutOfRange(name);
    } else if (IsFlagWord(name)) {
      value = ReadFlag(FlagNumber(name));
    } else {
      value = s_.IntegerValues[FindIntegerVariable(name)];
    }
    AppendWithPicture(out, value, inner.substr(caret + 1));
    return;
  }

  const ParsedNumber number = ParseNumber(inner);
  if (number.kind == NumberKind::kValue) {
    out += ToDecimal(number.value);
  } else if (number.kind == NumberKind::kOutOfRange) {
    ReportOutOfRange(inner);
  } else if (IsFlagWord(inner)) {
    out.push_back(ReadFlag(FlagNumber(inner)) ? u'1' : u'0');
  } else if (int index = LookUpIntegerVariable(inner); index >= 0) {
    out += ToDecimal(s_.IntegerValues[index]);
  } else if (index = FindTextVariable(inner); index >= 0) {
    out += s_.TextValues[index];
  } else {
    errors_.ScriptError(u"変数名 " + std::u16string(inner) + u"\r\n\r\n" +
                            std::u16string(messages::kUndeclaredVariable),
                        false);
  }
}

std::u16string Variables::ExpandText(std::u16string text) {
  if (text.find(u']') == std::u16string::npos) return text;
  const size_t allowed_length = std::max(text.size(), kMaxExpandedLength);
  return SubstituteReferences(
      text, [&](std::u16string_view inner, std::u16string& out, size_t remaining) {
        AppendReference(inner, out);
        if (out.size() + remaining > allowed_length) {
          errors_.ScriptError(u"変数名 " + std::u16string(inner) +
                                  u"\r\n\r\n置き換えた結果の文字列が長すぎます（" +
                                  ToDecimal(kMaxExpandedLength) + u"文字まで）",
                              false);
        }
      });
}

uint32_t Variables::ColourValue(std::u16string_view word) {
  struct NamedColour {
    std::u16string_view name;
    uint32_t red, green, blue;
  };
  static constexpr NamedColour kColours[] = {
      {u"black", 0, 0, 0},           {u"red", 255, 0, 0},          {u"green", 0, 255, 0},
      {u"yellow", 255, 255, 0},      {u"blue", 0, 0, 255},         {u"magenta", 255, 0, 255},
      {u"cyan", 0, 255, 255},        {u"white", 255, 255, 255},    {u"darkred", 128, 0, 0},
      {u"darkgreen", 0, 128, 0},     {u"darkyellow", 128, 128, 0}, {u"darkblue", 0, 0, 128},
      {u"darkmagenta", 128, 0, 128}, {u"darkcyan", 0, 128, 128},   {u"gray", 192, 192, 192},
      {u"darkgray", 128, 128, 128},
  };
  for (const NamedColour& colour : kColours) {
    if (word == colour.name) return colour.blue << 16 | colour.green << 8 | colour.red;
  }

  // RRGGBB: the digits are read in the order people write colours, the
  // value is laid out blue-green-red.
  if (word.size() == 6) {
    if (const std::optional<uint32_t> rgb = ParseHex(word, 6)) {
      return (*rgb & 0xFF) << 16 | (*rgb & 0xFF00) | *rgb >> 16;
    }
  }
  errors_.ScriptError(std::u16string(messages::kNoColour), false);
}

}  // namespace tsumugi
