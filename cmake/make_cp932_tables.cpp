// Writes the CP932 conversion tables as C++ source, once, when Tsumugi is
// built: glibc's iconv is asked about every code here instead of at every
// start of the engine. The output is included by src/common/text_codec.cpp.
//   make_cp932_tables > cp932_tables.inc
#include <iconv.h>

#include <cstdio>
#include <cstdint>
#include <vector>

namespace {

bool IsLeadByte(int b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(int b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// Converts one complete chunk; the number of output bytes, or -1 when the
// input is not entirely convertible.
int Convert(iconv_t cd, const unsigned char* in, size_t in_len, unsigned char* out, size_t cap) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in_ptr = const_cast<char*>(reinterpret_cast<const char*>(in));
  char* out_ptr = reinterpret_cast<char*>(out);
  size_t in_left = in_len, out_left = cap;
  if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1)) return -1;
  if (iconv(cd, nullptr, nullptr, &out_ptr, &out_left) == static_cast<size_t>(-1)) return -1;
  return in_left == 0 ? static_cast<int>(cap - out_left) : -1;
}

// One UTF-16 unit from iconv's little-endian output, or 0.
unsigned Unit(const unsigned char* out, int length) {
  return length == 2 ? static_cast<unsigned>(out[0] | (out[1] << 8)) : 0;
}

void PrintPairs(const char* name, const std::vector<std::pair<unsigned, unsigned>>& pairs) {
  std::printf("constexpr uint16_t %s[][2] = {\n", name);
  for (size_t i = 0; i < pairs.size(); ++i) {
    std::printf("{0x%X,0x%X},%s", pairs[i].first, pairs[i].second, i % 6 == 5 ? "\n" : "");
  }
  std::printf("};\n");
}

}  // namespace

int main() {
  iconv_t decode = iconv_open("UTF-16LE", "CP932");
  iconv_t encode = iconv_open("CP932", "UTF-16LE");
  if (decode == reinterpret_cast<iconv_t>(-1) || encode == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "make_cp932_tables: iconv cannot convert CP932\n");
    return 1;
  }
  unsigned char out[16];
  // Byte (or lead << 8 | trail) -> UTF-16 unit, for every code that decodes.
  std::vector<std::pair<unsigned, unsigned>> decoded;
  for (int b = 0; b < 256; ++b) {
    if (IsLeadByte(b)) continue;
    const unsigned char in = static_cast<unsigned char>(b);
    const unsigned unit = Unit(out, Convert(decode, &in, 1, out, sizeof out));
    if (unit != 0 || b == 0) decoded.emplace_back(b, unit);
  }
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsLeadByte(lead)) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      if (!IsTrailByte(trail)) continue;
      const unsigned char in[2] = {static_cast<unsigned char>(lead),
                                   static_cast<unsigned char>(trail)};
      if (const unsigned unit = Unit(out, Convert(decode, in, 2, out, sizeof out))) {
        decoded.emplace_back(lead << 8 | trail, unit);
      }
    }
  }
  // UTF-16 unit -> byte (or lead << 8 | trail), for every character CP932
  // has; several codes of the NEC and IBM extensions decode to one
  // character, and this is the one iconv writes for it.
  std::vector<std::pair<unsigned, unsigned>> encoded;
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const unsigned char in[2] = {static_cast<unsigned char>(c & 0xFF),
                                 static_cast<unsigned char>(c >> 8)};
    const int n = Convert(encode, in, 2, out, sizeof out);
    if (n == 1) {
      encoded.emplace_back(c, out[0]);
    } else if (n == 2 && IsLeadByte(out[0])) {
      encoded.emplace_back(c, out[0] << 8 | out[1]);
    }
  }
  std::printf("// Made by cmake/make_cp932_tables.cpp when Tsumugi is built.\n");
  PrintPairs("kCp932Decoded", decoded);
  PrintPairs("kCp932Encoded", encoded);
  iconv_close(decode);
  iconv_close(encode);
  return 0;
}
