// The commands that assign values: ".let" (an expression or a text), ".rnd"
// (a random integer from a range) and ".now" (a part of the date and time).
#include <algorithm>
#include <cmath>

#include "engine/engine.h"
#include "engine/vars/variables.h"

namespace tsumugi {

namespace {

// Drops the "= " written between a target and its value; it is not checked.
void DropTwoCharacters(std::u16string& line) {
  line.erase(0, std::min<size_t>(2, line.size()));
}

}  // namespace

void Variables::AssignInteger(std::u16string_view target, int32_t value) {
  if (IsFlagWord(target)) {
    WriteFlag(FlagNumber(target), value);
  } else {
    s_.IntegerValues[FindIntegerVariable(target)] = value;
  }
}

bool Variables::Let() {
  Script& script = e_.script;
  script.DropCommandName();
  const std::u16string target = ExpandText(script.NextArgument());
  DropTwoCharacters(e_.state.script.CurrentLine);

  if (IsFlagWord(target)) {
    const int flag = FlagNumber(target);
    WriteFlag(flag, EvaluateExpression());
    return false;
  }
  // Integers are searched first: a name declared as both is an integer.
  if (const int index = LookUpIntegerVariable(target); index >= 0) {
    const int32_t value = EvaluateExpression();
    s_.IntegerValues[index] = value;
    return false;
  }
  if (const int index = FindTextVariable(target); index >= 0) {
    std::u16string rest = script.TakeRest();
    s_.TextValues[index] = ExpandText(std::move(rest));
    return false;
  }
  script.ScriptError(u"変数名 " + target + u"\r\n\r\n宣言されていない変数に代入しようとしました",
                     false);
}

bool Variables::Rnd() {
  Script& script = e_.script;
  script.DropCommandName();
  const std::u16string target = ExpandText(script.NextArgument());
  script.NextArgument();
  const int32_t low = ArgToInteger(script.NextArgument());
  script.NextArgument();
  const int32_t high = ArgToInteger(script.NextArgument());

  // The largest integer not above r * (high - low + 1) + low. With high
  // below low the same formula gives a value from high + 1 to low - 1 (low
  // itself only for a draw of 0), which scripts may rely on. Doubles hold every term exactly enough
  // that the result stays within the bounds; the clamp only guards the conversion.
  const double span = static_cast<double>(high) - low + 1;
  const double drawn = std::floor(static_cast<double>(NextRandom()) * span + low);
  const auto result = static_cast<int32_t>(std::clamp(drawn, double{INT32_MIN}, double{INT32_MAX}));
  AssignInteger(target, result);
  return false;
}

bool Variables::Now() {
  Script& script = e_.script;
  script.DropCommandName();
  const std::u16string target = ExpandText(script.NextArgument());
  DropTwoCharacters(e_.state.script.CurrentLine);
  std::u16string rest = script.TakeRest();
  const std::u16string item = ExpandText(std::move(rest));

  int32_t value = 0;
  if (item == u"millisecond") {
    // The millisecond counter, not the clock time: two readings measure
    // elapsed time. It wraps like the counter does.
    value = static_cast<int32_t>(e_.host.TimeGetTime());
  } else if (item == u"year" || item == u"month" || item == u"day" || item == u"weekday" ||
             item == u"hour" || item == u"minute" || item == u"second") {
    const LocalDateTime now = e_.host.LocalTime();
    if (item == u"year") value = now.year;
    if (item == u"month") value = now.month;
    if (item == u"day") value = now.day;
    if (item == u"weekday") value = now.Weekday();  // Sunday is 1
    if (item == u"hour") value = now.hour;
    if (item == u"minute") value = now.minute;
    if (item == u"second") value = now.second;
  }
  AssignInteger(target, value);
  return false;
}

}  // namespace tsumugi
