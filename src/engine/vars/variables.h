// The variable store: integer and text variables declared by the
// configuration file, 256 flags, the readers of integer arguments and
// expressions, substitution of values into text, colour words, and the
// commands that assign values (".let", ".rnd", ".now").
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/state/game_state.h"

namespace tsumugi {

class CommandArgs;
class HostClock;
class ScriptErrors;
struct EngineOptions;

enum class VariableKind { kInteger, kText };

class Variables {
 public:
  // The commands this part runs (Engine::RegisterCommands hands them
  // their lines' arguments, read by the command table).
  bool Let(CommandArgs& args);
  bool Rnd(CommandArgs& args);
  bool Now(CommandArgs& args);

  static constexpr int kFlagCount = tsumugi::kFlagCount;
  // ExpandText refuses to grow a text beyond this many characters, so that
  // a script doubling a text in a loop ends with a report, not out of memory.
  static constexpr size_t kMaxExpandedLength = size_t{1} << 20;

  // Registers ".let", ".rnd" and ".now".
  Variables(HostClock& clock, const EngineOptions& options, ScriptErrors& errors,
            VariableState& state);

  // The variables and flags as plain data (the engine's state of them).
  VariableState& Values() { return s_; }

  // --- Declarations (start-up only) ----------------------------------------
  // The four predefined integers "on", "off", "cx", "cy", no text
  // variables, every flag clear: as a new game starts.
  void ResetVariables();
  // Appends a name with the value 0 or the empty text; the tables stay
  // unsorted until FinishDeclarations.
  void DeclareVariable(VariableKind kind, std::u16string_view name);
  // Sorts both name tables and sets "on" to 1. Values are not moved, which
  // is right because all of them still hold their initial contents.
  void FinishDeclarations();

  // Seeds the generator of ".rnd" from the system clock.
  void Randomize();
  // Seeds it with a fixed value (tests, reproducible runs).
  void SeedRandom(uint32_t seed);

  // --- Lookup --------------------------------------------------------------
  // The index of an integer variable; an undeclared name ends the engine
  // with a report.
  int FindIntegerVariable(std::u16string_view name);
  // The index of an integer or text variable, or -1; nothing is reported.
  int LookUpIntegerVariable(std::u16string_view name) const;
  int FindTextVariable(std::u16string_view name) const;
  // Sets an integer variable found by name; an undeclared name is reported
  // (the predefined names always exist).
  void SetIntegerByName(std::u16string_view name, int32_t value);

  // --- Flags ---------------------------------------------------------------
  // A word beginning with "flag" names a flag.
  static bool IsFlagWord(std::u16string_view word) { return word.starts_with(u"flag"); }
  // The flag number of a "flag" word: its last three characters, 000 to 255;
  // anything else is reported.
  int FlagNumber(std::u16string_view word);
  // A flag as 1 or 0; set for any nonzero value. Numbers come from
  // FlagNumber; one outside the table reads 0 and is never written.
  int32_t ReadFlag(int number) const { return InFlagTable(number) && s_.Flags[number] ? 1 : 0; }
  void WriteFlag(int number, int32_t value) {
    if (InFlagTable(number)) s_.Flags[number] = value != 0;
  }
  static bool InFlagTable(int number) { return number >= 0 && number < kFlagCount; }

  // --- Arguments -----------------------------------------------------------
  // The signed 32-bit value of an argument word: a number, a flag, or an
  // integer variable, after substitution of references.
  int32_t ArgToInteger(std::u16string_view word);
  // True when a word is to be read as an integer rather than as a label or
  // name: empty, numeric, or after substitution a flag, an integer variable
  // or numeric.
  bool IsIntegerArgument(std::u16string_view word);
  // Evaluates an expression strictly left to right ("+", "-", "*", "/",
  // "%"; any other operator word is skipped with its operand).
  int32_t EvaluateExpression(std::u16string_view text);
  // The text with every "[name]" and "[name^picture]" reference replaced.
  std::u16string ExpandText(std::u16string text);
  // A colour word (one of sixteen names or RRGGBB) as 0x00BBGGRR, the
  // layout of gdi::ColorRef; any other word is reported.
  uint32_t ColourValue(std::u16string_view word);

 private:
  // ArgToInteger from the point where references are replaced.
  int32_t ArgToIntegerAfterExpansion(std::u16string_view word);
  // Appends the replacement of the reference "[" inner "]" to `out`.
  void AppendReference(std::u16string_view inner, std::u16string& out);
  int32_t Apply(std::u16string_view op, int32_t left, int32_t right);
  void AssignInteger(std::u16string_view target, int32_t value);
  float NextRandom();

  [[noreturn]] void ReportOutOfRange(std::u16string_view word);
  [[noreturn]] void ReportUndeclaredInteger(std::u16string_view name);

  HostClock& clock_;
  const EngineOptions& options_;
  ScriptErrors& errors_;
  VariableState& s_;
};

}  // namespace tsumugi
