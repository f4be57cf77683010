// Labels and control flow: jumps, calls with their memories, conditional
// blocks and leaving a block.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tsumugi {

class Engine;

class ControlFlow {
 public:
  static constexpr int kMemoryCount = 10;

  // Registers ".jmp", ".sub", ".skp" and ".cas".
  explicit ControlFlow(Engine& engine);

  // --- Call memories -------------------------------------------------------
  // The place each ".sub" left from: the scenario file (0: never set) and
  // the number of the ".sub" line in it. Ten fixed slots; save files store
  // and restore them.
  std::array<int32_t, kMemoryCount> MemoryFile{};
  std::array<int32_t, kMemoryCount> MemoryLine{};

  // --- Blocks --------------------------------------------------------------
  // Where a forward scan stands in the nesting of blocks.
  struct BlockScan {
    // Blocks open around the line last read; 0 when the scan has left the
    // block it started in.
    int depth = 1;
    // A choice or button block has opened and its list of choices or
    // definitions has not ended yet: the next line beginning with "." ends
    // the list and neither closes nor opens a block.
    bool in_list = false;
  };

  // Whether a line (leading tabs removed) opens a block that a line holding
  // only "." closes: ".cas..." , exactly ".slt" or ".btn", or ".rcl..."
  // unless its first argument expands to "exit" (which may report an error
  // in the expansion, at the current reading position).
  bool OpensBlock(std::u16string_view line);
  // Counts the line just read (leading tabs removed) into the scan.
  void TrackBlock(BlockScan& scan, std::u16string_view line);
  // Reads lines up to and including the "." that closes the block the
  // reader is in (nested blocks are passed over whole). `in_list`: the
  // caller has just read a ".slt" or ".btn" line itself, so its list comes
  // first. The end of the file first is reported.
  void SkipBlock(bool in_list = false);

  // --- Positioning ---------------------------------------------------------
  // Moves the reader forward as if it read lines until CurrentLineNumber
  // equals `line_number`: the lines are in memory, so it goes there at once.
  // When reading forward would run past the end of the file (the number lies
  // beyond it, or behind the current line), the reader stops on the last
  // line and the end of the file is reported, as reading would.
  void ReadLinesUntil(int line_number);
  // Continues in `file_word`'s scenario at the line after the label, or at
  // its first line when the label is empty. A missing label is reported
  // with the header of the line that asked for the jump.
  void JumpToLabel(const std::u16string& file_word, const std::u16string& label);

 private:
  bool Jmp();
  bool Sub();
  bool Skp();
  bool Cas();
  void ReturnFromCall();
  // A memory number outside 0..9 is reported.
  int CheckedMemoryNumber(int32_t number);

  Engine& e_;
};

}  // namespace tsumugi
