// File access helpers for game data written for a case-insensitive file
// system with backslash separators, and the rules that keep a game folder
// from reaching outside itself.
//
// None of these functions throw on file system errors.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tsumugi {

// What keeps the engine from reading a file.
enum class FileProblem {
  kNone,
  kMissing,       // no such file (or a symbolic link that leads nowhere)
  kOutside,       // it resolves, symbolic links followed, outside the game folder
  kFolder,        // a folder where a file was wanted
  kDevice,        // a character or block device
  kFifo,          // a FIFO (named pipe): reading it could wait forever
  kNotRegular,    // a socket or another kind of file that is not a regular file
  kNoPermission,  // the player may not read it
  kTooLarge,      // larger than the limit for its kind
  kReadError,     // the system failed while reading
};

// The problem in a few English words, for standard error ("not a regular
// file (a FIFO)", "permission denied", ...).
std::string DescribeFileProblem(FileProblem problem);
// The same in Japanese, for the engine's own messages to the player.
std::u16string DescribeFileProblemJapanese(FileProblem problem);

// The largest scenario, configuration, settings or input file read.
inline constexpr uint64_t kMaxTextFileBytes = uint64_t{64} << 20;

// Finds `relative` (separated by "/" or "\\") below `base`, ignoring case.
// If the path exists with exactly that spelling, it is returned. Otherwise
// each component is resolved in turn: an entry with exactly that name is
// used if present, else an entry whose name matches ignoring the case of
// ASCII and full-width Latin letters; among several such entries the first
// in byte order wins. A name on disk that is not UTF-8 is taken as CP932
// (Shift-JIS) bytes, as old archives unpack Japanese names, and compared in
// its UTF-8 form. Components before the last must resolve to directories.
// "." and ".." are kept as they are; empty components are skipped, so an
// empty `relative` yields `base` if it exists. Returns nullopt when a
// component cannot be resolved.
[[nodiscard]] std::optional<std::filesystem::path> FindPathNoCase(const std::filesystem::path& base,
                                                                  std::string_view relative);

// The path with every symbolic link, "." and ".." resolved; nullopt when it
// leads nowhere.
[[nodiscard]] std::optional<std::filesystem::path> RealPath(const std::filesystem::path& path);

// True when `real` (a RealPath) is `root` (a RealPath) or lies below it.
[[nodiscard]] bool IsInside(const std::filesystem::path& root, const std::filesystem::path& real);

// The kind of problem the file at `path` (symbolic links followed) has as
// something to read: kNone for a regular file, else kMissing, kFolder,
// kDevice, kFifo or kNotRegular.
FileProblem FileKindProblem(const std::filesystem::path& path);

// A file named by a game (a script, its settings), looked up for reading.
struct GameFile {
  // The file as found (the spelling on disk, below the folder it was looked
  // up in); set only when `problem` is kNone.
  std::optional<std::filesystem::path> path;
  FileProblem problem = FileProblem::kNone;
  // When there is a problem: what it is, with the path, in English for
  // standard error.
  std::string cause;
};

// The one lookup for every file the engine opens by a name from a game:
// finds `name` (separated by "/" or "\\") below `base` with FindPathNoCase,
// then makes sure the file, all symbolic links followed, lies inside the
// game folder `root` and is a regular file. Anything else comes back as a
// problem with its cause, so that the engine can report it as a missing file
// and write the cause to standard error.
GameFile FindGameFile(const std::filesystem::path& root, const std::filesystem::path& base,
                      std::string_view name);

// Reads a whole file in binary mode into *bytes, which must not be null. Only
// a regular file of at most `max_bytes` is read: a folder, device or FIFO is
// refused at once, without waiting for a writer or reading forever. On
// failure returns false and, if not null, stores the system's description of
// the error in `error` ("No such file or directory", "Is a directory", "not a
// regular file (a FIFO)", ...) and its kind in `problem`.
[[nodiscard]] bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes,
                                 std::string* error, uint64_t max_bytes = kMaxTextFileBytes,
                                 FileProblem* problem = nullptr);
[[nodiscard]] bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>* bytes,
                                 std::string* error, uint64_t max_bytes,
                                 FileProblem* problem = nullptr);

// Replaces the file at `path` with `bytes`. The data are written and flushed
// to a temporary file in the same directory (".NAME.tsumugi.PID.N.tmp"),
// which is then renamed over the target, so an interrupted or failed write
// leaves either the old or the new file, never a truncated one. Temporary
// files of the same target that a process killed while writing left behind
// are removed first. A symbolic link at `path` is followed, and
// the file it leads to is replaced; a path that names a folder, device or
// FIFO is refused. On failure returns false, removes the temporary file and,
// if `error` is not null, stores a description there. `before_rename`, when
// given, runs between writing and renaming (tests use it to stand for a
// crash at that moment).
[[nodiscard]] bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes,
                                  std::string* error,
                                  const std::function<void()>& before_rename = {});

// Paths are byte strings on this platform; the engine treats them as UTF-8.
std::string PathToUtf8(const std::filesystem::path& path);
std::filesystem::path PathFromUtf16(std::u16string_view text);

}  // namespace tsumugi
