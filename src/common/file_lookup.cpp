#include "common/file_lookup.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <iterator>
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

// A name on disk in UTF-8; names that are not UTF-8 are CP932 bytes.
std::string DiskNameAsUtf8(const std::string& name) {
  return IsValidUtf8(name) ? name : Utf16ToUtf8(Cp932ToUtf16(name));
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
    if (best && entry_name >= *best) continue;
    // Folding keeps the length of UTF-8 names, so most entries are passed
    // over without a closer look.
    const bool utf8 = IsValidUtf8(entry_name);
    if (utf8 && entry_name.size() != folded.size()) continue;
    if (FoldName(utf8 ? entry_name : DiskNameAsUtf8(entry_name)) != folded) continue;
    std::error_code type_ec;
    if (need_directory && !it->is_directory(type_ec)) continue;
    best = entry_name;
  }
  return best;
}

FileProblem ProblemOfMode(mode_t mode) {
  if (S_ISREG(mode)) return FileProblem::kNone;
  if (S_ISDIR(mode)) return FileProblem::kFolder;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return FileProblem::kDevice;
  if (S_ISFIFO(mode)) return FileProblem::kFifo;
  return FileProblem::kNotRegular;
}

FileProblem ProblemOfErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
      return FileProblem::kMissing;
    case EACCES:
    case EPERM:
      return FileProblem::kNoPermission;
    default:
      return FileProblem::kReadError;
  }
}

std::string MegabytesText(uint64_t bytes) {
  return std::to_string(bytes >> 20) + " MB";
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

std::optional<fs::path> RealPath(const fs::path& path) {
  std::error_code ec;
  fs::path real = fs::canonical(path, ec);
  if (ec) return std::nullopt;
  return real;
}

bool IsInside(const fs::path& root, const fs::path& real) {
  const std::string& r = root.native();
  const std::string& p = real.native();
  if (p.size() < r.size() || p.compare(0, r.size(), r) != 0) return false;
  // "/games/a" holds "/games/a/x" but not "/games/ab".
  return p.size() == r.size() || p[r.size()] == '/' || (!r.empty() && r.back() == '/');
}

FileProblem FileKindProblem(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return ProblemOfErrno(errno);
  return ProblemOfMode(st.st_mode);
}

namespace {

// Each problem in a few words: English for standard error, Japanese for the
// player. In the order of FileProblem.
struct ProblemText {
  const char* english;
  const char16_t* japanese;
};
constexpr ProblemText kProblemTexts[] = {
    {"no problem", u""},
    {"no such file", u"ファイルが存在しません"},
    {"it lies outside the game folder", u"ゲームのフォルダの外にあるファイルは読み込めません"},
    {"not a regular file (a folder)", u"フォルダです（通常のファイルではありません）"},
    {"not a regular file (a device)", u"デバイスです（通常のファイルではありません）"},
    {"not a regular file (a FIFO)", u"名前付きパイプです（通常のファイルではありません）"},
    {"not a regular file", u"通常のファイルではありません"},
    {"permission denied", u"読み込む権限がありません"},
    {"the file is too large", u"ファイルが大きすぎます"},
    {"read error", u"読み込み中にエラーが発生しました"},
};
static_assert(std::size(kProblemTexts) == static_cast<size_t>(FileProblem::kReadError) + 1);

}  // namespace

std::string DescribeFileProblem(FileProblem problem) {
  return kProblemTexts[static_cast<size_t>(problem)].english;
}

std::u16string DescribeFileProblemJapanese(FileProblem problem) {
  return kProblemTexts[static_cast<size_t>(problem)].japanese;
}

GameFile FindGameFile(const fs::path& root, const fs::path& base, std::string_view name) {
  GameFile result;
  auto fail = [&](FileProblem problem, const std::string& where, const std::string& detail) {
    result.problem = problem;
    result.cause = where + ": " + DescribeFileProblem(problem) + detail;
    return result;
  };
  const std::string written = (base / std::string(name)).native();
  std::optional<fs::path> found = FindPathNoCase(base, name);
  if (!found) return fail(FileProblem::kMissing, written, " (looked up without regard to case)");
  std::optional<fs::path> real = RealPath(*found);
  if (!real) return fail(FileProblem::kMissing, found->native(), " (a symbolic link that leads nowhere)");
  std::optional<fs::path> real_root = RealPath(root);
  if (!real_root || !IsInside(*real_root, *real)) {
    return fail(FileProblem::kOutside, found->native(),
                " (" + real->native() + " is not inside " +
                    (real_root ? *real_root : root).native() + ")");
  }
  if (const FileProblem kind = FileKindProblem(*real); kind != FileProblem::kNone) {
    return fail(kind, found->native(), "");
  }
  result.path = std::move(found);
  return result;
}

namespace {

template <typename Buffer>
bool ReadInto(const fs::path& path, Buffer* bytes, std::string* error, uint64_t max_bytes,
              FileProblem* problem) {
  bytes->clear();
  auto fail = [&](FileProblem kind, std::string text) {
    if (problem != nullptr) *problem = kind;
    SetError(error, std::move(text));
    return false;
  };
  // Without O_NONBLOCK, opening a FIFO waits for a writer, perhaps forever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    const int err = errno;
    return fail(err == EISDIR ? FileProblem::kFolder : ProblemOfErrno(err), ErrnoText(err));
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    return fail(FileProblem::kReadError, ErrnoText(err));
  }
  if (const FileProblem kind = ProblemOfMode(st.st_mode); kind != FileProblem::kNone) {
    ::close(fd);
    return fail(kind, kind == FileProblem::kFolder ? ErrnoText(EISDIR) : DescribeFileProblem(kind));
  }
  auto too_large = [&](uint64_t size) {
    ::close(fd);
    bytes->clear();
    return fail(FileProblem::kTooLarge, "the file is too large (" + std::to_string(size) +
                                            " bytes; the limit is " + MegabytesText(max_bytes) +
                                            ")");
  };
  if (static_cast<uint64_t>(st.st_size) > max_bytes) return too_large(static_cast<uint64_t>(st.st_size));
  // A regular file never blocks; reads go back to the ordinary mode.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (st.st_size > 0) bytes->reserve(static_cast<size_t>(st.st_size));
  // Read until end of file rather than trusting the size: it may change
  // while we read, and some files report a size of 0.
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      if (static_cast<uint64_t>(n) > max_bytes - bytes->size()) {
        return too_large(bytes->size() + static_cast<uint64_t>(n));
      }
      bytes->insert(bytes->end(), buffer, buffer + n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      const int err = errno;
      ::close(fd);
      bytes->clear();
      return fail(FileProblem::kReadError, ErrnoText(err));
    }
  }
  ::close(fd);
  if (problem != nullptr) *problem = FileProblem::kNone;
  return true;
}

}  // namespace

