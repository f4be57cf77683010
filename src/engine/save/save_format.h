// The layout of a save file: the call, recall and button memories, the 256
// flags and the variables, in the one order in which they are written and
// read. Lines are kept without their CR LF; encoding them is the caller's.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/game_text.h"
#include "engine/text/text_window.h"

namespace tsumugi {

// Everything a save file holds, as plain data.
struct SaveState {
  std::array<int32_t, kMemoryCount> CallFile{};
  std::array<int32_t, kMemoryCount> CallLine{};
  PageMemoryTable Recall;
  PageMemoryTable Button;
  std::array<bool, 256> Flags{};
  // The variables as the ".let" lines that restore them: integers, then
  // texts, each in the sorted order of their names.
  std::vector<std::u16string> VariableLines;

  friend bool operator==(const SaveState&, const SaveState&) = default;
};

// The lines of a save file. `file_name(n)` is the catalogue name of scenario
// file n, as "folder\name" (0 never reaches it: an empty memory is an empty
// line).
std::vector<std::u16string> SaveLines(const SaveState& state,
                                      const std::function<std::u16string(int32_t)>& file_name);

// The most characters of text a line of a save file may hold: a variable's
// ".let" line, or the text of a stored line (its two colours aside). That is
// twice the longest text substitution builds, so that every text a game
// makes fits with its name; a longer line is damage, and refusing it keeps
// what a load holds beside the file to a few copies of such a line.
inline constexpr size_t kMaxSaveLineText = size_t{2} << 20;

// Where and why a save file does not follow the layout.
struct SaveFormatError {
  int line = 0;  // counted from 1
  std::u16string what;
};

// Decodes a line of a save file; false when it is longer than any line of a
// save file can be (kMaxSaveLineText and two colour words).
[[nodiscard]] bool DecodeSaveLine(const GameText& text, std::string_view bytes,
                                  std::u16string* line);

// Reads a whole save file into *state. Fields the file does not hold (the
// choice numbers of stored lines, the texts beyond a memory's last line)
// keep what *state had. `file_number(name)` gives the scenario file of a
// catalogue name (it may end the engine with its own report). On a format
// error *state may be half read: read into a copy.
//
// With `variables`, the variable lines are checked but not copied into
// state->VariableLines: `*variables` is where they begin in the text, for
// ForEachVariableLine, so that a file of many variables is not held twice.
[[nodiscard]] std::optional<SaveFormatError> ReadSave(
    const GameText& text, SaveState* state,
    const std::function<int32_t(const std::u16string&)>& file_number, size_t* variables = nullptr);

// Calls f(line) with each variable line of a file ReadSave accepted, from
// `variables` on, in order.
void ForEachVariableLine(const GameText& text, size_t variables,
                         const std::function<void(std::u16string line)>& f);

}  // namespace tsumugi
