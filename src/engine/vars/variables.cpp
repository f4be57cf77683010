#include "engine/vars/variables.h"

#include <chrono>

#include "common/strings.h"
#include "engine/engine_end.h"
#include "engine/engine_options.h"
#include "engine/messages.h"
#include "engine/script/catalogue.h"
#include "engine/script/command_args.h"
#include "engine/vars/number_text.h"
#include "platform/host.h"

namespace tsumugi {

namespace {

constexpr std::u16string_view kRangeText = u"扱える範囲（-2147483648～2147483647）";

int LastIndex(const std::vector<std::u16string>& names) {
  return static_cast<int>(names.size()) - 1;
}

// Takes the next word off `rest` the way the script reader splits
// arguments: up to the first space, or all of it.
std::u16string_view TakeWord(std::u16string_view& rest) {
  const size_t space = rest.find(u' ');
  std::u16string_view word = rest.substr(0, space);
  rest.remove_prefix(space == std::u16string_view::npos ? rest.size() : space + 1);
  return word;
}

}  // namespace

Variables::Variables(HostClock& clock, const EngineOptions& options, ScriptErrors& errors,
                     VariableState& state)
    : clock_(clock), options_(options), errors_(errors), s_(state) {
  // The store is usable from the start; ResetEngine builds it again with the
  // declarations of the configuration file.
  FinishDeclarations();
  Randomize();
}

// --- Declarations ------------------------------------------------------------

void Variables::ResetVariables() {
  const VariableState fresh;
  s_.IntegerNames = fresh.IntegerNames;
  s_.IntegerValues = fresh.IntegerValues;
  s_.TextNames = fresh.TextNames;
  s_.TextValues = fresh.TextValues;
  s_.Flags = fresh.Flags;
}

void Variables::DeclareVariable(VariableKind kind, std::u16string_view name) {
  if (kind == VariableKind::kInteger) {
    s_.IntegerNames.emplace_back(name);
    s_.IntegerValues.push_back(0);
  } else {
    s_.TextNames.emplace_back(name);
    s_.TextValues.emplace_back();
  }
}

void Variables::FinishDeclarations() {
  SortNames(s_.IntegerNames, 0, LastIndex(s_.IntegerNames));
  SortNames(s_.TextNames, 0, LastIndex(s_.TextNames));
  SetIntegerByName(u"on", 1);
}

void Variables::Randomize() {
  // The host gives the seed, unless the command line fixes it: the clock
  // with a player, a fixed value on the headless host, so that its runs
  // repeat exactly.
  const uint64_t now = options_.seed ? *options_.seed : clock_.RandomSeed();
  std::seed_seq seed{static_cast<uint32_t>(now), static_cast<uint32_t>(now >> 32)};
  s_.Random.seed(seed);
}

void Variables::SeedRandom(uint32_t seed) {
  s_.Random.seed(seed);
}

float Variables::NextRandom() {
  // 24 random bits: every float of the form k / 2^24, all exactly below 1.
  return static_cast<float>(s_.Random() >> 8) * (1.0f / 16777216.0f);
}

// --- Lookup --------------------------------------------------------------------

int Variables::LookUpIntegerVariable(std::u16string_view name) const {
  return FindName(s_.IntegerNames, name, 0, LastIndex(s_.IntegerNames));
}

int Variables::FindTextVariable(std::u16string_view name) const {
  if (s_.TextNames.empty()) return -1;
  return FindName(s_.TextNames, name, 0, LastIndex(s_.TextNames));
}

int Variables::FindIntegerVariable(std::u16string_view name) {
  const int index = LookUpIntegerVariable(name);
  if (index < 0) ReportUndeclaredInteger(name);
  return index;
}

void Variables::SetIntegerByName(std::u16string_view name, int32_t value) {
  s_.IntegerValues[FindIntegerVariable(name)] = value;
}

void Variables::ReportUndeclaredInteger(std::u16string_view name) {
  errors_.ScriptError(u"変数名 " + std::u16string(name) + u"\r\n\r\n" +
                          std::u16string(messages::kUndeclaredInteger),
                      false);
}

void Variables::ReportOutOfRange(std::u16string_view word) {
  errors_.ScriptError(u"数値 " + std::u16string(word) + u"\r\n\r\n" + std::u16string(kRangeText) +
                          u"を超える数値が使われました",
                      false);
}

// --- Flags -----------------------------------------------------------------------

int Variables::FlagNumber(std::u16string_view word) {
  if (word.size() >= 3) {
    int number = 0;
    bool digits = true;
    for (char16_t c : word.substr(word.size() - 3)) {
      if (c < u'0' || c > u'9') {
        digits = false;
        break;
      }
      number = number * 10 + (c - u'0');
    }
    if (digits && number < kFlagCount) return number;
  }
  errors_.ScriptError(
      u"フラグ名 " + std::u16string(word) + u"\r\n\r\n" + std::u16string(messages::kBadFlagName),
      false);
}

// --- Arguments -------------------------------------------------------------------

int32_t Variables::ArgToIntegerAfterExpansion(std::u16string_view word) {
  const ParsedNumber number = ParseNumber(word);
  if (number.kind == NumberKind::kValue) return number.value;
  if (number.kind == NumberKind::kOutOfRange) ReportOutOfRange(word);
  if (word.empty()) return 0;
  if (IsFlagWord(word)) return ReadFlag(FlagNumber(word));
  return s_.IntegerValues[FindIntegerVariable(word)];
}

int32_t Variables::ArgToInteger(std::u16string_view word) {
  // Without a "]" substitution would change nothing: the common case takes
  // no copy of the word.
  if (word.find(u']') == std::u16string_view::npos) return ArgToIntegerAfterExpansion(word);
  const ParsedNumber number = ParseNumber(word);
  if (number.kind == NumberKind::kValue) return number.value;
  if (number.kind == NumberKind::kOutOfRange) ReportOutOfRange(word);
  return ArgToIntegerAfterExpansion(ExpandText(std::u16string(word)));
}

bool Variables::IsIntegerArgument(std::u16string_view word) {
  if (word.empty() || ParseNumber(word).kind != NumberKind::kNotNumeric) return true;
  std::u16string expanded;
  if (word.find(u']') != std::u16string_view::npos) {
    expanded = ExpandText(std::u16string(word));
    word = expanded;
  }
  return IsFlagWord(word) || LookUpIntegerVariable(word) >= 0 ||
         ParseNumber(word).kind != NumberKind::kNotNumeric;
}

int32_t Variables::Apply(std::u16string_view op, int32_t left, int32_t right) {
  int64_t result;
  if (op == u"+") {
    result = int64_t{left} + right;
  } else if (op == u"-") {
    result = int64_t{left} - right;
  } else if (op == u"*") {
    result = int64_t{left} * right;
  } else if (op == u"/" || op == u"%") {
    if (right == 0) {
      errors_.ScriptError(u"計算 " + ToDecimal(left) + u" " + std::u16string(op) + u" 0\r\n\r\n" +
                              std::u16string(messages::kDivisionByZero),
                          false);
    }
    // 64 bits keep -2147483648 / -1 defined; C++ truncates toward zero and
    // gives the remainder the sign of the left side.
    result = op == u"/" ? int64_t{left} / right : int64_t{left} % right;
  } else {
    // Not an operator: the word and its operand are skipped.
    return left;
  }
  if (result < INT32_MIN || result > INT32_MAX) {
    errors_.ScriptError(u"計算 " + ToDecimal(left) + u" " + std::u16string(op) + u" " +
                            ToDecimal(right) + u"\r\n\r\n計算結果が" + std::u16string(kRangeText) +
                            u"を超えました",
                        false);
  }
  return static_cast<int32_t>(result);
}

int32_t Variables::EvaluateExpression(std::u16string_view rest) {
  int32_t result = ArgToInteger(TakeWord(rest));
  while (!rest.empty()) {
    const std::u16string_view op = TakeWord(rest);
    // The operand is read even when the operator turns out to be no
    // operator, so that its errors are reported all the same.
    const int32_t operand = ArgToInteger(TakeWord(rest));
    result = Apply(op, result, operand);
  }
  return result;
}

}  // namespace tsumugi
