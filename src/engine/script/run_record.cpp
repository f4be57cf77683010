#include "engine/script/run_record.h"

#include <ostream>

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/script/catalogue.h"
#include "engine/startup/settings.h"
#include "platform/host.h"
#include "engine/script/scenario_outline.h"

namespace tsumugi {

void RunRecord::Start(std::ostream* trace, bool coverage) {
  trace_ = trace;
  coverage_ = coverage;
  counts_.clear();
}

void RunRecord::Record(int file, int line_number, std::u16string_view text) {
  if (file <= 0 || line_number <= 0) return;
  if (trace_) {
    // One line a script line: engine time, file:line and the line itself,
    // separated by tabs.
    *trace_ << clock_.TimeGetTime() << '\t' << Where(file, line_number) << '\t'
            << Utf16ToUtf8(text) << '\n';
  }
  if (coverage_) {
    if (counts_.size() <= static_cast<size_t>(file)) counts_.resize(static_cast<size_t>(file) + 1);
    std::vector<uint64_t>& lines = counts_[static_cast<size_t>(file)];
    if (lines.size() < static_cast<size_t>(line_number)) lines.resize(line_number);
    ++lines[static_cast<size_t>(line_number) - 1];
  }
}

std::string RunRecord::Where(int file, int line_number) const {
  return Utf16ToUtf8(catalogue_.File(file).name + settings_.ScenarioExtension) + ':' +
         std::to_string(line_number);
}

void RunRecord::WriteTextLine(int file, int line_number, std::u16string_view text) {
  if (file <= 0 || line_number <= 0 || text.empty()) return;
  *text_log_ << clock_.TimeGetTime() << '\t' << Where(file, line_number) << '\t'
             << Utf16ToUtf8(text) << '\n';
}

int RunRecord::CatalogueFiles() const { return catalogue_.CatalogueCount(); }

std::vector<std::pair<int, uint64_t>> RunRecord::CountedLines(int file) const {
  std::vector<std::pair<int, uint64_t>> lines;
  const ScenarioFile& scenario = catalogue_.File(file);
  if (scenario.binary) return lines;
  const std::vector<uint64_t> none;
  const std::vector<uint64_t>& counts =
      static_cast<size_t>(file) < counts_.size() ? counts_[static_cast<size_t>(file)] : none;
  const ScenarioOutline outline = OutlineScenario(scenario.lines);
  for (size_t i = 0; i < outline.roles.size(); ++i) {
    const uint64_t count = i < counts.size() ? counts[i] : 0;
    // A line that ran is counted whatever its role (a marker a damaged
    // game runs into, say), so that nothing that ran is hidden.
    if (!IsExecutable(outline.roles[i]) && count == 0) continue;
    lines.emplace_back(static_cast<int>(i + 1), count);
  }
  return lines;
}

void RunRecord::AddCounts(LineCounts& into, const LineCounts& counts) {
  if (into.size() < counts.size()) into.resize(counts.size());
  for (size_t file = 0; file < counts.size(); ++file) {
    std::vector<uint64_t>& lines = into[file];
    if (lines.size() < counts[file].size()) lines.resize(counts[file].size());
    for (size_t i = 0; i < counts[file].size(); ++i) lines[i] += counts[file][i];
  }
}

std::string RunRecord::CoverageText() const {
  std::string out;
  for (int file = 1; file <= catalogue_.CatalogueCount(); ++file) {
    const ScenarioFile& scenario = catalogue_.File(file);
    if (scenario.binary) continue;
    out += "TN:\nSF:" + PathToUtf8(scenario.path) + "\n";
    size_t found = 0, hit = 0;
    for (const auto& [line, count] : CountedLines(file)) {
      out += "DA:" + std::to_string(line) + "," + std::to_string(count) + "\n";
      ++found;
      if (count > 0) ++hit;
    }
    out += "LF:" + std::to_string(found) + "\nLH:" + std::to_string(hit) + "\nend_of_record\n";
  }
  return out;
}

}  // namespace tsumugi
