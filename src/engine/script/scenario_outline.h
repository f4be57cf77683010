// The outline of a scenario file: what each line is (text, command, a line
// of a list, a branch marker, a closing line, ...) and the blocks it forms,
// found with the block scanner the engine runs on. Needs no running engine:
// the checker reads games with it and the run record marks which lines can
// run at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/script/block_scan.h"

namespace tsumugi {

enum class LineRole : uint8_t {
  kText,     // handed to text output (the empty line too)
  kComment,  // ";..."
  kLabel,    // ":..."
  kCommand,  // handed to the dispatcher when reached (a known command or not)
  kChoice,   // a line of a menu's list of choices
  kButton,   // a line of a button block's list of definitions
  kListEnd,  // the line beginning with "." that ends a list (".", ".0", ...)
  kMarker,   // ".N" among the branches of a menu or button block
  kCase,     // a case line or ".els" of a ".cas" block
  kClose,    // "." closing a block (or, at the top, closing none)
};

// True for the roles a run can execute as a script line: the lines a trace
// names and coverage counts.
inline bool IsExecutable(LineRole role) {
  return role == LineRole::kText || role == LineRole::kCommand || role == LineRole::kChoice ||
         role == LineRole::kButton;
}

// The number N of a branch marker "." N (decimal, no sign, no leading zero,
// at least 1), as the branch search compares it; nullopt for anything else.
std::optional<int32_t> BranchMarkerNumber(std::u16string_view line);

struct OutlineBlock {
  BlockKind kind;
  int open_line = 0;   // line numbers from 1
  int close_line = 0;  // 0: the file ends first
  int list_end = 0;    // menus and button blocks: the line that ended the list
  int items = 0;       // choices or button definitions in the list
  // Branch markers of a menu or button block, by number, in file order.
  std::vector<std::pair<int32_t, int>> markers;
};

struct ScenarioOutline {
  // Role of each line, index 0 for line 1.
  std::vector<LineRole> roles;
  // Every block, in the order they open.
  std::vector<OutlineBlock> blocks;
  // Lines holding only "." that close no block.
  std::vector<int> stray_closes;
  // The first ".rcl" line whose first word is built by substitution (0:
  // none): whether it opens a block is known only when it runs.
  int uncertain_recall = 0;
};

// Outlines a file line by line, for a reader that holds one line at a time
// (the checker decodes each line only when it reads it). A ".rcl" line
// opens a block unless its first word is "exit"; a word with a "]" may be
// substituted into anything, so `uncertain_recall` notes it and it counts
// as opening a block (a recall point, its usual meaning).
class ScenarioOutliner {
 public:
  // `lines`: how many lines will be added, when known.
  explicit ScenarioOutliner(size_t lines = 0) { outline_.roles.reserve(lines); }
  // The next line, as read (tabs not yet removed).
  void Add(std::u16string_view raw);
  // The outline of the lines added so far (blocks still open have no
  // close line yet).
  const ScenarioOutline& SoFar() const { return outline_; }
  // The index in SoFar().blocks of the innermost block open after the
  // lines added, or -1.
  int Innermost() const { return open_.empty() ? -1 : static_cast<int>(open_.back()); }
  // The outline of the lines added; the outliner is then empty again.
  ScenarioOutline Finish();

 private:
  ScenarioOutline outline_;
  // The scan starts one level above the file, so that a "." at the top of
  // the file shows as a close that leaves that level.
  BlockScan scan_;
  std::vector<size_t> open_;  // indexes into outline_.blocks, innermost last
  int number_ = 0;
};

// Outlines a file's lines (as read, tabs not yet removed).
ScenarioOutline OutlineScenario(const std::vector<std::u16string>& lines);

// The line without its leading tabs, as the reader sees it.
std::u16string_view WithoutLeadingTabs(std::u16string_view line);

}  // namespace tsumugi
