#include "engine/player/words.h"

#include "common/text_codec.h"

namespace tsumugi {

std::u16string Words(const char* japanese) { return Utf8ToUtf16(japanese); }

std::u16string Words(const char* japanese, std::u16string_view value) {
  std::u16string text = Words(japanese);
  const size_t at = text.find(u"{}");
  if (at != std::u16string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace tsumugi
