#include "common/file_lookup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>
#include <vector>

#include "common/text_codec.h"

namespace tsumugi {
namespace fs = std::filesystem;

namespace {

std::string ErrnoText(int err) {
  return std::error_code(err, std::generic_category()).message();
}

void SetError(std::string* error, std::string text) {
  if (error != nullptr) *error = std::move(text);
}

std::vector<std::string_view> SplitComponents(std::string_view relative) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i <= relative.size(); ++i) {
    if (i == relative.size() || relative[i] == '/' || relative[i] == '\\') {
      if (i > start) parts.push_back(relative.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// Case folding for file names: ASCII A-Z and full-width Ａ-Ｚ (U+FF21-U+FF3A,
// UTF-8 EF BC A1-BA) map to their lower-case forms (U+FF41-U+FF5A, EF BD
// 81-9A). Both keep their byte length, so names of different lengths never
// match.
std::string FoldName(std::string_view name) {
  std::string out(name);
  for (size_t i = 0; i < out.size(); ++i) {
    const auto b = static_cast<unsigned char>(out[i]);
    if (b >= 'A' && b <= 'Z') {
      out[i] = static_cast<char>(b - 'A' + 'a');
    } else if (b == 0xEF && i + 2 < out.size() && static_cast<unsigned char>(out[i + 1]) == 0xBC) {
      const auto c = static_cast<unsigned char>(out[i + 2]);
      if (c >= 0xA1 && c <= 0xBA) {
        out[i + 1] = static_cast<char>(0xBD);
        out[i + 2] = static_cast<char>(c - 0xA1 + 0x81);
      }
      i += 2;
    }
  }
  return out;
}

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(p, ec);
}

bool IsDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// Looks in `dir` for the entry `name`, exact spelling first, then ignoring
// case. Returns the entry's actual name, or nullopt.
std::optional<std::string> ResolveComponent(const fs::path& dir, std::string_view name,
                                            bool need_directory) {
  const fs::path exact = dir / name;
  if (Exists(exact) && (!need_directory || IsDirectory(exact))) return std::string(name);
  if (name == "." || name == "..") return std::nullopt;

  const std::string folded = FoldName(name);
  std::optional<std::string> best;
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const fs::path file_name = it->path().filename();
    const std::string& entry_name = file_name.native();
    if (entry_name.size() != folded.size()) continue;
    if (best && entry_name >= *best) continue;
    if (FoldName(entry_name) != folded) continue;
    std::error_code type_ec;
    if (need_directory && !it->is_directory(type_ec)) continue;
    best = entry_name;
  }
  return best;
}

}  // namespace

std::optional<fs::path> FindPathNoCase(const fs::path& base, std::string_view relative) {
  const std::vector<std::string_view> parts = SplitComponents(relative);
  fs::path exact = base;
  for (const std::string_view part : parts) exact /= part;
  if (Exists(exact)) return exact;
  if (parts.empty()) return std::nullopt;  // base itself does not exist

  fs::path current = base;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    std::optional<std::string> name = ResolveComponent(current, parts[i], !last);
    if (!name) return std::nullopt;
    current /= *name;
  }
  return current;
}

bool ReadWholeFile(const fs::path& path, std::string* bytes, std::string* error) {
  bytes->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, ErrnoText(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    bytes->reserve(static_cast<size_t>(st.st_size));
  }
  // Read until end of file rather than trusting the size: it may change
  // while we read, and some files report a size of 0.
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes->append(buffer, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      const int err = errno;
      ::close(fd);
      bytes->clear();
      SetError(error, ErrnoText(err));
      return false;
    }
  }
  ::close(fd);
  return true;
}

bool WriteWholeFile(const fs::path& path, std::string_view bytes, std::string* error,
                    const std::function<void()>& before_rename) {
  const std::string name = path.filename().native();
  if (name.empty() || name == "." || name == "..") {
    SetError(error, "not a file name: " + path.native());
    return false;
  }
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");

  // A hidden name next to the target: the rename then stays within one file
  // system, and a leftover from a crash is easy to recognise.
  static std::atomic<unsigned> counter{0};
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir / ("." + name + ".tmp." + std::to_string(::getpid()) + "." +
                  std::to_string(counter.fetch_add(1)));
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    SetError(error, "cannot create a temporary file: " + ErrnoText(errno));
    return false;
  }

  auto fail = [&](const char* what, int err) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
    SetError(error, std::string(what) + ": " + ErrnoText(err));
    return false;
  };

  // Keep the permissions of the file being replaced.
  struct stat old_st {};
  if (::stat(path.c_str(), &old_st) == 0 && S_ISREG(old_st.st_mode)) {
    ::fchmod(fd, old_st.st_mode & 07777);
  }

  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write", errno);
    }
    written += static_cast<size_t>(n);
  }
  // The data must be on disk before the rename makes them visible, or a
  // crash could leave an empty file under the target name.
  if (::fsync(fd) != 0) return fail("cannot flush", errno);
  const int close_result = ::close(fd);
  fd = -1;
  if (close_result != 0) return fail("cannot write", errno);
  if (before_rename) before_rename();
  if (::rename(temp.c_str(), path.c_str()) != 0) return fail("cannot replace the file", errno);

  // Make the rename itself durable; failing here loses nothing already
  // written, so it is not reported.
  const int dir_fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    ::fsync(dir_fd);
    ::close(dir_fd);
  }
  return true;
}

std::string PathToUtf8(const fs::path& path) {
  return path.native();
}

fs::path PathFromUtf16(std::u16string_view text) {
  return fs::path(Utf16ToUtf8(text));
}

}  // namespace tsumugi
