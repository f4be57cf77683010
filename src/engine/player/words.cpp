#include "engine/player/words.h"

#include <libintl.h>

#include "common/text_codec.h"

namespace tsumugi {

std::u16string Words(const char* japanese) {
  // gettext gives the words back as they are when there is no translation.
  return Utf8ToUtf16(dgettext(kWordsDomain, japanese));
}

std::u16string Words(const char* japanese, std::u16string_view value) {
  std::u16string text = Words(japanese);
  const size_t at = text.find(u"{}");
  if (at != std::u16string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace tsumugi
