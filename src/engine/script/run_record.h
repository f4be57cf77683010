// What a run did, for authors: a trace naming every script line the engine
// runs (engine time, file, line, text), and coverage counting how often each
// line of each scenario ran, written as an lcov tracefile.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace tsumugi {

class Catalogue;
class HostClock;
struct Settings;

class RunRecord {
 public:
  RunRecord(HostClock& clock, const Catalogue& catalogue, const Settings& settings)
      : clock_(clock), catalogue_(catalogue), settings_(settings) {}

  // Starts recording: every line run goes to `trace` (nullptr: no trace);
  // with `coverage` the runs of each line are counted.
  void Start(std::ostream* trace, bool coverage);
  bool Active() const { return trace_ != nullptr || coverage_; }

  // The script line `line_number` of catalogue file `file` ran (or, for a
  // menu or a button block, was laid out); `text` is the line as run.
  void LineRan(int file, int line_number, std::u16string_view text) {
    if (Active()) Record(file, line_number, text);
  }

  // The coverage as an lcov tracefile: every scenario of the catalogue, with
  // a count for each line a run can execute (text, commands, choices and
  // button definitions; not comments, labels or the lines that only shape
  // blocks).
  std::string CoverageText() const;

 private:
  void Record(int file, int line_number, std::u16string_view text);

  HostClock& clock_;
  const Catalogue& catalogue_;
  const Settings& settings_;
  std::ostream* trace_ = nullptr;
  bool coverage_ = false;
  // Runs by catalogue file and line (index 0 for line 1).
  std::vector<std::vector<uint64_t>> counts_;
};

}  // namespace tsumugi
