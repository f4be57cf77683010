// The save-file reader. What it accepts must come back unchanged when it is
// written out again and read back, through the same encoding a save uses.
#include "common/text_codec.h"
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
  const std::vector<std::u16string> lines = SplitLines(DecodeGameText(AsText(data, size)));
  SaveState state;
  if (ReadSaveLines(lines, &state, FileNumber)) return 0;
  const std::string bytes = SaveFiles::Encode(SaveLines(state, FileName));
  SaveState again;
  if (ReadSaveLines(SplitLines(DecodeGameText(bytes)), &again, FileNumber) || !(again == state)) {
    __builtin_trap();
  }
  return 0;
}

}  // namespace tsumugi::fuzz
