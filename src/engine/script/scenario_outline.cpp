#include "engine/script/scenario_outline.h"

namespace tsumugi {

std::u16string_view WithoutLeadingTabs(std::u16string_view line) {
  const size_t first = line.find_first_not_of(u'\t');
  return first == std::u16string_view::npos ? std::u16string_view() : line.substr(first);
}

std::optional<int32_t> BranchMarkerNumber(std::u16string_view line) {
  if (line.size() < 2 || line.size() > 11 || line[0] != u'.' || line[1] == u'0') return std::nullopt;
  int64_t n = 0;
  for (char16_t c : line.substr(1)) {
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + (c - u'0');
  }
  if (n > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(n);
}

void ScenarioOutliner::Add(std::u16string_view raw) {
  const int number = ++number_;
  auto expands_to_exit = [&](std::u16string_view word) {
    if (word.find(u']') != std::u16string_view::npos && outline_.uncertain_recall == 0) {
      outline_.uncertain_recall = number;
    }
    return word == u"exit";
  };
  const std::u16string_view line = WithoutLeadingTabs(raw);
  const bool in_list = scan_.in_list;
  LineRole role;
  switch (scan_.Track(line, expands_to_exit)) {
    case BlockScan::Step::kOpened:
      role = LineRole::kCommand;
      open_.push_back(outline_.blocks.size());
      outline_.blocks.push_back({scan_.opened, number, 0, 0, 0, {}});
      break;
    case BlockScan::Step::kClosed:
      role = LineRole::kClose;
      if (open_.empty()) {
        outline_.stray_closes.push_back(number);
        scan_.depth = 1;
      } else {
        outline_.blocks[open_.back()].close_line = number;
        open_.pop_back();
      }
      break;
    case BlockScan::Step::kListEnded:
      role = LineRole::kListEnd;
      outline_.blocks[open_.back()].list_end = number;
      break;
    case BlockScan::Step::kNone:
    default:
      if (in_list) {
        OutlineBlock& block = outline_.blocks[open_.back()];
        ++block.items;
        role = block.kind == BlockKind::kChoice ? LineRole::kChoice : LineRole::kButton;
      } else if (line.empty()) {
        role = LineRole::kText;
      } else if (line[0] == u';') {
        role = LineRole::kComment;
      } else if (line[0] == u':') {
        role = LineRole::kLabel;
      } else if (line[0] != u'.') {
        role = LineRole::kText;
      } else {
        role = LineRole::kCommand;
        if (!open_.empty()) {
          OutlineBlock& block = outline_.blocks[open_.back()];
          if (block.kind == BlockKind::kCase && (IsCaseLine(line) || line == u".els")) {
            role = LineRole::kCase;
          } else if (block.kind == BlockKind::kChoice || block.kind == BlockKind::kButtons) {
            if (const std::optional<int32_t> n = BranchMarkerNumber(line)) {
              role = LineRole::kMarker;
              block.markers.emplace_back(*n, number);
            }
          }
        }
      }
      break;
  }
  outline_.roles.push_back(role);
}

ScenarioOutline ScenarioOutliner::Finish() {
  ScenarioOutline outline = std::move(outline_);
  *this = ScenarioOutliner();
  return outline;
}

ScenarioOutline OutlineScenario(const std::vector<std::u16string>& lines) {
  ScenarioOutliner outliner(lines.size());
  for (const std::u16string& line : lines) outliner.Add(line);
  return outliner.Finish();
}

}  // namespace tsumugi
