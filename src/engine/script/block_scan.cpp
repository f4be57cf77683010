#include "engine/script/block_scan.h"

#include <algorithm>

namespace tsumugi {

std::u16string_view FirstArgument(std::u16string_view line) {
  std::u16string_view argument = line.substr(std::min<size_t>(5, line.size()));
  return argument.substr(0, argument.find(u' '));
}

bool IsCaseLine(std::u16string_view line) {
  return line.starts_with(u".=") || line.starts_with(u".<") || line.starts_with(u".>") ||
         line.starts_with(u".!=");
}

CaseOperator ParseCaseOperator(std::u16string_view word) {
  if (word == u".=" || word == u".==") return CaseOperator::kEqual;
  if (word == u".!=" || word == u".<>") return CaseOperator::kNotEqual;
  if (word == u".<") return CaseOperator::kLess;
  if (word == u".<=") return CaseOperator::kLessOrEqual;
  if (word == u".>") return CaseOperator::kGreater;
  if (word == u".>=") return CaseOperator::kGreaterOrEqual;
  return CaseOperator::kNone;
}

}  // namespace tsumugi
