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

// Where and why a save file does not follow the layout.
struct SaveFormatError {
  int line = 0;  // counted from 1
  std::u16string what;
};

// Reads the lines of a whole save file into *state. Fields the file does not
// hold (the choice numbers of stored lines, the texts beyond a memory's last
// line) keep what *state had. `file_number(name)` gives the scenario file of
// a catalogue name (it may end the engine with its own report). On a format
// error *state may be half read: read into a copy.
std::optional<SaveFormatError> ReadSaveLines(
    const std::vector<std::u16string>& lines, SaveState* state,
    const std::function<int32_t(const std::u16string&)>& file_number);

}  // namespace tsumugi
