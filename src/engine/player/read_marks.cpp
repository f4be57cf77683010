#include "engine/player/read_marks.h"

#include <cstring>
#include <system_error>

#include "common/file_lookup.h"

namespace tsumugi {

namespace {

// "TSUMUGI READ 1\n", then for each scenario: its hash (8 bytes), its
// number of lines (4 bytes, little-endian) and a bit a line, low bit first.
constexpr char kMagic[] = "TSUMUGI READ 1\n";
constexpr size_t kMagicSize = sizeof kMagic - 1;
// A scenario longer than this is no scenario a game can have.
constexpr uint32_t kMaxLines = 1u << 24;
constexpr uint64_t kMaxFileBytes = uint64_t{64} << 20;

void PutLe(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

uint64_t GetLe(const uint8_t* in, int bytes) {
  uint64_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= uint64_t{in[i]} << (8 * i);
  return value;
}

}  // namespace

void ReadMarks::SetScenarios(const std::vector<uint64_t>& hashes) {
  hashes_ = hashes;
  bits_.clear();
  changed_ = false;
}

bool ReadMarks::Load(const std::filesystem::path& path, std::string* why) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return true;
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes, why, kMaxFileBytes)) return false;
  std::unordered_map<uint64_t, std::vector<uint8_t>> read;
  const auto damaged = [why](const char* what) {
    *why = what;
    return false;
  };
  if (bytes.size() < kMagicSize || std::memcmp(bytes.data(), kMagic, kMagicSize) != 0) {
    return damaged("not a file of read marks");
  }
  size_t at = kMagicSize;
  while (at < bytes.size()) {
    if (bytes.size() - at < 12) return damaged("the file is cut short");
    const uint64_t hash = GetLe(&bytes[at], 8);
    const uint64_t lines = GetLe(&bytes[at + 8], 4);
    at += 12;
    const size_t size = static_cast<size_t>((lines + 7) / 8);
    if (lines > kMaxLines) return damaged("a scenario has too many lines");
    if (bytes.size() - at < size) return damaged("the file is cut short");
    read[hash].assign(bytes.begin() + static_cast<ptrdiff_t>(at),
                      bytes.begin() + static_cast<ptrdiff_t>(at + size));
    at += size;
  }
  // Only the scenarios the game has now.
  for (const uint64_t hash : hashes_) {
    auto it = read.find(hash);
    if (it == read.end()) continue;
    std::vector<uint8_t>& mine = bits_[hash];
    if (mine.size() < it->second.size()) mine.resize(it->second.size());
    for (size_t i = 0; i < it->second.size(); ++i) mine[i] |= it->second[i];
  }
  return true;
}

bool ReadMarks::Save(const std::filesystem::path& path, std::string* why) {
  if (!changed_) return true;
  std::string out(kMagic, kMagicSize);
  for (const auto& [hash, bits] : bits_) {
    PutLe(out, hash, 8);
    PutLe(out, bits.size() * 8, 4);
    out.append(reinterpret_cast<const char*>(bits.data()), bits.size());
  }
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  if (!WriteWholeFile(path, out, why)) return false;
  changed_ = false;
  return true;
}

bool ReadMarks::IsRead(int file, int line_number) const {
  if (file <= 0 || static_cast<size_t>(file) > hashes_.size() || line_number <= 0) return false;
  auto it = bits_.find(hashes_[static_cast<size_t>(file) - 1]);
  const size_t index = static_cast<size_t>(line_number) - 1;
  return it != bits_.end() && index / 8 < it->second.size() &&
         (it->second[index / 8] >> (index % 8) & 1) != 0;
}

bool ReadMarks::Mark(int file, int line_number) {
  if (file <= 0 || static_cast<size_t>(file) > hashes_.size() || line_number <= 0 ||
      static_cast<uint32_t>(line_number) > kMaxLines) {
    return false;
  }
  if (IsRead(file, line_number)) return false;
  std::vector<uint8_t>& bits = bits_[hashes_[static_cast<size_t>(file) - 1]];
  const size_t index = static_cast<size_t>(line_number) - 1;
  if (bits.size() <= index / 8) bits.resize(index / 8 + 1);
  bits[index / 8] |= static_cast<uint8_t>(1u << (index % 8));
  changed_ = true;
  return true;
}

}  // namespace tsumugi
