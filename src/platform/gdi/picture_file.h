// Small helpers shared by the picture and cursor loaders: reading a whole
// file into memory and little-endian header fields out of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tsumugi::gdi {

// Reads the whole file into *bytes. Files larger than max_bytes are refused,
// so that a wrong file cannot exhaust memory. On failure returns false and
// stores a short reason in *error.
[[nodiscard]] bool ReadFileBytes(const std::filesystem::path& path, size_t max_bytes,
                                 std::vector<uint8_t>* bytes, std::string* error);

// Little-endian fields; the caller guarantees that the bytes exist.
inline uint16_t ReadLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline int32_t ReadLeS32(const uint8_t* p) {
  return static_cast<int32_t>(ReadLe32(p));
}

}  // namespace tsumugi::gdi
