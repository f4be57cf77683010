// A text file of a game (a scenario, the configuration, a save) held as its
// bytes and read line by line, each line decoded only when it is read: a
// file of 64 MB costs its bytes, never a UTF-16 copy of the whole or a
// string for every line.
//
// The lines and characters are exactly those of SplitLines(DecodeGameText(
// bytes)): the encoding is chosen once for the whole file, CR LF, LF and a
// lone CR end a line, and neither CP932 nor UTF-8 has a character that holds
// a CR or LF byte, so decoding line by line gives what decoding the whole
// gives.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tsumugi {

class GameText {
 public:
  GameText() = default;
  explicit GameText(std::string bytes);

  // The file holds NUL bytes: it is no text file.
  bool binary() const { return binary_; }

  // Where the first line begins (after a UTF-8 byte-order mark).
  size_t Start() const { return start_; }
  // No line begins at byte `at` or after it.
  bool AtEnd(size_t at) const { return at >= bytes_.size(); }
  // The line that begins at byte `*at`, as it is on disk without its line
  // end, into `line`; `*at` moves to the next line. False at the end.
  bool NextLine(size_t* at, std::string_view* line) const;
  // Calls f(bytes) with each line from the first.
  template <typename F>
  void ForEachLine(F&& f) const {
    std::string_view line;
    for (size_t at = start_; NextLine(&at, &line);) f(line);
  }
  // A line of the file, decoded.
  std::u16string Decode(std::string_view line) const;

 private:
  std::string bytes_;
  size_t start_ = 0;
  bool utf8_ = false;
  bool binary_ = false;
};

}  // namespace tsumugi