bool ReadWholeFile(const fs::path& path, std::string* bytes, std::string* error,
                   uint64_t max_bytes, FileProblem* problem) {
  return ReadInto(path, bytes, error, max_bytes, problem);
}

bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>* bytes, std::string* error,
                   uint64_t max_bytes, FileProblem* problem) {
  return ReadInto(path, bytes, error, max_bytes, problem);
}

namespace {

// The temporary file a new version of the file `name` is written to before
// it replaces it: hidden, beside it, named after it, this program and the
// process writing it, so that a leftover is easy to recognise and to trace.
std::string TemporaryName(const std::string& name, pid_t pid, unsigned n) {
  return "." + name + ".tsumugi." + std::to_string(pid) + "." + std::to_string(n) + ".tmp";
}

// The process that wrote `entry` when it is a temporary file of `name`
// (exactly TemporaryName's form), else 0.
pid_t TemporaryFileWriter(std::string_view entry, std::string_view name) {
  auto take = [&entry](std::string_view text) {
    if (!entry.starts_with(text)) return false;
    entry.remove_prefix(text.size());
    return true;
  };
  auto number = [&entry](uint64_t* value) {
    size_t digits = 0;
    *value = 0;
    while (digits < entry.size() && digits < 10 && entry[digits] >= '0' && entry[digits] <= '9') {
      *value = *value * 10 + static_cast<uint64_t>(entry[digits] - '0');
      ++digits;
    }
    const bool written = digits > 0 && (digits == 1 || entry[0] != '0');
    entry.remove_prefix(digits);
    return written;
  };
  uint64_t pid = 0, n = 0;
  if (!take(".") || !take(name) || !take(".tsumugi.") || !number(&pid) || !take(".") ||
      !number(&n) || entry != ".tmp" || pid == 0 || pid > INT32_MAX) {
    return 0;
  }
  return static_cast<pid_t>(pid);
}

// Removes the temporary files of `name` in `dir` that no running process
// writes: what a process killed while it wrote left behind. A file of this
// process's own number is such a leftover too (of an earlier process that
// had the number), as a file is never written twice at once here. Only
// regular files of exactly our naming are touched, never another program's.
void RemoveStaleTemporaryFiles(const fs::path& dir, const std::string& name) {
  DIR* const listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(listing)) {
    const pid_t writer = TemporaryFileWriter(entry->d_name, name);
    if (writer == 0) continue;
    if (writer != self && (::kill(writer, 0) == 0 || errno == EPERM)) continue;  // still writing
    struct stat st {};
    const fs::path file = dir / entry->d_name;
    if (::lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(file.c_str());
  }
  ::closedir(listing);
}

}  // namespace

bool WriteWholeFile(const fs::path& path_in, std::string_view bytes, std::string* error,
                    const std::function<void()>& before_rename) {
  // A link is followed: the file it leads to is replaced and the link kept.
  fs::path path = path_in;
  struct stat link_st {};
  if (::lstat(path.c_str(), &link_st) == 0 && S_ISLNK(link_st.st_mode)) {
    std::error_code ec;
    fs::path target = fs::weakly_canonical(path, ec);
    if (!ec) path = target;
  }
  if (const FileProblem kind = FileKindProblem(path);
      kind != FileProblem::kNone && kind != FileProblem::kMissing) {
    SetError(error, "cannot replace " + path_in.native() + ": " + DescribeFileProblem(kind));
    return false;
  }
  const std::string name = path.filename().native();
  if (name.empty() || name == "." || name == "..") {
    SetError(error, "not a file name: " + path.native());
    return false;
  }
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");

  // A hidden name next to the target: the rename then stays within one file
  // system. What a killed writer left there goes first.
  RemoveStaleTemporaryFiles(dir, name);
  static std::atomic<unsigned> counter{0};
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir / TemporaryName(name, ::getpid(), counter.fetch_add(1));
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
