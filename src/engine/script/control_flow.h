// Labels and control flow: jumps, calls with their memories, conditional
// blocks and leaving a block.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/script/block_scan.h"
#include "engine/state/game_state.h"

namespace tsumugi {

class CommandArgs;
class Catalogue;
class Script;
class Variables;
struct Settings;

class ControlFlow {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Jmp(CommandArgs& args);
  bool Sub(CommandArgs& args);
  bool Skp(CommandArgs& args);
  bool Cas(CommandArgs& args);

  // Registers ".jmp", ".sub", ".skp" and ".cas".
  ControlFlow(Settings& settings, Catalogue& catalogue, Script& script, Variables& vars,
              ScriptState& script_state, CallMemoryState& state);

  // --- Blocks --------------------------------------------------------------
  // Whether a line (leading tabs removed) opens a block: the shared block
  // scanner, with a ".rcl" line's first argument expanded (which may report
  // an error in the expansion, at the current reading position).
  bool OpensBlock(std::u16string_view line);
  // Counts the line just read (leading tabs removed) into the scan.
  BlockScan::Step TrackBlock(BlockScan& scan, std::u16string_view line);
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
  void ReturnFromCall(int memory);
  // The block scanner's test of a ".rcl" line's first argument: the word
  // as the command would expand it.
  auto ExpandsToExit();

  Settings& settings_;
  Catalogue& catalogue_;
  Script& script_;
  Variables& vars_;
  ScriptState& script_state_;
  CallMemoryState& s_;
};

}  // namespace tsumugi
