// The commands that assign values: ".let" (an expression or a text), ".rnd"
// (a random integer from a range) and ".now" (a part of the date and time).
#include <algorithm>
#include <cmath>

#include "engine/engine_end.h"
#include "engine/engine_options.h"
#include "engine/messages.h"
#include "engine/script/command_args.h"
#include "engine/vars/variables.h"
#include "platform/host.h"

namespace tsumugi {

void Variables::AssignInteger(std::u16string_view target, int32_t value) {
  if (IsFlagWord(target)) {
    WriteFlag(FlagNumber(target), value);
  } else {
    s_.IntegerValues[FindIntegerVariable(target)] = value;
  }
}

// .let TARGET = VALUE   (the two characters after the target are not read)
bool Variables::Let(CommandArgs& args) {
  const std::u16string& target = args.Text(0);
  const std::u16string& value = args.Word(2);
  if (IsFlagWord(target)) {
    const int flag = FlagNumber(target);
    WriteFlag(flag, EvaluateExpression(value));
    return false;
  }
  // Integers are searched first: a name declared as both is an integer.
  if (const int index = LookUpIntegerVariable(target); index >= 0) {
    s_.IntegerValues[index] = EvaluateExpression(value);
    return false;
  }
  if (const int index = FindTextVariable(target); index >= 0) {
    s_.TextValues[index] = ExpandText(value);
    return false;
  }
  errors_.ScriptError(
      u"変数名 " + target + u"\r\n\r\n" + std::u16string(messages::kAssignsUndeclared), false);
}

// .rnd TARGET = LOW TO HIGH   (the words between are not read)
bool Variables::Rnd(CommandArgs& args) {
  const int32_t low = args.Integer(2);
  const int32_t high = args.Integer(4);

  // The largest integer not above r * (high - low + 1) + low. With high
  // below low the same formula gives a value from high + 1 to low - 1 (low
  // itself only for a draw of 0), which scripts may rely on. Doubles hold every term exactly enough
  // that the result stays within the bounds; the clamp only guards the conversion.
  const double span = static_cast<double>(high) - low + 1;
  const double drawn = std::floor(static_cast<double>(NextRandom()) * span + low);
  const auto result = static_cast<int32_t>(std::clamp(drawn, double{INT32_MIN}, double{INT32_MAX}));
  AssignInteger(args.Text(0), result);
  return false;
}

// .now TARGET = ITEM
bool Variables::Now(CommandArgs& args) {
  const std::u16string& item = args.Text(2);

  int32_t value = 0;
  if (item == u"millisecond") {
    // The millisecond counter, not the clock time: two readings measure
    // elapsed time. It wraps like the counter does.
    value = static_cast<int32_t>(clock_.TimeGetTime());
  } else if (item == u"year" || item == u"month" || item == u"day" || item == u"weekday" ||
             item == u"hour" || item == u"minute" || item == u"second") {
    const LocalDateTime now = clock_.LocalTime();
    if (item == u"year") value = now.year;
    if (item == u"month") value = now.month;
    if (item == u"day") value = now.day;
    if (item == u"weekday") value = now.Weekday();  // Sunday is 1
    if (item == u"hour") value = now.hour;
    if (item == u"minute") value = now.minute;
    if (item == u"second") value = now.second;
  }
  AssignInteger(args.Text(0), value);
  return false;
}

}  // namespace tsumugi
