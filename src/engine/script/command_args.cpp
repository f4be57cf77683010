#include "engine/script/command_args.h"

#include "engine/engine_end.h"
#include "engine/graphics/pages.h"
#include "engine/messages.h"
#include "engine/vars/number_text.h"
#include "engine/vars/variables.h"

namespace tsumugi {

CommandArgs::CommandArgs(Variables& vars, ScriptErrors& errors, Pages& pages,
                         const CommandDef& command, std::u16string_view line)
    : vars_(vars),
      errors_(errors),
      pages_(pages),
      line_(line),
      words_(ArgumentsOf(line_)),
      node_(command.root) {
  // Handlers keep references to values while a later choice adds more.
  values_.reserve(16);
  Read();
}

void CommandArgs::Read() {
  for (;;) {
    for (const ArgDef& def : node_->args) {
      Value& value = values_.emplace_back();
      value.def = &def;
      value.word = words_.Take(def.take);
      if (!def.later) Evaluate(value);
    }
    if (node_->branches.empty()) return;
    if (node_->choose_later && !handler_chooses_) return;
    handler_chooses_ = false;
    node_ = &Chosen(node_->branches);
  }
}

std::u16string_view CommandArgs::NextWord() const {
  LineWords ahead = words_;
  return ahead.Next();
}

void CommandArgs::Choose() {
  handler_chooses_ = true;
  Read();
}

const FormNode& CommandArgs::Chosen(std::span<const Branch> branches) {
  Variables& vars = vars_;
  // The next word, substituted once for all the keywords it is compared with.
  std::u16string next;
  bool next_expanded = false;
  for (const Branch& branch : branches) {
    switch (branch.test) {
      case Test::kKeyword: {
        if (!next_expanded) {
          next = vars.ExpandText(std::u16string(NextWord()));
          next_expanded = true;
        }
        if (next != branch.keyword) continue;
        keywords_.push_back(branch.keyword);
        written_keywords_.emplace_back(words_.Next());
        return *branch.next;
      }
      case Test::kRestIs:
        if (vars.ExpandText(std::u16string(words_.rest)) != branch.keyword) continue;
        keywords_.push_back(branch.keyword);
        written_keywords_.emplace_back(words_.Take(Take::kRest));
        return *branch.next;
      case Test::kIntegerWord:
        if (!vars.IsIntegerArgument(NextWord())) continue;
        return *branch.next;
      case Test::kNumberAfter: {
        const std::u16string_view second = words_.Second();
        if (!second.empty() &&
            ParseNumber(vars.ExpandText(std::u16string(second))).kind == NumberKind::kNotNumeric) {
          continue;
        }
        return *branch.next;
      }
      case Test::kOtherwise:
        if (branch.put_back) {
          if (!next_expanded) next = vars.ExpandText(std::u16string(NextWord()));
          words_.Next();
          rebuilt_ = next + u" " + std::u16string(words_.rest);
          words_.rest = rebuilt_;
        }
        return *branch.next;
    }
  }
  return *branches.back().next;
}

CommandArgs::Value& CommandArgs::Evaluated(size_t i) {
  Value& value = values_[i];
  if (!value.evaluated) Evaluate(value);
  return value;
}

void CommandArgs::Evaluate(Value& value) {
  Variables& vars = vars_;
  ScriptErrors& script = errors_;
  const ArgDef& def = *value.def;
  value.evaluated = true;
  switch (def.kind) {
    case ArgKind::kInteger:
    case ArgKind::kLineCount:
    case ArgKind::kPlayMode:
      value.number = vars.ArgToInteger(value.word);
      return;
    case ArgKind::kMemory:
      value.number = vars.ArgToInteger(value.word);
      if (value.number < 0 || value.number >= kMemoryCount) {
        script.ScriptError(std::u16string(messages::kBadMemoryNumber), false);
      }
      return;
    case ArgKind::kTrack: {
      value.text = vars.ExpandText(value.word);
      value.number = 1;
      if (value.text.empty()) return;
      const ParsedNumber number = ParseNumber(value.text);
      if (number.kind == NumberKind::kNotNumeric) {
        script.ScriptError(messages::TrackNotNumeric(value.text), false);
      }
      // A number beyond the integer range is beyond every disc too.
      value.number = number.kind == NumberKind::kValue ? number.value : 0;
      return;
    }
    case ArgKind::kColour:
      value.text = vars.ExpandText(value.word);
      value.number = static_cast<int32_t>(vars.ColourValue(value.text));
      return;
    case ArgKind::kPrintPage:
      value.text = vars.ExpandText(std::u16string(value.word.empty() ? def.detail : value.word));
      // Pages exist up to the count the configuration file gave.
      if (value.text != u"screen" && pages_.Page(value.text == u"off1" ? 1 : 2) == nullptr) {
        script.ScriptError(messages::NoPrintPage(value.text), false);
      }
      return;
    case ArgKind::kMedia:
      value.text = vars.ExpandText(value.word);
      return;
    case ArgKind::kFontFace:
    case ArgKind::kExpression:
    case ArgKind::kLetValue:
    case ArgKind::kIgnored:
      value.text = value.word;
      return;
    case ArgKind::kText:
    case ArgKind::kShownText:
    case ArgKind::kPicture:
    case ArgKind::kScenario:
    case ArgKind::kLabel:
    case ArgKind::kDestination:
    case ArgKind::kSource:
    case ArgKind::kSpriteSource:
    case ArgKind::kEffect:
    case ArgKind::kSaveName:
    case ArgKind::kLoadTarget:
    case ArgKind::kIntegerTarget:
    case ArgKind::kVariableTarget:
    case ArgKind::kNowItem:
      value.text = vars.ExpandText(value.word.empty() ? std::u16string(def.detail) : value.word);
      return;
  }
}

}  // namespace tsumugi
