#include "common/game_text.h"

#include <cstdint>
#include <cstring>

#include "common/text_codec.h"

namespace tsumugi {

GameText::GameText(std::string bytes) : bytes_(std::move(bytes)) {
  const std::string_view text = bytes_;
  const bool bom = text.starts_with("\xEF\xBB\xBF");
  start_ = bom ? 3 : 0;
  unsigned char all = 0;
  for (const char c : text) all |= static_cast<unsigned char>(c);
  binary_ = text.find('\0') != std::string_view::npos;
  // As DecodeGameText chooses.
  utf8_ = bom || ((all & 0x80) != 0 && IsValidUtf8(text));
}

bool GameText::NextLine(size_t* at, std::string_view* line) const {
  const char* const data = bytes_.data();
  const size_t size = bytes_.size();
  const size_t begin = *at;
  if (begin >= size) return false;
  // The line ends at the first LF or CR, looked for eight bytes at a time:
  // a word holds one when a byte of it XOR that character is zero.
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  auto zero_byte = [](uint64_t word) { return (word - kOnes) & ~word & kHighs; };
  size_t end = begin;
  for (; end + 8 <= size; end += 8) {
    uint64_t word;
    std::memcpy(&word, data + end, 8);
    if (zero_byte(word ^ (kOnes * '\n')) | zero_byte(word ^ (kOnes * '\r'))) break;
  }
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
