// The table of commands: every command's name, its forms and the words
// each form takes, written once. The dispatcher reads a command line by it
// and hands the handler its arguments evaluated; the author's checker walks
// the same table to check the words without running anything.
//
// A command line is ".nam" and a separator, then the arguments: words
// separated by single spaces (two spaces give an empty word), or the rest
// of the line as one argument. A form is a tree node: its arguments are
// taken in order, then a choice (a keyword, the kind of the next word ...)
// leads to the node that takes the words after them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tsumugi {

// What a word holds or names. The engine evaluates a word by its kind; the
// checker applies the kind's checks.
enum class ArgKind : uint8_t {
  // --- Integers: a number, an integer variable or a flag -------------------
  kInteger,
  // A memory number, 0 to 9.
  kMemory,
  // The lines of the text window: 1 to the most a window holds.
  kLineCount,
  // The mode of a media command: the modes 0 to `limit` play the file named
  // before it (only those look for the file).
  kPlayMode,
  // A CD track as written: a number (an empty word is track 1).
  kTrack,

  // --- Texts, with values substituted ---------------------------------------
  kText,
  // Text drawn on the screen.
  kShownText,
  // A picture file (".bmp", else ".jpg", added when the name has none).
  kPicture,
  // A media or cursor file; `detail` is the extension added when the name
  // has none.
  kMedia,
  // A scenario file, with or without the scenario extension.
  kScenario,
  // A label of the scenario named before it; empty: the first line.
  kLabel,
  // One of sixteen colour names or six hexadecimal digits (RRGGBB).
  kColour,
  // Where a picture command draws: "screen" or a page "offN".
  kDestination,
  // What a picture command draws: "screen", "base", a page or a picture.
  kSource,
  // The same for ".spr", which cannot draw "base".
  kSpriteSource,
  // "0" (none), a wipe pattern (up to three characters) or a cross-fade
  // level and frame count (SSEE or SSEEFF).
  kEffect,
  // A page ".tpr" prints on: "off1" or "off2", which must exist.
  kPrintPage,
  // A save file name (empty: the default save).
  kSaveName,
  // A flag or a variable whose value is loaded from a save.
  kLoadTarget,
  // A flag or an integer variable that is assigned.
  kIntegerTarget,
  // A flag, an integer or a text variable that is assigned.
  kVariableTarget,
  // The part of the date or time ".now" stores.
  kNowItem,

  // --- Taken as written ---------------------------------------------------------
  // A font face: the rest of the line, blanks included, not substituted.
  kFontFace,
  // An expression (words and operators), evaluated by the handler.
  kExpression,
  // The value ".let" assigns: a text for a text variable, else an
  // expression; evaluated by the handler.
  kLetValue,
  // Written for readability and not read ("=" in ".rnd").
  kIgnored,
};

// How much of the line an argument takes.
enum class Take : uint8_t {
  kWord,
  // The rest of the line.
  kRest,
  // One character, whatever follows it (".clk 12" reads as 1).
  kCharacter,
  // Two characters, whatever they are (the "= " of ".let").
  kTwoCharacters,
  // Nothing: the argument is left out in this form and has its `detail`.
  kNothing,
};

struct ArgDef {
  constexpr ArgDef(std::u16string_view label_as_shown, ArgKind kind_of_word)
      : label(label_as_shown), kind(kind_of_word) {}

  // As a synopsis shows it: MEMORY, X, NAME.
  std::u16string_view label;
  ArgKind kind = ArgKind::kInteger;
  Take take = Take::kWord;
  // Evaluated when the handler asks for it, not before the handler runs:
  // the handler checks something or acts first, and that must come first.
  bool later = false;
  // The extension of a kMedia file; for other kinds the value of an empty
  // word (or of one not taken).
  std::u16string_view detail;
  // The last mode of a kPlayMode that plays.
  int32_t limit = 0;

  constexpr ArgDef Rest() const {
    ArgDef a = *this;
    a.take = Take::kRest;
    return a;
  }
  constexpr ArgDef Later() const {
    ArgDef a = *this;
    a.later = true;
    return a;
  }
  constexpr ArgDef Taking(Take take_how) const {
    ArgDef a = *this;
    a.take = take_how;
    return a;
  }
  constexpr ArgDef Detail(std::u16string_view d) const {
    ArgDef a = *this;
    a.detail = d;
    return a;
  }
  constexpr ArgDef Limit(int32_t last) const {
    ArgDef a = *this;
    a.limit = last;
    return a;
  }
};

// How a choice picks its branch.
enum class Test : uint8_t {
  // The next word, substituted, is the keyword; the word is taken.
  kKeyword,
  // The rest of the line, substituted, is the keyword; it is taken.
  kRestIs,
  // The next word reads as an integer rather than a name (empty included).
  kIntegerWord,
  // The word after the next one is empty or, substituted, a number.
  kNumberAfter,
  // Always: the last branch of a choice.
  kOtherwise,
};

struct FormNode;

struct Branch {
  constexpr Branch(Test how, std::u16string_view word, const FormNode* node,
                   bool put_word_back = false)
      : test(how), keyword(word), next(node), put_back(put_word_back) {}

  Test test = Test::kOtherwise;
  std::u16string_view keyword;
  const FormNode* next = nullptr;
  // kOtherwise: the next word goes back onto the line substituted, to be
  // split again (".tpr" reads a left-out target's word as the x position).
  bool put_back = false;
};

struct FormNode {
  constexpr FormNode(std::u16string_view name = {}, std::span<const ArgDef> arguments = {},
                     std::span<const Branch> choice = {}, bool handler_chooses = false)
      : form(name), args(arguments), branches(choice), choose_later(handler_chooses) {}

  // The name handlers know the form by: "exit", "font color"; empty for a
  // command's only form.
  std::u16string_view form;
  std::span<const ArgDef> args;
  // After the arguments: the choice of the next node, if any.
  std::span<const Branch> branches;
  // The choice waits for the handler (CommandArgs::Choose), which checks
  // something before the word that decides it is read.
  bool choose_later = false;
};

struct CommandDef {
  constexpr CommandDef(std::u16string_view command_name, const FormNode* forms, bool waits = false)
      : name(command_name), root(forms), may_wait(waits) {}

  // The three characters after the ".".
  std::u16string_view name;
  const FormNode* root = nullptr;
  // The command may end with a wait: the run loop returns to the events.
  bool may_wait = false;
};

// Every command, in no particular order.
std::span<const CommandDef> AllCommands();
// The command of a name, or nullptr.
const CommandDef* FindCommand(std::u16string_view name);

// The words of a command line as commands take them.
struct LineWords {
  std::u16string_view rest;

  // Up to the next space, or all that is left.
  std::u16string_view Next() {
    const size_t space = rest.find(u' ');
    const std::u16string_view word = rest.substr(0, space);
    rest.remove_prefix(space == std::u16string_view::npos ? rest.size() : space + 1);
    return word;
  }
  // The word after the next one, without taking anything.
  std::u16string_view Second() const {
    LineWords ahead = *this;
    ahead.Next();
    return ahead.Next();
  }
  std::u16string_view Take(::tsumugi::Take take);
};

// The arguments of a command line: what follows its first five characters
// (the "." and name, and one separator).
inline LineWords ArgumentsOf(std::u16string_view line) {
  return {line.substr(std::min<size_t>(5, line.size()))};
}

// The shape of each form of a command, one line each: ".btn exit MEMORY MODE
// REDRAW".
std::u16string Synopsis(const CommandDef& command);

}  // namespace tsumugi
