// The nesting of blocks as every forward scan of a scenario sees it: the
// block skip, the case scan, the branch search of menus and buttons, and the
// author's checker. It needs no running engine, so that the checker and the
// engine cannot disagree about where a block begins and ends.
#pragma once

#include <string_view>

namespace tsumugi {

// The blocks a line holding only "." closes.
enum class BlockKind {
  kCase,     // ".cas ..."
  kChoice,   // exactly ".slt"
  kButtons,  // exactly ".btn"
  kRecall,   // ".rcl ..." unless its first argument expands to "exit"
};

// The first argument of a command line: from the sixth character up to the
// next space (what the command takes first after its name and separator).
std::u16string_view FirstArgument(std::u16string_view line);

// Case lines of a ".cas" block begin with ".=", ".<", ".>" or ".!=".
bool IsCaseLine(std::u16string_view line);

// The comparison of a case line, by its first word. Anything else (".=>",
// ".<5" written without a space) is no operator and never matches.
enum class CaseOperator {
  kNone,
  kEqual,
  kNotEqual,
  kLess,
  kLessOrEqual,
  kGreater,
  kGreaterOrEqual
};
CaseOperator ParseCaseOperator(std::u16string_view word);

// The kind of block a line (leading tabs removed) opens, if any.
// `expands_to_exit(word)` decides a ".rcl" line's first argument; the
// engine substitutes the word, the checker can only read it as written.
template <typename ExpandsToExit>
bool OpensBlock(std::u16string_view line, ExpandsToExit&& expands_to_exit, BlockKind* kind) {
  if (line.size() < 4 || line[0] != u'.') return false;
  const std::u16string_view head = line.substr(0, 4);
  if (head == u".cas") {
    *kind = BlockKind::kCase;
    return true;
  }
  if (head == u".slt" || head == u".btn") {
    *kind = head == u".slt" ? BlockKind::kChoice : BlockKind::kButtons;
    return line.size() == 4;
  }
  if (head != u".rcl" || expands_to_exit(FirstArgument(line))) return false;
  *kind = BlockKind::kRecall;
  return true;
}

// Where a forward scan stands in the nesting of blocks.
struct BlockScan {
  // What the last line tracked did.
  enum class Step {
    kNone,       // nothing: an ordinary line, or a line of a list
    kOpened,     // opened a block of `opened`
    kClosed,     // closed the innermost block
    kListEnded,  // ended the list of choices or button definitions
  };

  // Blocks open around the line last read; 0 when the scan has left the
  // block it started in.
  int depth = 1;
  // A choice or button block has opened and its list of choices or
  // definitions has not ended yet: the next line beginning with "." ends
  // the list and neither closes nor opens a block.
  bool in_list = false;
  // The kind of the block the last kOpened step opened.
  BlockKind opened = BlockKind::kCase;

  // Counts the line just read (leading tabs removed) into the scan.
  template <typename ExpandsToExit>
  Step Track(std::u16string_view line, ExpandsToExit&& expands_to_exit) {
    if (in_list) {
      // The list ends at its first line beginning with "."; that line is
      // part of the block's head, even when it is "." alone.
      if (line.empty() || line[0] != u'.') return Step::kNone;
      in_list = false;
      return Step::kListEnded;
    }
    if (line == u".") {
      --depth;
      return Step::kClosed;
    }
    if (!OpensBlock(line, expands_to_exit, &opened)) return Step::kNone;
    ++depth;
    in_list = opened == BlockKind::kChoice || opened == BlockKind::kButtons;
    return Step::kOpened;
  }
};

}  // namespace tsumugi
