// The save-file reader. What it accepts must come back unchanged when it is
// written out again and read back, through the same encoding a save uses.
#include "common/game_text.h"
#include "engine/save/save_files.h"
#include "engine/save/save_format.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch.h"

namespace tsumugi::fuzz {

namespace {

// Two scenarios, as a catalogue would name them; other names are unknown.
int32_t FileNumber(const std::u16string& name) {
  if (name == u"start") return 1;
  if (name == u"story\\ch1") return 2;
  return 0;
}

std::u16string FileName(int32_t file) {
  return file == 1 ? u"start" : file == 2 ? u"story\\ch1" : u"";
}

}  // namespace

int Save(const uint8_t* data, size_t size) {
  const GameText text{std::string(AsText(data, size))};
  SaveState state;
  if (ReadSave(text, &state, FileNumber)) return 0;
  // Read as a load reads it, the variable lines left in the text: the same
  // lines, in order.
  SaveState memories;
  size_t variables = 0;
  if (ReadSave(text, &memories, FileNumber, &variables)) __builtin_trap();
  std::vector<std::u16string> lines;
  ForEachVariableLine(text, variables, [&](std::u16string line) { lines.push_back(std::move(line)); });
  if (lines != state.VariableLines || !memories.VariableLines.empty()) __builtin_trap();

  const std::string bytes = SaveFiles::Encode(SaveLines(state, FileName));
  SaveState again;
  if (ReadSave(GameText(bytes), &again, FileNumber) || !(again == state)) __builtin_trap();
  return 0;
}

}  // namespace tsumugi::fuzz
