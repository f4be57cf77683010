#include "common/text_codec.h"

#include <array>
#include <cstdint>
#include <memory>

namespace tsumugi {
namespace {

#include "cp932_tables.inc"

// ---------------------------------------------------------------------------
// CP932 tables
//
// CP932 has at most 2 bytes per character and every character is one UTF-16
// unit, so both directions fit in 64K-entry tables. They are filled once per
// process from the lists glibc's iconv gave when Tsumugi was built
// (cp932_tables.inc, made by cmake/make_cp932_tables.cpp); a conversion is a
// single linear pass with no library calls, and bad input costs no more than
// good input.
// ---------------------------------------------------------------------------

bool IsCp932LeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsCp932TrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

enum class ByteKind : uint8_t { kInvalid, kSingle, kLead };

struct Cp932DecodeTable {
  std::array<ByteKind, 256> kind{};
  std::array<char16_t, 256> single{};
  // Indexed by (lead << 8) | trail. 0 means "undefined": no double-byte code
  // decodes to U+0000.
  std::array<char16_t, 65536> pair{};
};

struct Cp932EncodeTable {
  // Indexed by UTF-16 unit. Values below 0x100 are single bytes, larger
  // values are (lead << 8) | trail. 0 means "not encodable", except at index
  // 0, where it is the NUL byte.
  std::array<uint16_t, 65536> code{};
};

std::unique_ptr<Cp932DecodeTable> BuildDecodeTable() {
  auto table = std::make_unique<Cp932DecodeTable>();
  for (int b = 0; b < 256; ++b) {
    if (IsCp932LeadByte(static_cast<unsigned char>(b))) table->kind[b] = ByteKind::kLead;
  }
  for (const auto& [code, unit] : kCp932Decoded) {
    if (code < 0x100) {
      table->kind[code] = ByteKind::kSingle;
      table->single[code] = unit;
    } else {
      table->pair[code] = unit;
    }
  }
  return table;
}

std::unique_ptr<Cp932EncodeTable> BuildEncodeTable() {
  auto table = std::make_unique<Cp932EncodeTable>();
  for (const auto& [unit, code] : kCp932Encoded) table->code[unit] = code;
  return table;
}

const Cp932DecodeTable& DecodeTable() {
  static const std::unique_ptr<Cp932DecodeTable> table = BuildDecodeTable();
  return *table;
}

const Cp932EncodeTable& EncodeTable() {
  static const std::unique_ptr<Cp932EncodeTable> table = BuildEncodeTable();
  return *table;
}

// ---------------------------------------------------------------------------
// UTF-8
// ---------------------------------------------------------------------------

// Decodes one character starting at bytes[*pos] and advances *pos. On an
// ill-formed sequence returns false and advances past its maximal prefix that
// could still have begun a valid sequence (at least one byte), so that each
// bad sequence is reported exactly once.
bool DecodeUtf8Char(std::string_view bytes, size_t* pos, char32_t* cp) {
  const auto b = static_cast<unsigned char>(bytes[*pos]);
  ++*pos;
  if (b < 0x80) {
    *cp = b;
    return true;
  }
  int need;
  // Allowed range of the first continuation byte; this is what rules out
  // overlong forms, encoded surrogates and values above U+10FFFF.
  unsigned char lo = 0x80;
  unsigned char hi = 0xBF;
  char32_t value;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
    value = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    need = 2;
    value = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    need = 3;
    value = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return false;
  }
  for (int i = 0; i < need; ++i) {
    if (*pos >= bytes.size()) return false;
    const auto c = static_cast<unsigned char>(bytes[*pos]);
    if (c < lo || c > hi) return false;
    value = (value << 6) | (c & 0x3F);
    ++*pos;
    lo = 0x80;
    hi = 0xBF;
  }
  *cp = value;
  return true;
}

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t u) {
  return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
  return u >= 0xDC00 && u <= 0xDFFF;
}

}  // namespace

std::u16string Cp932ToUtf16(std::string_view bytes) {
  const Cp932DecodeTable& table = DecodeTable();
  // Each byte yields at most one unit; write through a pointer and trim at
  // the end, which is several times faster than push_back.
  std::u16string out(bytes.size(), u'\0');
  char16_t* dst = out.data();
  const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = src + bytes.size();
  while (src < end) {
    const unsigned char b = *src;
    switch (table.kind[b]) {
      case ByteKind::kSingle:
        *dst++ = table.single[b];
        ++src;
        break;
      case ByteKind::kInvalid:
        *dst++ = kCp932Replacement;
        ++src;
        break;
      case ByteKind::kLead: {
        if (src + 1 == end || !IsCp932TrailByte(src[1])) {
          // The next byte cannot belong to this character: drop only the
          // lead byte so the next one is decoded on its own.
          *dst++ = kCp932Replacement;
          ++src;
          break;
        }
        const char16_t unit = table.pair[(b << 8) | src[1]];
        *dst++ = unit != 0 ? unit : kCp932Replacement;
        src += 2;
        break;
      }
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

bool HasCp932Form(char16_t c) {
  return c == 0 || EncodeTable().code[c] != 0;
}

std::string Utf16ToCp932(std::u16string_view text) {
  const Cp932EncodeTable& table = EncodeTable();
  // At most two bytes per unit.
  std::string out(text.size() * 2, '\0');
  char* dst = out.data();
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (IsHighSurrogate(u)) {
      // Everything outside the BMP is missing from CP932; a pair is one
      // character and gets one "?".
      if (i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
      *dst++ = '?';
      continue;
    }
    const uint16_t code = table.code[u];
    if (code == 0 && u != 0) {
      *dst++ = '?';
    } else if (code < 0x100) {
      *dst++ = static_cast<char>(code);
    } else {
      *dst++ = static_cast<char>(code >> 8);
      *dst++ = static_cast<char>(code & 0xFF);
    }
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp = 0;
    if (!DecodeUtf8Char(bytes, &pos, &cp)) {
      out.push_back(kUnicodeReplacement);
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char16_t>(cp));
    } else {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                          (static_cast<char32_t>(text[i + 1]) - 0xDC00);
      AppendUtf8(cp, &out);
      ++i;
    } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
      AppendUtf8(kUnicodeReplacement, &out);
    } else {
      AppendUtf8(u, &out);
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    // Plain ASCII is the common case; skip it without the full decoder.
    if (static_cast<unsigned char>(bytes[pos]) < 0x80) {
      ++pos;
      continue;
    }
    char32_t cp;
    if (!DecodeUtf8Char(bytes, &pos, &cp)) return false;
  }
  return true;
}

std::u16string DecodeGameText(std::string_view bytes) {
  constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
  if (bytes.starts_with(kUtf8Bom)) return Utf8ToUtf16(bytes.substr(kUtf8Bom.size()));
  bool has_non_ascii = false;
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      has_non_ascii = true;
      break;
    }
  }
  // Real CP932 text is practically never valid UTF-8: most double-byte codes
  // start with 0x81-0x9F, which UTF-8 allows only as a continuation byte. A
  // few bytes of half-width katakana can pass (0xC3 0xBD is valid either
  // way); such a file is read as UTF-8.
  if (has_non_ascii && IsValidUtf8(bytes)) return Utf8ToUtf16(bytes);
  return Cp932ToUtf16(bytes);
}

std::vector<std::u16string> SplitLines(std::u16string_view text) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.emplace_back(text.substr(start, i - start));
      i += (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace tsumugi
