#include "platform/gdi/picture_file.h"

#include <fstream>
#include <system_error>
#include <utility>

namespace tsumugi::gdi {

bool ReadFileBytes(const std::filesystem::path& path, size_t max_bytes, std::vector<uint8_t>* bytes,
                   std::string* error) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    *error = "the file does not exist";
    return false;
  }
  if (std::filesystem::is_directory(status)) {
    *error = "it is a folder, not a file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the file";
    return false;
  }
  std::vector<uint8_t> data;
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size <= max_bytes) data.reserve(static_cast<size_t>(size));
  char chunk[64 * 1024];
  while (in) {
    in.read(chunk, sizeof chunk);
    const auto n = static_cast<size_t>(in.gcount());
    if (n > max_bytes - data.size()) {
      *error = "the file is too large (over " + std::to_string(max_bytes) + " bytes)";
      return false;
    }
    data.insert(data.end(), chunk, chunk + n);
  }
  if (in.bad()) {
    *error = "cannot read the file";
    return false;
  }
  *bytes = std::move(data);
  return true;
}

}  // namespace tsumugi::gdi
