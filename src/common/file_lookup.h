// File access helpers for game data written for a case-insensitive file
// system with backslash separators.
//
// None of these functions throw on file system errors.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tsumugi {

// Finds `relative` (separated by "/" or "\\") below `base`, ignoring case.
// If the path exists with exactly that spelling, it is returned. Otherwise
// each component is resolved in turn: an entry with exactly that name is
// used if present, else an entry whose name matches ignoring the case of
// ASCII and full-width Latin letters; among several such entries the first
// in byte order wins. Components before the last must resolve to
// directories. "." and ".." are kept as they are; empty components are
// skipped, so an empty `relative` yields `base` if it exists. Returns nullopt
// when a component cannot be resolved.
std::optional<std::filesystem::path> FindPathNoCase(const std::filesystem::path& base,
                                                    std::string_view relative);

// Reads a whole file in binary mode into *bytes, which must not be null. On
// failure (missing file, directory, no permission, read error) returns false
// and, if `error` is not null, stores the system's description of the error
// there.
bool ReadWholeFile(const std::filesystem::path& path, std::string* bytes, std::string* error);

// Replaces the file at `path` with `bytes`. The data are written and flushed
// to a temporary file in the same directory, which is then renamed over the
// target, so an interrupted or failed write leaves either the old or the new
// file, never a truncated one. On failure returns false, removes the
// temporary file and, if `error` is not null, stores a description there.
// `before_rename`, when given, runs between writing and renaming (tests use
// it to stand for a crash at that moment).
bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes, std::string* error,
                    const std::function<void()>& before_rename = {});

// Paths are byte strings on this platform; the engine treats them as UTF-8.
std::string PathToUtf8(const std::filesystem::path& path);
std::filesystem::path PathFromUtf16(std::u16string_view text);

}  // namespace tsumugi
