// Snapshot files: the whole state of a running game in one file, for quick
// save and load and for going back. The state itself is opaque here (the
// payload, a byte string); this is the container around it.
//
// The file is a PNG picture, so that image viewers and file managers show
// it: the picture is a 160x120 thumbnail of the screen, the caption, page
// text, date and engine time are international text chunks, and the payload
// is one private chunk placed after the image data:
//
//   "tsSn" chunk  "tsumugi\0"       8 bytes, tells our chunk from another
//                                   program's of the same name
//                 format version    uint32, big-endian as all of PNG
//                 flags             uint32, 0
//                 payload size      uint64, bytes once decompressed
//                 game size         uint32, then the game's name (UTF-8)
//                 the payload       one zstd frame with its content size
//                                   and content checksum
//
// The name and version come first in every version to come, so that a
// reader can always tell a newer file from a damaged one. The chunk's
// name: lower-case first letter, optional (viewers skip it); lower-case
// second, private; upper-case third, as PNG requires; lower-case last, safe
// to copy: it does not depend on the image, so a tool that rewrites the
// picture may keep it.
//
// A file is taken whole or not at all: reading checks every chunk's
// checksum, the sizes and the payload's own checksum before it returns
// anything.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/gdi/rect.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

// The newest format this build writes and reads. A change to the layout of
// the file or of the payload takes the next number; a file of a higher one
// is refused as newer. Version 2 added the game's own text lines kept beside
// the shown ones (a translation) at the payload's end; version 1 payloads,
// which end before them, are read as having none.
inline constexpr uint32_t kSnapshotFormatVersion = 2;

// The thumbnail MakeThumbnail draws, and the largest picture a snapshot may
// carry.
inline constexpr int kThumbnailWidth = 160;
inline constexpr int kThumbnailHeight = 120;
inline constexpr int kMaxThumbnailWidth = gdi::kScreenWidth;
inline constexpr int kMaxThumbnailHeight = gdi::kScreenHeight;
// The largest snapshot file read, and the largest payload: files and
// payloads above these are refused before they are read or decompressed, so
// a damaged or hostile file cannot make the engine hold more. A 640x480
// game's state is a few megabytes; the payload bound leaves room for a
// picture of the largest size the engine loads (4096 x 4096, 64 MB) and
// more.
inline constexpr uint64_t kMaxSnapshotFileBytes = uint64_t{64} << 20;
inline constexpr uint64_t kMaxSnapshotPayloadBytes = uint64_t{256} << 20;
// The longest name of a game a snapshot holds.
inline constexpr size_t kMaxSnapshotGameBytes = 1024;
// The caption and the page text are kept for showing, up to this many bytes
// of UTF-8 each; the state itself is in the payload, whole.
inline constexpr size_t kMaxSnapshotTextBytes = 64 << 10;

// What a snapshot shows about itself, readable by other programs too.
struct SnapshotMetadata {
  // The game's caption (the PNG text "Title").
  std::u16string caption;
  // The engine's clock when it was taken, in milliseconds
  // ("Tsumugi-Engine-Time").
  uint64_t engine_time_ms = 0;
  // When it was taken, local time, "YYYY-MM-DDTHH:MM:SS" ("Creation Time").
  std::string date;
  // The text of the page on the screen ("Description").
  std::u16string page_text;

  bool operator==(const SnapshotMetadata&) const = default;
};

struct SnapshotFile {
  uint32_t format_version = kSnapshotFormatVersion;
  // Names the game the snapshot belongs to (chosen by the engine; at most
  // kMaxSnapshotGameBytes). A reader expecting another game refuses it.
  std::string game;
  SnapshotMetadata metadata;
  // At most kMaxThumbnailWidth x kMaxThumbnailHeight, not empty.
  gdi::Surface thumbnail;
  // The state of the game, at most kMaxSnapshotPayloadBytes.
  std::string payload;
};

// Why a snapshot file was refused.
enum class SnapshotProblem {
  kNone,
  kMissing,       // there is no file
  kUnreadable,    // the system could not read it (permission, a folder, ...)
  kEmpty,         // the file is empty
  kTooLarge,      // the file, or the payload it declares, is over the limit
  kNotASnapshot,  // not a PNG, or a PNG without a snapshot in it
  kNewerVersion,  // written by a newer Tsumugi
  kOtherGame,     // a snapshot of another game
  kDamaged,       // a checksum or a size is wrong, or a part is malformed
  kTruncated,     // the file was cut short
};

// The problem in a few English words ("damaged", "cut short", ...).
const char* SnapshotProblemName(SnapshotProblem problem);

struct SnapshotReadResult {
  SnapshotProblem problem = SnapshotProblem::kNone;
  // When refused: what was found, in English, for standard error.
  std::string detail;
  // When accepted: the snapshot; otherwise left empty.
  SnapshotFile file;
};

// A screen shrunk to kThumbnailWidth x kThumbnailHeight, each pixel the
// average of the pixels it covers (a box filter), so that text and fine
// lines still read as shapes. A smaller screen is enlarged by repeating
// pixels. An empty screen gives a black thumbnail.
gdi::Surface MakeThumbnail(const gdi::Surface& screen);

// The bytes of the snapshot file. Fails, with a description in *error when
// it is not null, when the snapshot breaks a limit above (an empty or
// oversized thumbnail, a payload, game name or file over its bound, version
// 0) or a date that is not of the form "YYYY-MM-DDTHH:MM:SS". NUL
// characters and unpaired surrogates in the caption and page text become
// U+FFFD, as a PNG text cannot hold them, and a longer text than
// kMaxSnapshotTextBytes is cut after its last whole character.
[[nodiscard]] bool EncodeSnapshotFile(const SnapshotFile& snapshot, std::string* bytes,
                                      std::string* error);

// Reads a snapshot file of the game `game` from its bytes.
[[nodiscard]] SnapshotReadResult DecodeSnapshotFile(std::string_view bytes, std::string_view game);

// Writes the snapshot to `path` as save files are written: to a temporary
// file that then replaces the old one, so a failure leaves the old file.
[[nodiscard]] bool WriteSnapshotFile(const std::filesystem::path& path,
                                     const SnapshotFile& snapshot, std::string* error);

// Reads the snapshot file at `path`: a regular file only, its size checked
// before a byte of it is read.
[[nodiscard]] SnapshotReadResult ReadSnapshotFile(const std::filesystem::path& path,
                                                  std::string_view game);

}  // namespace tsumugi
