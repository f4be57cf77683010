#include "common/game_text.h"

#include "common/text_codec.h"

namespace tsumugi {

GameText::GameText(std::string bytes) : bytes_(std::move(bytes)) {
  const std::string_view text = bytes_;
  const bool bom = text.starts_with("\xEF\xBB\xBF");
  start_ = bom ? 3 : 0;
  bool non_ascii = false;
  for (const char c : text) {
    non_ascii |= static_cast<unsigned char>(c) >= 0x80;
    binary_ |= c == '\0';
  }
  // As DecodeGameText chooses.
  utf8_ = bom || (non_ascii && IsValidUtf8(text));
  ForEachLine([this](std::string_view) { ++lines_; });
}

bool GameText::NextLine(size_t* at, std::string_view* line) const {
  const char* const data = bytes_.data();
  const size_t size = bytes_.size();
  const size_t begin = *at;
  if (begin >= size) return false;
  size_t end = begin;
  while (end < size && data[end] != '\r' && data[end] != '\n') ++end;
  *line = std::string_view(data + begin, end - begin);
  if (end < size) end += data[end] == '\r' && end + 1 < size && data[end + 1] == '\n' ? 2 : 1;
  *at = end;
  return true;
}

std::u16string GameText::Decode(std::string_view line) const {
  return utf8_ ? Utf8ToUtf16(line) : Cp932ToUtf16(line);
}

}  // namespace tsumugi
