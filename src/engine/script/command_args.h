// The arguments of one command line, read by the command table: the form
// the line takes and each argument as written and evaluated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/script/command_table.h"

namespace tsumugi {

class Pages;
class ScriptErrors;
class Variables;

class CommandArgs {
 public:
  // Reads a command line by the command's forms, evaluating each argument
  // in order as it is taken, except those marked `later`; the reading stops
  // at a choice left to the handler.
  CommandArgs(Variables& vars, ScriptErrors& errors, Pages& pages, const CommandDef& command,
              std::u16string_view line);
  CommandArgs(const CommandArgs&) = delete;
  CommandArgs& operator=(const CommandArgs&) = delete;

  // The name of the form the line takes ("exit", "font color", ...).
  std::u16string_view Form() const { return node_->form; }
  // The i-th keyword taken, and the same as written (it matched after
  // substitution).
  std::u16string_view Keyword(size_t i) const { return keywords_[i]; }
  const std::u16string& WrittenKeyword(size_t i) const { return written_keywords_[i]; }
  // The word a choice left to the handler decides by, as written.
  std::u16string_view NextWord() const;
  // Makes the choice left to the handler and reads on.
  void Choose();

  // Argument i of the form, counted across its keywords: as written.
  const std::u16string& Word(size_t i) const { return values_[i].word; }
  bool Given(size_t i) const { return !values_[i].word.empty(); }
  // Its value; an argument marked `later` is evaluated at the first call.
  int32_t Integer(size_t i) { return Evaluated(i).number; }
  const std::u16string& Text(size_t i) { return Evaluated(i).text; }
  uint32_t Colour(size_t i) { return static_cast<uint32_t>(Evaluated(i).number); }

  // What the form did not take: reading a line word by word leaves it.
  std::u16string_view Leftover() const { return words_.rest; }

 private:
  struct Value {
    const ArgDef* def = nullptr;
    std::u16string word;
    std::u16string text;
    int32_t number = 0;
    bool evaluated = false;
  };

  void Read();
  const FormNode& Chosen(std::span<const Branch> branches);
  Value& Evaluated(size_t i);
  void Evaluate(Value& value);

  Variables& vars_;
  ScriptErrors& errors_;
  Pages& pages_;
  std::u16string line_;
  // The line again, a word put back into it (see Branch::put_back).
  std::u16string rebuilt_;
  LineWords words_;
  const FormNode* node_;
  std::vector<Value> values_;
  std::vector<std::u16string_view> keywords_;
  std::vector<std::u16string> written_keywords_;
  bool handler_chooses_ = false;
};

}  // namespace tsumugi
